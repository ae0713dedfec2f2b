#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What Step #2 keeps of each reported change for the files that give it back (the .reg files
// and the undo script), written as the passes sort their changes and read back once they are
// all known: a change under HKEY_CLASSES_ROOT must be weighed against the HKEY_LOCAL_MACHINE
// and HKEY_CURRENT_USER passes that come after it. Plain C++.
//
// Form: each entry is its kind, its flags, then LEB128 lengths and numbers with their bytes:
// path, name, new type, new data, old type, old data, old spelling.

enum class JournalKind : std::uint8_t {
    AddedKey, AddedValue, ChangedValue, RemovedKey, RemovedValue,
    RemovedEntry,  // a removed registry line that cannot be split (a baseline of an earlier build)
    // A key or value whose own name is spelled anew in letter case only: the same item to
    // Windows, so nothing to undo or redo.
    RenamedKey, RenamedValue,
    AddedFile, NewFolder, ModifiedFile, RemovedFile,
    RenamedFile, RenamedFolder,
};
// What each kind is and how it is worded: change_kinds.h.

// Whether the baseline gives back a changed or removed value's old type and data.
enum class OldData : std::uint8_t {
    Exact,
    TypeUnknown,  // the baseline has no record of its lines
    NotExact,     // its text cannot give the data back byte for byte (nor its name)
};

struct JournalEntry {
    JournalKind kind = JournalKind::AddedKey;
    bool noise = false;      // likely background activity: never undone nor carried over
    bool exactName = true;   // added and changed values: the name is the registry's, whole
    bool newDataExact = true;  // newData is the value's data byte for byte
    OldData old = OldData::Exact;
    std::string path;        // a key's path, a file's or folder's, a RemovedEntry's whole line
    std::string name;        // a value's name
    std::uint32_t newType = 0;
    std::string newData;     // added and changed values: the data read at Step #2
    std::uint32_t oldType = 0;
    std::string oldData;     // changed and removed values, when old is Exact
    std::string oldSpelling;  // renamed items: the path (or a value's name) the baseline spells
};

void AppendJournalEntry(std::string& journal, const JournalEntry& entry);

// Reads entries one after another from bytes that a caller hands over in whatever pieces.
class JournalParser {
public:
    // Takes the next entry from bytes (consumed from its front). False when bytes does not hold
    // a whole entry yet; then nothing is consumed. Damaged() once bytes cannot be an entry.
    bool Next(std::string_view& bytes, JournalEntry& entry);
    bool Damaged() const { return damaged_; }

private:
    bool damaged_ = false;
};
