#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/findings.h"
#include "engine/highlights.h"
#include "engine/reported_item.h"
#include "report/change_set.h"
#include "report/report_page.h"

class SnapshotWriter;

// Where each reported change goes: its entry, with its mark, in the report's section in hand;
// its line among the change set's items; the finding it is part of, or else the highlights; the
// journal that the undo and redo
// files are made from; and the noise count of its area. The sections, the items and the journal
// go to files (scratch files until the run's end: whole_change.h).
class ChangeOutputs {
public:
    // systemRoot: the Windows folder, which commands and task files are found by.
    ChangeOutputs(SnapshotWriter& sections, SnapshotWriter& items, SnapshotWriter& journal,
                  std::string_view userSid, std::string_view systemRoot);

    // The area whose changes come next, with its rows of counts.
    void BeginArea(ReportArea row, ChangeSetArea setRow);
    void Report(const ReportedItem& item);

    ReportPage& Page() { return page_; }
    const std::vector<ReportArea>& Areas() const { return areas_; }
    const std::vector<ChangeSetArea>& SetAreas() const { return setAreas_; }
    // The changes no finding takes in.
    const std::vector<ReportHighlight>& AllHighlights() const { return highlights_.All(); }
    // Once every change is in: the findings, with what the system tells of their files.
    std::vector<Finding> FinishFindings(const SystemFacts& system) {
        return findings_.Finish(system);
    }
    // False once the page's or the change set's file refused a piece.
    bool PageOk() const { return page_.Ok(); }
    bool ChangeSetOk() const { return changeSet_.Ok(); }

private:
    void AddToPage(const ReportedItem& item, const ItemMark& mark, const ContentHash& hash);
    void AddToChangeSet(const ReportedItem& item, const ContentHash& hash);
    void AddToJournal(const ReportedItem& item);

    ReportPage page_;
    ChangeSetWriter changeSet_;
    SnapshotWriter& journal_;
    Highlights highlights_;
    Findings findings_;
    std::size_t itemLines_ = 0;
    std::vector<ReportArea> areas_;
    std::vector<ChangeSetArea> setAreas_;
    unsigned long anchors_ = 0;
    std::string journalEntry_;
};
