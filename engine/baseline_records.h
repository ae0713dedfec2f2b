#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "snapshot/baseline_index.h"
#include "snapshot/baseline_state.h"
#include "snapshot/snapshot_files.h"
#include "snapshot/place_set.h"

// What Step #2 reads beside a baseline: the record Step #1 wrote with it (the record of a
// registry baseline's lines, or of a file baseline's folders), which tells whether the baseline
// is whole and what Step #1 could not read.

// Whether the baseline of area can be compared against, as Step #2 asks before its first walk.
enum class BaselineCheck {
    Usable,      // whole, or written by an earlier build, whose records never tell
    Missing,     // cannot be opened
    Incomplete,  // its record says that its pass did not run to its end
};
BaselineCheck CheckBaseline(const SnapshotArea& area);

// What a pass compares with besides the baseline's text.
struct BaselineRecords {
    // Files: the record of the baseline's folders and its index; both empty for a baseline of
    // an earlier build.
    BaselineText folderRecord;
    BaselineIndex folders;
    // Registry: the record of the baseline's lines when there is one that agrees with the
    // baseline, and in joins the CR LF pairs that stand inside lines. Empty when there is none.
    std::string lineRecord;
    std::vector<std::size_t> joins;
    // The record tells whether names came through exactly (an earlier build's does not), and
    // where the lines of those that did not begin, in text order.
    bool namesTold = false;
    std::vector<std::size_t> inexactLines;
    // The folders or keys Step #1 could not read.
    PlaceSet unreadAtBaseline;

    bool HasFolderRecord() const { return folderRecord.size != 0; }
};

// Reads the record beside the baseline of area, whose text is baseline. False, with failure set,
// when it is there but cannot be read or indexed.
bool LoadBaselineRecords(const SnapshotArea& area, std::string_view baseline,
                         BaselineRecords& records, std::string& failure);
