// The console's observer: the abort flag that Ctrl+C sets stops a step through the engine,
// and the progress line fits the console.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <new>

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
    explicit AbortAtItem(std::size_t item, bool outOfMemory = false)
        : item_(item), outOfMemory_(outOfMemory) {}

    std::size_t visited = 0;

    void PassStarting(const SnapshotArea& area, bool comparing, std::uint32_t lines) override {
        console_.PassStarting(area, comparing, lines);
    }
    void PassFinished() override { console_.PassFinished(); }
    bool ShouldStop() override { return console_.ShouldStop(); }
    // Or, as an allocation deep in the walk would, throws there.
    void ItemVisited(std::string_view text) override {
        if (++visited == item_ && outOfMemory_) throw std::bad_alloc();
        if (visited == item_) abort_ = true;
        console_.ItemVisited(text);
    }
    void NewFileFound() override { console_.NewFileFound(); }
    void NewRegistryEntryFound(RegistryEntry kind) override {
        console_.NewRegistryEntryFound(kind);
    }
    void CopyingFile(std::string_view target) override { console_.CopyingFile(target); }

private:
    std::size_t item_;
    bool outOfMemory_;
    std::atomic<bool> abort_{false};
    StandardStream progress_{STD_ERROR_HANDLE};
    ConsoleScanObserver console_{abort_, progress_};
};

TEST(ConsoleAbort, StopsTheStepAtTheNextEntryAndKeepsWhatWasWritten) {
    ScratchTree folder("console-abort");
    scratch::CurrentDirectory current(folder.Root());
    for (int i = 0; i < 60; ++i) {
        const std::string name = "walk\\d" + std::to_string(i % 3) + "\\" + std::to_string(i);
        ASSERT_FALSE(folder.AddFile(name, "x").empty());
    }
    // The folder "walk" of the current one, then HKEY_USERS: a pass that starts after the abort.
    StepRequest request;
    request.scanFiles = true;
    request.driveList = "walk";
    request.scanRegistry = true;
    request.roots = {false, false, false, true};
    const DWORD priority = GetPriorityClass(GetCurrentProcess());

    AbortAtItem atSeventh(7);
    const StepResult step1 = RunBaselineStep(request, atSeventh);
    EXPECT_EQ(step1.outcome, StepResult::Outcome::Aborted);
    EXPECT_EQ(step1.message, "Scan aborted");
    EXPECT_EQ(StepExitCode(step1, false), kExitAborted);
    // The item in hand when the flag went up is written, nothing after it; the later pass
    // leaves its file empty, as the dialog's Abort does.
    EXPECT_EQ(SplitLines(ReadWholeFile(folder.Path(kFilesBaselineName))).size(), 7u);
    EXPECT_EQ(atSeventh.visited, 7u);
    EXPECT_EQ(ReadWholeFile(folder.Path("Quorvane_Snapshot1_Registry_HKU.TXT")), "");
    // The console leaves the priority as it found it: raising it is the dialog's own business.
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), priority);

    // Step #2 refuses a baseline that Step #1 did not finish, before any walk.
    const StepResult refused = RunCompareStep(request, atSeventh);
    EXPECT_EQ(refused.outcome, StepResult::Outcome::IncompleteBaseline);
    EXPECT_EQ(refused.baselineName, kFilesBaselineName);
    EXPECT_EQ(StepExitCode(refused, true), kExitMissingBaseline);
    EXPECT_FALSE(scratch::PathExists(folder.Path(kFilesChangeListName)));

    // Against an empty baseline of an earlier build (no record) every file is new: the change
    // list keeps those found so far.
    request.scanRegistry = false;
    ASSERT_TRUE(scratch::WriteWholeFile(folder.Path(kFilesBaselineName), ""));
    ASSERT_TRUE(DeleteFileA(folder.Path(kSnapshotAreas[0].recordName).c_str()));
    AbortAtItem atFifth(5);
    const StepResult step2 = RunCompareStep(request, atFifth);
    EXPECT_EQ(step2.message, "Scan aborted");
    EXPECT_EQ(StepExitCode(step2, true), kExitAborted);
    EXPECT_EQ(SplitLines(ReadWholeFile(folder.Path(kFilesChangeListName))).size(), 5u);

    // Out of memory, a step fails with the message both front ends show, throws nothing, and
    // leaves neither a report nor its scratch files; a baseline so cut is refused later.
    for (const bool comparing : {true, false}) {
        AbortAtItem outOfMemory(3, true);
        const StepResult failed = comparing ? RunCompareStep(request, outOfMemory)
                                            : RunBaselineStep(request, outOfMemory);
        EXPECT_EQ(failed.outcome, StepResult::Outcome::Failed);
        EXPECT_EQ(failed.message, kNoMemoryText);
        EXPECT_EQ(StepExitCode(failed, comparing), kExitFailed);
        for (const char* name : kScratchNames) EXPECT_FALSE(scratch::PathExists(folder.Path(name)));
        EXPECT_FALSE(scratch::PathExists(folder.Path(kReportName)));
    }
    AbortAtItem quiet(0);
    EXPECT_EQ(RunCompareStep(request, quiet).outcome, StepResult::Outcome::IncompleteBaseline);
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
