#include "snapshot/path_identity.h"

#include "text/case_fold.h"

std::string PathIdentity(std::string_view path) {
    std::string identity;
    identity.reserve(path.size());
    AppendFolded(identity, path);
    return identity;
}

bool SamePath(std::string_view a, std::string_view b) { return EqualNoCase(a, b); }
