#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/step_engine.h"
#include "snapshot/file_walker.h"
#include "snapshot/registry_walker.h"
#include "report/report_page.h"

class BaselineIndex;

// The whole change of a Step #2 run: after each pass that ran to its end, what its walk left
// unmarked in the baseline and what it noted is sorted into added, modified or changed, removed
// and new folders, counted, and written as the report's sections. The report's head, which
// needs every count, is written last and put in front of the sections.
class WholeChangeReport {
public:
    // Starts a run: the old report goes, the sections go to a scratch file until the end.
    bool Begin();
    // After a files pass that ran to its end.
    void AddFilesPass(const SnapshotArea& area, const std::string& driveList,
                      std::uint64_t baselineTime, const BaselineIndex& baseline,
                      const FileComparison& found);
    // After a registry pass that ran to its end. lineRecord: the record of the baseline's lines
    // that the index was built with (Kind::Lines); empty when the baseline has none.
    void AddRegistryPass(const SnapshotArea& area, std::uint64_t baselineTime,
                         const BaselineIndex& baseline, std::string_view lineRecord,
                         const RegistryComparison& found);
    // Writes the report. False, with failure set, when it could not be written.
    bool Finish(std::string& failure);
    // Drops what was gathered: no report for this run.
    void Abandon();

    const WholeChangeCounts& Counts() const { return counts_; }
    const SnapshotWriter& Sections() const { return sections_; }

private:
    SnapshotWriter sections_;
    ReportPage page_{[this](std::string_view piece) { return sections_.Write(piece); }};
    std::vector<ReportArea> areas_;
    WholeChangeCounts counts_;
};

// The record of a registry baseline's lines (registry_lines.h), when there is one that agrees
// with the baseline: its bytes, and in joins the CR LF pairs that stand inside lines. Empty
// when there is none (a baseline written by an earlier build).
std::string LoadRegistryLineRecord(const SnapshotArea& area, std::string_view baseline,
                                   std::vector<std::size_t>& joins);

// When the named file was last written (FILETIME), 0 when that cannot be told.
std::uint64_t LastWriteTime(const char* name);
