#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class BaselineIndex;
class ScanObserver;
class SnapshotWriter;
class PlaceSet;

// A line that a comparison wrote to the change list, for those who read the list back.
struct RegistryNewLine {
    std::size_t length;   // without its CR LF; a value text may hold more CR LF
    std::size_t keyEnd;   // a value's key line: the line up to the "\" before the value's name
    std::size_t nameEnd;  // a value's line up to and including the "=" after its name; 0: a key
    std::uint32_t type = REG_NONE;  // a value's type
    std::size_t dataSize = 0;       // bytes of a value's data in RegistryComparison::newData
    bool exactName = true;          // the key path and a value's name came through to text whole
};

// What a comparison of a registry root finds besides its new lines' text.
struct RegistryComparison {
    std::vector<RegistryNewLine> newLines;  // one for each line written, in order
    // Receives each new value's data as read, one after another (sizes in newLines); may be
    // null.
    SnapshotWriter* newData = nullptr;
    // The lines of keys that could not be opened or listed to their end: what the baseline
    // holds below them is not known to be gone.
    std::vector<std::string> unreadable;
    // Keys Step #1 could not read: never entered, so nothing below them is new. May be null.
    const PlaceSet* unreadAtBaseline = nullptr;
    // Whether the baseline has a record of its lines; whether the record tells which names did
    // not come through exactly, and the offsets of their lines, ascending. A line whose names
    // came through exactly and one whose did not are two items, though their texts are alike.
    bool linesRecorded = false;
    bool namesTold = false;
    const std::vector<std::size_t>* inexactLines = nullptr;

    // With a record, the lines met again, for what only the record tells: each value's type and
    // how its text stands for its data now, and the lines whose names are spelled anew in
    // letter case (a renamed key, a renamed value, or one below a renamed key).
    struct SeenValue {
        std::size_t record;  // offset of its line in the baseline
        std::uint32_t type;
        bool exact, hexForm;
    };
    struct Respelled {
        std::size_t record;
        std::string line;  // as now spelled
        std::size_t keyEnd, nameEnd;  // as in RegistryNewLine
    };
    std::vector<SeenValue> seenValues;
    std::vector<Respelled> respelled;
};

// Values a comparison never reports, new, changed or removed; a snapshot lists them as any other.
inline constexpr std::string_view kNeverReportedValues[] = {"StartMenuInit", "StartMenuLogoff",
                                                           "StartMenuRun"};
bool IsNeverReportedValue(std::string_view name);

// Lists the key subkeyPath of root ("" for the root itself) and, depth first, every key below
// it: for each value a line "root\path\name=text", for each subkey a line "root\path". Without
// a baseline every line is written, and with lines, each line's entry is appended to that
// record of the baseline's lines (registry_lines.h), with the keys that could not be read; with
// a baseline only lines the baseline
// does not hold, reported to the observer as they are found (and, with comparison, described
// there) and marked seen in the baseline. Values named StartMenuInit, StartMenuLogoff and
// StartMenuRun are never new. output may be null: the walk then visits but writes nothing.
// Stops when the observer says so or a write fails. Returns the number of lines written. Out
// of memory, std::bad_alloc ends the walk; the steps catch it.
long ScanRegistryKey(HKEY root, std::string_view subkeyPath, SnapshotWriter* output,
                     BaselineIndex* baseline, ScanObserver& observer,
                     RegistryComparison* comparison = nullptr, SnapshotWriter* lines = nullptr);
