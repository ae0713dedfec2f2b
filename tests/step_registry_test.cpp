// Step #1 and Step #2 over registry roots, driven through the real dialog, on the registry of
// the test run's own Wine prefix.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/resource.h"
#include "engine/step_engine.h"
#include "snapshot/snapshot_files.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/scratch_tree.h"

namespace {

using scratch::ReadWholeFile;
using scratch::SplitLines;

const char kHkcuBaseline[] = "Quorvane_Snapshot1_Registry_HKCU.TXT";
const char kHkcuChanges[] = "Quorvane_Snapshot2_Registry_HKCU.TXT";
const char kHklmBaseline[] = "Quorvane_Snapshot1_Registry_HKLM.TXT";

std::vector<std::string> LinesHolding(const std::string& path, const std::string& part) {
    std::vector<std::string> lines;
    for (std::string& line : SplitLines(ReadWholeFile(path))) {
        if (line.find(part) != std::string::npos) lines.push_back(std::move(line));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

class RegistrySteps : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(key_.Ok());
        dialog_ = DialogDriver::StartInProcess();
        ASSERT_TRUE(dialog_);
        dialog_->SetChecked(IDC_SCAN_REGISTRY, true);
        dialog_->SetChecked(IDC_ROOT_HKCU, true);
    }

    SeenMessageBox Run(int button) { return dialog_->RunStep(button); }

    std::string Here(const char* name) const { return folder_.Path(name); }
    std::string Line(const std::string& rest) const {
        return "HKEY_CURRENT_USER\\" + key_.Path() + rest;
    }

    ScratchTree folder_{"registry-steps"};
    scratch::CurrentDirectory current_{folder_.Root()};
    ScratchRegistry key_{L"e2e"};
    std::unique_ptr<DialogDriver> dialog_;
};

TEST_F(RegistrySteps, Step1ListsKeysAndValuesOfTheRoot) {
    key_.SetString(L"", L"Name", L"text");
    key_.SetDword(L"Sub", L"Count", 0xFFFFFFFF);
    ScratchRootValue rootValue(L"QvRootValue", L"bar");
    ASSERT_TRUE(rootValue.Ok());

    const SeenMessageBox summary = Run(IDC_STEP1);
    const std::size_t lines = SplitLines(ReadWholeFile(Here(kHkcuBaseline))).size();
    ASSERT_GT(lines, 3u);
    EXPECT_EQ(summary.caption, "Quorvane");
    EXPECT_EQ(summary.text, "Saved a list of " + std::to_string(lines) + " registry entries");

    EXPECT_EQ(LinesHolding(Here(kHkcuBaseline), key_.Path()),
              (std::vector<std::string>{Line(""), Line("\\Name=text"), Line("\\Sub"),
                                        Line("\\Sub\\Count=-1")}));
    // A value right under the root has two backslashes after the root's name.
    EXPECT_EQ(LinesHolding(Here(kHkcuBaseline), "QvRootValue"),
              std::vector<std::string>{"HKEY_CURRENT_USER\\\\QvRootValue=bar"});
    // Roots that are not ticked are not touched.
    EXPECT_FALSE(scratch::PathExists(Here(kHklmBaseline)));
}

TEST_F(RegistrySteps, Step2FindsNewAndChangedEntriesOnly) {
    key_.SetString(L"", L"Level", L"10");
    key_.SetString(L"Same", L"Kept", L"as it was");
    key_.SetString(L"", L"StartMenuRun", L"0");
    ASSERT_EQ(Run(IDC_STEP1).caption, "Quorvane");

    key_.SetString(L"", L"Level", L"1");  // the old line "...=10" must not hide it
    key_.SetString(L"New\\Deeper", L"Fresh", L"yes");
    key_.SetString(L"", L"StartMenuRun", L"1");     // never reported when changed
    key_.SetString(L"", L"StartMenuLogoff", L"1");  // nor when new
    key_.SetString(L"", L"startmenuinit", L"1");    // other letter case: reported

    const SeenMessageBox summary = Run(IDC_STEP2);
    const std::vector<std::string> expected = {
        Line("\\Level=1"), Line("\\New"), Line("\\New\\Deeper"), Line("\\New\\Deeper\\Fresh=yes"),
        Line("\\startmenuinit=1")};
    EXPECT_EQ(LinesHolding(Here(kHkcuChanges), key_.Path()), expected);
    const std::size_t found = SplitLines(ReadWholeFile(Here(kHkcuChanges))).size();
    EXPECT_EQ(summary.text, "Found " + std::to_string(found) +
                                " new registry entries, listed in \"" + kHkcuChanges + "\"");
    // Order of the change list: the key's values first, then each new key before what it holds.
    const std::vector<std::string> all = SplitLines(ReadWholeFile(Here(kHkcuChanges)));
    const auto at = [&](const std::string& line) {
        return std::find(all.begin(), all.end(), line) - all.begin();
    };
    EXPECT_LT(at(Line("\\New")), at(Line("\\New\\Deeper")));
    EXPECT_LT(at(Line("\\New\\Deeper")), at(Line("\\New\\Deeper\\Fresh=yes")));
}

TEST_F(RegistrySteps, OneNewEntryIsAnEntry) {
    ASSERT_EQ(Run(IDC_STEP1).caption, "Quorvane");
    key_.SetString(L"", L"Single", L"1");
    const SeenMessageBox summary = Run(IDC_STEP2);
    ASSERT_EQ(LinesHolding(Here(kHkcuChanges), key_.Path()),
              std::vector<std::string>{Line("\\Single=1")});
    if (SplitLines(ReadWholeFile(Here(kHkcuChanges))).size() == 1) {
        EXPECT_EQ(summary.text,
                  "Found 1 new registry entry, listed in \"Quorvane_Snapshot2_Registry_HKCU.TXT\"");
    }
}

TEST_F(RegistrySteps, FilesAndRootsTogetherGiveTwoLineSummaries) {
    ScratchTree drive = ScratchTree::OnScratchDrive("D:");
    drive.AddFile("a.txt", "1");
    dialog_->SetChecked(IDC_SCAN_FILES, true);
    dialog_->SetText(IDC_DRIVE_LIST, "D:");
    dialog_->SetChecked(IDC_ROOT_HKU, true);

    const SeenMessageBox saved = Run(IDC_STEP1);
    const std::size_t entries =
        SplitLines(ReadWholeFile(Here(kHkcuBaseline))).size() +
        SplitLines(ReadWholeFile(Here("Quorvane_Snapshot1_Registry_HKU.TXT"))).size();
    EXPECT_EQ(saved.text, "Saved a list of 1 files\n\nSaved a list of " + std::to_string(entries) +
                              " registry entries");

    drive.AddFile("b.txt", "1");
    key_.SetString(L"", L"Both", L"1");
    const SeenMessageBox found = Run(IDC_STEP2);
    const std::size_t newEntries =
        SplitLines(ReadWholeFile(Here(kHkcuChanges))).size() +
        SplitLines(ReadWholeFile(Here("Quorvane_Snapshot2_Registry_HKU.TXT"))).size();
    EXPECT_EQ(found.text, "Found 1 file(s) that were new\n\nFound " + std::to_string(newEntries) +
                              " registry entries that were new");
}

TEST_F(RegistrySteps, ScanRegistryWithoutRootsTouchesNoRegistryFile) {
    ScratchTree drive = ScratchTree::OnScratchDrive("D:");
    drive.AddFile("a.txt", "1");
    dialog_->SetChecked(IDC_ROOT_HKCU, false);
    dialog_->SetChecked(IDC_SCAN_FILES, true);
    dialog_->SetText(IDC_DRIVE_LIST, "D:");
    EXPECT_EQ(Run(IDC_STEP1).text, "Saved a list of 1 files");
    for (const SnapshotArea& area : kSnapshotAreas) {
        if (area.root) {
            EXPECT_FALSE(scratch::PathExists(Here(area.baselineName))) << area.baselineName;
        }
    }
}

TEST_F(RegistrySteps, AMissingRootBaselineStopsTheStepBeforeItsFirstPass) {
    ScratchTree drive = ScratchTree::OnScratchDrive("D:");
    drive.AddFile("a.txt", "1");
    dialog_->SetChecked(IDC_SCAN_FILES, true);
    dialog_->SetText(IDC_DRIVE_LIST, "D:");
    dialog_->SetChecked(IDC_ROOT_HKCU, false);
    ASSERT_EQ(Run(IDC_STEP1).text, "Saved a list of 1 files");
    ASSERT_TRUE(scratch::WriteWholeFile(Here(kReportName), "the last run's"));

    dialog_->SetChecked(IDC_ROOT_HKLM, true);
    dialog_->SetChecked(IDC_ROOT_HKCU, true);
    const SeenMessageBox box = Run(IDC_STEP2);
    // The first missing baseline in pass order is named, before any pass runs: no change list
    // is written, and the last report stays.
    EXPECT_EQ(box.caption, kHklmBaseline);
    EXPECT_EQ(box.text, "Could not open the snapshot file.\n\nPlease run Step #1.");
    EXPECT_FALSE(dialog_->MessageBoxShowing(300));
    for (const SnapshotArea& area : kSnapshotAreas) {
        EXPECT_FALSE(scratch::PathExists(Here(area.changeListName))) << area.changeListName;
    }
    EXPECT_EQ(ReadWholeFile(Here(kReportName)), "the last run's");
    EXPECT_EQ(dialog_->Text(IDC_CLOSE), "&Close");
}

TEST_F(RegistrySteps, AbortStopsTheWalkAfterTheKeyInHand) {
    ASSERT_EQ(Run(IDC_STEP1).caption, "Quorvane");
    const std::size_t whole = SplitLines(ReadWholeFile(Here(kHkcuBaseline))).size();

    // Past the progress throttle, so that the first entry of the next walk shows.
    Sleep(100);
    dialog_->ClickWhenTextShows(IDC_STATUS, " Scanned: ", IDC_CLOSE);
    EXPECT_EQ(Run(IDC_STEP1).text, "Scan aborted");
    const std::size_t listed = SplitLines(ReadWholeFile(Here(kHkcuBaseline))).size();
    EXPECT_LT(listed, whole / 2) << "of " << whole;
}

}  // namespace

namespace {

TEST_F(RegistrySteps, RemovedAndChangedEntriesAreShownInTheReport) {
    key_.SetString(L"", L"Version", L"1.0");
    key_.SetString(L"", L"Obsolete", L"x");
    key_.SetString(L"Plugins\\Old", L"Path", L"C:\\old");
    key_.SetString(L"", L"Notes", L"first\r\nsecond");
    key_.SetString(L"", L"Other", L"second");
    ASSERT_EQ(Run(IDC_STEP1).caption, "Quorvane");

    key_.SetString(L"", L"Version", L"<2.0>");
    ASSERT_TRUE(key_.DeleteValue(L"", L"Obsolete"));
    ASSERT_TRUE(key_.DeleteKey(L"Plugins\\Old"));
    // Each piece of the new text is a record somewhere, but not as one line.
    key_.SetString(L"", L"Notes", L"first");
    key_.SetString(L"", L"Other", L"first\r\nsecond");

    const SeenMessageBox summary = Run(IDC_STEP2);
    EXPECT_NE(summary.text.find("removed registry entr"), std::string::npos) << summary.text;
    EXPECT_NE(summary.text.find("Every change is listed in \"Quorvane_Report.html\""),
              std::string::npos);
    const std::string report = ReadWholeFile(Here(kReportName));
    const std::string key = "HKEY_CURRENT_USER\\" + key_.Path();
    // Changed: one entry with the old and the new text, escaped; not also removed.
    EXPECT_NE(report.find(key + "</span> <span class=\"name\">Version</span> = <span "
                                "class=\"old\">1.0</span> \xE2\x86\x92 <span "
                                "class=\"new\">&lt;2.0&gt;</span>"),
              std::string::npos);
    EXPECT_EQ(report.find("<span class=\"line\">" + key + "\\Version=1.0"), std::string::npos);
    EXPECT_NE(report.find("<span class=\"name\">Other</span> = <span class=\"old\">second</span>"),
              std::string::npos);
    EXPECT_NE(report.find("<span class=\"old\">first<span class=\"ctl\">\xE2\x90\x8D</span><span "
                          "class=\"ctl\">\xE2\x90\x8A</span>second</span>"),
              std::string::npos);
    // Removed: the value, the key and the value below it, each split where its line's record
    // says.
    const std::string removed = report.substr(report.find(": removed ("));
    for (const std::string& gone :
         {"<span class=\"path\">" + key + "</span> <span class=\"name\">Obsolete</span> = "
          "<span class=\"text\">x</span>",
          "<span class=\"kind\">key</span> <span class=\"path\">" + key + "\\Plugins\\Old</span>",
          "<span class=\"path\">" + key + "\\Plugins\\Old</span> <span class=\"name\">Path</span> = "
          "<span class=\"text\">C:\\old</span>"}) {
        EXPECT_NE(removed.find(gone), std::string::npos) << gone;
    }
    EXPECT_EQ(removed.find(key + "\\Plugins</span>"), std::string::npos);
}

}  // namespace

namespace {

// Names and texts that would be markup if the page took them as it found them. The report is
// left where the browser check (tests/report_in_browser.sh) reads it.
TEST_F(RegistrySteps, HostileNamesMakeAReportForTheBrowser) {
    ScratchTree drive = ScratchTree::OnScratchDrive("D:");
    drive.AddFile("setup & 'tools'\\readme;.txt", "1");
    dialog_->SetChecked(IDC_SCAN_FILES, true);
    dialog_->SetText(IDC_DRIVE_LIST, "D:");
    key_.SetString(L"", L"<b>bold</b>", L"old");
    key_.SetString(L"", L"Gone\"><script>alert(2)</script>", L"x");
    ASSERT_EQ(Run(IDC_STEP1).caption, "Quorvane");

    drive.AddFile("setup & 'tools'\\new &amp; 'copy'.txt", "2");
    drive.AddFile("invoice_\xE2\x80\xAE" "fdp.exe", "3");
    key_.SetString(L"<script>alert(1)</script>", L"<img src=x onerror=alert(4)>",
                   L"</li></ol></details><iframe src=\"javascript:alert(5)\"></iframe>");
    key_.SetString(L"", L"<b>bold</b>", L"new\r\n<i>line</i>");
    ASSERT_TRUE(key_.DeleteValue(L"", L"Gone\"><script>alert(2)</script>"));
    ASSERT_EQ(Run(IDC_STEP2).caption, "Quorvane");

    const std::string report = ReadWholeFile(Here(kReportName));
    ASSERT_FALSE(report.empty());
    const char* copy = std::getenv("QUORVANE_REPORT_COPY");
    if (copy != nullptr) {
        ASSERT_TRUE(scratch::WriteWholeFile(copy, report));
    }
}

}  // namespace

namespace {

// The engine without a front end: nothing shown, never stopped.
class SilentObserver final : public StepObserver {
public:
    bool ShouldStop() override { return false; }
    void ItemVisited(std::string_view) override {}
    void NewFileFound() override {}
    void NewRegistryEntryFound(RegistryEntry) override {}
    void CopyingFile(std::string_view) override {}
    void PassStarting(const SnapshotArea&, bool, std::uint32_t) override {}
    void PassFinished() override {}
};

enum class Record { Kept, Removed, Cut };

// Registry lines that a value's text or name could make look like other lines: Step #2 reads
// each line whole, as the record Step #1 writes beside the baseline tells, and pairs changed
// values by their exact key and name. Without the record (a baseline of an earlier build), or
// with one that does not agree with the baseline, it reads the baseline as before.
TEST(ExactRegistryLines, EveryLineIsReadWholeAsItsRecordTells) {
    ScratchTree folder("exact-lines");
    scratch::CurrentDirectory current(folder.Root());
    using Registry = ScratchRegistry;
    // The last key of HKEY_CURRENT_USER (keys are listed in name order), so that its value is
    // the baseline's last line.
    const std::wstring_view lastParent = L"~~QvLast";
    const std::wstring look = scratch::Utf16("HKEY_CURRENT_USER\\Software\\QvRegTest\\lines\\V2=b");
    const struct {
        const char* what;
        std::function<void(Registry&, Registry&)> before, after;
        unsigned long added, changed, removed;
        Record record = Record::Kept;
        bool unreadable = false;
    } cases[] = {
        {"a line inside a text is no line: the value it mimics deleted",
         [&](Registry& r, Registry&) { r.SetString(L"", L"V1", L"x\r\n" + look); r.SetString(L"", L"V2", L"b"); },
         [](Registry& r, Registry&) { r.DeleteValue(L"", L"V2"); }, 0, 0, 1},
        {"... the value it mimics changed",
         [&](Registry& r, Registry&) { r.SetString(L"", L"V1", L"x\r\n" + look); r.SetString(L"", L"V2", L"b"); },
         [](Registry& r, Registry&) { r.SetString(L"", L"V2", L"c"); }, 0, 1, 0},
        {"... nothing changed",
         [&](Registry& r, Registry&) { r.SetString(L"", L"V1", L"x\r\n" + look); r.SetString(L"", L"V2", L"b"); },
         [](Registry&, Registry&) {}, 0, 0, 0},
        {"a text that holds a key's line, changed",
         [](Registry& r, Registry&) { r.SetString(L"", L"V1", L"x\r\nHKEY_CURRENT_USER\\Fake"); },
         [](Registry& r, Registry&) { r.SetString(L"", L"V1", L"y"); }, 0, 1, 0},
        {"the last line gains a line break",
         [](Registry&, Registry& last) { last.SetString(L"", L"v", L"a"); },
         [](Registry&, Registry& last) { last.SetString(L"", L"v", L"a\r\n"); }, 0, 1, 0},
        {"a key named like a value's line goes while that value comes",
         [](Registry& r, Registry&) { r.SetString(L"a=b", L"", L"d"); },
         [](Registry& r, Registry&) { r.DeleteKey(L"a=b"); r.SetString(L"", L"a", L"z"); }, 1, 0, 2},
        {"a string with a zero character inside, changed after it",
         [](Registry& r, Registry&) { r.SetValue(L"", L"Z", REG_SZ, L"ab\0cd", 12); },
         [](Registry& r, Registry&) { r.SetValue(L"", L"Z", REG_SZ, L"ab\0ce", 12); }, 0, 1, 0},
        {"a key that cannot be read at Step #2 is not gone, nor what it holds",
         [](Registry& r, Registry&) { r.SetString(L"Locked\\Sub", L"V", L"1"); r.SetString(L"Locked", L"W", L"2"); },
         [](Registry& r, Registry&) { r.DenyReading(L"Locked"); }, 0, 0, 0, Record::Kept, true},
        {"a baseline of an earlier build, without a record",
         [](Registry& r, Registry&) { r.SetString(L"", L"Old", L"1"); r.SetString(L"", L"Gone", L"1"); },
         [](Registry& r, Registry&) { r.SetString(L"", L"Old", L"2"); r.DeleteValue(L"", L"Gone"); }, 0, 1, 1, Record::Removed},
        {"a record cut short",
         [](Registry& r, Registry&) { r.SetString(L"", L"Old", L"1"); r.SetString(L"K", L"", L"1"); },
         [](Registry& r, Registry&) { r.SetString(L"", L"Old", L"2"); r.DeleteKey(L"K"); }, 0, 1, 2, Record::Cut},
    };
    const SnapshotArea& hkcu = kSnapshotAreas[3];
    StepRequest request;
    request.scanRegistry = true;
    request.roots[2] = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Registry key(L"lines");
        Registry last(L"last", lastParent);
        ASSERT_TRUE(key.Ok() && last.Ok());
        c.before(key, last);
        SilentObserver observer;
        ASSERT_EQ(RunBaselineStep(request, observer).outcome, StepResult::Outcome::Done);
        ASSERT_TRUE(scratch::PathExists(folder.Path(hkcu.recordName)));
        if (c.record == Record::Removed) {
            ASSERT_TRUE(DeleteFileA(hkcu.recordName));
        }
        if (c.record == Record::Cut) {
            const std::string record = ReadWholeFile(folder.Path(hkcu.recordName));
            ASSERT_TRUE(scratch::WriteWholeFile(folder.Path(hkcu.recordName),
                                                record.substr(0, record.size() - 1)));
        }
        c.after(key, last);

        const StepResult result = RunCompareStep(request, observer);
        if (c.record == Record::Cut) {
            // A record that does not end as Step #1 ends it says the baseline may be cut too.
            EXPECT_EQ(result.outcome, StepResult::Outcome::IncompleteBaseline);
            continue;
        }
        ASSERT_EQ(result.outcome, StepResult::Outcome::Done) << result.message;
        EXPECT_EQ(result.entryCount - result.wholeChange.changedRegistryValues, c.added);
        EXPECT_EQ(result.wholeChange.changedRegistryValues, c.changed);
        EXPECT_EQ(result.wholeChange.removedRegistryEntries, c.removed);
        if (c.added + c.changed + c.removed == 0) {
            EXPECT_EQ(result.message,
                      "0 new files and registry keys found on the system.\n\nNothing changed!");
        }
        const std::string report = ReadWholeFile(folder.Path(kReportName));
        EXPECT_EQ(report.find("\">HKEY_CURRENT_USER\\Fake</span>"), std::string::npos)
            << "a removed key that never was";
        if (c.unreadable) {
            EXPECT_NE(report.find("could not be read"), std::string::npos);
        }
    }
}

}  // namespace
