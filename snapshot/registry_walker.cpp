#include "snapshot/registry_walker.h"

#include <new>
#include <string>

#include "snapshot/baseline_index.h"
#include "snapshot/registry_access.h"
#include "snapshot/scan_observer.h"
#include "snapshot/snapshot_files.h"
#include "text/text.h"

namespace {

// A comparison never reports these values, new or changed; a snapshot lists them as any other.
constexpr std::string_view kIgnoredChangedValues[] = {"StartMenuInit", "StartMenuLogoff",
                                                      "StartMenuRun"};

bool IsIgnoredChangedValue(std::string_view name) {
    for (std::string_view ignored : kIgnoredChangedValues) {
        if (name == ignored) return true;
    }
    return false;
}

// State of one walk. The buffers are shared by every level of the recursion, because a level
// is done with them before it descends, so the frames stay small and the buffers are allocated
// once per walk, not per entry.
struct RegistryWalk {
    SnapshotWriter* output;
    BaselineIndex* baseline;
    ScanObserver& observer;
    std::vector<RegistryNewLine>* newLines;
    // Root name, "\" and the path of the key in hand: that key's own line, and the start of
    // the lines of its values and subkeys.
    std::string keyLine;
    RegistryEntryBuffer entry;
    std::string valueName;
    std::string valueText;
    std::string valueLine;
    std::string progressText;
    std::size_t rootLength = 0;  // of the root's name and "\" that start every line
    long written = 0;
    bool stopped = false;
};

// Writes a line that the mode keeps: every line in a snapshot, only new lines in a comparison.
// nameEnd: for a value, the length of the line up to and including the "=" after its name.
void WriteEntryLine(RegistryWalk& walk, const std::string& line, ScanObserver::RegistryEntry kind,
                    std::size_t keyEnd, std::size_t nameEnd, bool ignoredInComparison) {
    if (walk.output == nullptr) return;
    if (walk.baseline != nullptr) {
        // An ignored value is still marked seen, so that it is never taken for removed.
        const std::string_view root(walk.keyLine.data(), walk.rootLength);
        if (walk.baseline->MarkSeenLine(line, root) || ignoredInComparison) return;
    }
    if (!walk.output->WriteLine(line)) {
        walk.stopped = true;
        return;
    }
    ++walk.written;
    if (walk.baseline == nullptr) return;
    if (walk.newLines != nullptr) walk.newLines->push_back({line.size(), keyEnd, nameEnd});
    walk.observer.NewRegistryEntryFound(kind);
}

void ListValues(RegistryWalk& walk, HKEY key) {
    for (DWORD index = 0; !walk.stopped; ++index) {
        if (EnumRegistryEntry(key, RegistryEntryKind::Values, index, walk.entry) !=
            RegistryEnumResult::Found) {
            return;
        }
        walk.valueName = NarrowText(walk.entry.Name());
        ReadRegistryValueText(walk.entry.type, walk.entry.data.data(), walk.entry.dataSize,
                              walk.valueText);
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

        WriteEntryLine(walk, walk.valueLine, ScanObserver::RegistryEntry::Value,
                       walk.keyLine.size(), walk.keyLine.size() + walk.valueName.size() + 2,
                       IsIgnoredChangedValue(walk.valueName));
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
        if (EnumRegistryEntry(key, RegistryEntryKind::Subkeys, index, walk.entry) !=
            RegistryEnumResult::Found) {
            return;
        }
        const std::size_t parentLength = walk.keyLine.size();
        if (!isRoot) walk.keyLine += '\\';
        walk.keyLine += NarrowText(walk.entry.Name());
        walk.observer.ItemVisited(walk.keyLine);
        WriteEntryLine(walk, walk.keyLine, ScanObserver::RegistryEntry::Key, 0, 0, false);
        // A known key may hold new entries, so every subkey is entered, written or not.
        if (!walk.stopped) {
            const RegistryKey child = OpenRegistryKey(key, walk.entry.name.c_str());
            if (child.valid()) ScanKey(walk, child.get(), false);
        }
        walk.keyLine.resize(parentLength);
    }
}

}  // namespace

long ScanRegistryKey(HKEY root, std::string_view subkeyPath, SnapshotWriter* output,
                     BaselineIndex* baseline, ScanObserver& observer,
                     std::vector<RegistryNewLine>* newLines) {
    if (observer.ShouldStop()) return 0;
    RegistryWalk walk{output, baseline, observer, newLines};
    try {
        const RegistryKey key = OpenRegistryKey(root, WidenText(subkeyPath).c_str());
        if (!key.valid()) return 0;
        const char* rootName = RegistryRootName(root);
        walk.keyLine = rootName != nullptr ? rootName : "";
        walk.keyLine += '\\';
        walk.rootLength = walk.keyLine.size();
        walk.keyLine += subkeyPath;
        ScanKey(walk, key.get(), subkeyPath.empty());
    } catch (const std::bad_alloc&) {
        // Out of memory: the walk ends here, as if stopped, with what it wrote so far.
    }
    return walk.written;
}
