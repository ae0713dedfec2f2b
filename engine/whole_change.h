#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/change_outputs.h"
#include "engine/change_rules.h"
#include "engine/step_engine.h"
#include "snapshot/file_walker.h"
#include "snapshot/registry_walker.h"
#include "snapshot/snapshot_files.h"

class BaselineIndex;
struct BaselineRecords;

// The whole change of a Step #2 run: after each pass that ran to its end, what its walk left
// unmarked in the baseline and what it noted is sorted into added, modified or changed, removed,
// renamed and new folders, counted, told what it means, and written as the report's sections,
// as the change set's items and into the journal the undo and redo files are made from
// (pass_reports.h, change_outputs.h). What needs every pass (the report's head with its counts
// and highlights, the change set's first line, the undo and redo files) is written last; the
// sections, items and journal wait in scratch files.
class WholeChangeReport {
public:
    WholeChangeReport() = default;
    WholeChangeReport(const WholeChangeReport&) = delete;
    WholeChangeReport& operator=(const WholeChangeReport&) = delete;

    // Starts a run: what an earlier run left goes, the scratch files are made. False when one
    // cannot be made: Sections() tells which.
    bool Begin();
    // After a files pass that ran to its end.
    void AddFilesPass(const SnapshotArea& area, const std::string& driveList,
                      std::uint64_t baselineTime, const BaselineIndex& baseline,
                      const BaselineRecords& records, const FileComparison& found);
    // After a registry pass that ran to its end. records: what the index was built with (its
    // record of lines when it was built of Kind::Lines) and what Step #1 could not read. The
    // data of the pass's new values are in kNewDataScratchName.
    void AddRegistryPass(const SnapshotArea& area, std::uint64_t baselineTime,
                         const BaselineIndex& baseline, const BaselineRecords& records,
                         RegistryComparison& found);
    // Writes the report, the change set and the undo and redo files. False, with failure set,
    // when one could not be written; then none of them is left. shouldStop: asked while the
    // files the findings run are read; once it says so, nothing is written and failure stays
    // empty (a step stopped before its end leaves no report).
    bool Finish(std::string& failure, const std::function<bool()>& shouldStop = {});
    // Drops what was gathered: no report for this run.
    void Abandon();

    const WholeChangeCounts& Counts() const { return counts_; }
    const SnapshotWriter& Sections() const { return *failedScratch_; }

private:
    void FinishFindings(const std::function<bool()>& shouldStop);
    bool CloseScratch(std::string& failure);
    bool WriteReport(const struct UndoFilesCounts& undo, std::string& failure);
    bool WriteChangeSet(std::string& failure);

    SnapshotWriter sections_, items_, journal_;
    const SnapshotWriter* failedScratch_ = &sections_;
    std::unique_ptr<ChangeClassifier> classifier_;
    std::string userSid_;
    std::unique_ptr<ChangeOutputs> outputs_;
    std::vector<Finding> findings_;
    WholeChangeCounts counts_;
};
