#include "snapshot/path_identity.h"

#include "text/case_fold.h"

std::string PathIdentity(std::string_view path) {
    std::string identity;
    identity.reserve(path.size());
    AppendFolded(identity, path);
    return identity;
}

bool SamePath(std::string_view a, std::string_view b) { return EqualNoCase(a, b); }

std::string_view LastSegment(std::string_view path) {
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    const std::size_t cut = path.rfind('\\');
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool RenamedInCase(std::string_view recorded, std::string_view found) {
    return recorded != found && LastSegment(recorded) != LastSegment(found);
}
