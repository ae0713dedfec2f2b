#include "engine/whole_change.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include <sddl.h>

#include "app/resource.h"
#include "engine/baseline_records.h"
#include "engine/seen_again.h"
#include "engine/undo_files.h"
#include "report/reg_file.h"
#include "snapshot/baseline_index.h"
#include "snapshot/changed_values.h"
#include "snapshot/path_identity.h"
#include "snapshot/registry_lines.h"
#include "win32/unique_handle.h"
#include "snapshot/place_set.h"
#include "text/text.h"

namespace {

// Values that a comparison never reports, new, changed or removed.
constexpr std::string_view kIgnoredValues[] = {
    "\\StartMenuInit=", "\\StartMenuLogoff=", "\\StartMenuRun="};

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string FormatFileTime(std::uint64_t time) {
    FILETIME utc{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    FILETIME local;
    SYSTEMTIME parts;
    if (time == 0 || !FileTimeToLocalFileTime(&utc, &local) ||
        !FileTimeToSystemTime(&local, &parts)) {
        return "unknown";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", parts.wYear, parts.wMonth,
                  parts.wDay, parts.wHour, parts.wMinute, parts.wSecond);
    return text;
}

std::string NowText() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FormatFileTime((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) |
                          now.dwLowDateTime);
}

std::string ComputerName() {
    wchar_t name[256];
    DWORD length = static_cast<DWORD>(std::size(name));
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &length)) return "unknown";
    return NarrowText(std::wstring_view(name, length));
}

// Reads back, line by line, a change list that a pass has just written; the caller knows how
// long each line is, since a value text may hold CR LF.
class LineReader {
public:
    bool Open(const char* name) { return reader_.Open(name); }

    // The next line, length bytes long; its CR LF is passed over. False at a short file.
    bool Next(std::size_t length, std::string_view& line) {
        std::string_view bytes;
        if (!reader_.Peek(length + 2, bytes)) return false;
        line = bytes.substr(0, length);
        reader_.Consume(length + 2);
        return true;
    }

private:
    SequentialReader reader_;
};

// A removed registry line runs over the records that follow its first one up to the next
// record that starts with the root's name: a value text can hold CR LF.
std::size_t LineLength(std::string_view text, std::size_t offset, std::string_view rootPrefix) {
    std::size_t end = offset;
    for (;;) {
        end = text.find("\r\n", end);
        if (end == std::string_view::npos) return text.size() - offset;
        if (end + 2 >= text.size() || StartsWith(text.substr(end + 2), rootPrefix)) {
            return end - offset;
        }
        end += 2;
    }
}

// Appends the whole of the named scratch file to output.
bool AppendFile(const char* name, SnapshotWriter& output) {
    SequentialReader reader;
    if (!reader.Open(name)) return false;
    for (std::string_view block = reader.Available(); !block.empty(); block = reader.Available()) {
        if (!output.Write(block)) return false;
        reader.Consume(block.size());
    }
    return true;
}

}  // namespace

std::uint64_t LastWriteTime(const char* name) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(name, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

namespace {

// A baseline line that the walk did not produce.
struct GoneLine {
    std::string_view line;
    RegistryLine entry;  // as the record tells; without a record, entry.value is false
    bool split = false;  // entry is known: the line splits into key path, name and text
};

bool IsIgnoredValueName(std::string_view name) {
    for (std::string_view ignored : kIgnoredValues) {
        if (name == ignored.substr(1, ignored.size() - 2)) return true;
    }
    return false;
}

// Every line of the baseline that the walk did not produce, but those below keys that a step
// could not read (what the baseline holds there is not known to be gone) and those of values a
// comparison never reports.
std::vector<GoneLine> GoneLines(const BaselineIndex& baseline, std::string_view lineRecord,
                                std::string_view rootPrefix, const PlaceSet& unknown) {
    const std::string_view text = baseline.Text();
    std::vector<GoneLine> gone;
    if (!lineRecord.empty()) {
        RegistryLineCursor cursor(lineRecord);
        baseline.ForEachUnseen([&](std::size_t offset, std::string_view line) {
            GoneLine item{line, {}, true};
            if (!cursor.At(offset, item.entry) || unknown.Covers(line)) return;
            if (item.entry.value &&
                IsIgnoredValueName(line.substr(item.entry.keyEnd + 1, item.entry.nameLength))) {
                return;
            }
            gone.push_back(item);
        });
        return gone;
    }
    baseline.ForEachUnseen([&](std::size_t offset, std::string_view record) {
        if (!StartsWith(record, rootPrefix)) return;  // a later piece of a value text
        for (std::string_view ignored : kIgnoredValues) {
            if (record.find(ignored) != std::string_view::npos) return;
        }
        const std::string_view line = text.substr(offset, LineLength(text, offset, rootPrefix));
        if (!unknown.Covers(line)) gone.push_back({line, {}, false});
    });
    return gone;
}

// Pairs new values with the gone lines they change: by exact key and name where the record
// tells them, else as well as the lines allow (ChangedValueMatcher).
class ValuePairing {
public:
    // exact: the gone lines are split as their record tells.
    ValuePairing(const std::vector<GoneLine>& gone, bool exact) : taken_(gone.size(), false) {
        if (!exact) {
            std::vector<std::string_view> lines;
            lines.reserve(gone.size());
            for (const GoneLine& item : gone) lines.push_back(item.line);
            guess_.emplace(std::move(lines));
            return;
        }
        for (std::size_t i = 0; i < gone.size(); ++i) {
            if (gone[i].entry.value) {
                byStart_.emplace(Identity(gone[i].line.substr(0, gone[i].entry.NameEnd()),
                                          gone[i].entry.nameExact),
                                 i);
            }
        }
    }

    // The gone line that the new value whose line starts with start ("key\name=") changes,
    // now taken; ChangedValueMatcher::kNone when it changes none. Names compare as Windows
    // compares them, and one that came through exactly never pairs with one that did not.
    std::size_t Pair(std::string_view start, bool exact) {
        if (guess_) return guess_->Pair(start);
        const auto found = byStart_.find(Identity(start, exact));
        if (found == byStart_.end() || taken_[found->second]) return ChangedValueMatcher::kNone;
        taken_[found->second] = true;
        return found->second;
    }
    bool Taken(std::size_t line) const { return guess_ ? guess_->Taken(line) : taken_[line]; }

private:
    static std::string Identity(std::string_view start, bool exact) {
        return PathIdentity(start) + (exact ? '+' : '-');
    }

    std::optional<ChangedValueMatcher> guess_;
    std::unordered_map<std::string, std::size_t> byStart_;
    std::vector<bool> taken_;
};

}  // namespace

namespace {

std::uint64_t NowFileTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// The string form of the SID of the user this process runs as; empty when it cannot be told.
std::string CurrentUserSid() {
    UniqueToken token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    UniqueLocal<wchar_t*> text;
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid,
                                text.put())) {
        return {};
    }
    return NarrowText(text.get());
}

// How each kind of item shows: in the change set ("change", "item"), in the highlights.
struct KindWords {
    const char* change;
    const char* item;
    const char* highlight;
};
constexpr KindWords kKindWords[] = {
    {"added", "key", "added"},        {"added", "value", "added"},
    {"changed", "value", "changed"},  {"removed", "key", "removed"},
    {"removed", "value", "removed"},  {"removed", "entry", "removed"},
    {"renamed", "key", "renamed"},    {"renamed", "value", "renamed"},
    {"added", "file", "added"},       {"newFolder", "folder", "new folder"},
    {"modified", "file", "modified"}, {"removed", "file", "removed"},
    {"renamed", "file", "renamed"},   {"renamed", "folder", "renamed"},
};
static_assert(std::size(kKindWords) == static_cast<std::size_t>(JournalKind::RenamedFolder) + 1);

const KindWords& WordsOf(JournalKind kind) { return kKindWords[static_cast<int>(kind)]; }

bool IsHighlight(ChangeCategory category) {
    return category != ChangeCategory::None && category != ChangeCategory::Noise;
}

// The values of some keys, by key path and name, for the words of what a key's change means.
using KeyValues = std::unordered_map<std::string, std::unordered_map<std::string, std::string>>;

std::function<std::optional<std::string_view>(std::string_view)> ValuesOf(
    const KeyValues& values, std::string_view keyPath) {
    const auto key = values.find(std::string(keyPath));
    if (key == values.end()) return {};
    const auto* names = &key->second;
    return [names](std::string_view name) -> std::optional<std::string_view> {
        const auto found = names->find(std::string(name));
        if (found == names->end()) return std::nullopt;
        return std::string_view(found->second);
    };
}

// A new value's data as the walk read it, from the scratch file that holds them in order.
class NewData {
public:
    bool Open() { return reader_.Open(kNewDataScratchName); }
    // The next data, size bytes; empty when the file falls short.
    std::string_view Next(std::size_t size) {
        std::string_view bytes;
        if (size == 0 || !reader_.Peek(size, bytes)) return {};
        reader_.Consume(size);
        return bytes.substr(0, size);
    }

private:
    SequentialReader reader_;
};

}  // namespace

struct WholeChangeReport::Item {
    std::string_view area;  // "Files" or the root's name
    JournalKind kind = JournalKind::AddedFile;
    std::string_view path;  // a file's or folder's path; a key's path; an entry's whole line
    std::string_view name;  // values
    std::string_view text;  // added and removed values
    std::string_view oldText, newText;  // changed values
    std::optional<std::uint64_t> size, oldSize, newSize;
    std::uint64_t changeTime = 0;
    Classification classification;
    std::string meaning;
    // For the journal: a new value's data, an old one's when the baseline gives it back.
    std::uint32_t newType = 0;
    std::string_view newData;
    bool exactName = true;
    OldData old = OldData::Exact;
    std::uint32_t oldType = 0;
    std::string oldData;
    std::string_view oldSpelling;  // renamed items: the path, or a value's name, as it was
    // A value changed in type only: its types' names; its new data, made from its text.
    bool retyped = false;
    std::string oldTypeName, newTypeName;
    std::string ownedNewData;
    bool newDataExact = true;
};

WholeChangeReport::WholeChangeReport()
    : page_([this](std::string_view piece) { return sections_.Write(piece); }),
      changeSet_([this](std::string_view piece) { return items_.Write(piece); }) {}

WholeChangeReport::~WholeChangeReport() = default;

bool WholeChangeReport::Begin() {
    // What the last run wrote goes, and what a run that was killed left.
    for (const char* name : kStepTwoOutputNames) DeleteFileA(name);
    for (const char* name : kScratchNames) DeleteFileA(name);
    classifier_ = std::make_unique<ChangeClassifier>(ResolveKnownPlaces());
    userSid_ = CurrentUserSid();
    for (SnapshotWriter* scratch : {&sections_, &items_, &journal_}) {
        failedScratch_ = scratch;
        const char* name = scratch == &sections_ ? kSectionsScratchName
                           : scratch == &items_  ? kItemsScratchName
                                                 : kJournalScratchName;
        if (!scratch->Create(name)) return false;
    }
    return true;
}

void WholeChangeReport::Abandon() {
    for (SnapshotWriter* scratch : {&sections_, &items_, &journal_}) scratch->Close();
    for (const char* name : kScratchNames) DeleteFileA(name);
}

Classification WholeChangeReport::ClassifyRegistry(JournalKind kind, std::string_view path,
                                                   std::string_view name) const {
    switch (kind) {
        case JournalKind::AddedKey:
        case JournalKind::RemovedKey: return classifier_->ClassifyKey(path);
        case JournalKind::RemovedEntry: {
            // A line of an earlier build's baseline: a value's when something after its last
            // "\" holds "=", which is as near as the line can tell; only a mark rides on it.
            const std::size_t cut = path.rfind('\\', path.find('='));
            if (path.find('=') == std::string_view::npos || cut == std::string_view::npos) {
                return classifier_->ClassifyKey(path);
            }
            const std::string_view rest = path.substr(cut + 1);
            return classifier_->ClassifyValue(path.substr(0, cut), rest.substr(0, rest.find('=')));
        }
        default: return classifier_->ClassifyValue(path, name);
    }
}

void WholeChangeReport::Report(const Item& item) {
    const ChangeCategory category = item.classification.category;
    const std::string anchor = IsHighlight(category) ? "c" + std::to_string(++anchors_) : "";
    const ItemMark mark{category, anchor};
    switch (item.kind) {
        case JournalKind::AddedFile: page_.AddedFile(item.path, *item.size, mark); break;
        case JournalKind::ModifiedFile:
            page_.ModifiedFile(item.path, *item.oldSize, *item.newSize,
                               FormatFileTime(item.changeTime), mark);
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

    const KindWords& words = WordsOf(item.kind);
    const bool value = IsValueKind(item.kind);
    ChangeSetItem set;
    set.area = item.area;
    set.change = words.change;
    set.item = words.item;
    set.path = item.path;
    if (value) set.name = item.name;
    if (item.kind == JournalKind::RenamedValue) {
        set.oldName = item.oldSpelling;
    } else if (!item.oldSpelling.empty()) {
        set.oldPath = item.oldSpelling;
    }
    if (item.kind == JournalKind::ChangedValue) {
        set.oldText = item.oldText;
        set.newText = item.newText;
    } else if (value) {
        set.text = item.text;
    } else if (item.kind == JournalKind::RemovedEntry) {
        set.text = item.path;
    }
    set.size = item.size;
    set.oldSize = item.oldSize;
    set.newSize = item.newSize;
    const std::string changeTime = Iso8601FromFileTime(item.changeTime);
    set.changeTime = changeTime;
    set.category = category;
    set.meaning = item.meaning;
    set.exactName = item.exactName;
    if (item.retyped) {
        set.oldType = item.oldTypeName;
        set.newType = item.newTypeName;
    }
    changeSet_.Item(set);

    if (IsHighlight(category)) Highlight(item, anchor);
    if (category == ChangeCategory::Noise) {
        ++areas_.back().noise;
        ++setAreas_.back().noise;
    }

    JournalEntry entry;
    entry.kind = item.kind;
    entry.noise = category == ChangeCategory::Noise;
    entry.exactName = item.exactName;
    entry.old = item.old;
    entry.path = item.path;
    entry.name = item.name;
    entry.newType = item.newType;
    entry.newData = item.newData;
    entry.oldType = item.oldType;
    entry.oldData = item.oldData;
    entry.oldSpelling = item.oldSpelling;
    entry.newDataExact = item.newDataExact;
    journalEntry_.clear();
    AppendJournalEntry(journalEntry_, entry);
    journal_.Write(journalEntry_);
}

void WholeChangeReport::Highlight(const Item& item, std::string_view anchor) {
    const bool value = IsValueKind(item.kind);
    // The same change under HKEY_CURRENT_USER and under the user's own HKEY_USERS\<SID> is one.
    const std::string key = std::string(WordsOf(item.kind).highlight) + '\n' +
                            PathIdentity(PortableRegistryPath(item.path, userSid_)) + '\n' +
                            PathIdentity(item.name) + (item.exactName ? "" : "\n?");
    const auto [at, added] = highlightAt_.emplace(key, highlights_.size());
    if (!added) {
        ReportHighlight& first = highlights_[at->second];
        if (first.place != item.path) first.alsoAt.emplace_back(item.path);
        return;
    }
    ReportHighlight highlight;
    highlight.category = item.classification.category;
    highlight.change = WordsOf(item.kind).highlight;
    highlight.place = item.path;
    highlight.name = item.name;
    highlight.value = value;
    highlight.meaning = item.meaning;
    if (item.kind == JournalKind::ChangedValue) {
        highlight.oldText = item.oldText;
        highlight.newText = item.newText;
    } else if (value) {
        highlight.newText = item.text;
    }
    highlight.anchor = anchor;
    highlights_.push_back(std::move(highlight));
}

void WholeChangeReport::AddFilesPass(const SnapshotArea& area, const std::string& driveList,
                                     std::uint64_t baselineTime, const BaselineIndex& baseline,
                                     const BaselineRecords& records, const FileComparison& found) {
    const std::string_view text = baseline.Text();
    std::vector<FileComparison::Folder> folders = found.newFolders;
    std::unordered_map<std::string_view, std::size_t> candidates;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (!folders[i].holdsOldFile) candidates.emplace(folders[i].path, i);
    }

    // Removed: an unseen file below a place this run listed, unless below a folder that could
    // not be listed. Any unseen file keeps the folders above it from being new.
    struct Removed {
        std::size_t offset, pathLength;
    };
    std::vector<Removed> removed;
    PlaceSet listed, unlisted;
    for (const std::string& place : found.places) listed.Add(place);
    for (const std::string& folder : found.unlisted) unlisted.Add(folder);
    baseline.ForEachUnseen([&](std::size_t offset, std::string_view record) {
        const std::string_view path = record.substr(0, record.rfind(','));
        if (!candidates.empty()) {
            for (std::size_t cut = path.find('\\'); cut != std::string_view::npos;
                 cut = path.find('\\', cut + 1)) {
                const auto folder = candidates.find(path.substr(0, cut + 1));
                if (folder != candidates.end()) folders[folder->second].holdsOldFile = true;
            }
        }
        if (listed.Covers(path) && !unlisted.Covers(path)) {
            removed.push_back({offset, path.size()});
        }
    });
    const std::string ownFolder = ProgramFolder();
    std::erase_if(folders, [&](const FileComparison::Folder& folder) {
        return folder.holdsOldFile || SamePath(folder.path, ownFolder);
    });

    ReportArea row;
    row.name = "Files";
    row.places = driveList;
    row.baselineTime = FormatFileTime(baselineTime);
    row.files = true;
    row.added = static_cast<unsigned long>(found.newFiles.size());
    row.modified = static_cast<unsigned long>(found.modified.size());
    row.removed = static_cast<unsigned long>(removed.size());
    row.newFolders = static_cast<unsigned long>(folders.size());
    row.unreadable = static_cast<unsigned long>(found.unlisted.size());
    row.unreadAtBaseline = static_cast<unsigned long>(records.unreadAtBaseline.Count());
    row.newFoldersByTime = !records.HasFolderRecord();
    areas_.push_back(row);
    const auto renamed = static_cast<unsigned long>(found.renamed.size());
    counts_.unlistedAtBaseline += row.unreadAtBaseline;
    counts_.renamed += renamed;
    setAreas_.push_back({row.name, driveList, Iso8601FromFileTime(baselineTime), true, row.added,
                         row.modified, row.removed, row.newFolders, 0, renamed});
    counts_.modifiedFiles += row.modified;
    counts_.removedFiles += row.removed;
    counts_.newFolders += row.newFolders;

    auto report = [&](JournalKind kind, std::string_view path) {
        Item item;
        item.area = row.name;
        item.kind = kind;
        item.path = path;
        item.classification = classifier_->ClassifyFile(path);
        if (item.classification.rule != nullptr) {
            item.meaning = DescribeChange(*item.classification.rule,
                                          {{}, {}, {}, {}, kind == JournalKind::RemovedFile});
        }
        return item;
    };
    page_.BeginSection("Files: added", row.added);
    LineReader lines;
    if (!found.newFiles.empty() && lines.Open(area.changeListName)) {
        std::string_view line;
        for (const FileComparison::NewFile& file : found.newFiles) {
            if (!lines.Next(file.length, line)) break;
            Item item = report(JournalKind::AddedFile, line);
            item.size = file.size;
            item.exactName = file.exact;
            Report(item);
        }
    }
    page_.EndSection();
    page_.BeginSection("Files: modified", row.modified);
    for (const FileComparison::Modified& file : found.modified) {
        Item item = report(JournalKind::ModifiedFile, file.path);
        item.oldSize = file.oldSize;
        item.newSize = file.newSize;
        item.changeTime = file.changeTime;
        Report(item);
    }
    page_.EndSection();
    page_.BeginSection("Files: removed", row.removed);
    for (const Removed& file : removed) {
        Item item = report(JournalKind::RemovedFile, text.substr(file.offset, file.pathLength));
        item.size = RecordedSize(text, file.offset, file.pathLength);
        Report(item);
    }
    page_.EndSection();
    page_.BeginSection("Files: new folders", row.newFolders);
    for (const FileComparison::Folder& folder : folders) {
        Item item = report(JournalKind::NewFolder, folder.path);
        item.exactName = folder.exact;
        Report(item);
    }
    page_.EndSection();
    if (renamed == 0) return;
    page_.BeginSection("Files: renamed in letter case", renamed);
    for (const FileComparison::Renamed& file : found.renamed) {
        Item item;
        item.area = row.name;
        item.kind = file.folder ? JournalKind::RenamedFolder : JournalKind::RenamedFile;
        item.path = file.newPath;
        item.oldSpelling = file.oldPath;
        Report(item);
    }
    page_.EndSection();
}

namespace {

// A changed or removed value's old type and data, when its baseline gives them back exactly.
void TakeOldData(const GoneLine& gone, bool recorded, OldData& old, std::uint32_t& type,
                 std::string& data) {
    old = OldData::TypeUnknown;
    if (!recorded || !gone.entry.value) return;
    old = OldData::NotExact;
    std::vector<std::uint8_t> bytes;
    if (!gone.entry.exact ||
        !DataFromValueText(gone.entry.type, gone.line.substr(gone.entry.NameEnd()),
                           gone.entry.hexForm, bytes)) {
        return;
    }
    old = OldData::Exact;
    type = gone.entry.type;
    data.assign(bytes.begin(), bytes.end());
}

}  // namespace

void WholeChangeReport::AddRegistryPass(const SnapshotArea& area, std::uint64_t baselineTime,
                                        const BaselineIndex& baseline,
                                        const BaselineRecords& records,
                                        RegistryComparison& comparison) {
    const std::string rootPrefix = std::string(area.rootName) + "\\";
    const std::string_view lineRecord = records.lineRecord;
    const bool recorded = !lineRecord.empty();
    const std::vector<RegistryNewLine>& found = comparison.newLines;
    PlaceSet unknown = records.unreadAtBaseline;
    for (const std::string& key : comparison.unreadable) unknown.Add(key);
    const std::vector<GoneLine> gone = GoneLines(baseline, lineRecord, rootPrefix, unknown);
    ValuePairing pairing(gone, recorded);
    std::vector<Retyped> retyped;
    std::vector<Renamed> renamed;
    if (recorded) {
        ReadSeenAgain(baseline.Text(), lineRecord, comparison.seenValues, comparison.respelled,
                      retyped, renamed);
    }

    // A first read of the new lines: which of them change a gone value (with their data), what
    // each means, and the values of the keys whose meaning may name them (they follow their
    // key in the list).
    struct Changed {
        std::size_t line;  // index into found
        std::size_t gone;
        std::string newLine;
        std::string newData;
    };
    std::vector<Changed> changed;
    std::vector<Classification> classes(found.size());
    KeyValues addedValues;
    LineReader lines;
    NewData data;
    const bool readable = !found.empty() && lines.Open(area.changeListName) && data.Open();
    if (readable) {
        std::string_view line;
        for (std::size_t i = 0; i < found.size() && lines.Next(found[i].length, line); ++i) {
            const RegistryNewLine& entry = found[i];
            const std::string_view bytes = data.Next(entry.dataSize);
            if (entry.nameEnd == 0) {
                classes[i] = classifier_->ClassifyKey(line);
                if (classes[i].rule != nullptr) addedValues[std::string(line)];
                continue;
            }
            const std::string_view keyPath = line.substr(0, entry.keyEnd);
            const std::string_view name =
                line.substr(entry.keyEnd + 1, entry.nameEnd - entry.keyEnd - 2);
            classes[i] = classifier_->ClassifyValue(keyPath, name);
            if (!addedValues.empty()) {
                const auto key = addedValues.find(std::string(keyPath));
                if (key != addedValues.end())
                    key->second[std::string(name)] = line.substr(entry.nameEnd);
            }
            if (gone.empty()) continue;
            const std::size_t old = pairing.Pair(line.substr(0, entry.nameEnd), entry.exactName);
            if (old != ChangedValueMatcher::kNone) {
                changed.push_back({i, old, std::string(line), std::string(bytes)});
            }
        }
    }
    // The same of the gone lines left: what each means, and the values of removed keys.
    std::vector<Classification> goneClasses(gone.size());
    KeyValues removedValues;
    for (std::size_t i = 0; i < gone.size(); ++i) {
        if (pairing.Taken(i)) continue;
        const GoneLine& item = gone[i];
        if (!item.split) {
            goneClasses[i] = ClassifyRegistry(JournalKind::RemovedEntry, item.line, {});
        } else if (!item.entry.value) {
            goneClasses[i] = classifier_->ClassifyKey(item.line);
            if (goneClasses[i].rule != nullptr) removedValues[std::string(item.line)];
        } else {
            const std::string_view keyPath = item.line.substr(0, item.entry.keyEnd);
            const std::string_view name =
                item.line.substr(item.entry.keyEnd + 1, item.entry.nameLength);
            goneClasses[i] = classifier_->ClassifyValue(keyPath, name);
            const auto key = removedValues.find(std::string(keyPath));
            if (key != removedValues.end()) {
                key->second[std::string(name)] = item.line.substr(item.entry.NameEnd());
            }
        }
    }

    ReportArea row;
    row.name = area.rootName;
    row.places = area.rootName;
    row.baselineTime = FormatFileTime(baselineTime);
    row.added = static_cast<unsigned long>(found.size() - changed.size());
    row.modified = static_cast<unsigned long>(changed.size() + retyped.size());
    row.removed = static_cast<unsigned long>(gone.size() - changed.size());
    row.unreadable = static_cast<unsigned long>(comparison.unreadable.size());
    row.unreadAtBaseline = static_cast<unsigned long>(records.unreadAtBaseline.Count());
    row.typesUnknown = !recorded;
    areas_.push_back(row);
    counts_.unreadAtBaseline += row.unreadAtBaseline;
    setAreas_.push_back({row.name, row.places, Iso8601FromFileTime(baselineTime), false, row.added,
                         row.modified, row.removed, 0, 0,
                         static_cast<unsigned long>(renamed.size())});
    counts_.removedRegistryEntries += row.removed;
    counts_.changedRegistryValues += static_cast<unsigned long>(changed.size());
    counts_.retypedValues += static_cast<unsigned long>(retyped.size());
    counts_.renamed += static_cast<unsigned long>(renamed.size());

    auto describe = [](Item& item, MeaningContext context) {
        if (item.classification.rule != nullptr) {
            item.meaning = DescribeChange(*item.classification.rule, context);
        }
    };
    const std::string name(area.rootName);
    page_.BeginSection(name + ": added", row.added);
    if (readable && lines.Open(area.changeListName) && data.Open()) {
        std::string_view line;
        auto next = changed.begin();
        for (std::size_t i = 0; i < found.size() && lines.Next(found[i].length, line); ++i) {
            const RegistryNewLine& entry = found[i];
            const std::string_view bytes = data.Next(entry.dataSize);
            if (next != changed.end() && next->line == i) {
                ++next;
                continue;
            }
            Item item;
            item.area = area.rootName;
            item.classification = classes[i];
            item.exactName = entry.exactName;
            if (entry.nameEnd == 0) {
                item.kind = JournalKind::AddedKey;
                item.path = line;
                describe(item, {{}, {}, ValuesOf(addedValues, line), {}, false});
            } else {
                item.kind = JournalKind::AddedValue;
                item.path = line.substr(0, entry.keyEnd);
                item.name = line.substr(entry.keyEnd + 1, entry.nameEnd - entry.keyEnd - 2);
                item.text = line.substr(entry.nameEnd);
                item.newType = entry.type;
                item.newData = bytes;
                item.exactName = entry.exactName;
                describe(item, {item.text, {}, ValuesOf(addedValues, item.path), item.name, false});
            }
            Report(item);
        }
    }
    page_.EndSection();
    page_.BeginSection(name + ": changed", row.modified);
    for (const Changed& value : changed) {
        const RegistryNewLine& entry = found[value.line];
        const std::string_view line = value.newLine;
        Item item;
        item.area = area.rootName;
        item.kind = JournalKind::ChangedValue;
        item.classification = classes[value.line];
        item.path = line.substr(0, entry.keyEnd);
        item.name = line.substr(entry.keyEnd + 1, entry.nameEnd - entry.keyEnd - 2);
        item.oldText = gone[value.gone].line.substr(entry.nameEnd);
        item.newText = line.substr(entry.nameEnd);
        item.newType = entry.type;
        item.newData = value.newData;
        item.exactName = entry.exactName;
        TakeOldData(gone[value.gone], recorded, item.old, item.oldType, item.oldData);
        describe(item, {item.newText, item.oldText, {}, item.name, false});
        Report(item);
    }
    for (const Retyped& value : retyped) ReportRetyped(area, value, describe);
    page_.EndSection();
    page_.BeginSection(name + ": removed", row.removed);
    for (std::size_t i = 0; i < gone.size(); ++i) {
        if (pairing.Taken(i)) continue;
        const GoneLine& gonePiece = gone[i];
        Item item;
        item.area = area.rootName;
        item.classification = goneClasses[i];
        item.exactName = gonePiece.entry.nameExact;
        if (!gonePiece.split) {
            item.kind = JournalKind::RemovedEntry;
            item.path = gonePiece.line;
            item.old = OldData::TypeUnknown;
            describe(item, {gonePiece.line, {}, {}, {}, true});
        } else if (!gonePiece.entry.value) {
            item.kind = JournalKind::RemovedKey;
            item.path = gonePiece.line;
            describe(item, {{}, {}, ValuesOf(removedValues, item.path), {}, true});
        } else {
            item.kind = JournalKind::RemovedValue;
            item.path = gonePiece.line.substr(0, gonePiece.entry.keyEnd);
            item.name =
                gonePiece.line.substr(gonePiece.entry.keyEnd + 1, gonePiece.entry.nameLength);
            item.text = gonePiece.line.substr(gonePiece.entry.NameEnd());
            TakeOldData(gonePiece, recorded, item.old, item.oldType, item.oldData);
            describe(item, {item.text, {}, ValuesOf(removedValues, item.path), item.name, true});
        }
        Report(item);
    }
    page_.EndSection();
    if (renamed.empty()) return;
    page_.BeginSection(name + ": renamed in letter case",
                       static_cast<unsigned long>(renamed.size()));
    for (const Renamed& entry : renamed) {
        Item item;
        item.area = area.rootName;
        item.kind = entry.value ? JournalKind::RenamedValue : JournalKind::RenamedKey;
        item.path = entry.path;
        item.name = entry.name;
        item.text = entry.text;
        item.oldSpelling = entry.oldSpelling;
        Report(item);
    }
    page_.EndSection();
}

template <typename Describe>
void WholeChangeReport::ReportRetyped(const SnapshotArea& area, const Retyped& value,
                                      const Describe& describe) {
    const RegistryLine& old = value.old;
    Item item;
    item.area = area.rootName;
    item.kind = JournalKind::ChangedValue;
    item.path = value.line.substr(0, old.keyEnd);
    item.name = value.line.substr(old.keyEnd + 1, old.nameLength);
    item.oldText = item.newText = value.line.substr(old.NameEnd());
    item.classification = classifier_->ClassifyValue(item.path, item.name);
    item.exactName = old.nameExact;
    item.retyped = true;
    item.newType = value.newType;
    std::vector<std::uint8_t> bytes;
    item.newDataExact =
        value.newExact && DataFromValueText(value.newType, item.newText, value.newHexForm, bytes);
    item.ownedNewData.assign(bytes.begin(), bytes.end());
    item.newData = item.ownedNewData;
    TakeOldData({value.line, old, true}, true, item.old, item.oldType, item.oldData);
    item.oldTypeName = RegistryTypeName(old.type);
    item.newTypeName = RegistryTypeName(value.newType);
    describe(item, {item.newText, item.oldText, {}, item.name, false});
    Report(item);
}

bool WholeChangeReport::Finish(std::string& failure) {
    bool written = true;
    for (SnapshotWriter* scratch : {&sections_, &items_, &journal_}) {
        if (written && (!scratch->Close() || !(scratch == &sections_ ? page_.Ok()
                                               : scratch == &items_  ? changeSet_.Ok()
                                                                     : true))) {
            failure = WriteFailureText(*scratch);
            written = false;
        }
        scratch->Close();
    }
    UndoFilesCounts undo;
    written = written && WriteUndoFiles(kJournalScratchName, userSid_, undo, failure);

    // The report: its head, which needs every count, then the sections and the end.
    if (written) {
        SnapshotWriter report;
        written = report.Create(kReportName);
        if (written) {
            ReportPage head([&](std::string_view piece) { return report.Write(piece); });
            ReportFiles files{kChangeSetName,
                              kRedoRegName,
                              kUndoRegName,
                              kUndoCmdName,
                              undo.notRestoredTypeUnknown,
                              undo.notRestoredDataNotExact};
            head.Head(NowText(), ComputerName(), areas_, highlights_, files);
            written = AppendFile(kSectionsScratchName, report);
            head.Tail();
            written = written && head.Ok();
        }
        if (!report.Close() || !written) {
            if (failure.empty()) failure = WriteFailureText(report);
            written = false;
        }
    }
    // The change set: the run with its areas, then the items.
    if (written) {
        SnapshotWriter set;
        written = set.Create(kChangeSetName);
        if (written) {
            ChangeSetWriter run([&](std::string_view piece) { return set.Write(piece); });
            run.Run(QUORVANE_VERSION_TEXT, Iso8601FromFileTime(NowFileTime()), ComputerName(),
                    setAreas_);
            written = run.Ok() && AppendFile(kItemsScratchName, set);
        }
        if (!set.Close() || !written) {
            if (failure.empty()) failure = WriteFailureText(set);
            written = false;
        }
    }
    for (const char* name : kScratchNames) DeleteFileA(name);
    if (!written) {
        for (const char* name : kStepTwoOutputNames) DeleteFileA(name);
    }
    return written;
}
