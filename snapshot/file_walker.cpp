#include "snapshot/file_walker.h"

#include <windows.h>

#include <charconv>
#include <functional>
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

namespace {

// One walk of a tree, depth first without recursion: one listing a level, kept for the next
// folder at that depth, so that their buffers are reused; the path buffers grow to the deepest
// path once and are reused for every entry.
class FileWalk {
public:
    FileWalk(SnapshotWriter& output, BaselineIndex* baseline, bool copyNewFiles,
             ScanObserver& observer, FileComparison* comparison, SnapshotWriter* folders)
        : output_(output),
          baseline_(baseline),
          copyNewFiles_(copyNewFiles),
          observer_(observer),
          comparison_(comparison),
          folders_(folders),
          unread_(comparison != nullptr ? comparison->unreadAtBaseline : nullptr),
          baselineText_(baseline != nullptr ? baseline->Text() : ""),
          shouldStop_([this] { return observer_.ShouldStop(); }) {}

    long Run(std::string_view pattern);

private:
    bool Start(std::string_view prefix, std::string_view filter);
    void LeaveFolder();
    void EnterFolder(const ListedEntry& entry, bool exact);
    // False when a write failed.
    bool ListFile(const ListedEntry& entry, bool exact);
    void NoteOldFile(const BaselineIndex::Match& match, const ListedEntry& entry);
    // The SHA-256 of the file in hand, when the comparison asks for it.
    FileHash HashContent();
    bool Failed() const { return output_.Failed() || (folders_ != nullptr && folders_->Failed()); }

    SnapshotWriter& output_;
    BaselineIndex* baseline_;
    const bool copyNewFiles_;
    ScanObserver& observer_;
    FileComparison* comparison_;
    SnapshotWriter* folders_;
    const PlaceSet* unread_;  // what Step #1 could not list has no baseline to compare with
    const std::string_view baselineText_;
    std::string programFolder_;
    std::wstring systemPath_;  // the extended-length path of the entry in hand
    std::string displayPath_;  // the same path as the user knows it
    std::vector<DirectoryListing> listings_;
    std::vector<OpenDirectory> open_;
    long lines_ = 0;
    const std::function<bool()> shouldStop_;
    bool stopped_ = false;  // asked to stop while a file was read for its hash
};

long FileWalk::Run(std::string_view pattern) {
    // The shown paths start with the pattern's own folder part (up to its last backslash, or
    // its drive for "C:*.*"), the listing's with the same folder made absolute.
    std::size_t cut = pattern.rfind('\\');
    if (cut == std::string_view::npos && pattern.size() >= 2 && pattern[1] == ':') cut = 1;
    const std::string_view prefix =
        cut == std::string_view::npos ? std::string_view() : pattern.substr(0, cut + 1);
    std::string_view filter = pattern.substr(prefix.size());
    if (filter.empty()) filter = "*";
    if (!Start(prefix, filter)) return 0;

    ListedEntry entry;
    while (!open_.empty()) {
        if (!listings_[open_.size() - 1].Next(entry)) {
            LeaveFolder();
            continue;
        }
        if (stopped_ || observer_.ShouldStop() || Failed()) break;
        if (IsDotEntry(entry.name)) continue;
        const OpenDirectory& current = open_.back();
        systemPath_.resize(current.systemLength);
        displayPath_.resize(current.displayLength);
        systemPath_.append(entry.name);
        displayPath_.append(NarrowText(entry.name));
        const bool exact = current.exact && IsWholeName(entry.name);
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            EnterFolder(entry, exact);
        } else if (!ListFile(entry, exact)) {
            break;
        }
    }
    return lines_;
}

bool FileWalk::Start(std::string_view prefix, std::string_view filter) {
    // The copies of new files are the program's own.
    if (InCopyFolder(prefix) || (unread_ != nullptr && unread_->Holds(prefix))) return false;
    programFolder_ = ProgramFolder();
    systemPath_ = ExtendedLengthPath(prefix.empty() ? std::string_view(".") : prefix);
    if (systemPath_.empty()) return false;
    if (systemPath_.back() != L'\\') systemPath_ += L'\\';
    displayPath_.assign(prefix);
    systemPath_.reserve(1024);
    displayPath_.reserve(1024);
    listings_.resize(1);
    if (!listings_[0].Open(systemPath_, WidenText(filter))) {
        NoteUnlisted(folders_, prefix);
        return false;
    }
    if (folders_ != nullptr && !folders_->WriteLine(prefix)) return false;
    open_.push_back({systemPath_.size(), displayPath_.size(), kNone, false, true,
                     SamePath(prefix, programFolder_)});
    if (comparison_ != nullptr) comparison_->places.emplace_back(prefix);
    return true;
}

void FileWalk::LeaveFolder() {
    listings_[open_.size() - 1].Close();
    const OpenDirectory& current = open_.back();
    if (comparison_ != nullptr && current.newFolder != kNone) {
        comparison_->newFolders[current.newFolder].holdsOldFile = current.holdsOldFile;
    }
    const bool holdsOld = current.holdsOldFile;
    open_.pop_back();  // current is gone from here on
    if (!open_.empty() && holdsOld) open_.back().holdsOldFile = true;
}

void FileWalk::EnterFolder(const ListedEntry& entry, bool exact) {
    // A linked folder leads into a tree listed under its own path, or back up into this one:
    // never entered.
    if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return;
    systemPath_ += L'\\';
    displayPath_ += '\\';
    if (InCopyFolder(displayPath_) || (unread_ != nullptr && unread_->Holds(displayPath_))) return;
    std::size_t newFolder = kNone;
    if (comparison_ != nullptr && IsNewFolder(*comparison_, displayPath_, entry.creationTime)) {
        newFolder = comparison_->newFolders.size();
        comparison_->newFolders.push_back({displayPath_, entry.creationTime, false, exact});
    }
    if (listings_.size() == open_.size()) listings_.emplace_back();
    if (listings_[open_.size()].Open(systemPath_)) {
        if (folders_ != nullptr) folders_->WriteLine(displayPath_);
        open_.push_back({systemPath_.size(), displayPath_.size(), newFolder, false, exact,
                         SamePath(displayPath_, programFolder_)});
        return;
    }
    NoteUnlisted(folders_, displayPath_);
    if (comparison_ != nullptr) {
        // What the baseline lists below it is not known to be gone.
        comparison_->unlisted.push_back(displayPath_);
        if (newFolder != kNone) comparison_->newFolders[newFolder].holdsOldFile = true;
    }
}

bool FileWalk::ListFile(const ListedEntry& entry, bool exact) {
    OpenDirectory& current = open_.back();
    if (current.programFolder &&
        IsProgramFileName(std::string_view(displayPath_).substr(current.displayLength))) {
        return true;
    }
    observer_.ItemVisited(displayPath_);
    if (baseline_ == nullptr) {
        const std::size_t pathLength = displayPath_.size();
        char sizeText[24] = {','};
        const auto converted = std::to_chars(sizeText + 1, sizeText + sizeof sizeText, entry.size);
        displayPath_.append(sizeText, converted.ptr);
        const bool written = output_.WriteLine(displayPath_);
        displayPath_.resize(pathLength);
        lines_ += written ? 1 : 0;
        return written;
    }
    BaselineIndex::Match match;
    if (baseline_->MarkSeen(displayPath_, 0, match)) {
        current.holdsOldFile = true;
        NoteOldFile(match, entry);
        return true;
    }
    if (copyNewFiles_) CopyNewFile(displayPath_, observer_);
    if (!output_.WriteLine(displayPath_)) return false;
    ++lines_;
    if (comparison_ != nullptr) {
        comparison_->newFiles.push_back({displayPath_.size(), entry.size, exact, HashContent()});
    }
    observer_.NewFileFound();
    return true;
}

// A file of the baseline met again: renamed in letter case, or modified.
void FileWalk::NoteOldFile(const BaselineIndex::Match& match, const ListedEntry& entry) {
    if (comparison_ == nullptr) return;
    // The baseline's spelling may differ in letter case, and so in length.
    const std::string_view recorded = match.sameBytes
                                          ? std::string_view(displayPath_)
                                          : RecordedPath(baselineText_, match.record, true);
    if (RenamedInCase(recorded, displayPath_)) {
        comparison_->renamed.push_back({std::string(recorded), displayPath_, false});
    }
    if (entry.changeTime > comparison_->baselineTime ||
        !SameRecordedSize(baselineText_, match.record, recorded.size(), entry.size)) {
        comparison_->modified.push_back({match.record, displayPath_,
                                         RecordedSize(baselineText_, match.record, recorded.size()),
                                         entry.size, entry.changeTime, HashContent()});
    }
}

FileHash FileWalk::HashContent() {
    if (!comparison_->hashContents) return {};
    FileHash hash = Sha256OfFile(systemPath_, shouldStop_);
    if (hash.outcome == FileHash::Outcome::Stopped) stopped_ = true;
    return hash;
}

}  // namespace

long ScanDirectoryTree(std::string_view pattern, SnapshotWriter& output, BaselineIndex* baseline,
                       bool copyNewFiles, ScanObserver& observer, FileComparison* comparison,
                       SnapshotWriter* folders) {
    return FileWalk(output, baseline, copyNewFiles, observer, comparison, folders).Run(pattern);
}
