#pragma once

#include <windows.h>

#include <string>

#include "snapshot/unique_handle.h"

// The listing calls of the file walker, shared with the benchmark that measures the bare
// listing against the walker.

inline bool IsDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Opens the listing of an extended-length pattern; its first entry arrives in entry.
inline UniqueFindHandle OpenListing(const std::wstring& pattern, WIN32_FIND_DATAW& entry) {
    return UniqueFindHandle(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                             FindExSearchNameMatch, nullptr,
                                             FIND_FIRST_EX_LARGE_FETCH));
}
