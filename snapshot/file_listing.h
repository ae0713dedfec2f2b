#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "win32/unique_handle.h"

// The listing calls of the file walker, shared with the benchmark that measures the bare
// listing against the walker.

inline bool IsDotEntry(std::wstring_view name) { return name == L"." || name == L".."; }

// One entry of a directory listing. Times are FILETIME values (100 ns since 1601).
struct ListedEntry {
    std::wstring_view name;  // valid until the next call of Next
    DWORD attributes = 0;
    std::uint64_t size = 0;
    std::uint64_t creationTime = 0;
    // When the file system last changed the entry's data or attributes. Setting a file's
    // last-write time back does not set this back. Where the file system keeps no such time,
    // the later of the last-write and creation times.
    std::uint64_t changeTime = 0;
};

// Lists one directory with the entries' change times, in the same requests that list the
// names: GetFileInformationByHandleEx on the open directory. Where a file system does not
// answer that request, FindFirstFileExW lists the directory instead. One object serves a level
// of the walk after another: its buffer is allocated once.
class DirectoryListing {
public:
    // Opens the listing of folder, an extended-length path ending in "\". filter is the
    // pattern of names to list; "*" lists all and is the only one the fast path serves.
    bool Open(const std::wstring& folder, std::wstring_view filter = L"*");
    // The next entry (including "." and ".."), or false at the end of the listing.
    bool Next(ListedEntry& entry);
    void Close();

private:
    bool Fetch();
    bool NextFound(ListedEntry& entry);

    UniqueFile directory_;
    UniqueFind find_;
    WIN32_FIND_DATAW found_{};
    bool haveFound_ = false;
    std::vector<std::uint64_t> buffer_;  // 8-byte aligned, as the entries need
    std::size_t next_ = 0;               // byte offset of the next entry; npos: fetch more
    bool ended_ = false;
};
