#include "app/step_commands.h"

#include <windows.h>

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "app/resource.h"
#include "app/scan_progress.h"
#include "app/scan_session.h"

namespace {

// The check box of each registry root, in the order of StepRequest::roots.
constexpr int kRootCheckBoxes[] = {IDC_ROOT_HKCR, IDC_ROOT_HKLM, IDC_ROOT_HKCU, IDC_ROOT_HKU};
static_assert(std::size(kRootCheckBoxes) == kRegistryAreaCount);

constexpr int kDriveListLimit = 259;  // 258 characters and the terminator

std::string ReadDriveList() {
    char text[kDriveListLimit] = "";
    GetDlgItemTextA(g_app.dialog, IDC_DRIVE_LIST, text, kDriveListLimit);
    return text;
}

// What to scan, as the dialog's controls say at the moment a step starts.
StepRequest ReadStepRequest() {
    StepRequest request;
    request.scanFiles = IsChecked(IDC_SCAN_FILES);
    request.driveList = ReadDriveList();
    request.scanRegistry = IsChecked(IDC_SCAN_REGISTRY);
    for (std::size_t i = 0; i < kRegistryAreaCount; ++i) {
        request.roots[i] = IsChecked(kRootCheckBoxes[i]);
    }
    request.copyNewFiles = IsChecked(IDC_COPY_FILES);
    return request;
}

}  // namespace

void RunStep1() {
    if (!BeginStepCommand()) return;
    const StepRequest request = ReadStepRequest();
    SetWindowTextA(g_app.statusLine, " ");
    SetWindowTextA(g_app.changesLine, " ");
    EnterScanSession();
    ShowWindow(g_app.progressBar, SW_HIDE);

    DialogScanObserver observer;
    const StepResult result = RunBaselineStep(request, observer);
    g_app.counters.registryEntries = static_cast<std::uint32_t>(result.entryCount);

    LeaveScanSession();
    SetWindowTextA(g_app.statusLine, " ");
    ShowInfoMessage(result.message.c_str(), "Quorvane");
    EnableActionButtons();
    ShowWindow(g_app.progressBar, SW_SHOW);
}

void RunStep2() {
    if (!BeginStepCommand()) return;
    const StepRequest request = ReadStepRequest();
    ShowLineNow(g_app.statusLine, " ");
    ShowLineNow(g_app.changesLine, "Changes Found: 0");
    EnterScanSession();

    DialogScanObserver observer;
    const StepResult result = RunCompareStep(request, observer);
    if (result.outcome == StepResult::Outcome::MissingBaseline ||
        result.outcome == StepResult::Outcome::IncompleteBaseline) {
        ShowInfoMessage(result.outcome == StepResult::Outcome::MissingBaseline
                            ? "Could not open the snapshot file.\n\nPlease run Step #1."
                            : kIncompleteBaselineText,
                        result.baselineName.c_str());
        EnableActionButtons();
        LeaveScanSession();
        return;
    }
    LeaveScanSession();
    ShowInfoMessage(result.message.c_str(), "Quorvane");
    EnableActionButtons();
}
