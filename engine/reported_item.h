#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/change_journal.h"
#include "engine/change_rules.h"

struct FileHash;

// One change the passes report, as every output takes it (change_outputs.h).
struct ReportedItem {
    std::string_view area;  // "Files" or the root's name
    JournalKind kind = JournalKind::AddedFile;
    std::string_view path;  // a file's or folder's path; a key's path; an entry's whole line
    std::string_view name;  // values
    std::string_view text;  // added, removed and renamed values
    std::string_view oldText, newText;  // changed values
    std::optional<std::uint64_t> size, oldSize, newSize;
    std::uint64_t changeTime = 0;
    const FileHash* hash = nullptr;  // added and modified files: their content's SHA-256
    Classification classification;
    std::string meaning;
    bool exactName = true;  // the path and name came through to text exactly
    std::string_view oldSpelling;  // renamed items: the path, or a value's name, as it was
    // A value changed in type only: its types' names.
    bool retyped = false;
    std::string oldTypeName, newTypeName;
    // For the journal: a value's new data and whether it is exact; an old one's when the
    // baseline gives it back.
    std::uint32_t newType = 0;
    std::string_view newData;
    bool newDataExact = true;
    OldData old = OldData::Exact;
    std::uint32_t oldType = 0;
    std::string oldData;
};
