#include "snapshot/place_set.h"

#include "snapshot/path_identity.h"

namespace {

std::string_view WithoutFinalSeparator(std::string_view place) {
    if (!place.empty() && place.back() == '\\') place.remove_suffix(1);
    return place;
}

}  // namespace

void PlaceSet::Add(std::string_view place) {
    places_.insert(PathIdentity(WithoutFinalSeparator(place)));
}

bool PlaceSet::Holds(std::string_view place) const {
    return !places_.empty() && places_.count(PathIdentity(WithoutFinalSeparator(place))) != 0;
}

bool PlaceSet::Covers(std::string_view path) const {
    if (places_.empty()) return false;
    if (places_.begin()->empty()) return true;  // the current folder, of a relative path
    const std::string identity = PathIdentity(WithoutFinalSeparator(path));
    const std::string_view whole(identity);
    for (std::size_t cut = whole.find('\\'); cut != std::string_view::npos;
         cut = whole.find('\\', cut + 1)) {
        if (places_.find(whole.substr(0, cut)) != places_.end()) return true;
    }
    return places_.find(whole) != places_.end();
}
