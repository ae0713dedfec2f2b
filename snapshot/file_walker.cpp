#include "snapshot/file_walker.h"

#include <windows.h>

#include <charconv>
#include <cstdint>
#include <vector>

#include "snapshot/baseline_index.h"
#include "snapshot/copy_files.h"
#include "snapshot/scan_observer.h"
#include "snapshot/snapshot_files.h"
#include "snapshot/file_listing.h"
#include "snapshot/folder_record.h"
#include "snapshot/path_identity.h"
#include "win32/unique_handle.h"
#include "snapshot/place_set.h"
#include "text/text.h"

namespace {

// One open directory of the walk, with the lengths that its own paths end at.
struct OpenDirectory {
    std::size_t systemLength;   // of the extended-length path, with its final backslash
    std::size_t displayLength;  // of the path as the user knows it, with its final backslash
    std::size_t newFolder;      // its entry in FileComparison::newFolders, or kNone
    bool holdsOldFile;          // a file of the baseline was met below it
    bool exact;                 // its path came through to text exactly
    bool programFolder;         // the program writes its own files here
};

bool IsWholeName(std::wstring_view name) {
    return IsWholeUtf16(
        std::u16string_view(reinterpret_cast<const char16_t*>(name.data()), name.size()));
}

// The path as the baseline spells it, of a file record ("path,size") or a folder's line that
// starts at record.
std::string_view RecordedPath(std::string_view text, std::size_t record, bool fileRecord) {
    std::string_view line = text.substr(record, text.find("\r\n", record) - record);
    if (fileRecord) line = line.substr(0, line.rfind(','));
    return line;
}

// A line of the record of the baseline's folders for a folder that could not be listed.
bool NoteUnlisted(SnapshotWriter* folders, std::string_view path) {
    if (folders == nullptr) return true;
    std::string line(1, kUnlistedFolderMark);
    line += path;
    return folders->WriteLine(line);
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The number after the comma of a file record: digits, perhaps after a minus sign.
bool ParseRecordedSize(std::string_view baseline, std::size_t at, std::uint64_t& size,
                       bool& negative) {
    negative = at < baseline.size() && baseline[at] == '-';
    if (negative) ++at;
    size = 0;
    const std::size_t digits = at;
    while (at < baseline.size() && baseline[at] >= '0' && baseline[at] <= '9') {
        size = size * 10 + static_cast<std::uint64_t>(baseline[at] - '0');
        ++at;
    }
    return at > digits;
}

// Whether the folder at path (with its final "\") is new: one that the record of the baseline's
// folders does not hold, or without a record, one created after the baseline. A folder the
// record spells otherwise in letter case is noted renamed.
bool IsNewFolder(FileComparison& comparison, const std::string& path, std::uint64_t creationTime) {
    BaselineIndex* folders = comparison.baselineFolders;
    if (folders == nullptr) return creationTime > comparison.baselineTime;
    BaselineIndex::Match match;
    if (!folders->MarkSeen(path, 0, match)) return true;
    if (!match.sameBytes) {
        const std::string_view recorded = RecordedPath(folders->Text(), match.record, false);
        if (RenamedInCase(recorded, path)) {
            comparison.renamed.push_back({std::string(recorded), path, true});
        }
    }
    return false;
}

}  // namespace

std::uint64_t RecordedSize(std::string_view baseline, std::size_t record, std::size_t pathLength) {
    std::uint64_t size = 0;
    bool negative = false;
    ParseRecordedSize(baseline, record + pathLength + 1, size, negative);
    return negative ? static_cast<std::uint32_t>(0u - static_cast<std::uint32_t>(size)) : size;
}

bool SameRecordedSize(std::string_view baseline, std::size_t record, std::size_t pathLength,
                      std::uint64_t size) {
    std::uint64_t recorded = 0;
    bool negative = false;
    if (!ParseRecordedSize(baseline, record + pathLength + 1, recorded, negative)) return false;
    // Older builds wrote the low 32 bits of the size as a signed number: a negative one, or for
    // a file of 4 GiB and more perhaps a small positive one.
    const auto low = static_cast<std::uint32_t>(size);
    if (negative) return static_cast<std::uint32_t>(0u - static_cast<std::uint32_t>(recorded)) == low;
    if (size > 0xFFFFFFFFu && recorded <= 0x7FFFFFFFu) return recorded == low;
    return recorded == size;
}

long ScanDirectoryTree(std::string_view pattern, SnapshotWriter& output, BaselineIndex* baseline,
                       bool copyNewFiles, ScanObserver& observer, FileComparison* comparison,
                       SnapshotWriter* folders) {
    // The shown paths start with the pattern's own folder part (up to its last backslash, or
    // its drive for "C:*.*"), the listing's with the same folder made absolute.
    std::size_t cut = pattern.rfind('\\');
    if (cut == std::string_view::npos && pattern.size() >= 2 && pattern[1] == ':') cut = 1;
    const std::string_view prefix =
        cut == std::string_view::npos ? std::string_view() : pattern.substr(0, cut + 1);
    std::string_view filter = pattern.substr(prefix.size());
    if (filter.empty()) filter = "*";

    // The copies of new files are the program's own.
    if (InCopyFolder(prefix)) return 0;
    const std::string programFolder = ProgramFolder();
    // What Step #1 could not list has no baseline to compare with.
    const PlaceSet* unread = comparison != nullptr ? comparison->unreadAtBaseline : nullptr;
    if (unread != nullptr && unread->Holds(prefix)) return 0;

    std::wstring systemPath = ExtendedLengthPath(prefix.empty() ? std::string_view(".") : prefix);
    if (systemPath.empty()) return 0;
    if (systemPath.back() != L'\\') systemPath += L'\\';
    std::string displayPath(prefix);
    // The buffers grow to the deepest path once and are reused for every entry.
    systemPath.reserve(1024);
    displayPath.reserve(1024);

    // One listing a level, kept for the next folder at that depth: their buffers are reused.
    std::vector<DirectoryListing> listings(1);
    std::vector<OpenDirectory> open;
    if (!listings[0].Open(systemPath, WidenText(filter))) {
        NoteUnlisted(folders, prefix);
        return 0;
    }
    if (folders != nullptr && !folders->WriteLine(prefix)) return 0;
    open.push_back({systemPath.size(), displayPath.size(), kNone, false, true,
                    SamePath(prefix, programFolder)});
    if (comparison != nullptr) comparison->places.emplace_back(prefix);

    const std::string_view baselineText = baseline != nullptr ? baseline->Text() : "";
    long lines = 0;
    char sizeText[24];
    ListedEntry entry;
    while (!open.empty()) {
        OpenDirectory& current = open.back();
        DirectoryListing& listing = listings[open.size() - 1];
        if (!listing.Next(entry)) {
            listing.Close();
            if (comparison != nullptr && current.newFolder != kNone) {
                comparison->newFolders[current.newFolder].holdsOldFile = current.holdsOldFile;
            }
            const bool holdsOld = current.holdsOldFile;
            open.pop_back();  // current is gone from here on
            if (!open.empty() && holdsOld) open.back().holdsOldFile = true;
            continue;
        }
        if (observer.ShouldStop() || output.Failed() || (folders != nullptr && folders->Failed())) {
            break;
        }
        if (IsDotEntry(entry.name)) continue;

        systemPath.resize(current.systemLength);
        displayPath.resize(current.displayLength);
        systemPath.append(entry.name);
        displayPath.append(NarrowText(entry.name));
        const bool exact = current.exact && IsWholeName(entry.name);

        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A linked folder leads into a tree listed under its own path, or back up into
            // this one: never entered.
            if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            systemPath += L'\\';
            displayPath += '\\';
            if (InCopyFolder(displayPath)) continue;
            if (unread != nullptr && unread->Holds(displayPath)) continue;
            std::size_t newFolder = kNone;
            if (comparison != nullptr && IsNewFolder(*comparison, displayPath, entry.creationTime)) {
                newFolder = comparison->newFolders.size();
                comparison->newFolders.push_back({displayPath, entry.creationTime, false, exact});
            }
            if (listings.size() == open.size()) listings.emplace_back();
            if (listings[open.size()].Open(systemPath)) {
                if (folders != nullptr) folders->WriteLine(displayPath);
                open.push_back({systemPath.size(), displayPath.size(), newFolder, false, exact,
                                SamePath(displayPath, programFolder)});
            } else {
                NoteUnlisted(folders, displayPath);
                if (comparison != nullptr) {
                    // What the baseline lists below it is not known to be gone.
                    comparison->unlisted.push_back(displayPath);
                    if (newFolder != kNone) comparison->newFolders[newFolder].holdsOldFile = true;
                }
            }
            continue;
        }

        if (current.programFolder &&
            IsProgramFileName(std::string_view(displayPath).substr(current.displayLength))) {
            continue;
        }
        observer.ItemVisited(displayPath);

        if (baseline == nullptr) {
            const std::size_t pathLength = displayPath.size();
            sizeText[0] = ',';
            const auto converted =
                std::to_chars(sizeText + 1, sizeText + sizeof sizeText, entry.size);
            displayPath.append(sizeText, converted.ptr);
            const bool written = output.WriteLine(displayPath);
            displayPath.resize(pathLength);
            if (!written) break;
            ++lines;
            continue;
        }
        BaselineIndex::Match match;
        if (baseline->MarkSeen(displayPath, 0, match)) {
            current.holdsOldFile = true;
            if (comparison == nullptr) continue;
            const std::size_t record = match.record;
            // The baseline's spelling may differ in letter case, and so in length.
            const std::string_view recorded =
                match.sameBytes ? std::string_view(displayPath)
                                : RecordedPath(baselineText, record, true);
            if (RenamedInCase(recorded, displayPath)) {
                comparison->renamed.push_back({std::string(recorded), displayPath, false});
            }
            if (entry.changeTime > comparison->baselineTime ||
                !SameRecordedSize(baselineText, record, recorded.size(), entry.size)) {
                comparison->modified.push_back(
                    {record, displayPath, RecordedSize(baselineText, record, recorded.size()),
                     entry.size, entry.changeTime});
            }
            continue;
        }
        if (copyNewFiles) CopyNewFile(displayPath, observer);
        if (!output.WriteLine(displayPath)) break;
        ++lines;
        if (comparison != nullptr) {
            comparison->newFiles.push_back({displayPath.size(), entry.size, exact});
        }
        observer.NewFileFound();
    }
    return lines;
}
