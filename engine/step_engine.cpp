#include "engine/step_engine.h"

#include <windows.h>

#include <new>

#include "engine/baseline_records.h"
#include "engine/run_facts.h"
#include "engine/whole_change.h"
#include "snapshot/baseline_index.h"
#include "snapshot/file_walker.h"
#include "snapshot/folder_record.h"
#include "snapshot/registry_lines.h"
#include "snapshot/registry_walker.h"
#include "report/unread_notes.h"
#include "text/text.h"
#include "win32/unique_handle.h"

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
                   FileComparison* comparison, SnapshotWriter* folders = nullptr) {
    long lines = 0;
    for (const std::string& pattern : patterns) {
        lines += ScanDirectoryTree(pattern, output, baseline, copyNewFiles, observer, comparison,
                                   folders);
        if (output.Failed() || (folders != nullptr && folders->Failed())) break;
    }
    return lines;
}

// Writes one area's baseline and the record beside it. The record is made first and ended
// last, and only when the pass ran to its end with both files written: a baseline that is not
// whole always lies beside a record that says so. Returns the lines written; failure names
// what went wrong.
long WriteBaseline(const StepRequest& request, const SnapshotArea& area, StepObserver& front,
                   StopTracker& observer, std::string& failure) {
    front.PassStarting(area, false, 0);
    const bool files = IsFileArea(area);
    SnapshotWriter record;
    SnapshotWriter output;
    long lines = 0;
    const bool started =
        record.Create(area.recordName) &&
        (files ? record.WriteLine(kFolderRecordHeader) : record.Write(kRegistryLinesHeader)) &&
        output.Create(area.baselineName);
    if (started) {
        lines = files ? ScanDriveList(SearchPatternsFromDriveList(request.driveList), output,
                                      nullptr, false, observer, nullptr, &record)
                      : ScanRegistryKey(area.root, "", &output, nullptr, observer, nullptr, &record);
    }
    front.PassFinished();
    if (record.Failed()) {
        failure = WriteFailureText(record);
    } else if (!started || !output.Close()) {
        failure = WriteFailureText(output);
    } else if (!observer.Stopped()) {
        if (files) {
            record.WriteLine(FolderRecordEnd(static_cast<std::uint64_t>(lines), output.Size()));
        } else {
            std::string end;
            AppendRecordEnd(end, static_cast<std::uint64_t>(lines), output.Size());
            record.Write(end);
        }
    }
    if (!record.Close() && failure.empty()) failure = WriteFailureText(record);
    return lines;
}

enum class PassOutcome { Done, MissingBaseline, Failed };

// Loads the baseline of area with what its record tells, and indexes it. Without its index a
// pass would take every item for new: it must not run at all.
PassOutcome LoadBaseline(const SnapshotArea& area, BaselineText& baseline,
                         BaselineRecords& records, BaselineIndex& index, std::string& failure) {
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
    if (!LoadBaselineRecords(area, baseline.View(), records, failure)) return PassOutcome::Failed;
    const BaselineIndex::Kind kind = IsFileArea(area)            ? BaselineIndex::Kind::FilePaths
                                     : records.lineRecord.empty() ? BaselineIndex::Kind::Records
                                                                  : BaselineIndex::Kind::Lines;
    if (!index.Build(baseline.View(), kind, records.joins)) {
        failure = NoMemoryText(area.baselineName, baseline.size);
        return PassOutcome::Failed;
    }
    return PassOutcome::Done;
}

// What the walks are told of the baseline besides its index.
void TellComparisons(BaselineRecords& records, FileComparison& files,
                     RegistryComparison& entries) {
    if (records.HasFolderRecord()) files.baselineFolders = &records.folders;
    files.unreadAtBaseline = &records.unreadAtBaseline;
    entries.unreadAtBaseline = &records.unreadAtBaseline;
    entries.linesRecorded = !records.lineRecord.empty();
    entries.namesTold = records.namesTold;
    entries.inexactLines = &records.inexactLines;
}

// Compares one area against its baseline into its change list, and when the walk ran to its
// end adds what it found to the report.
PassOutcome CompareArea(const StepRequest& request, const SnapshotArea& area, StepObserver& front,
                        StopTracker& observer, WholeChangeReport& report, long& lines,
                        std::string& failure) {
    // Step #1 wrote the baseline last when it finished: what changed later is modified.
    const std::uint64_t baselineTime = LastWriteTime(area.baselineName);
    BaselineText baseline;
    BaselineRecords records;
    BaselineIndex index;
    const PassOutcome loaded = LoadBaseline(area, baseline, records, index, failure);
    if (loaded != PassOutcome::Done) return loaded;
    front.PassStarting(area, true, static_cast<std::uint32_t>(CountLineFeeds(baseline.View())));

    FileComparison files;
    files.baselineTime = baselineTime;
    files.hashContents = true;
    RegistryComparison entries;
    TellComparisons(records, files, entries);
    // The data of new values, for the redo file: as the walk reads them, never from their text.
    SnapshotWriter newData;
    if (!IsFileArea(area)) {
        if (!newData.Create(kNewDataScratchName)) {
            failure = WriteFailureText(newData);
            return PassOutcome::Failed;
        }
        entries.newData = &newData;
    }
    SnapshotWriter output;
    const bool created = output.Create(area.changeListName);
    if (created && IsFileArea(area)) {
        if (request.copyNewFiles) {
            DeleteFileA(kErrorLogName);
            CreateDirectoryA(kCopyFolder, nullptr);  // it may exist from an earlier run
        }
        lines = ScanDriveList(SearchPatternsFromDriveList(request.driveList), output, &index,
                              request.copyNewFiles, observer, &files);
    } else if (created) {
        lines = ScanRegistryKey(area.root, "", &output, &index, observer, &entries);
    }
    front.PassFinished();
    for (SnapshotWriter* written : {&output, &newData}) {
        if (!written->Close()) {
            failure = WriteFailureText(*written);
            return PassOutcome::Failed;
        }
    }
    if (!created || observer.Stopped()) return PassOutcome::Done;
    if (IsFileArea(area)) {
        report.AddFilesPass(area, request.driveList, baselineTime, index, records, files);
    } else {
        report.AddRegistryPass(area, baselineTime, index, records, entries);
    }
    return PassOutcome::Done;
}

// The first chosen area whose baseline cannot be compared against, and why; null when all can.
const SnapshotArea* FirstUnusableBaseline(const StepRequest& request, BaselineCheck& check) {
    for (std::size_t i = 0; i < std::size(kSnapshotAreas); ++i) {
        if (!request.AreaChosen(i)) continue;
        check = CheckBaseline(kSnapshotAreas[i]);
        if (check != BaselineCheck::Usable) return &kSnapshotAreas[i];
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

// A count with the words that follow it, "1 removed file" or "2 removed files".
struct CountWords {
    unsigned long count;
    CountNouns nouns;
    std::string Text() const {
        return std::to_string(count) + " " + std::string(count == 1 ? nouns.one : nouns.many);
    }
};

// The summary's first sentence: the new files and registry entries, in the change lists.
std::string FoundNew(long fileCount, unsigned long entryCount,
                     const std::vector<std::string>& registryChangeLists,
                     const WholeChangeCounts& wholeChange) {
    if (fileCount != 0 && entryCount != 0) {
        return "Found " + std::to_string(fileCount) + " file(s) that were new\n\nFound " +
               std::to_string(entryCount) + " registry entries that were new";
    }
    if (fileCount != 0) {
        return "Found " + std::to_string(fileCount) + " new file" + (fileCount == 1 ? "" : "s") +
               ", listed in \"" + kFilesChangeListName + "\"";
    }
    if (entryCount != 0) {
        std::string names;
        for (const std::string& name : registryChangeLists) {
            if (!names.empty()) names += "\", \"";
            names += name;
        }
        return "Found " + std::to_string(entryCount) + " new registry entr" +
               (entryCount == 1 ? "y" : "ies") + ", listed in \"" + names + "\"";
    }
    // "Nothing changed!" would be false when the whole change holds anything.
    return wholeChange.Any() ? "0 new files and registry keys found on the system."
                             : "0 new files and registry keys found on the system.\n\nNothing changed!";
}

// The paragraph of the rest of the change, which only the report lists.
std::string AlsoFound(const WholeChangeCounts& wholeChange) {
    const CountWords parts[] = {
        {wholeChange.modifiedFiles, {"modified file", "modified files"}},
        {wholeChange.removedFiles, {"removed file", "removed files"}},
        {wholeChange.newFolders, {"new folder", "new folders"}},
        {wholeChange.removedRegistryEntries, {"removed registry entry", "removed registry entries"}},
        {wholeChange.retypedValues, {"value changed in type only", "values changed in type only"}},
        {wholeChange.renamed, {"item renamed in letter case only", "items renamed in letter case only"}},
    };
    std::string also = "\n\nAlso found: ";
    bool first = true;
    for (const CountWords& part : parts) {
        if (part.count == 0) continue;
        if (!first) also += ", ";
        first = false;
        also += part.Text();
    }
    also += ".\nEvery change is listed in \"";
    also += kReportName;
    also += "\"";
    return also;
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
    std::string summary = FoundNew(fileCount, entryCount, registryChangeLists, wholeChange);
    if (wholeChange.Any()) summary += AlsoFound(wholeChange);
    if (!wholeChange.worthALook.empty()) summary += "\n\n" + wholeChange.worthALook;
    // What Step #1 could not read was not compared: the summary ends saying so.
    const CountWords unread[] = {
        {wholeChange.unlistedAtBaseline, kUnlistedAtBaselineNouns},
        {wholeChange.unreadAtBaseline, kUnreadAtBaselineNouns},
    };
    for (const CountWords& note : unread) {
        if (note.count != 0) summary += "\n\n" + note.Text();
    }
    return summary;
}

namespace {

StepResult BaselineStep(const StepRequest& request, StepObserver& front) {
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

StepResult CompareStep(const StepRequest& request, StepObserver& front) {
    StepResult result;
    // Before the first walk, so that a step that cannot finish touches no file.
    BaselineCheck check = BaselineCheck::Usable;
    if (const SnapshotArea* unusable = FirstUnusableBaseline(request, check)) {
        result.outcome = check == BaselineCheck::Missing ? StepResult::Outcome::MissingBaseline
                                                         : StepResult::Outcome::IncompleteBaseline;
        result.baselineName = unusable->baselineName;
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
            result.baselineName = area.baselineName;
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
        report.Finish(result.failure, [&observer] { return observer.ShouldStop(); });
        result.wholeChange = report.Counts();
    } else {
        report.Abandon();
    }
    Conclude(result, observer.Stopped(),
             Step2Summary(observer.Stopped(), result.fileCount, result.entryCount,
                          result.registryChangeLists, result.wholeChange));
    return result;
}

StepResult OutOfMemory() {
    StepResult result;
    result.outcome = StepResult::Outcome::Failed;
    result.failure = result.message = kNoMemoryText;
    return result;
}

}  // namespace

// Running out of memory ends a step as a failure, here, so that nothing is thrown across the
// front end's callbacks. What a step wrote stays, a baseline beside a record that says it is cut
// short; a comparison leaves no report, nor the scratch files it was written through.
StepResult RunBaselineStep(const StepRequest& request, StepObserver& front) {
    try {
        return BaselineStep(request, front);
    } catch (const std::bad_alloc&) {
        return OutOfMemory();
    }
}

StepResult RunCompareStep(const StepRequest& request, StepObserver& front) {
    try {
        return CompareStep(request, front);
    } catch (const std::bad_alloc&) {
        for (const char* name : kScratchNames) DeleteFileA(name);
        for (const char* name : kStepTwoOutputNames) DeleteFileA(name);
        return OutOfMemory();
    }
}

void RemoveProgramFiles() {
    for (const char* name : ProgramTextFiles()) DeleteFileA(name);
}
