#include "engine/baseline_records.h"
#include "engine/gone_lines.h"
#include "engine/item_meaning.h"
#include "engine/pass_reports.h"
#include "engine/run_facts.h"
#include "engine/scratch_files.h"
#include "engine/seen_again.h"
#include "report/reg_file.h"
#include "snapshot/baseline_index.h"
#include "snapshot/place_set.h"
#include "snapshot/registry_walker.h"
#include "snapshot/snapshot_files.h"

namespace {

// A new value's line paired with the gone line of the value it changes.
struct Changed {
    std::size_t line;  // index into the new lines
    std::size_t gone;
    std::string newLine;
    std::string newData;
};

// One registry pass as the report sorts it: the new lines (some of them changing a gone line),
// the lines gone, the values changed in type only and the names spelled anew.
class RegistryPass {
public:
    RegistryPass(PassReport& report, const SnapshotArea& area, const BaselineIndex& baseline,
                 const BaselineRecords& records, RegistryComparison& comparison);

    void Report(std::uint64_t baselineTime);

private:
    void ReadNewLines();
    void ClassifyGone();
    void BeginArea(std::uint64_t baselineTime);
    void ReportAdded();
    void ReportChanged();
    void ReportRetyped(const Retyped& value);
    void ReportRemoved();
    void ReportRenamed();
    ReportedItem NewItem(const Classification& classification, bool exactName) const;

    PassReport& report_;
    const SnapshotArea& area_;
    const BaselineRecords& records_;
    const RegistryComparison& comparison_;
    const std::vector<RegistryNewLine>& found_;
    const bool recorded_;
    std::vector<GoneLine> gone_;
    ValuePairing pairing_;
    std::vector<Retyped> retyped_;
    std::vector<Renamed> renamed_;
    std::vector<Changed> changed_;
    std::vector<Classification> classes_;      // of the new lines
    std::vector<Classification> goneClasses_;  // of the lines gone
    KeyValues addedValues_, removedValues_;
};

PlaceSet Unknown(const BaselineRecords& records, const RegistryComparison& comparison) {
    PlaceSet unknown = records.unreadAtBaseline;
    for (const std::string& key : comparison.unreadable) unknown.Add(key);
    return unknown;
}

RegistryPass::RegistryPass(PassReport& report, const SnapshotArea& area,
                           const BaselineIndex& baseline, const BaselineRecords& records,
                           RegistryComparison& comparison)
    : report_(report),
      area_(area),
      records_(records),
      comparison_(comparison),
      found_(comparison.newLines),
      recorded_(!records.lineRecord.empty()),
      gone_(GoneLines(baseline, records.lineRecord, std::string(area.rootName) + "\\",
                      Unknown(records, comparison))),
      pairing_(gone_, recorded_),
      classes_(found_.size()),
      goneClasses_(gone_.size()) {
    if (recorded_) {
        ReadSeenAgain(baseline.Text(), records.lineRecord, comparison.seenValues,
                      comparison.respelled, retyped_, renamed_);
    }
    ReadNewLines();
    ClassifyGone();
}

// A first read of the new lines: which of them change a gone value (with their data), what each
// means, and the values of the keys whose meaning may name them (they follow their key).
void RegistryPass::ReadNewLines() {
    ChangeListReader lines;
    NewDataReader data;
    if (found_.empty() || !lines.Open(area_.changeListName) || !data.Open()) return;
    std::string_view line;
    for (std::size_t i = 0; i < found_.size() && lines.Next(found_[i].length, line); ++i) {
        const RegistryNewLine& entry = found_[i];
        const std::string_view bytes = data.Next(entry.dataSize);
        if (entry.nameEnd == 0) {
            classes_[i] = report_.classifier.ClassifyKey(line);
            if (classes_[i].rule != nullptr) addedValues_.Watch(line);
            continue;
        }
        const std::string_view keyPath = line.substr(0, entry.keyEnd);
        const std::string_view name = line.substr(entry.keyEnd + 1, entry.nameEnd - entry.keyEnd - 2);
        classes_[i] = report_.classifier.ClassifyValue(keyPath, name);
        addedValues_.Note(keyPath, name, line.substr(entry.nameEnd));
        if (gone_.empty()) continue;
        const std::size_t old = pairing_.Pair(line.substr(0, entry.nameEnd), entry.exactName);
        if (old != ChangedValueMatcher::kNone) {
            changed_.push_back({i, old, std::string(line), std::string(bytes)});
        }
    }
}

// The same of the gone lines left: what each means, and the values of removed keys.
void RegistryPass::ClassifyGone() {
    for (std::size_t i = 0; i < gone_.size(); ++i) {
        if (pairing_.Taken(i)) continue;
        const GoneLine& item = gone_[i];
        if (!item.split) {
            goneClasses_[i] = ClassifyEntryLine(report_.classifier, item.line);
        } else if (!item.entry.value) {
            goneClasses_[i] = report_.classifier.ClassifyKey(item.line);
            if (goneClasses_[i].rule != nullptr) removedValues_.Watch(item.line);
        } else {
            const std::string_view keyPath = item.line.substr(0, item.entry.keyEnd);
            const std::string_view name =
                item.line.substr(item.entry.keyEnd + 1, item.entry.nameLength);
            goneClasses_[i] = report_.classifier.ClassifyValue(keyPath, name);
            removedValues_.Note(keyPath, name, item.line.substr(item.entry.NameEnd()));
        }
    }
}

void RegistryPass::Report(std::uint64_t baselineTime) {
    BeginArea(baselineTime);
    const std::string name(area_.rootName);
    ReportPage& page = report_.outputs.Page();
    page.BeginSection(name + ": added", static_cast<unsigned long>(found_.size() - changed_.size()));
    ReportAdded();
    page.EndSection();
    page.BeginSection(name + ": changed",
                      static_cast<unsigned long>(changed_.size() + retyped_.size()));
    ReportChanged();
    for (const Retyped& value : retyped_) ReportRetyped(value);
    page.EndSection();
    page.BeginSection(name + ": removed", static_cast<unsigned long>(gone_.size() - changed_.size()));
    ReportRemoved();
    page.EndSection();
    ReportRenamed();
}

void RegistryPass::BeginArea(std::uint64_t baselineTime) {
    ReportArea row;
    row.name = area_.rootName;
    row.places = area_.rootName;
    row.baselineTime = LocalTimeText(baselineTime);
    row.added = static_cast<unsigned long>(found_.size() - changed_.size());
    row.modified = static_cast<unsigned long>(changed_.size() + retyped_.size());
    row.removed = static_cast<unsigned long>(gone_.size() - changed_.size());
    row.unreadable = static_cast<unsigned long>(comparison_.unreadable.size());
    row.unreadAtBaseline = static_cast<unsigned long>(records_.unreadAtBaseline.Count());
    row.typesUnknown = !recorded_;
    const auto renamed = static_cast<unsigned long>(renamed_.size());
    report_.outputs.BeginArea(row, {row.name, row.places, Iso8601FromFileTime(baselineTime), false,
                                    row.added, row.modified, row.removed, 0, 0, renamed});
    WholeChangeCounts& counts = report_.counts;
    counts.unreadAtBaseline += row.unreadAtBaseline;
    counts.removedRegistryEntries += row.removed;
    counts.changedRegistryValues += static_cast<unsigned long>(changed_.size());
    counts.retypedValues += static_cast<unsigned long>(retyped_.size());
    counts.renamed += renamed;
}

ReportedItem RegistryPass::NewItem(const Classification& classification, bool exactName) const {
    ReportedItem item;
    item.area = area_.rootName;
    item.classification = classification;
    item.exactName = exactName;
    return item;
}

void RegistryPass::ReportAdded() {
    ChangeListReader lines;
    NewDataReader data;
    if (found_.empty() || !lines.Open(area_.changeListName) || !data.Open()) return;
    std::string_view line;
    auto next = changed_.begin();
    for (std::size_t i = 0; i < found_.size() && lines.Next(found_[i].length, line); ++i) {
        const RegistryNewLine& entry = found_[i];
        const std::string_view bytes = data.Next(entry.dataSize);
        if (next != changed_.end() && next->line == i) {
            ++next;
            continue;
        }
        ReportedItem item = NewItem(classes_[i], entry.exactName);
        if (entry.nameEnd == 0) {
            item.kind = JournalKind::AddedKey;
            item.path = line;
            DescribeItem(item, {{}, {}, addedValues_.Of(line), {}, false});
        } else {
            item.kind = JournalKind::AddedValue;
            item.path = line.substr(0, entry.keyEnd);
            item.name = line.substr(entry.keyEnd + 1, entry.nameEnd - entry.keyEnd - 2);
            item.text = line.substr(entry.nameEnd);
            item.newType = entry.type;
            item.newData = bytes;
            DescribeItem(item, {item.text, {}, addedValues_.Of(item.path), item.name, false});
        }
        report_.outputs.Report(item);
    }
}

void RegistryPass::ReportChanged() {
    for (const Changed& value : changed_) {
        const RegistryNewLine& entry = found_[value.line];
        const std::string_view line = value.newLine;
        ReportedItem item = NewItem(classes_[value.line], entry.exactName);
        item.kind = JournalKind::ChangedValue;
        item.path = line.substr(0, entry.keyEnd);
        item.name = line.substr(entry.keyEnd + 1, entry.nameEnd - entry.keyEnd - 2);
        item.oldText = gone_[value.gone].line.substr(entry.nameEnd);
        item.newText = line.substr(entry.nameEnd);
        item.newType = entry.type;
        item.newData = value.newData;
        TakeOldData(gone_[value.gone], recorded_, item.old, item.oldType, item.oldData);
        DescribeItem(item, {item.newText, item.oldText, {}, item.name, false});
        report_.outputs.Report(item);
    }
}

// A value whose type changed though its text did not: its new data is made from the text, which
// stands for it exactly or is not written.
void RegistryPass::ReportRetyped(const Retyped& value) {
    const RegistryLine& old = value.old;
    const std::string_view path = value.line.substr(0, old.keyEnd);
    const std::string_view name = value.line.substr(old.keyEnd + 1, old.nameLength);
    ReportedItem item = NewItem(report_.classifier.ClassifyValue(path, name), old.nameExact);
    item.kind = JournalKind::ChangedValue;
    item.path = path;
    item.name = name;
    item.oldText = item.newText = value.line.substr(old.NameEnd());
    item.retyped = true;
    item.oldTypeName = RegistryTypeName(old.type);
    item.newTypeName = RegistryTypeName(value.newType);
    item.newType = value.newType;
    std::vector<std::uint8_t> bytes;
    item.newDataExact = value.newExact &&
                        DataFromValueText(value.newType, item.newText, value.newHexForm, bytes);
    const std::string newData(bytes.begin(), bytes.end());
    item.newData = newData;
    TakeOldData({value.line, old, true}, true, item.old, item.oldType, item.oldData);
    DescribeItem(item, {item.newText, item.oldText, {}, item.name, false});
    report_.outputs.Report(item);
}

void RegistryPass::ReportRemoved() {
    for (std::size_t i = 0; i < gone_.size(); ++i) {
        if (pairing_.Taken(i)) continue;
        const GoneLine& gone = gone_[i];
        ReportedItem item = NewItem(goneClasses_[i], gone.entry.nameExact);
        if (!gone.split) {
            item.kind = JournalKind::RemovedEntry;
            item.path = gone.line;
            item.old = OldData::TypeUnknown;
            DescribeItem(item, {gone.line, {}, {}, {}, true});
        } else if (!gone.entry.value) {
            item.kind = JournalKind::RemovedKey;
            item.path = gone.line;
            DescribeItem(item, {{}, {}, removedValues_.Of(item.path), {}, true});
        } else {
            item.kind = JournalKind::RemovedValue;
            item.path = gone.line.substr(0, gone.entry.keyEnd);
            item.name = gone.line.substr(gone.entry.keyEnd + 1, gone.entry.nameLength);
            item.text = gone.line.substr(gone.entry.NameEnd());
            TakeOldData(gone, recorded_, item.old, item.oldType, item.oldData);
            DescribeItem(item, {item.text, {}, removedValues_.Of(item.path), item.name, true});
        }
        report_.outputs.Report(item);
    }
}

void RegistryPass::ReportRenamed() {
    if (renamed_.empty()) return;
    ReportPage& page = report_.outputs.Page();
    page.BeginSection(std::string(area_.rootName) + ": renamed in letter case",
                      static_cast<unsigned long>(renamed_.size()));
    for (const Renamed& entry : renamed_) {
        ReportedItem item = NewItem({}, true);
        item.kind = entry.value ? JournalKind::RenamedValue : JournalKind::RenamedKey;
        item.path = entry.path;
        item.name = entry.name;
        item.text = entry.text;
        item.oldSpelling = entry.oldSpelling;
        report_.outputs.Report(item);
    }
    page.EndSection();
}

}  // namespace

void ReportRegistryPass(PassReport& report, const SnapshotArea& area, std::uint64_t baselineTime,
                        const BaselineIndex& baseline, const BaselineRecords& records,
                        RegistryComparison& found) {
    RegistryPass(report, area, baseline, records, found).Report(baselineTime);
}
