// The console's observer: the abort flag that Ctrl+C sets stops a step through the engine,
// and the progress line fits the console.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>

#include "console/command_line.h"
#include "console/console_observer.h"
#include "snapshot/snapshot_files.h"
#include "tests/support/scratch_tree.h"

namespace {

using scratch::ReadWholeFile;
using scratch::SplitLines;

// The console's observer, with the abort flag raised as the given item is visited: the way a
// Ctrl+C arriving during that item would raise it.
class AbortAtItem final : public StepObserver {
public:
    explicit AbortAtItem(std::size_t item) : item_(item) {}

    std::size_t visited = 0;

    void PassStarting(const SnapshotArea& area, bool comparing, std::uint32_t lines) override {
        console_.PassStarting(area, comparing, lines);
    }
    void PassFinished() override { console_.PassFinished(); }
    bool ShouldStop() override { return console_.ShouldStop(); }
    void ItemVisited(std::string_view text) override {
        if (++visited == item_) abort_ = true;
        console_.ItemVisited(text);
    }
    void NewFileFound() override { console_.NewFileFound(); }
    void NewRegistryEntryFound(RegistryEntry kind) override {
        console_.NewRegistryEntryFound(kind);
    }
    void CopyingFile(std::string_view target) override { console_.CopyingFile(target); }

private:
    std::size_t item_;
    std::atomic<bool> abort_{false};
    StandardStream progress_{STD_ERROR_HANDLE};
    ConsoleScanObserver console_{abort_, progress_};
};

class ConsoleAbort : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 60; ++i) {
            const std::string name =
                "walk\\d" + std::to_string(i % 3) + "\\f" + std::to_string(i) + ".txt";
            ASSERT_FALSE(folder_.AddFile(name, "x").empty());
        }
        // The files of the folder "walk" of the current one, then HKEY_USERS: a pass that
        // starts after the abort.
        request_.scanFiles = true;
        request_.driveList = "walk";
        request_.scanRegistry = true;
        request_.roots = {false, false, false, true};
    }

    std::string Here(const char* name) const { return folder_.Path(name); }

    ScratchTree folder_{"console-abort"};
    scratch::CurrentDirectory current_{folder_.Root()};
    StepRequest request_;
};

TEST_F(ConsoleAbort, Step1StopsAtTheNextEntryAndKeepsWhatItWrote) {
    const DWORD priority = GetPriorityClass(GetCurrentProcess());
    AbortAtItem observer(7);
    const StepResult result = RunBaselineStep(request_, observer);

    EXPECT_EQ(result.outcome, StepResult::Outcome::Aborted);
    EXPECT_EQ(result.message, "Scan aborted");
    EXPECT_EQ(StepExitCode(result, false), kExitAborted);
    // The item in hand when the flag went up is written; nothing after it.
    const std::vector<std::string> lines = SplitLines(ReadWholeFile(Here(kFilesBaselineName)));
    EXPECT_EQ(lines.size(), 7u);
    for (const std::string& line : lines) EXPECT_EQ(line.rfind("walk\\d", 0), 0u) << line;
    EXPECT_EQ(observer.visited, 7u);
    // The later pass still makes its file, empty, as the dialog's Abort leaves it.
    EXPECT_EQ(ReadWholeFile(Here("Quorvane_Snapshot1_Registry_HKU.TXT")), "");
    // The console leaves the priority as it found it: that is the dialog's own business.
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), priority);
}

TEST_F(ConsoleAbort, Step2KeepsTheChangesFoundBeforeTheAbort) {
    request_.scanRegistry = false;
    // An empty baseline: every file is new, so each visited one is a change-list line.
    ASSERT_TRUE(scratch::WriteWholeFile(Here(kFilesBaselineName), ""));
    AbortAtItem observer(5);
    const StepResult result = RunCompareStep(request_, observer);

    EXPECT_EQ(result.outcome, StepResult::Outcome::Aborted);
    EXPECT_EQ(result.message, "Scan aborted");
    EXPECT_EQ(StepExitCode(result, true), kExitAborted);
    EXPECT_EQ(result.fileCount, 5);
    EXPECT_EQ(SplitLines(ReadWholeFile(Here(kFilesChangeListName))).size(), 5u);
}

TEST(ProgressLine, FillsTheConsoleWidthButOneWithoutWrapping) {
    EXPECT_EQ(FitToColumns(L"Scanned: 3", 15), L"Scanned: 3    ");
    EXPECT_EQ(FitToColumns(L"C:\\Windows\\System32\\kernel32.dll", 12), L"C:\\Windows\\");
    EXPECT_EQ(FitToColumns(L"", 4), L"   ");
    EXPECT_EQ(FitToColumns(L"abc", 1), L"");
    // Wide characters take two columns; one that does not fit whole is left out.
    EXPECT_EQ(FitToColumns(L"a資料", 5), L"a資 ");
    EXPECT_EQ(FitToColumns(L"a資料", 6), L"a資料");
    // A pair of surrogates is one character, never cut in two.
    EXPECT_EQ(FitToColumns(L"ab\U0001F600c", 4), L"ab ");
    EXPECT_EQ(FitToColumns(L"ab\U0001F600c", 5), L"ab\U0001F600");
    EXPECT_EQ(FitToColumns(L"\U00010348x", 4), L"\U00010348x ");  // narrow, outside the BMP
    // Line breaks and tabs in a registry value's text would break the line.
    EXPECT_EQ(FitToColumns(L"a\nb\tc\r", 8), L"a b c  ");
}

}  // namespace
