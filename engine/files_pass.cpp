#include "engine/baseline_records.h"
#include "engine/item_meaning.h"
#include "engine/pass_reports.h"
#include "engine/run_facts.h"
#include "engine/scratch_files.h"
#include "snapshot/baseline_index.h"
#include "snapshot/file_walker.h"
#include "snapshot/path_identity.h"
#include "snapshot/place_set.h"
#include "snapshot/snapshot_files.h"

namespace {

constexpr char kFilesArea[] = "Files";

// A file of the baseline that the walk did not meet below a place it listed.
struct RemovedFile {
    std::size_t offset, pathLength;
};

// The files gone: unseen below a place this run listed, unless below a folder that could not be
// listed. Any unseen file keeps the folders above it from being new.
std::vector<RemovedFile> RemovedFiles(const BaselineIndex& baseline, const FileComparison& found,
                                      std::vector<FileComparison::Folder>& folders) {
    std::unordered_map<std::string_view, std::size_t> candidates;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (!folders[i].holdsOldFile) candidates.emplace(folders[i].path, i);
    }
    PlaceSet listed, unlisted;
    for (const std::string& place : found.places) listed.Add(place);
    for (const std::string& folder : found.unlisted) unlisted.Add(folder);
    std::vector<RemovedFile> removed;
    baseline.ForEachUnseen([&](std::size_t offset, std::string_view record) {
        const std::string_view path = record.substr(0, record.rfind(','));
        if (!candidates.empty()) {
            for (std::size_t cut = path.find('\\'); cut != std::string_view::npos;
                 cut = path.find('\\', cut + 1)) {
                const auto folder = candidates.find(path.substr(0, cut + 1));
                if (folder != candidates.end()) folders[folder->second].holdsOldFile = true;
            }
        }
        if (listed.Covers(path) && !unlisted.Covers(path)) removed.push_back({offset, path.size()});
    });
    return removed;
}

ReportedItem FileItem(const ChangeClassifier& classifier, JournalKind kind, std::string_view path) {
    ReportedItem item;
    item.area = kFilesArea;
    item.kind = kind;
    item.path = path;
    item.classification = classifier.ClassifyFile(path);
    DescribeItem(item, {{}, {}, {}, {}, kind == JournalKind::RemovedFile});
    return item;
}

void ReportAddedFiles(PassReport& report, const SnapshotArea& area, const FileComparison& found) {
    ChangeListReader lines;
    if (found.newFiles.empty() || !lines.Open(area.changeListName)) return;
    std::string_view line;
    for (const FileComparison::NewFile& file : found.newFiles) {
        if (!lines.Next(file.length, line)) break;
        ReportedItem item = FileItem(report.classifier, JournalKind::AddedFile, line);
        item.size = file.size;
        item.exactName = file.exact;
        if (found.hashContents) item.hash = &file.hash;
        report.outputs.Report(item);
    }
}

void ReportRenamedFiles(PassReport& report, const FileComparison& found) {
    ReportPage& page = report.outputs.Page();
    if (found.renamed.empty()) return;
    page.BeginSection("Files: renamed in letter case",
                      static_cast<unsigned long>(found.renamed.size()));
    for (const FileComparison::Renamed& file : found.renamed) {
        ReportedItem item;
        item.area = kFilesArea;
        item.kind = file.folder ? JournalKind::RenamedFolder : JournalKind::RenamedFile;
        item.path = file.newPath;
        item.oldSpelling = file.oldPath;
        report.outputs.Report(item);
    }
    page.EndSection();
}

}  // namespace

void ReportFilesPass(PassReport& report, const SnapshotArea& area, const std::string& driveList,
                     std::uint64_t baselineTime, const BaselineIndex& baseline,
                     const BaselineRecords& records, const FileComparison& found) {
    const std::string_view text = baseline.Text();
    std::vector<FileComparison::Folder> folders = found.newFolders;
    const std::vector<RemovedFile> removed = RemovedFiles(baseline, found, folders);
    const std::string ownFolder = ProgramFolder();
    std::erase_if(folders, [&](const FileComparison::Folder& folder) {
        return folder.holdsOldFile || SamePath(folder.path, ownFolder);
    });

    ReportArea row;
    row.name = kFilesArea;
    row.places = driveList;
    row.baselineTime = LocalTimeText(baselineTime);
    row.files = true;
    row.added = static_cast<unsigned long>(found.newFiles.size());
    row.modified = static_cast<unsigned long>(found.modified.size());
    row.removed = static_cast<unsigned long>(removed.size());
    row.newFolders = static_cast<unsigned long>(folders.size());
    row.unreadable = static_cast<unsigned long>(found.unlisted.size());
    row.unreadAtBaseline = static_cast<unsigned long>(records.unreadAtBaseline.Count());
    row.newFoldersByTime = !records.HasFolderRecord();
    const auto renamed = static_cast<unsigned long>(found.renamed.size());
    report.outputs.BeginArea(row, {row.name, driveList, Iso8601FromFileTime(baselineTime), true,
                                   row.added, row.modified, row.removed, row.newFolders, 0,
                                   renamed});
    WholeChangeCounts& counts = report.counts;
    counts.unlistedAtBaseline += row.unreadAtBaseline;
    counts.renamed += renamed;
    counts.modifiedFiles += row.modified;
    counts.removedFiles += row.removed;
    counts.newFolders += row.newFolders;

    ReportPage& page = report.outputs.Page();
    page.BeginSection("Files: added", row.added);
    ReportAddedFiles(report, area, found);
    page.EndSection();
    page.BeginSection("Files: modified", row.modified);
    for (const FileComparison::Modified& file : found.modified) {
        ReportedItem item = FileItem(report.classifier, JournalKind::ModifiedFile, file.path);
        item.oldSize = file.oldSize;
        item.newSize = file.newSize;
        item.changeTime = file.changeTime;
        if (found.hashContents) item.hash = &file.hash;
        report.outputs.Report(item);
    }
    page.EndSection();
    page.BeginSection("Files: removed", row.removed);
    for (const RemovedFile& file : removed) {
        ReportedItem item = FileItem(report.classifier, JournalKind::RemovedFile,
                                     text.substr(file.offset, file.pathLength));
        item.size = RecordedSize(text, file.offset, file.pathLength);
        report.outputs.Report(item);
    }
    page.EndSection();
    page.BeginSection("Files: new folders", row.newFolders);
    for (const FileComparison::Folder& folder : folders) {
        ReportedItem item = FileItem(report.classifier, JournalKind::NewFolder, folder.path);
        item.exactName = folder.exact;
        report.outputs.Report(item);
    }
    page.EndSection();
    ReportRenamedFiles(report, found);
}
