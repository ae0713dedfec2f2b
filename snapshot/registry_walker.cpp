#include "snapshot/registry_walker.h"

#include <algorithm>
#include <new>
#include <string>

#include "snapshot/baseline_index.h"
#include "snapshot/registry_access.h"
#include "snapshot/registry_lines.h"
#include "snapshot/scan_observer.h"
#include "snapshot/snapshot_files.h"
#include "snapshot/place_set.h"
#include "text/text.h"

namespace {

// State of one walk. The buffers are shared by every level of the recursion, because a level
// is done with them before it descends, so the frames stay small and the buffers are allocated
// once per walk, not per entry.
struct RegistryWalk {
    SnapshotWriter* output;
    BaselineIndex* baseline;
    ScanObserver& observer;
    RegistryComparison* comparison;
    SnapshotWriter* lines;  // the record of a snapshot's lines
    std::string lineEntry;
    // Root name, "\" and the path of the key in hand: that key's own line, and the start of
    // the lines of its values and subkeys.
    std::string keyLine;
    RegistryEntryBuffer entry;
    std::string valueName;
    std::string valueText;
    std::string valueLine;
    std::string progressText;
    std::size_t rootLength = 0;  // of the root's name and "\" that start every line
    bool pathWhole = true;       // the key in hand's path came through to text whole
    bool nameWhole = true;       // so did the value in hand's name, and its key's path
    long written = 0;
    bool stopped = false;
};

// Whether the baseline holds line (names compared as Windows compares them, a value's text
// exactly), and with its names come through as exactly as they did now; the line is then marked
// seen. With a record of the baseline's lines, what only the record can tell is looked at once
// the walk is done: the old value's type, and the spelling of a name written anew.
bool SeenInBaseline(RegistryWalk& walk, const std::string& line, const RegistryLine& entry) {
    const std::string_view root(walk.keyLine.data(), walk.rootLength);
    const std::size_t text = entry.value ? line.size() - entry.NameEnd() : 0;
    RegistryComparison* found = walk.comparison;
    if (found == nullptr || !found->linesRecorded) {
        return walk.baseline->MarkSeenLine(line, root, text);
    }
    const std::vector<std::size_t>* inexact = found->namesTold ? found->inexactLines : nullptr;
    BaselineIndex::Match match;
    if (inexact != nullptr && !inexact->empty()) {
        if (!walk.baseline->Find(line, text, match) ||
            std::binary_search(inexact->begin(), inexact->end(), match.record) ==
                entry.nameExact) {
            return false;
        }
    } else if (found->namesTold && !entry.nameExact) {
        return false;  // every name of the baseline came through exactly: this is another
    }
    if (!walk.baseline->MarkSeenLine(line, root, text, &match)) return false;
    if (entry.value) found->seenValues.push_back({match.record, entry.type, entry.exact, entry.hexForm});
    if (!match.sameBytes) {
        found->respelled.push_back(
            {match.record, line, entry.value ? entry.keyEnd : 0, entry.value ? entry.NameEnd() : 0});
    }
    return true;
}

// Writes a line that the mode keeps: every line in a snapshot, only new lines in a comparison.
// entry describes it; a value's data comes along for a comparison to keep.
void WriteEntryLine(RegistryWalk& walk, const std::string& line, const RegistryLine& entry,
                    std::string_view data, bool ignoredInComparison) {
    if (walk.output == nullptr) return;
    if (walk.baseline != nullptr) {
        // An ignored value is still marked seen, so that it is never taken for removed.
        if (SeenInBaseline(walk, line, entry) || ignoredInComparison) return;
    }
    if (!walk.output->WriteLine(line)) {
        walk.stopped = true;
        return;
    }
    ++walk.written;
    if (walk.baseline == nullptr) {
        if (walk.lines != nullptr) {
            walk.lineEntry.clear();
            AppendRegistryLine(walk.lineEntry, entry);
            if (!walk.lines->Write(walk.lineEntry)) walk.stopped = true;
        }
        return;
    }
    if (RegistryComparison* found = walk.comparison) {
        found->newLines.push_back({line.size(), entry.value ? entry.keyEnd : 0,
                                   entry.value ? entry.NameEnd() : 0, entry.type, data.size(),
                                   entry.nameExact});
        if (found->newData != nullptr && !found->newData->Write(data)) walk.stopped = true;
    }
    walk.observer.NewRegistryEntryFound(entry.value ? ScanObserver::RegistryEntry::Value
                                                    : ScanObserver::RegistryEntry::Key);
}

bool IsWholeName(std::wstring_view name) {
    return IsWholeUtf16(
        std::u16string_view(reinterpret_cast<const char16_t*>(name.data()), name.size()));
}

// The key in hand could not be opened or listed to its end. A root is noted by its name alone.
void NoteUnreadable(RegistryWalk& walk, std::string_view keyLine) {
    if (!keyLine.empty() && keyLine.back() == '\\') keyLine.remove_suffix(1);
    if (walk.comparison != nullptr) walk.comparison->unreadable.emplace_back(keyLine);
    if (walk.baseline == nullptr && walk.lines != nullptr) {
        walk.lineEntry.clear();
        AppendUnreadableKey(walk.lineEntry, keyLine);
        if (!walk.lines->Write(walk.lineEntry)) walk.stopped = true;
    }
}

void ListValues(RegistryWalk& walk, HKEY key) {
    for (DWORD index = 0; !walk.stopped; ++index) {
        const RegistryEnumResult result =
            EnumRegistryEntry(key, RegistryEntryKind::Values, index, walk.entry);
        if (result != RegistryEnumResult::Found) {
            if (result == RegistryEnumResult::Failed) NoteUnreadable(walk, walk.keyLine);
            return;
        }
        walk.valueName = NarrowText(walk.entry.Name());
        const ValueTextForm form = ReadRegistryValueText(
            walk.entry.type, walk.entry.data.data(), walk.entry.dataSize, walk.valueText);
        // The separator before the name is always there, so a value directly under a root
        // follows two backslashes and the default value of a key ends the path in "\=".
        walk.valueLine.assign(walk.keyLine);
        walk.valueLine += '\\';
        walk.valueLine += walk.valueName;
        walk.valueLine += '=';
        walk.valueLine += walk.valueText;

        walk.progressText.assign(walk.valueLine);
        walk.progressText += '\n';
        walk.progressText += walk.valueName;
        walk.observer.ItemVisited(walk.progressText);

        RegistryLine entry;
        entry.length = walk.valueLine.size();
        entry.value = true;
        entry.keyEnd = walk.keyLine.size();
        entry.nameLength = walk.valueName.size();
        entry.type = walk.entry.type;
        entry.hexForm = form.hex;
        // A name that lost characters on its way to text cannot be given back either.
        walk.nameWhole = walk.pathWhole && IsWholeName(walk.entry.Name());
        entry.nameExact = walk.nameWhole;
        entry.exact = form.exact && walk.nameWhole;
        const std::string_view data(reinterpret_cast<const char*>(walk.entry.data.data()),
                                    walk.entry.dataSize);
        WriteEntryLine(walk, walk.valueLine, entry, data, IsNeverReportedValue(walk.valueName));
    }
}

// Lists the values of key, then each subkey's line followed by everything below it. A stop
// lets the value pass of the key in hand finish, then ends every level at its next subkey.
void ScanKey(RegistryWalk& walk, HKEY key, bool isRoot) {
    PrepareRegistryEntry(key, walk.entry);
    ListValues(walk, key);
    for (DWORD index = 0; !walk.stopped; ++index) {
        if (walk.observer.ShouldStop()) {
            walk.stopped = true;
            return;
        }
        const RegistryEnumResult result =
            EnumRegistryEntry(key, RegistryEntryKind::Subkeys, index, walk.entry);
        if (result != RegistryEnumResult::Found) {
            if (result == RegistryEnumResult::Failed) NoteUnreadable(walk, walk.keyLine);
            return;
        }
        const std::size_t parentLength = walk.keyLine.size();
        const bool parentWhole = walk.pathWhole;
        if (!isRoot) walk.keyLine += '\\';
        walk.keyLine += NarrowText(walk.entry.Name());
        walk.pathWhole = parentWhole && IsWholeName(walk.entry.Name());
        walk.observer.ItemVisited(walk.keyLine);
        RegistryLine entry;
        entry.length = walk.keyLine.size();
        entry.nameExact = walk.pathWhole;
        WriteEntryLine(walk, walk.keyLine, entry, {}, false);
        // A known key may hold new entries, so every subkey is entered, written or not; but
        // one that Step #1 could not read has nothing to be compared with.
        const PlaceSet* unread =
            walk.comparison != nullptr ? walk.comparison->unreadAtBaseline : nullptr;
        if (!walk.stopped && (unread == nullptr || !unread->Holds(walk.keyLine))) {
            LSTATUS status = ERROR_SUCCESS;
            const UniqueKey child = OpenRegistryKey(key, walk.entry.name.c_str(), &status);
            if (child.valid()) {
                ScanKey(walk, child.get(), false);
            } else if (status != ERROR_FILE_NOT_FOUND) {
                // Denied, say: what it held is unknown, not gone. (A key deleted since it was
                // listed is gone.)
                NoteUnreadable(walk, walk.keyLine);
            }
        }
        walk.keyLine.resize(parentLength);
        walk.pathWhole = parentWhole;
    }
}

}  // namespace

bool IsNeverReportedValue(std::string_view name) {
    for (std::string_view never : kNeverReportedValues) {
        if (name == never) return true;
    }
    return false;
}

long ScanRegistryKey(HKEY root, std::string_view subkeyPath, SnapshotWriter* output,
                     BaselineIndex* baseline, ScanObserver& observer,
                     RegistryComparison* comparison, SnapshotWriter* lines) {
    if (observer.ShouldStop()) return 0;
    RegistryWalk walk{output, baseline, observer, comparison, lines};
    const char* rootName = RegistryRootName(root);
    walk.keyLine = rootName != nullptr ? rootName : "";
    walk.keyLine += '\\';
    walk.rootLength = walk.keyLine.size();
    walk.keyLine += subkeyPath;
    const std::string_view top =
        subkeyPath.empty() ? std::string_view(walk.keyLine).substr(0, walk.rootLength - 1)
                           : std::string_view(walk.keyLine);
    if (comparison != nullptr && comparison->unreadAtBaseline != nullptr &&
        comparison->unreadAtBaseline->Holds(top)) {
        return 0;
    }
    LSTATUS status = ERROR_SUCCESS;
    const UniqueKey key = OpenRegistryKey(root, WidenText(subkeyPath).c_str(), &status);
    if (!key.valid()) {
        if (status != ERROR_FILE_NOT_FOUND) NoteUnreadable(walk, walk.keyLine);
        return 0;
    }
    ScanKey(walk, key.get(), subkeyPath.empty());
    return walk.written;
}
