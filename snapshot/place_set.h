#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

// A set of places: registry keys by their key line ("HKEY_CURRENT_USER\Software\X") and folders
// by their path ("D:\Deny\"), such as those a pass could not read (what the baseline holds
// below one, or lacks, proves nothing: nothing there is new and nothing there is gone). Places
// compare as Windows compares paths (path_identity.h). Plain C++.
class PlaceSet {
public:
    void Add(std::string_view place);
    bool Empty() const { return places_.empty(); }
    std::size_t Count() const { return places_.size(); }

    // Whether place is one of them.
    bool Holds(std::string_view place) const;
    // Whether path is one of them or lies below one (after a "\" that follows it). A registry
    // value's line lies below its key; a "\" in a value's name or text may make it seem to lie
    // below a key it does not, which only keeps it from being reported.
    bool Covers(std::string_view path) const;

private:
    std::set<std::string, std::less<>> places_;  // identities, without a final "\"
};
