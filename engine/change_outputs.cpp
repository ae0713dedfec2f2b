#include "engine/change_outputs.h"

#include "engine/change_kinds.h"
#include "engine/run_facts.h"
#include "snapshot/file_hash.h"
#include "snapshot/snapshot_files.h"

ChangeOutputs::ChangeOutputs(SnapshotWriter& sections, SnapshotWriter& items,
                             SnapshotWriter& journal, std::string_view userSid,
                             std::string_view systemRoot)
    : page_([&sections](std::string_view piece) { return sections.Write(piece); }),
      changeSet_([&items](std::string_view piece) { return items.Write(piece); }),
      journal_(journal),
      highlights_(userSid),
      findings_(userSid, systemRoot) {}

void ChangeOutputs::BeginArea(ReportArea row, ChangeSetArea setRow) {
    areas_.push_back(std::move(row));
    setAreas_.push_back(std::move(setRow));
}

void ChangeOutputs::Report(const ReportedItem& item) {
    const ChangeCategory category = item.classification.category;
    std::string anchor;
    if (IsHighlight(category)) anchor.append(1, 'c').append(std::to_string(++anchors_));
    std::string sha256;
    ContentHash hash;
    if (item.hash != nullptr && item.hash->Hashed()) {
        sha256 = item.hash->Hex();
        hash.sha256 = sha256;
    } else if (item.hash != nullptr) {
        hash.error = item.hash->error;
    }
    AddToPage(item, {category, anchor}, hash);
    AddToChangeSet(item, hash);
    const bool taken = findings_.Add(item, itemLines_++, anchor);
    if (IsHighlight(category) && !taken) highlights_.Add(item, anchor);
    if (category == ChangeCategory::Noise) {
        ++areas_.back().noise;
        ++setAreas_.back().noise;
    }
    AddToJournal(item);
}

void ChangeOutputs::AddToPage(const ReportedItem& item, const ItemMark& mark,
                              const ContentHash& hash) {
    switch (item.kind) {
        case JournalKind::AddedFile: page_.AddedFile(item.path, *item.size, mark, hash); break;
        case JournalKind::ModifiedFile:
            page_.ModifiedFile(item.path, *item.oldSize, *item.newSize,
                               LocalTimeText(item.changeTime), mark, hash);
            break;
        case JournalKind::RemovedFile: page_.RemovedFile(item.path, *item.size, mark); break;
        case JournalKind::NewFolder: page_.Folder(item.path, mark); break;
        case JournalKind::AddedKey: page_.Key(item.path, mark); break;
        case JournalKind::AddedValue: page_.Value(item.path, item.name, item.text, mark); break;
        case JournalKind::ChangedValue:
            if (item.retyped) {
                page_.RetypedValue(item.path, item.name, item.newText, item.oldTypeName,
                                   item.newTypeName, mark);
            } else {
                page_.ChangedValue(item.path, item.name, item.oldText, item.newText, mark);
            }
            break;
        case JournalKind::RemovedKey: page_.RemovedKey(item.path, mark); break;
        case JournalKind::RemovedValue:
            page_.RemovedValue(item.path, item.name, item.text, mark);
            break;
        case JournalKind::RemovedEntry: page_.RemovedEntry(item.path, mark); break;
        case JournalKind::RenamedKey:
        case JournalKind::RenamedFile:
        case JournalKind::RenamedFolder:
            page_.RenamedPath(item.oldSpelling, item.path, mark);
            break;
        case JournalKind::RenamedValue:
            page_.RenamedValue(item.path, item.oldSpelling, item.name, mark);
            break;
    }
}

void ChangeOutputs::AddToChangeSet(const ReportedItem& item, const ContentHash& hash) {
    const ChangeKind& kind = KindOf(item.kind);
    ChangeSetItem set;
    set.area = item.area;
    set.change = kind.change;
    set.item = kind.item;
    set.path = item.path;
    if (kind.value) set.name = item.name;
    if (item.kind == JournalKind::RenamedValue) {
        set.oldName = item.oldSpelling;
    } else if (!item.oldSpelling.empty()) {
        set.oldPath = item.oldSpelling;
    }
    if (item.kind == JournalKind::ChangedValue) {
        set.oldText = item.oldText;
        set.newText = item.newText;
    } else if (kind.value) {
        set.text = item.text;
    } else if (item.kind == JournalKind::RemovedEntry) {
        set.text = item.path;
    }
    set.size = item.size;
    set.oldSize = item.oldSize;
    set.newSize = item.newSize;
    const std::string changeTime = Iso8601FromFileTime(item.changeTime);
    set.changeTime = changeTime;
    set.sha256 = hash.sha256;
    set.sha256Error = hash.error;
    set.category = item.classification.category;
    set.meaning = item.meaning;
    set.exactName = item.exactName;
    if (item.retyped) {
        set.oldType = item.oldTypeName;
        set.newType = item.newTypeName;
    }
    changeSet_.Item(set);
}

void ChangeOutputs::AddToJournal(const ReportedItem& item) {
    JournalEntry entry;
    entry.kind = item.kind;
    entry.noise = item.classification.category == ChangeCategory::Noise;
    entry.exactName = item.exactName;
    entry.newDataExact = item.newDataExact;
    entry.old = item.old;
    entry.path = item.path;
    entry.name = item.name;
    entry.newType = item.newType;
    entry.newData = item.newData;
    entry.oldType = item.oldType;
    entry.oldData = item.oldData;
    entry.oldSpelling = item.oldSpelling;
    journalEntry_.clear();
    AppendJournalEntry(journalEntry_, entry);
    journal_.Write(journalEntry_);
}
