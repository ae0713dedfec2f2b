#include "engine/change_kinds.h"

#include <iterator>

namespace {

constexpr ChangeKind kChangeKinds[] = {
    {JournalKind::AddedKey, "added", "key", "added", "added key", false, true, false},
    {JournalKind::AddedValue, "added", "value", "added", "added value", true, true, false},
    {JournalKind::ChangedValue, "changed", "value", "changed", "changed value", true, true, false},
    {JournalKind::RemovedKey, "removed", "key", "removed", "removed key", false, true, false},
    {JournalKind::RemovedValue, "removed", "value", "removed", "removed value", true, true, false},
    {JournalKind::RemovedEntry, "removed", "entry", "removed", "removed entry", false, true, false},
    {JournalKind::RenamedKey, "renamed", "key", "renamed", "renamed key", false, true, true},
    {JournalKind::RenamedValue, "renamed", "value", "renamed", "renamed value", true, true, true},
    {JournalKind::AddedFile, "added", "file", "added", "added file", false, false, false},
    {JournalKind::NewFolder, "newFolder", "folder", "new folder", "new folder", false, false,
     false},
    {JournalKind::ModifiedFile, "modified", "file", "modified", "modified file", false, false,
     false},
    {JournalKind::RemovedFile, "removed", "file", "removed", "removed file", false, false, false},
    {JournalKind::RenamedFile, "renamed", "file", "renamed", "renamed file", false, false, true},
    {JournalKind::RenamedFolder, "renamed", "folder", "renamed", "renamed folder", false, false,
     true},
};

constexpr bool InEnumOrder() {
    for (std::size_t i = 0; i < std::size(kChangeKinds); ++i) {
        if (static_cast<std::size_t>(kChangeKinds[i].kind) != i) return false;
    }
    return std::size(kChangeKinds) == static_cast<std::size_t>(JournalKind::RenamedFolder) + 1;
}
static_assert(InEnumOrder(), "one row a kind, in the order of JournalKind");

}  // namespace

const ChangeKind& KindOf(JournalKind kind) { return kChangeKinds[static_cast<std::size_t>(kind)]; }
