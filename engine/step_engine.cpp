#include "engine/step_engine.h"

#include <windows.h>

#include "engine/whole_change.h"
#include "snapshot/baseline_index.h"
#include "snapshot/file_walker.h"
#include "snapshot/registry_lines.h"
#include "snapshot/registry_walker.h"
#include "snapshot/unique_handle.h"
#include "text/text.h"

namespace {

bool IsFileArea(const SnapshotArea& area) { return area.root == nullptr; }

// Passes everything on to the front end's observer and remembers whether a stop was asked for.
class StopTracker final : public ScanObserver {
public:
    explicit StopTracker(StepObserver& inner) : inner_(inner) {}

    bool ShouldStop() override {
        if (inner_.ShouldStop()) stopped_ = true;
        return stopped_;
    }
    void ItemVisited(std::string_view itemText) override { inner_.ItemVisited(itemText); }
    void NewFileFound() override { inner_.NewFileFound(); }
    void NewRegistryEntryFound(RegistryEntry kind) override { inner_.NewRegistryEntryFound(kind); }
    void CopyingFile(std::string_view targetPath) override { inner_.CopyingFile(targetPath); }

    bool Stopped() const { return stopped_; }

private:
    StepObserver& inner_;
    bool stopped_ = false;
};

std::string NoMemoryText(const char* name, unsigned long long size) {
    return "Not enough memory to compare against \"" + std::string(name) + "\" (" +
           std::to_string(size) + " bytes).\n\nThe scan was stopped.";
}

// Walks every place of the drive list into output. Returns the lines written.
long ScanDriveList(const std::vector<std::string>& patterns, SnapshotWriter& output,
                   BaselineIndex* baseline, bool copyNewFiles, ScanObserver& observer,
                   FileComparison* comparison = nullptr) {
    long lines = 0;
    for (const std::string& pattern : patterns) {
        lines += ScanDirectoryTree(pattern, output, baseline, copyNewFiles, observer, comparison);
        if (output.Failed()) break;
    }
    return lines;
}

// Writes one area's baseline, and for a registry root the record of its lines. Returns the
// lines written; failure names what went wrong.
long WriteBaseline(const StepRequest& request, const SnapshotArea& area, StepObserver& front,
                   StopTracker& observer, std::string& failure) {
    front.PassStarting(area, false, 0);
    SnapshotWriter output;
    SnapshotWriter record;
    long lines = 0;
    if (IsFileArea(area)) {
        if (output.Create(area.baselineName)) {
            lines = ScanDriveList(SearchPatternsFromDriveList(request.driveList), output, nullptr,
                                  false, observer);
        }
    } else if (output.Create(area.baselineName) && record.Create(area.linesName) &&
               record.Write(kRegistryLinesHeader)) {
        lines = ScanRegistryKey(area.root, "", &output, nullptr, observer, nullptr, &record);
    }
    front.PassFinished();
    if (!output.Close()) {
        failure = WriteFailureText(output);
    } else if (!IsFileArea(area) && !record.Close()) {
        failure = WriteFailureText(record);
    }
    // A baseline without a record that agrees with it is read as earlier builds wrote it; a
    // record that may not agree must not stay beside it.
    if (!failure.empty() && !IsFileArea(area)) DeleteFileA(area.linesName);
    return lines;
}

enum class PassOutcome { Done, MissingBaseline, Failed };

// Compares one area against its baseline into its change list, and when the walk ran to its
// end adds what it found to the report.
PassOutcome CompareArea(const StepRequest& request, const SnapshotArea& area, StepObserver& front,
                        StopTracker& observer, WholeChangeReport& report, long& lines,
                        std::string& failure) {
    // Step #1 wrote the baseline last when it finished: what changed later is modified.
    const std::uint64_t baselineTime = LastWriteTime(area.baselineName);
    BaselineText baseline;
    DWORD error = ERROR_SUCCESS;
    switch (LoadBaselineFile(area.baselineName, baseline, error)) {
        case BaselineLoad::Loaded: break;
        case BaselineLoad::CannotOpen: return PassOutcome::MissingBaseline;
        case BaselineLoad::NoMemory:
            failure = NoMemoryText(area.baselineName, GetFileSizeByName(area.baselineName));
            return PassOutcome::Failed;
        case BaselineLoad::ReadFailed:
            failure = "Could not read \"" + std::string(area.baselineName) + "\".\n\n" +
                      SystemErrorText(error) + "\n\nThe scan was stopped.";
            return PassOutcome::Failed;
    }
    // Earlier builds wrote drive letters as typed; the walk writes them upper case.
    if (IsFileArea(area)) UpperCaseDriveLetters(baseline.data.get(), baseline.size);
    // A registry baseline is read line by line as its record tells; without one (written by
    // an earlier build) lines are told apart as well as the text allows.
    std::vector<std::size_t> joins;
    const std::string record =
        IsFileArea(area) ? std::string() : LoadRegistryLineRecord(area, baseline.View(), joins);
    const BaselineIndex::Kind kind = IsFileArea(area) ? BaselineIndex::Kind::FilePaths
                                     : record.empty() ? BaselineIndex::Kind::Records
                                                      : BaselineIndex::Kind::Lines;
    // Without its index a pass would take every item for new: it must not run at all.
    BaselineIndex index;
    if (!index.Build(baseline.View(), kind, std::move(joins))) {
        failure = NoMemoryText(area.baselineName, baseline.size);
        return PassOutcome::Failed;
    }
    front.PassStarting(area, true,
                       static_cast<std::uint32_t>(CountLineFeeds(baseline.View())));

    SnapshotWriter output;
    FileComparison files;
    files.baselineTime = baselineTime;
    RegistryComparison entries;
    // The data of new values, for the redo file: as the walk reads them, never from their text.
    SnapshotWriter newData;
    if (!IsFileArea(area)) {
        if (!newData.Create(WholeChangeReport::kNewDataName)) {
            failure = WriteFailureText(newData);
            return PassOutcome::Failed;
        }
        entries.newData = &newData;
    }
    const bool created = output.Create(area.changeListName);
    if (created) {
        if (IsFileArea(area)) {
            if (request.copyNewFiles) {
                DeleteFileA(kErrorLogName);
                CreateDirectoryA(kCopyFolder, nullptr);  // it may exist from an earlier run
            }
            lines = ScanDriveList(SearchPatternsFromDriveList(request.driveList), output, &index,
                                  request.copyNewFiles, observer, &files);
        } else {
            lines = ScanRegistryKey(area.root, "", &output, &index, observer, &entries);
        }
    }
    front.PassFinished();
    if (!output.Close()) {
        failure = WriteFailureText(output);
        return PassOutcome::Failed;
    }
    if (!newData.Close()) {
        failure = WriteFailureText(newData);
        return PassOutcome::Failed;
    }
    if (created && !observer.Stopped()) {
        if (IsFileArea(area)) {
            report.AddFilesPass(area, request.driveList, baselineTime, index, files);
        } else {
            report.AddRegistryPass(area, baselineTime, index, record, entries);
        }
    }
    return PassOutcome::Done;
}

// The baseline of the first chosen area that cannot be opened, as LoadBaselineFile opens it;
// null when all can.
const char* FirstMissingBaseline(const StepRequest& request) {
    for (std::size_t i = 0; i < std::size(kSnapshotAreas); ++i) {
        if (!request.AreaChosen(i)) continue;
        const char* name = kSnapshotAreas[i].baselineName;
        UniqueFileHandle file(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return name;
    }
    return nullptr;
}

// The outcome of a step that did not end at a missing baseline, and what the user is told.
void Conclude(StepResult& result, bool stopped, std::string summary) {
    if (!result.failure.empty()) {
        result.outcome = StepResult::Outcome::Failed;
        result.message = result.failure;
    } else {
        result.outcome = stopped ? StepResult::Outcome::Aborted : StepResult::Outcome::Done;
        result.message = std::move(summary);
    }
}

void RemoveEmptyChangeLists() {
    for (const SnapshotArea& area : kSnapshotAreas) {
        if (FileExistsByName(area.changeListName) && GetFileSizeByName(area.changeListName) == 0) {
            DeleteFileA(area.changeListName);
        }
    }
}

}  // namespace

bool StepRequest::AreaChosen(std::size_t area) const {
    if (area == 0) return scanFiles;
    return scanRegistry && area <= roots.size() && roots[area - 1];
}

std::string Step1Summary(bool aborted, bool filesScanned, long fileCount,
                         unsigned long entryCount) {
    if (aborted) return "Scan aborted";
    const std::string files = "Saved a list of " + std::to_string(fileCount) + " files";
    const std::string entries =
        "Saved a list of " + std::to_string(entryCount) + " registry entries";
    if (fileCount != 0 && entryCount != 0) return files + "\n\n" + entries;
    if (fileCount != 0) return files;
    if (entryCount != 0) return entries;
    return filesScanned ? "Nothing was saved.\n\nThe drive list names no place that holds files, "
                          "and no registry entries were listed."
                        : "Nothing was saved.\n\nNo registry root is ticked.";
}

std::string Step2Summary(bool aborted, long fileCount, unsigned long entryCount,
                         const std::vector<std::string>& registryChangeLists,
                         const WholeChangeCounts& wholeChange) {
    if (aborted) return "Scan aborted";
    std::string summary;
    if (fileCount != 0 && entryCount != 0) {
        summary = "Found " + std::to_string(fileCount) + " file(s) that were new\n\nFound " +
                  std::to_string(entryCount) + " registry entries that were new";
    } else if (fileCount != 0) {
        summary = "Found " + std::to_string(fileCount) + " new file" +
                  (fileCount == 1 ? "" : "s") + ", listed in \"" + kFilesChangeListName + "\"";
    } else if (entryCount != 0) {
        std::string names;
        for (const std::string& name : registryChangeLists) {
            if (!names.empty()) names += "\", \"";
            names += name;
        }
        summary = "Found " + std::to_string(entryCount) + " new registry entr" +
                  (entryCount == 1 ? "y" : "ies") + ", listed in \"" + names + "\"";
    } else if (!wholeChange.Any()) {
        return "0 new files and registry keys found on the system.\n\nNothing changed!";
    } else {
        // "Nothing changed!" would be false here.
        summary = "0 new files and registry keys found on the system.";
    }
    if (!wholeChange.Any()) return summary;

    const struct {
        unsigned long count;
        const char* one;
        const char* many;
    } parts[] = {
        {wholeChange.modifiedFiles, "modified file", "modified files"},
        {wholeChange.removedFiles, "removed file", "removed files"},
        {wholeChange.newFolders, "new folder", "new folders"},
        {wholeChange.removedRegistryEntries, "removed registry entry", "removed registry entries"},
    };
    summary += "\n\nAlso found: ";
    bool first = true;
    for (const auto& part : parts) {
        if (part.count == 0) continue;
        if (!first) summary += ", ";
        first = false;
        summary += std::to_string(part.count) + " " + (part.count == 1 ? part.one : part.many);
    }
    summary += ".\nEvery change is listed in \"";
    summary += kReportName;
    summary += "\"";
    return summary;
}

StepResult RunBaselineStep(const StepRequest& request, StepObserver& front) {
    StepResult result;
    StopTracker observer(front);
    if (request.AreaChosen(0)) {
        result.fileCount = WriteBaseline(request, kSnapshotAreas[0], front, observer, result.failure);
    }
    for (std::size_t i = 1; i < std::size(kSnapshotAreas) && result.failure.empty(); ++i) {
        if (!request.AreaChosen(i)) continue;
        result.entryCount += static_cast<unsigned long>(
            WriteBaseline(request, kSnapshotAreas[i], front, observer, result.failure));
    }
    Conclude(result, observer.Stopped(),
             Step1Summary(observer.Stopped(), request.scanFiles, result.fileCount,
                          result.entryCount));
    return result;
}

StepResult RunCompareStep(const StepRequest& request, StepObserver& front) {
    StepResult result;
    // Before the first walk, so that a step that cannot finish touches no file.
    if (const char* missing = FirstMissingBaseline(request)) {
        result.outcome = StepResult::Outcome::MissingBaseline;
        result.missingBaseline = missing;
        return result;
    }
    StopTracker observer(front);
    WholeChangeReport report;
    if (!report.Begin()) result.failure = WriteFailureText(report.Sections());
    for (std::size_t i = 0; i < std::size(kSnapshotAreas) && result.failure.empty(); ++i) {
        if (!request.AreaChosen(i)) continue;
        const SnapshotArea& area = kSnapshotAreas[i];
        long lines = 0;
        if (CompareArea(request, area, front, observer, report, lines, result.failure) ==
            PassOutcome::MissingBaseline) {
            report.Abandon();
            result.outcome = StepResult::Outcome::MissingBaseline;
            result.missingBaseline = area.baselineName;
            return result;
        }
        if (IsFileArea(area)) {
            result.fileCount += lines;
        } else {
            result.entryCount += static_cast<unsigned long>(lines);
            if (lines != 0) result.registryChangeLists.push_back(area.changeListName);
        }
    }

    RemoveEmptyChangeLists();
    // Only a run that went to its end leaves a report: a stale one never sits beside new lists.
    if (result.failure.empty() && !observer.Stopped()) {
        report.Finish(result.failure);
        result.wholeChange = report.Counts();
    } else {
        report.Abandon();
    }
    Conclude(result, observer.Stopped(),
             Step2Summary(observer.Stopped(), result.fileCount, result.entryCount,
                          result.registryChangeLists, result.wholeChange));
    return result;
}

void RemoveProgramFiles() {
    for (const char* name : ProgramTextFiles()) DeleteFileA(name);
}
