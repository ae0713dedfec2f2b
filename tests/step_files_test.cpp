// Step #1 and Step #2 over drives, driven through the real dialog: a scratch tree is drive D:
// (a folder of the test's Wine prefix), the program's files go to a scratch current folder.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/resource.h"
#include "engine/step_engine.h"
#include "snapshot/snapshot_files.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/scratch_tree.h"
#include "text/text.h"

namespace {

using scratch::ReadWholeFile;
using scratch::SplitLines;

std::vector<std::string> SortedLines(const std::string& path) {
    std::vector<std::string> lines = SplitLines(ReadWholeFile(path));
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
    std::sort(lines.begin(), lines.end());
    return lines;
}

// A dialog with the file scan ticked over the given drive list, in a scratch current folder.
class FileSteps : public ::testing::Test {
protected:
    void SetUp() override {
        drive_.emplace(ScratchTree::OnScratchDrive("D:"));
        dialog_ = DialogDriver::StartInProcess();
        ASSERT_TRUE(dialog_);
        dialog_->SetChecked(IDC_SCAN_FILES, true);
        dialog_->SetText(IDC_DRIVE_LIST, "D:");
    }
    void TearDown() override {
        dialog_.reset();
        drive_.reset();
    }

    // Clicks a step button and returns the message box that ends it, once the dialog is idle.
    SeenMessageBox Run(int button) { return dialog_->RunStep(button); }

    void ExpectIdle() {
        EXPECT_EQ(g_app.busy, 0);
        EXPECT_EQ(dialog_->Text(IDC_CLOSE), "&Close");
        for (int id : {IDC_STEP1, IDC_STEP2, IDC_CLEANUP}) EXPECT_TRUE(dialog_->IsEnabled(id));
        EXPECT_TRUE(dialog_->IsVisible(IDC_PROGRESS));
    }

    std::string Here(const char* name) const { return folder_.Path(name); }

    ScratchTree folder_{"steps"};
    scratch::CurrentDirectory current_{folder_.Root()};
    std::optional<ScratchTree> drive_;
    std::unique_ptr<DialogDriver> dialog_;
};

TEST_F(FileSteps, Step1ListsEveryFileWithItsSize) {
    drive_->AddFile("a.txt", "12345");
    drive_->AddFile("sub\\empty.bin");
    drive_->AddFile("sub\\deeper\\c.txt", "xy");
    for (const std::string& name : scratch::kScriptSampleNames) drive_->AddFile(name, "n");
    const std::string longPath =
        scratch::RelativePathOfLength("D:", 300, "long.txt");  // beyond the classic 260
    ASSERT_FALSE(drive_->AddFile(longPath, "long").empty());
    // Outside the folder the step runs in, a file of the program's name is any file.
    drive_->AddFile("Quorvane_Snapshot1_Files.TXT", "listed");

    const SeenMessageBox summary = Run(IDC_STEP1);
    const std::size_t expected = 5 + scratch::kScriptSampleNames.size();
    EXPECT_EQ(summary.caption, "Quorvane");
    EXPECT_EQ(summary.text, "Saved a list of " + std::to_string(expected) + " files");
    ExpectIdle();
    EXPECT_EQ(dialog_->Text(IDC_STATUS), " ");

    std::vector<std::string> lines = {"D:\\a.txt,5", "D:\\sub\\empty.bin,0",
                                      "D:\\sub\\deeper\\c.txt,2", "D:\\" + longPath + ",4",
                                      "D:\\Quorvane_Snapshot1_Files.TXT,6"};
    for (const std::string& name : scratch::kScriptSampleNames)
        lines.push_back("D:\\" + name + ",1");
    EXPECT_EQ(SortedLines(Here(kFilesBaselineName)), Sorted(lines));
    // Every line ends in CR LF.
    const std::string baseline = ReadWholeFile(Here(kFilesBaselineName));
    ASSERT_GE(baseline.size(), 2u);
    EXPECT_EQ(baseline.substr(baseline.size() - 2), "\r\n");
}

// One file is "1 files" to Step #1, as it always was, and "1 new file" to Step #2.
TEST_F(FileSteps, OneFileInTheWordsOfEachStep) {
    drive_->AddFile("old.txt", "1");
    EXPECT_EQ(Run(IDC_STEP1).text, "Saved a list of 1 files");
    drive_->AddFile("new.txt", "1");
    EXPECT_EQ(Run(IDC_STEP2).text, "Found 1 new file, listed in \"Quorvane_Snapshot2_Files.TXT\"");
    EXPECT_EQ(dialog_->Text(IDC_CHANGES), "Found 1 new/modified file (listed in the output log)");
}

TEST_F(FileSteps, Step1SplitsTheDriveListLikeTheUserMeansIt) {
    drive_->AddFile("Data\\a.txt", "1");
    drive_->AddFile("b.txt", "1");
    // The comma separates; "D:\Data" still means the whole drive; the empty token is skipped;
    // a place that does not exist adds nothing.
    dialog_->SetText(IDC_DRIVE_LIST, "D:\\Data,,Q:");
    EXPECT_EQ(Run(IDC_STEP1).text, "Saved a list of 2 files");
    EXPECT_EQ(SortedLines(Here(kFilesBaselineName)),
              (std::vector<std::string>{"D:\\Data\\a.txt,1", "D:\\b.txt,1"}));

    // A drive named again, in either case and after an empty token, is listed once.
    dialog_->SetText(IDC_DRIVE_LIST, "d:  D:\\Data");
    EXPECT_EQ(Run(IDC_STEP1).text, "Saved a list of 2 files");
}

TEST_F(FileSteps, Step2FindsNewFilesByPathAlone) {
    drive_->AddFile("ab.txt", "5");
    drive_->AddFile("keep\\same.txt", "old");
    drive_->AddFile("keep\\grows.txt", "1");
    ASSERT_EQ(Run(IDC_STEP1).text, "Saved a list of 3 files");

    drive_->AddFile("a", "a path that is a prefix of an old one is new");
    drive_->AddFile("keep\\new.txt", "n");
    drive_->AddFile("keep\\grows.txt", "a changed size is not a new file");
    drive_->AddFile("keep\\Quorvane.log", "new like any other");
    const std::string name = scratch::kScriptSampleNames.front();
    drive_->AddFile("keep\\" + name, "n");
    const std::string longPath = scratch::RelativePathOfLength("D:", 1000, "new-long.txt");
    ASSERT_FALSE(drive_->AddFile(longPath, "n").empty());

    const SeenMessageBox summary = Run(IDC_STEP2);
    EXPECT_EQ(summary.text,
              "Found 5 new files, listed in \"Quorvane_Snapshot2_Files.TXT\"\n\nAlso found: 1 "
              "modified file, 5 new folders.\nEvery change is listed in \"Quorvane_Report.html\"");
    ExpectIdle();
    EXPECT_EQ(SortedLines(Here(kFilesChangeListName)),
              Sorted({"D:\\a", "D:\\keep\\new.txt", "D:\\keep\\Quorvane.log",
                      "D:\\keep\\" + name, "D:\\" + longPath}));
    EXPECT_EQ(dialog_->Text(IDC_CHANGES), "Found 5 new/modified files (listed in the output log)");
    // The baseline is only read.
    EXPECT_EQ(SplitLines(ReadWholeFile(Here(kFilesBaselineName))).size(), 3u);
}

// Sets a file's last-write time back to 2001, as installers do with the files they place.
void DateBack(const std::string& path) {
    const HANDLE file = CreateFileW(WidenText(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    SYSTEMTIME when{2001, 1, 0, 1, 12, 0, 0, 0};
    FILETIME time;
    SystemTimeToFileTime(&when, &time);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

TEST_F(FileSteps, Step2ShowsModifiedAndRemovedFilesAndNewFoldersInTheReport) {
    drive_->AddFile("keep.txt", "same");
    drive_->AddFile("grows.txt", "12345");
    drive_->AddFile("replaced.dll", "abcde");
    drive_->AddFile("gone.txt", "x");
    drive_->AddFile("sub\\gone &amp; 'x'.txt", "yy");
    drive_->AddFile("sub\\stay.txt", "z");
    drive_->AddFile("old\\empty-later.txt", "z");
    // Renamed below in letter case beyond ASCII: Ärger, ω, and ɐ, whose upper case is longer.
    const std::pair<const char*, const char*> renames[] = {{"\xC3\x84rger.txt", "\xC3\x84RGER.txt"},
                                                           {"\xCF\x89.txt", "\xCE\xA9.txt"},
                                                           {"\xC9\x90", "\xE2\xB1\xAF"}};
    for (const auto& [from, to] : renames) drive_->AddFile(from, "r");
    ASSERT_EQ(Run(IDC_STEP1).text, "Saved a list of 10 files");
    Sleep(50);

    drive_->AddFile("new.txt", "n");
    drive_->AddFile("grows.txt", "1234567");
    // Same size, last-write time set back: only the change time tells.
    DateBack(drive_->AddFile("replaced.dll", "vwxyz"));
    ASSERT_TRUE(DeleteFileA(drive_->Path("gone.txt").c_str()));
    ASSERT_TRUE(DeleteFileW(WidenText(drive_->Path("sub\\gone &amp; 'x'.txt")).c_str()));
    ASSERT_TRUE(DeleteFileA(drive_->Path("old\\empty-later.txt").c_str()));
    drive_->AddFolder("fresh\\empty");
    drive_->AddFile("fresh\\also-new.txt", "n");
    // Through another name: Wine takes a rename to the same name in other letters for none.
    for (const auto& [from, to] : renames) {
        ASSERT_TRUE(MoveFileW(WidenText(drive_->Path(from)).c_str(), L"D:\\renaming") &&
                    MoveFileW(L"D:\\renaming", WidenText(drive_->Path(to)).c_str()))
            << from;
    }

    ASSERT_TRUE(scratch::WriteWholeFile(Here(kReportName), "stale"));
    // A rename moves a file's change time: the three are modified files too.
    EXPECT_EQ(Run(IDC_STEP2).text,
              "Found 2 new files, listed in \"Quorvane_Snapshot2_Files.TXT\"\n\nAlso found: 5 "
              "modified files, 3 removed files, 2 new folders, 3 items renamed in letter case "
              "only.\nEvery change is listed in \"Quorvane_Report.html\"");
    EXPECT_NE(
        ReadWholeFile(Here(kUndoCmdName))
            .find("renamed in letter case only (was D:\\\xC9\x90): renamed file: D:\\\xE2\xB1\xAF"),
        std::string::npos);
    const std::string report = ReadWholeFile(Here(kReportName));
    EXPECT_NE(report.find("<title>Quorvane report</title>"), std::string::npos);
    // tools/report-screenshot shows this report.
    if (const char* copy = std::getenv("QUORVANE_REPORT_COPY")) {
        EXPECT_TRUE(scratch::WriteWholeFile(copy, report));
    }
    for (const char* shown :
         {"D:\\new.txt", "D:\\grows.txt</span> <span class=\"size\">5 \xE2\x86\x92 7 bytes",
          "D:\\replaced.dll</span> <span class=\"size\">5 \xE2\x86\x92 5 bytes",
          "D:\\sub\\gone &amp;amp; &#39;x&#39;.txt", "D:\\fresh\\</span>",
          "D:\\fresh\\empty\\</span>", "Files: removed (3)", "Files: new folders (2)",
          "Files: renamed in letter case (3)"}) {
        EXPECT_NE(report.find(shown), std::string::npos) << shown;
    }
    // An old folder that only lost a file is not new; unchanged files are not modified.
    EXPECT_EQ(report.find("D:\\old\\</span>"), std::string::npos);
    EXPECT_EQ(report.find("keep.txt"), std::string::npos);

    // The clean-up button removes the page with the other files.
    dialog_->Click(IDC_CLEANUP);
    ASSERT_TRUE(dialog_->NextMessageBox());
    EXPECT_FALSE(scratch::PathExists(Here(kReportName)));
}

TEST_F(FileSteps, Step2WithNothingNewRemovesEmptyChangeLists) {
    drive_->AddFile("a.txt", "1");
    Run(IDC_STEP1);
    // A leftover empty change list of an area not scanned now goes too; one with lines stays.
    ASSERT_TRUE(scratch::WriteWholeFile(Here("Quorvane_Snapshot2_Registry_HKLM.TXT"), ""));
    ASSERT_TRUE(scratch::WriteWholeFile(Here("Quorvane_Snapshot2_Registry_HKU.TXT"), "x\r\n"));

    EXPECT_EQ(Run(IDC_STEP2).text,
              "0 new files and registry keys found on the system.\n\nNothing changed!");
    EXPECT_FALSE(scratch::PathExists(Here(kFilesChangeListName)));
    EXPECT_FALSE(scratch::PathExists(Here("Quorvane_Snapshot2_Registry_HKLM.TXT")));
    EXPECT_TRUE(scratch::PathExists(Here("Quorvane_Snapshot2_Registry_HKU.TXT")));

    // A place not named now, or not listable, reports no removals.
    dialog_->SetText(IDC_DRIVE_LIST, "NoSuchFolder");
    EXPECT_EQ(Run(IDC_STEP2).text,
              "0 new files and registry keys found on the system.\n\nNothing changed!");
    EXPECT_TRUE(scratch::PathExists(Here(kReportName)));
}

TEST_F(FileSteps, Step2WithoutBaselineAsksForStep1) {
    drive_->AddFile("a.txt", "1");
    const SeenMessageBox box = Run(IDC_STEP2);
    EXPECT_EQ(box.caption, "Quorvane_Snapshot1_Files.TXT");
    EXPECT_EQ(box.text, "Could not open the snapshot file.\n\nPlease run Step #1.");
    EXPECT_EQ(box.owner, dialog_->Dialog());
    ExpectIdle();
    EXPECT_FALSE(dialog_->MessageBoxShowing(300));  // no summary follows
    EXPECT_FALSE(scratch::PathExists(Here(kFilesChangeListName)));

    // An empty baseline is one: everything is new.
    drive_->AddFile("b\\c.txt", "1");
    ASSERT_TRUE(scratch::WriteWholeFile(Here(kFilesBaselineName), ""));
    EXPECT_EQ(Run(IDC_STEP2).text, "Found 2 new files, listed in \"Quorvane_Snapshot2_Files.TXT\"");
}

TEST_F(FileSteps, CopyingPutsNewFilesUnderTheCopyFolderAndLogsTheRest) {
    ScratchTree source("copy-src", "C:\\");
    source.AddFile("old.txt", "old");
    drive_->AddFile("old.txt", "old");
    dialog_->SetText(IDC_DRIVE_LIST, "C: D:");
    scratch::RemoveTree("C:\\_Quorvane_COPY");
    ASSERT_EQ(Run(IDC_STEP1).caption, "Quorvane");

    const std::string cFile = source.AddFile("x\\y\\new.txt", "copied");
    const std::string dFile = drive_->AddFile("new-on-d.txt", "stays");
    ASSERT_TRUE(scratch::WriteWholeFile(Here(kErrorLogName), "from an earlier run\r\n"));
    dialog_->SetChecked(IDC_COPY_FILES, true);
    const SeenMessageBox summary = Run(IDC_STEP2);
    dialog_->SetChecked(IDC_COPY_FILES, false);

    const std::string target = "C:\\_Quorvane_COPY\\" + cFile.substr(3);
    EXPECT_EQ(ReadWholeFile(target), "copied");
    EXPECT_EQ(ReadWholeFile(dFile), "stays");  // a file is never copied onto itself
    EXPECT_EQ(ReadWholeFile(Here(kErrorLogName)), "Error copying file " + dFile + "\r\n");
    const std::vector<std::string> changes = SortedLines(Here(kFilesChangeListName));
    EXPECT_TRUE(std::count(changes.begin(), changes.end(), cFile)) << summary.text;
    EXPECT_TRUE(std::count(changes.begin(), changes.end(), dFile)) << summary.text;
    // The copies themselves are the program's own and never listed.
    for (const std::string& line : changes)
        EXPECT_EQ(line.find("_Quorvane_COPY"), std::string::npos);
    scratch::RemoveTree("C:\\_Quorvane_COPY");
}

TEST_F(FileSteps, AbortStopsTheWalkAndLeavesTheLaterFilesEmpty) {
    constexpr int kFiles = 2000;
    for (int i = 0; i < kFiles; ++i) {
        drive_->AddFile("many\\d" + std::to_string(i % 50) + "\\f" + std::to_string(i) + ".txt");
    }
    dialog_->SetChecked(IDC_SCAN_REGISTRY, true);
    dialog_->SetChecked(IDC_ROOT_HKCU, true);

    // Abort as soon as the first file shows, with nearly all of the walk still to go.
    dialog_->ClickWhenTextShows(IDC_STATUS, " Scanned: ", IDC_CLOSE);
    dialog_->Click(IDC_STEP1);
    auto box = dialog_->NextMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, "Scan aborted");
    ASSERT_TRUE(DialogDriver::WaitUntil([&] { return dialog_->IsEnabled(IDC_STEP1); }));
    ExpectIdle();

    const std::size_t listed = SplitLines(ReadWholeFile(Here(kFilesBaselineName))).size();
    // The file in hand when Abort was clicked is still listed; the walk stops at the next entry.
    EXPECT_EQ(listed, 1u);
    EXPECT_TRUE(scratch::PathExists(Here("Quorvane_Snapshot1_Registry_HKCU.TXT")));
    EXPECT_EQ(ReadWholeFile(Here("Quorvane_Snapshot1_Registry_HKCU.TXT")), "");

    // A baseline that Step #1 did not finish is refused by name before any walk: the report of
    // the last run stays and no change list is made.
    ASSERT_TRUE(scratch::WriteWholeFile(Here(kReportName), "stale"));
    const SeenMessageBox refused = Run(IDC_STEP2);
    EXPECT_EQ(refused.caption, kFilesBaselineName);
    EXPECT_EQ(refused.text, kIncompleteBaselineText);
    EXPECT_EQ(ReadWholeFile(Here(kReportName)), "stale");
    EXPECT_FALSE(scratch::PathExists(Here(kFilesChangeListName)));
    ExpectIdle();

    // An aborted Step #2 leaves no report, not even an earlier one. (Against the baseline as an
    // earlier build would have left it, without the record that tells it was cut short.) Past
    // the progress throttle first, so that the first entry of the next walk shows: on a quick
    // machine the whole walk may otherwise end within it.
    ASSERT_TRUE(DeleteFileA(Here(kSnapshotAreas[0].recordName).c_str()));
    ASSERT_TRUE(DeleteFileA(Here(kSnapshotAreas[3].recordName).c_str()));
    Sleep(100);
    dialog_->ClickWhenTextShows(IDC_STATUS, " Scanned: ", IDC_CLOSE);
    EXPECT_EQ(Run(IDC_STEP2).text, "Scan aborted");
    EXPECT_FALSE(scratch::PathExists(Here(kReportName)));

    // After the summary the same button closes the dialog.
    EXPECT_EQ(dialog_->CloseAndWait(), 1u);
}

TEST_F(FileSteps, TheCloseBoxDuringAScanOnlyAborts) {
    for (int i = 0; i < 2000; ++i) {
        std::string path = "d";
        path += std::to_string(i % 20);
        path += "\\f";
        path += std::to_string(i);
        drive_->AddFile(path);
    }
    dialog_->Click(IDC_STEP1);
    // An idle machine may list the files before the caption is ever seen to read "&Abort":
    // then the summary is up, and the close box is for after it.
    bool scanning = false;
    ASSERT_TRUE(DialogDriver::WaitUntil([&] {
        scanning = dialog_->Text(IDC_CLOSE) == "&Abort";
        return scanning || dialog_->MessageBoxShowing(0);
    }));
    if (scanning) {
        EXPECT_FALSE(dialog_->IsEnabled(IDC_STEP1));
        PostMessageW(dialog_->Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    // Whether the walk was still running or had just ended, the dialog stays and reports.
    auto box = dialog_->NextMessageBox();
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->text == "Scan aborted" || box->text == "Saved a list of 2000 files")
        << box->text;
    ASSERT_TRUE(DialogDriver::WaitUntil([&] { return dialog_->IsEnabled(IDC_STEP1); }));
    EXPECT_TRUE(IsWindow(dialog_->Dialog()));
    PostMessageW(dialog_->Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(dialog_->WaitForEnd(), 1u);
}

TEST_F(FileSteps, ABaselineThatCannotBeCreatedIsReported) {
    drive_->AddFile("a.txt", "1");
    // A folder of the same name stands where the baseline must go.
    CreateDirectoryW(L"Quorvane_Snapshot1_Files.TXT", nullptr);
    const SeenMessageBox box = Run(IDC_STEP1);
    EXPECT_EQ(box.caption, "Quorvane");
    EXPECT_EQ(box.text.rfind("Could not write \"Quorvane_Snapshot1_Files.TXT\".\n\n", 0), 0u)
        << box.text;
    EXPECT_EQ(box.text.find("Saved a list"), std::string::npos);
    ExpectIdle();
    RemoveDirectoryW(L"Quorvane_Snapshot1_Files.TXT");
}

TEST_F(FileSteps, AFullDiskIsReportedNotSummarised) {
    // Filled to the last byte: only a tiny file system will do, never a real disk.
    ULARGE_INTEGER total{};
    if (!GetDiskFreeSpaceExW(L"F:\\", nullptr, &total, nullptr) || total.QuadPart > (16u << 20)) {
        GTEST_SKIP() << "drive F: (a tiny file system that tools/test mounts as root) is missing";
    }
    ScratchTree full = ScratchTree::OnScratchDrive("F:");
    // Fill the drive to the last byte.
    HANDLE filler =
        CreateFileW(L"F:\\filler", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(filler, INVALID_HANDLE_VALUE);
    std::string block(4096, 'f');
    DWORD written = 0;
    while (WriteFile(filler, block.data(), DWORD(block.size()), &written, nullptr) && written) {
    }
    for (int i = 0; i < 4096; ++i) WriteFile(filler, "f", 1, &written, nullptr);
    CloseHandle(filler);

    for (int i = 0; i < 200; ++i) drive_->AddFile(std::to_string(i) + ".txt", "1");
    scratch::CurrentDirectory onFullDrive("F:\\");
    const SeenMessageBox box = Run(IDC_STEP1);
    EXPECT_EQ(box.text.rfind("Could not write \"Quorvane_Snapshot1_Files.TXT\".\n\n", 0), 0u)
        << box.text;
    ExpectIdle();
}

}  // namespace
