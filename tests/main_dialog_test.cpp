// The main dialog driven as a user drives it: start-up state, check boxes, Close, About, the
// system menu, clean-up, and the progress display.

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <regex>

#include "app/app_state.h"
#include "app/resource.h"
#include "app/scan_progress.h"
#include "snapshot/snapshot_files.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/scratch_tree.h"

namespace {

using scratch::PathExists;
using scratch::ReadWholeFile;
using scratch::RemoveTree;
using scratch::WriteWholeFile;

constexpr int kCheckBoxes[] = {IDC_SCAN_FILES, IDC_SCAN_REGISTRY, IDC_ROOT_HKCR, IDC_ROOT_HKLM,
                               IDC_ROOT_HKCU,  IDC_ROOT_HKU,      IDC_COPY_FILES};
constexpr int kRoots[] = {IDC_ROOT_HKCR, IDC_ROOT_HKLM, IDC_ROOT_HKCU, IDC_ROOT_HKU};
constexpr int kActions[] = {IDC_STEP1, IDC_STEP2, IDC_CLEANUP};

const char kNothingToDo[] =
    "Nothing to do!\n\nPlease check \"Scan File System\" and/or \"Scan Registry\"";

TEST(MainDialog, StartsCentredWithItsDefaults) {
    auto dialog = DialogDriver::StartInProcess();
    ASSERT_TRUE(dialog);

    EXPECT_EQ(dialog->Title(), "Quorvane 1.07");
    for (int id : kCheckBoxes) EXPECT_FALSE(dialog->IsChecked(id)) << id;
    EXPECT_EQ(dialog->Text(IDC_DRIVE_LIST), "C: D:");
    EXPECT_FALSE(dialog->IsEnabled(IDC_DRIVE_LIST));
    for (int id : kRoots) EXPECT_FALSE(dialog->IsEnabled(id)) << id;
    for (int id : kActions) EXPECT_TRUE(dialog->IsEnabled(id)) << id;
    EXPECT_EQ(dialog->Text(IDC_CLOSE), "關閉(&C)");
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), DWORD(IDLE_PRIORITY_CLASS));

    RECT desktop, window;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(dialog->Dialog(), &window);
    EXPECT_EQ(window.left,
              desktop.left + ((desktop.right - desktop.left) - (window.right - window.left)) / 2);
    EXPECT_EQ(window.top,
              desktop.top + ((desktop.bottom - desktop.top) - (window.bottom - window.top)) / 2);

    // Every child wears the default GUI font, and both icons are set.
    const auto font = reinterpret_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    for (HWND child = GetWindow(dialog->Dialog(), GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), font);
    }
    EXPECT_TRUE(SendMessageW(dialog->Dialog(), WM_GETICON, ICON_SMALL, 0));
    EXPECT_TRUE(SendMessageW(dialog->Dialog(), WM_GETICON, ICON_BIG, 0));
}

TEST(MainDialog, CheckBoxesEnableTheirCompanions) {
    auto dialog = DialogDriver::StartInProcess();
    ASSERT_TRUE(dialog);

    dialog->SetChecked(IDC_SCAN_FILES, true);
    EXPECT_TRUE(DialogDriver::WaitUntil([&] { return dialog->IsEnabled(IDC_DRIVE_LIST); }));
    for (int id : kRoots) EXPECT_FALSE(dialog->IsEnabled(id));

    dialog->SetChecked(IDC_SCAN_REGISTRY, true);
    EXPECT_TRUE(DialogDriver::WaitUntil([&] { return dialog->IsEnabled(IDC_ROOT_HKU); }));
    for (int id : kRoots) EXPECT_TRUE(dialog->IsEnabled(id)) << id;

    dialog->SetChecked(IDC_SCAN_FILES, false);
    EXPECT_TRUE(DialogDriver::WaitUntil([&] { return !dialog->IsEnabled(IDC_DRIVE_LIST); }));
    dialog->SetChecked(IDC_SCAN_REGISTRY, false);
    EXPECT_TRUE(DialogDriver::WaitUntil([&] { return !dialog->IsEnabled(IDC_ROOT_HKCR); }));
    for (int id : kRoots) EXPECT_FALSE(dialog->IsEnabled(id)) << id;
}

TEST(MainDialog, StepButtonsWithNothingTickedOnlySayNothingToDo) {
    ScratchTree folder("nothing-to-do");
    scratch::CurrentDirectory here(folder.Root());
    auto dialog = DialogDriver::StartInProcess();
    ASSERT_TRUE(dialog);
    // A root ticked without "scan the registry" still means nothing to do.
    EnableWindow(dialog->Control(IDC_ROOT_HKCU), TRUE);
    dialog->SetChecked(IDC_ROOT_HKCU, true);

    for (int button : {IDC_STEP1, IDC_STEP2}) {
        dialog->Click(button);
        auto box = dialog->NextMessageBox();
        ASSERT_TRUE(box) << button;
        EXPECT_EQ(box->caption, "Quorvane");
        EXPECT_EQ(box->text, kNothingToDo);
        EXPECT_EQ(box->owner, dialog->Dialog());
        EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), DWORD(HIGH_PRIORITY_CLASS));
        EXPECT_FALSE(dialog->MessageBoxShowing(300));
        for (int id : kActions) EXPECT_TRUE(dialog->IsEnabled(id));
        EXPECT_EQ(g_app.busy, 0);
    }
    // No file was touched.
    for (const char* name : ProgramTextFiles()) EXPECT_FALSE(PathExists(folder.Path(name))) << name;
}

TEST(MainDialog, CloseEndsTheDialogWithOne) {
    auto dialog = DialogDriver::StartInProcess();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->CloseAndWait(), 1u);
}

TEST(MainDialog, TheCloseBoxEndsTheDialogWhenIdle) {
    auto dialog = DialogDriver::StartInProcess();
    ASSERT_TRUE(dialog);
    PostMessageW(dialog->Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(dialog->WaitForEnd(), 1u);
}

TEST(MainDialog, TheProgramExitsWithOneWhenClosed) {
    ScratchTree folder("program-exit");
    scratch::CurrentDirectory here(folder.Root());
    auto program = DialogDriver::StartProgram(folder.Root());
    ASSERT_TRUE(program) << "QUORVANE_EXE must name the built program";
    EXPECT_EQ(program->Title(), "Quorvane 1.07");
    EXPECT_EQ(program->Text(IDC_DRIVE_LIST), "C: D:");
    EXPECT_EQ(GetPriorityClass(program->Process()), DWORD(IDLE_PRIORITY_CLASS));
    EXPECT_EQ(program->CloseAndWait(), 1u);
}

TEST(MainDialog, SystemMenuGainsAboutOnceAndOpensIt) {
    auto dialog = DialogDriver::StartInProcess();
    ASSERT_TRUE(dialog);
    HMENU menu = GetSystemMenu(dialog->Dialog(), FALSE);
    const int before = GetMenuItemCount(menu);
    for (int i = 0; i < 3; ++i) {
        SendMessageW(dialog->Dialog(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu),
                     MAKELPARAM(0, TRUE));
    }
    ASSERT_EQ(GetMenuItemCount(menu), before + 2);
    EXPECT_EQ(GetMenuItemID(menu, before + 1), UINT(IDM_ABOUT));
    wchar_t text[64] = L"";
    GetMenuStringW(menu, before + 1, text, 64, MF_BYPOSITION);
    EXPECT_EQ(scratch::Utf8(text), "About Quorvane...");
    MENUITEMINFOW separator = {sizeof separator, MIIM_FTYPE};
    GetMenuItemInfoW(menu, before, TRUE, &separator);
    EXPECT_TRUE(separator.fType & MFT_SEPARATOR);

    PostMessageW(dialog->Dialog(), WM_SYSCOMMAND, IDM_ABOUT, 0);
    auto box = dialog->NextMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Quorvane");
    EXPECT_EQ(box->owner, dialog->Dialog());
    EXPECT_TRUE(std::regex_match(
        box->text, std::regex("Quorvane version 1\\.07\n\nBuild Date: "
                              "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123][0-9] "
                              "[0-9]{4}  Time: [0-2][0-9]:[0-5][0-9]:[0-6][0-9]")))
        << box->text;
}

TEST(MainDialog, CleanUpRemovesExactlyTheProgramsTextFiles) {
    ScratchTree folder("clean-up");
    scratch::CurrentDirectory here(folder.Root());
    for (const char* name : ProgramTextFiles()) ASSERT_TRUE(WriteWholeFile(folder.Path(name), "x"));
    const char* keep[] = {"Quorvane_Snapshot3_Files.TXT", "notes.txt", "Quorvane_Errors.log"};
    for (const char* name : keep) ASSERT_TRUE(WriteWholeFile(folder.Path(name), "keep"));
    CreateDirectoryW(L"C:\\_Quorvane_COPY", nullptr);
    ASSERT_TRUE(WriteWholeFile("C:\\_Quorvane_COPY\\kept.txt", "copy"));

    auto dialog = DialogDriver::StartInProcess();
    ASSERT_TRUE(dialog);
    const char kRemoved[] =
        "Temporary log files have been removed.\n\n(Note: These files are created to allow "
        "persistent tracking across reboots.)";
    for (int round = 0; round < 2; ++round) {  // the second time there is nothing to remove
        dialog->Click(IDC_CLEANUP);
        auto box = dialog->NextMessageBox();
        ASSERT_TRUE(box);
        EXPECT_EQ(box->caption, "Quorvane");
        EXPECT_EQ(box->text, kRemoved);
        EXPECT_EQ(box->owner, nullptr);
    }
    for (const char* name : ProgramTextFiles()) EXPECT_FALSE(PathExists(folder.Path(name))) << name;
    for (const char* name : keep) EXPECT_EQ(ReadWholeFile(folder.Path(name)), "keep") << name;
    EXPECT_EQ(ReadWholeFile("C:\\_Quorvane_COPY\\kept.txt"), "copy");
    RemoveTree("C:\\_Quorvane_COPY");
}

TEST(ScanProgress, ThrottleUsesAnUnsignedTickDifference) {
    EXPECT_FALSE(IsProgressDue(1000, 1000));
    EXPECT_FALSE(IsProgressDue(1066, 1000));
    EXPECT_TRUE(IsProgressDue(1067, 1000));
    // Across the wrap-around of the tick count after 2^32 ms.
    EXPECT_FALSE(IsProgressDue(0x00000032u, 0xFFFFFFF0u));  // 66 ms later
    EXPECT_TRUE(IsProgressDue(0x00000033u, 0xFFFFFFF0u));   // 67 ms later
    // The first update of a run always shows: the last tick starts at 0.
    EXPECT_TRUE(IsProgressDue(5000, 0));
}

TEST(ScanProgress, PositionIsScannedTimesHundredOverBaselineLines) {
    EXPECT_EQ(ProgressPosition(0, 200), 0u);
    EXPECT_EQ(ProgressPosition(50, 200), 25u);
    EXPECT_EQ(ProgressPosition(199, 200), 99u);
    EXPECT_EQ(ProgressPosition(300, 200), 150u);  // more items than lines: the bar is full
    // The product is taken modulo 2^32: 5,000,000,000 wraps to 705,032,704.
    EXPECT_EQ(ProgressPosition(50'000'000u, 100'000'000u), 7u);
}

TEST(ScanProgress, StatusLineAndBarFollowTheScan) {
    auto dialog = DialogDriver::StartInProcess();
    ASSERT_TRUE(dialog);
    HWND bar = dialog->Control(IDC_PROGRESS);

    g_app.counters.scanned = 7;
    g_app.counters.baselineLines = 0;
    g_app.lastProgressTick = GetTickCount() - 1000;
    UpdateScanProgress("D:\\first.txt");
    EXPECT_EQ(dialog->Text(IDC_STATUS), " Scanned: 7\n D:\\first.txt");
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);  // no baseline: the bar stays

    // Within 66 ms of the last update nothing changes.
    g_app.counters.scanned = 8;
    g_app.lastProgressTick = GetTickCount();
    UpdateScanProgress("D:\\second.txt");
    EXPECT_EQ(dialog->Text(IDC_STATUS), " Scanned: 7\n D:\\first.txt");

    g_app.counters.scanned = 30;
    g_app.counters.baselineLines = 40;
    g_app.lastProgressTick = GetTickCount() - 1000;
    UpdateScanProgress("D:\\third.txt");
    EXPECT_EQ(dialog->Text(IDC_STATUS), " Scanned: 30\n D:\\third.txt");
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 75);

    ResetScanProgress();
    EXPECT_EQ(g_app.counters.scanned, 0u);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
}

}  // namespace
