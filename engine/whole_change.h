#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/change_journal.h"
#include "engine/change_rules.h"
#include "engine/step_engine.h"
#include "report/change_set.h"
#include "report/report_page.h"
#include "snapshot/file_walker.h"
#include "snapshot/registry_walker.h"

class BaselineIndex;
struct BaselineRecords;
struct Retyped;

// The whole change of a Step #2 run: after each pass that ran to its end, what its walk left
// unmarked in the baseline and what it noted is sorted into added, modified or changed, removed
// and new folders, counted, told what it means, and written as the report's sections, as the
// change set's items and into the journal the undo and redo files are made from. What needs
// every pass (the report's head with its counts and highlights, the change set's first line,
// the undo and redo files) is written last; the sections and items wait in scratch files.
class WholeChangeReport {
public:
    WholeChangeReport();
    ~WholeChangeReport();
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
    // when one could not be written; then none of them is left.
    bool Finish(std::string& failure);
    // Drops what was gathered: no report for this run.
    void Abandon();

    const WholeChangeCounts& Counts() const { return counts_; }
    const SnapshotWriter& Sections() const { return *failedScratch_; }

private:
    struct Item;
    // Reports one item everywhere: the page's section, the change set, the highlights, the
    // journal, the row's noise count.
    void Report(const Item& item);
    void Highlight(const Item& item, std::string_view anchor);
    // A value whose type changed though its text did not.
    template <typename Describe>
    void ReportRetyped(const SnapshotArea& area, const Retyped& value, const Describe& describe);
    Classification ClassifyRegistry(JournalKind kind, std::string_view path,
                                    std::string_view name) const;

    SnapshotWriter sections_, items_, journal_;
    const SnapshotWriter* failedScratch_ = &sections_;
    ReportPage page_;
    ChangeSetWriter changeSet_;
    std::unique_ptr<ChangeClassifier> classifier_;
    std::string userSid_;
    std::vector<ReportArea> areas_;
    std::vector<ChangeSetArea> setAreas_;
    std::vector<ReportHighlight> highlights_;
    std::unordered_map<std::string, std::size_t> highlightAt_;  // by the change's portable place
    WholeChangeCounts counts_;
    unsigned long anchors_ = 0;
    std::string journalEntry_;
};

// When the named file was last written (FILETIME), 0 when that cannot be told.
std::uint64_t LastWriteTime(const char* name);
