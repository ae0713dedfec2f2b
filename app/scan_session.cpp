#include "app/scan_session.h"

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "app/resource.h"
#include "app/scan_progress.h"
#include "engine/step_engine.h"

namespace {

constexpr int kActionButtons[] = {IDC_STEP1, IDC_STEP2, IDC_CLEANUP};

void EnableActions(BOOL enable) {
    for (int id : kActionButtons) EnableWindow(GetDlgItem(g_app.dialog, id), enable);
}

}  // namespace

bool IsChecked(int controlId) { return IsDlgButtonChecked(g_app.dialog, controlId) == BST_CHECKED; }

bool BeginStepCommand() {
    // Nothing lowers the priority again: a scan competes with what the user wants measured.
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    g_app.counters.baselineLines = 0;
    g_app.counters.fileChanges = 0;
    g_app.counters.scanned = 0;
    g_app.abort = 0;
    if (!IsChecked(IDC_SCAN_FILES) && !IsChecked(IDC_SCAN_REGISTRY)) {
        ShowInfoMessage(kNothingToDoText, "Quorvane");
        return false;
    }
    return true;
}

void EnterScanSession() {
    EnableActions(FALSE);
    g_app.busy = 1;
    g_app.counters.registryEntries = 0;
    SetDlgItemTextA(g_app.dialog, IDC_CLOSE, "&Abort");
}

void LeaveScanSession() {
    g_app.busy = 0;
    SetDlgItemTextA(g_app.dialog, IDC_CLOSE, "&Close");
}

void EnableActionButtons() {
    EnableActions(TRUE);
    SetProgressPosition(0);
}
