#pragma once

#include <cstdint>
#include <string>

#include "engine/change_outputs.h"
#include "engine/change_rules.h"
#include "engine/step_engine.h"

class BaselineIndex;
struct BaselineRecords;
struct FileComparison;
struct RegistryComparison;
struct SnapshotArea;

// What a pass that ran to its end found, sorted into added, modified or changed, removed,
// renamed and new folders, told what it means and handed to the outputs; the counts grow by it.
struct PassReport {
    const ChangeClassifier& classifier;
    ChangeOutputs& outputs;
    WholeChangeCounts& counts;
};

// Files: the new files are the lines of area's change list, in the order of found.newFiles;
// the files gone are those the walk left unmarked in baseline.
void ReportFilesPass(PassReport& report, const SnapshotArea& area, const std::string& driveList,
                     std::uint64_t baselineTime, const BaselineIndex& baseline,
                     const BaselineRecords& records, const FileComparison& found);

// A registry root: its new lines are the lines of area's change list and the data of its new
// values in kNewDataScratchName, both in the order of found.newLines; the lines gone are those
// the walk left unmarked in baseline; records tell what the index was built with.
void ReportRegistryPass(PassReport& report, const SnapshotArea& area, std::uint64_t baselineTime,
                        const BaselineIndex& baseline, const BaselineRecords& records,
                        RegistryComparison& found);
