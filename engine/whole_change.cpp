#include "engine/whole_change.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "snapshot/baseline_index.h"
#include "snapshot/changed_values.h"
#include "snapshot/registry_lines.h"
#include "snapshot/unique_handle.h"
#include "text/text.h"

namespace {

// The sections wait here until the counts for the head are known.
constexpr char kSectionsName[] = "Quorvane_Report.tmp";

// Values that a comparison never reports, new, changed or removed.
constexpr std::string_view kIgnoredValues[] = {"\\StartMenuInit=", "\\StartMenuLogoff=",
                                               "\\StartMenuRun="};

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool StartsWithAny(std::string_view text, const std::vector<std::string>& prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](const std::string& prefix) { return StartsWith(text, prefix); });
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

// The current directory as the walker shows folders: with its final backslash.
std::string OwnFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data());
    if (length == 0 || length >= path.size()) return {};
    path.resize(length);
    if (path.back() != L'\\') path += L'\\';
    return NarrowText(path);
}

bool SameFolder(std::string_view a, std::string_view b) {
    return a.size() == b.size() && FindNoCase(a, b) == 0;
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

}  // namespace

std::uint64_t LastWriteTime(const char* name) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(name, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

std::string LoadRegistryLineRecord(const SnapshotArea& area, std::string_view baseline,
                                   std::vector<std::size_t>& joins) {
    BaselineText record;
    DWORD error = ERROR_SUCCESS;
    if (area.linesName == nullptr ||
        LoadBaselineFile(area.linesName, record, error) != BaselineLoad::Loaded) {
        return {};
    }
    const std::string rootPrefix = std::string(area.rootName) + "\\";
    if (!MatchRegistryLines(record.View(), baseline, rootPrefix, joins)) return {};
    return std::string(record.View());
}

bool WholeChangeReport::Begin() {
    DeleteFileA(kReportName);
    return sections_.Create(kSectionsName);
}

void WholeChangeReport::Abandon() {
    sections_.Close();
    DeleteFileA(kSectionsName);
}

void WholeChangeReport::AddFilesPass(const SnapshotArea& area, const std::string& driveList,
                                     std::uint64_t baselineTime, const BaselineIndex& baseline,
                                     const FileComparison& found) {
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
    baseline.ForEachUnseen([&](std::size_t offset, std::string_view record) {
        const std::string_view path = record.substr(0, record.rfind(','));
        if (!candidates.empty()) {
            for (std::size_t cut = path.find('\\'); cut != std::string_view::npos;
                 cut = path.find('\\', cut + 1)) {
                const auto folder = candidates.find(path.substr(0, cut + 1));
                if (folder != candidates.end()) folders[folder->second].holdsOldFile = true;
            }
        }
        if (StartsWithAny(path, found.places) && !StartsWithAny(path, found.unlisted)) {
            removed.push_back({offset, path.size()});
        }
    });
    const std::string ownFolder = OwnFolder();
    std::erase_if(folders, [&](const FileComparison::Folder& folder) {
        return folder.holdsOldFile || SameFolder(folder.path, ownFolder);
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
    areas_.push_back(row);
    counts_.modifiedFiles += row.modified;
    counts_.removedFiles += row.removed;
    counts_.newFolders += row.newFolders;

    page_.BeginSection("Files: added", row.added);
    LineReader lines;
    if (!found.newFiles.empty() && lines.Open(area.changeListName)) {
        std::string_view line;
        for (const FileComparison::NewFile& file : found.newFiles) {
            if (!lines.Next(file.length, line)) break;
            page_.AddedFile(line, file.size);
        }
    }
    page_.EndSection();
    page_.BeginSection("Files: modified", row.modified);
    for (const FileComparison::Modified& file : found.modified) {
        page_.ModifiedFile(file.path, file.oldSize, file.newSize, FormatFileTime(file.changeTime));
    }
    page_.EndSection();
    page_.BeginSection("Files: removed", row.removed);
    for (const Removed& file : removed) {
        page_.RemovedFile(text.substr(file.offset, file.pathLength),
                          RecordedSize(text, file.offset, file.pathLength));
    }
    page_.EndSection();
    page_.BeginSection("Files: new folders", row.newFolders);
    for (const FileComparison::Folder& folder : folders) page_.Folder(folder.path);
    page_.EndSection();
}

namespace {

// A baseline line that the walk did not produce.
struct GoneLine {
    std::string_view line;
    RegistryLine entry;  // as the record tells; without a record, entry.value is false
    bool split = false;  // entry is known: the line splits into key path, name and text
};

// Whether line lies below one of the keys whose lines are in keys: what the baseline holds
// there is not known to be gone.
bool BelowAny(std::string_view line, const std::unordered_set<std::string_view>& keys) {
    if (keys.empty()) return false;
    for (std::size_t cut = line.find('\\'); cut != std::string_view::npos;
         cut = line.find('\\', cut + 1)) {
        if (keys.count(line.substr(0, cut)) != 0) return true;
    }
    return false;
}

bool IsIgnoredValueName(std::string_view name) {
    for (std::string_view ignored : kIgnoredValues) {
        if (name == ignored.substr(1, ignored.size() - 2)) return true;
    }
    return false;
}

// Every line of the baseline that the walk did not produce, but those below unreadable keys
// and those of values a comparison never reports.
std::vector<GoneLine> GoneLines(const BaselineIndex& baseline, std::string_view lineRecord,
                                std::string_view rootPrefix,
                                const std::vector<std::string>& unreadable) {
    const std::string_view text = baseline.Text();
    const std::unordered_set<std::string_view> unknown(unreadable.begin(), unreadable.end());
    std::vector<GoneLine> gone;
    if (!lineRecord.empty()) {
        RegistryLineCursor cursor(lineRecord);
        baseline.ForEachUnseen([&](std::size_t offset, std::string_view line) {
            GoneLine item{line, {}, true};
            if (!cursor.At(offset, item.entry) || BelowAny(line, unknown)) return;
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
        if (!BelowAny(line, unknown)) gone.push_back({line, {}, false});
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
                byStart_.emplace(gone[i].line.substr(0, gone[i].entry.NameEnd()), i);
            }
        }
    }

    // The gone line that the new value whose line starts with start ("key\name=") changes,
    // now taken; ChangedValueMatcher::kNone when it changes none.
    std::size_t Pair(std::string_view start) {
        if (guess_) return guess_->Pair(start);
        const auto found = byStart_.find(start);
        if (found == byStart_.end() || taken_[found->second]) return ChangedValueMatcher::kNone;
        taken_[found->second] = true;
        return found->second;
    }
    bool Taken(std::size_t line) const { return guess_ ? guess_->Taken(line) : taken_[line]; }

private:
    std::optional<ChangedValueMatcher> guess_;
    std::unordered_map<std::string_view, std::size_t> byStart_;
    std::vector<bool> taken_;
};

}  // namespace

void WholeChangeReport::AddRegistryPass(const SnapshotArea& area, std::uint64_t baselineTime,
                                        const BaselineIndex& baseline,
                                        std::string_view lineRecord,
                                        const RegistryComparison& comparison) {
    const std::string rootPrefix = std::string(area.rootName) + "\\";
    const std::vector<RegistryNewLine>& found = comparison.newLines;
    const std::vector<GoneLine> gone =
        GoneLines(baseline, lineRecord, rootPrefix, comparison.unreadable);
    ValuePairing pairing(gone, !lineRecord.empty());

    struct Changed {
        std::size_t line;  // index into found
        std::size_t gone;
        std::string newLine;
    };
    std::vector<Changed> changed;
    LineReader lines;
    const bool readable = !found.empty() && lines.Open(area.changeListName);
    if (readable && !gone.empty()) {
        std::string_view line;
        for (std::size_t i = 0; i < found.size() && lines.Next(found[i].length, line); ++i) {
            if (found[i].nameEnd == 0) continue;
            const std::size_t old = pairing.Pair(line.substr(0, found[i].nameEnd));
            if (old != ChangedValueMatcher::kNone) changed.push_back({i, old, std::string(line)});
        }
    }

    ReportArea row;
    row.name = area.rootName;
    row.places = area.rootName;
    row.baselineTime = FormatFileTime(baselineTime);
    row.added = static_cast<unsigned long>(found.size() - changed.size());
    row.modified = static_cast<unsigned long>(changed.size());
    row.removed = static_cast<unsigned long>(gone.size() - changed.size());
    row.unreadable = static_cast<unsigned long>(comparison.unreadable.size());
    areas_.push_back(row);
    counts_.removedRegistryEntries += row.removed;
    counts_.changedRegistryValues += row.modified;

    const std::string name(area.rootName);
    page_.BeginSection(name + ": added", row.added);
    if (readable && lines.Open(area.changeListName)) {
        std::string_view line;
        auto next = changed.begin();
        for (std::size_t i = 0; i < found.size() && lines.Next(found[i].length, line); ++i) {
            if (next != changed.end() && next->line == i) {
                ++next;
                continue;
            }
            const RegistryNewLine& entry = found[i];
            if (entry.nameEnd == 0) {
                page_.Key(line);
            } else {
                page_.Value(line.substr(0, entry.keyEnd),
                            line.substr(entry.keyEnd + 1, entry.nameEnd - entry.keyEnd - 2),
                            line.substr(entry.nameEnd));
            }
        }
    }
    page_.EndSection();
    page_.BeginSection(name + ": changed", row.modified);
    for (const Changed& value : changed) {
        const RegistryNewLine& entry = found[value.line];
        const std::string_view line = value.newLine;
        const std::string_view old = gone[value.gone].line;
        page_.ChangedValue(line.substr(0, entry.keyEnd),
                           line.substr(entry.keyEnd + 1, entry.nameEnd - entry.keyEnd - 2),
                           old.substr(entry.nameEnd), line.substr(entry.nameEnd));
    }
    page_.EndSection();
    page_.BeginSection(name + ": removed", row.removed);
    for (std::size_t i = 0; i < gone.size(); ++i) {
        if (pairing.Taken(i)) continue;
        const GoneLine& item = gone[i];
        if (!item.split) {
            page_.RemovedEntry(item.line);
        } else if (!item.entry.value) {
            page_.RemovedKey(item.line);
        } else {
            page_.RemovedValue(item.line.substr(0, item.entry.keyEnd),
                               item.line.substr(item.entry.keyEnd + 1, item.entry.nameLength),
                               item.line.substr(item.entry.NameEnd()));
        }
    }
    page_.EndSection();
}

bool WholeChangeReport::Finish(std::string& failure) {
    const bool sectionsWritten = sections_.Close() && page_.Ok();
    SnapshotWriter report;
    bool written = sectionsWritten && report.Create(kReportName);
    if (written) {
        ReportPage head([&](std::string_view piece) { return report.Write(piece); });
        head.Head(NowText(), ComputerName(), areas_);
        UniqueFileHandle sections(CreateFileA(kSectionsName, GENERIC_READ, FILE_SHARE_READ,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                              nullptr));
        written = sections.valid();
        std::string block(1 << 20, '\0');
        DWORD read = 0;
        while (written && ReadFile(sections.get(), block.data(), static_cast<DWORD>(block.size()),
                                   &read, nullptr) &&
               read != 0) {
            written = report.Write(std::string_view(block.data(), read));
        }
        head.Tail();
        written = report.Close() && written && head.Ok();
    }
    DeleteFileA(kSectionsName);
    if (!written) {
        const SnapshotWriter& failed = sectionsWritten ? report : sections_;
        failure = "Could not write \"" + failed.Name() + "\".\n\n" +
                  SystemErrorText(failed.Error()) + "\n\nThe scan was stopped.";
        DeleteFileA(kReportName);
    }
    return written;
}
