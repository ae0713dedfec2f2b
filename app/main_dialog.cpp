#include "app/main_dialog.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstdio>

#include "app/app_state.h"
#include "app/resource.h"
#include "res/build_stamp.h"
#include "res/version.h"
#include "app/step_commands.h"
#include "app/window_utils.h"
#include "snapshot/snapshot_files.h"

AppState g_app;

namespace {

// Each check box and the controls it enables.
struct CompanionSet {
    int checkBox;
    int controls[4];
};
constexpr CompanionSet kCompanions[] = {
    {IDC_SCAN_FILES, {IDC_DRIVE_LIST}},
    {IDC_SCAN_REGISTRY, {IDC_ROOT_HKCR, IDC_ROOT_HKLM, IDC_ROOT_HKCU, IDC_ROOT_HKU}},
};

void SetIcon(HWND dialog, int size, WPARAM which) {
    HANDLE icon = LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MAIN), IMAGE_ICON,
                             size, size, LR_LOADTRANSPARENT);
    if (icon) SendMessageA(dialog, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
}

BOOL OnInitDialog(HWND dialog, HWND, LPARAM) {
    g_app.dialog = dialog;
    CenterWindowOn(dialog, nullptr);
    ApplyToChildControls(dialog, kSetDefaultFont);
    SetWindowTextA(dialog, "Quorvane " QUORVANE_VERSION_TEXT);

    InitCommonControls();
    INITCOMMONCONTROLSEX classes = {
        sizeof classes, ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);

    g_app.statusLine = GetDlgItem(dialog, IDC_STATUS);
    g_app.changesLine = GetDlgItem(dialog, IDC_CHANGES);
    SetIcon(dialog, 16, ICON_SMALL);
    SetIcon(dialog, 32, ICON_BIG);
    SetDlgItemTextA(dialog, IDC_DRIVE_LIST, "C: D:");
    g_app.progressBar = GetDlgItem(dialog, IDC_PROGRESS);

    // The companions take the state of their (unchecked) boxes: all start disabled.
    for (const CompanionSet& set : kCompanions) SendMessageA(dialog, WM_COMMAND, set.checkBox, 0);

    SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS);
    return TRUE;
}

void EnableCompanions(const CompanionSet& set) {
    const BOOL enable = IsDlgButtonChecked(g_app.dialog, set.checkBox) == BST_CHECKED;
    for (int id : set.controls) {
        if (id) EnableWindow(GetDlgItem(g_app.dialog, id), enable);
    }
}

// Close when idle; during a scan only asks the walker to stop.
BOOL OnCloseOrAbort(HWND dialog) {
    g_app.abort = 1;
    if (g_app.busy) return FALSE;
    EndDialog(dialog, 1);
    return TRUE;
}

void ShowAbout() {
    char text[128];
    snprintf(text, sizeof text, "Quorvane version " QUORVANE_VERSION_TEXT "\n\n%s",
             BuildStampText());
    ShowInfoMessage(text, "Quorvane");
}

void CleanUpProgramFiles() {
    RemoveProgramFiles();
    MessageBoxA(nullptr, kProgramFilesRemovedText, "Quorvane",
                MB_SETFOREGROUND | MB_TASKMODAL | MB_ICONINFORMATION);
}

BOOL OnCommand(HWND dialog, int id) {
    switch (id) {
        case IDC_CLOSE: return OnCloseOrAbort(dialog);
        case IDC_STEP2: RunStep2(); break;
        case IDC_STEP1: RunStep1(); break;
        case IDM_ABOUT: ShowAbout(); break;
        case IDC_SCAN_FILES: EnableCompanions(kCompanions[0]); break;
        case IDC_SCAN_REGISTRY: EnableCompanions(kCompanions[1]); break;
        case IDC_CLEANUP: CleanUpProgramFiles(); break;
        default: break;
    }
    return FALSE;
}

void OnSysCommand(HWND dialog, WPARAM wParam) {
    if (LOWORD(wParam) == IDM_ABOUT) SendMessageA(dialog, WM_COMMAND, wParam, 0);
}

void OnInitMenuPopup(HWND dialog) {
    if (g_app.systemMenuExtended) return;
    HMENU menu = GetSystemMenu(dialog, FALSE);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_ABOUT, "About Quorvane...");
    ++g_app.systemMenuExtended;
}

}  // namespace

void ShowInfoMessage(const char* text, const char* caption) {
    MessageBoxA(g_app.dialog, text, caption, MB_TASKMODAL | MB_ICONINFORMATION);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OnInitDialog(dialog, reinterpret_cast<HWND>(wParam), lParam);
        case WM_COMMAND: return OnCommand(dialog, LOWORD(wParam));
        case WM_SYSCOMMAND: OnSysCommand(dialog, wParam); return FALSE;
        case WM_INITMENUPOPUP: OnInitMenuPopup(dialog); return FALSE;
        default: return FALSE;
    }
}
