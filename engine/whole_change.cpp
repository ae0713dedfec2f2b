#include "engine/whole_change.h"

#include <windows.h>

#include "engine/known_places.h"
#include "engine/pass_reports.h"
#include "engine/run_facts.h"
#include "engine/scratch_files.h"
#include "engine/undo_files.h"
#include "engine/windows_facts.h"
#include "res/version.h"

bool WholeChangeReport::Begin() {
    // What the last run wrote goes, and what a run that was killed left.
    for (const char* name : kStepTwoOutputNames) DeleteFileA(name);
    for (const char* name : kScratchNames) DeleteFileA(name);
    const KnownPlaces places = ResolveKnownPlaces();
    classifier_ = std::make_unique<ChangeClassifier>(places);
    userSid_ = CurrentUserSid();
    outputs_ =
        std::make_unique<ChangeOutputs>(sections_, items_, journal_, userSid_, places.windows);
    const struct {
        SnapshotWriter* file;
        const char* name;
    } scratch[] = {{&sections_, kSectionsScratchName},
                   {&items_, kItemsScratchName},
                   {&journal_, kJournalScratchName}};
    for (const auto& file : scratch) {
        failedScratch_ = file.file;
        if (!file.file->Create(file.name)) return false;
    }
    return true;
}

void WholeChangeReport::Abandon() {
    for (SnapshotWriter* scratch : {&sections_, &items_, &journal_}) scratch->Close();
    for (const char* name : kScratchNames) DeleteFileA(name);
}

void WholeChangeReport::AddFilesPass(const SnapshotArea& area, const std::string& driveList,
                                     std::uint64_t baselineTime, const BaselineIndex& baseline,
                                     const BaselineRecords& records,
                                     const FileComparison& found) {
    PassReport report{*classifier_, *outputs_, counts_};
    ReportFilesPass(report, area, driveList, baselineTime, baseline, records, found);
}

void WholeChangeReport::AddRegistryPass(const SnapshotArea& area, std::uint64_t baselineTime,
                                        const BaselineIndex& baseline,
                                        const BaselineRecords& records,
                                        RegistryComparison& found) {
    PassReport report{*classifier_, *outputs_, counts_};
    ReportRegistryPass(report, area, baselineTime, baseline, records, found);
}

bool WholeChangeReport::CloseScratch(std::string& failure) {
    const struct {
        SnapshotWriter* file;
        bool writerOk;
    } scratch[] = {{&sections_, outputs_->PageOk()},
                   {&items_, outputs_->ChangeSetOk()},
                   {&journal_, true}};
    bool written = true;
    for (const auto& file : scratch) {
        if (written && (!file.file->Close() || !file.writerOk)) {
            failure = WriteFailureText(*file.file);
            written = false;
        }
        file.file->Close();
    }
    return written;
}

// The report: its head, which needs every count, then the sections and the end.
bool WholeChangeReport::WriteReport(const UndoFilesCounts& undo, std::string& failure) {
    SnapshotWriter report;
    bool written = report.Create(kReportName);
    if (written) {
        ReportPage head([&](std::string_view piece) { return report.Write(piece); });
        const ReportFiles files{kChangeSetName,
                                kRedoRegName,
                                kUndoRegName,
                                kUndoCmdName,
                                undo.notRestoredTypeUnknown,
                                undo.notRestoredDataNotExact};
        head.Head(LocalTimeText(NowFileTime()), ComputerName(), outputs_->Areas(),
                  outputs_->AllHighlights(), files, findings_);
        written = AppendFile(kSectionsScratchName, report);
        head.Tail();
        written = written && head.Ok();
    }
    if (!report.Close() || !written) {
        if (failure.empty()) failure = WriteFailureText(report);
        return false;
    }
    return true;
}

// The change set: the run with its areas, then the items.
bool WholeChangeReport::WriteChangeSet(std::string& failure) {
    SnapshotWriter set;
    bool written = set.Create(kChangeSetName);
    if (written) {
        ChangeSetWriter run([&](std::string_view piece) { return set.Write(piece); });
        run.Run(QUORVANE_VERSION_TEXT, Iso8601FromFileTime(NowFileTime()), ComputerName(),
                outputs_->SetAreas());
        written = run.Ok() && AppendFile(kItemsScratchName, set);
        for (const Finding& finding : findings_) run.FindingLine(finding);
        written = written && run.Ok();
    }
    if (!set.Close() || !written) {
        if (failure.empty()) failure = WriteFailureText(set);
        return false;
    }
    return true;
}

// The findings, with what Windows tells of their files, and the summary's count of them.
void WholeChangeReport::FinishFindings(const std::function<bool()>& shouldStop) {
    findings_ = outputs_->FinishFindings(WindowsSystemFacts(shouldStop));
    std::size_t lone[3] = {};
    for (const ReportHighlight& item : outputs_->AllHighlights()) {
        if (item.category == ChangeCategory::Autostart) ++lone[0];
        if (item.category == ChangeCategory::Security) ++lone[1];
        if (item.category == ChangeCategory::Registration) ++lone[2];
    }
    counts_.worthALook = WorthALook(findings_, lone[0], lone[1], lone[2]);
}

bool WholeChangeReport::Finish(std::string& failure, const std::function<bool()>& shouldStop) {
    FinishFindings(shouldStop);
    if (shouldStop && shouldStop()) {
        Abandon();
        return false;
    }
    UndoFilesCounts undo;
    const bool written = CloseScratch(failure) &&
                         WriteUndoFiles(kJournalScratchName, userSid_, undo, failure) &&
                         WriteReport(undo, failure) && WriteChangeSet(failure);
    for (const char* name : kScratchNames) DeleteFileA(name);
    if (!written) {
        for (const char* name : kStepTwoOutputNames) DeleteFileA(name);
    }
    return written;
}
