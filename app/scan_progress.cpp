#include "app/scan_progress.h"

#include <commctrl.h>

#include <string>

#include "app/app_state.h"

int DrainMessageQueue() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageA(g_app.dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return 0;
}

void ShowLineNow(HWND control, std::string_view text) {
    SetWindowTextA(control, std::string(text).c_str());
    UpdateWindow(control);
}

void SetProgressPosition(std::uint32_t position) {
    SendMessageA(g_app.progressBar, PBM_SETPOS, position, 0);
}

void UpdateScanProgress(std::string_view itemText) {
    if (!IsProgressDue(GetTickCount(), g_app.lastProgressTick)) return;

    std::string status = " Scanned: " + std::to_string(g_app.counters.scanned) + "\n ";
    status.append(itemText);
    ShowLineNow(g_app.statusLine, status);
    g_app.lastProgressTick = GetTickCount();

    if (g_app.counters.baselineLines != 0) {
        SetProgressPosition(ProgressPosition(g_app.counters.scanned, g_app.counters.baselineLines));
    }
}

void ResetScanProgress() {
    g_app.counters.scanned = 0;
    SetProgressPosition(0);
}

bool DialogScanObserver::ShouldStop() {
    // Under Wine a message peek costs about as much as listing a file, so the queue is drained
    // on a time budget rather than before every entry.
    const DWORD now = GetTickCount();
    if (static_cast<DWORD>(now - g_app.lastPumpTick) >= kPumpIntervalMs) {
        DrainMessageQueue();
        g_app.lastPumpTick = GetTickCount();
    }
    return g_app.abort != 0;
}

void DialogScanObserver::ItemVisited(std::string_view itemText) {
    ++g_app.counters.scanned;
    UpdateScanProgress(itemText);
}

void DialogScanObserver::NewFileFound() {
    ++g_app.counters.fileChanges;
    pending_ = Pending::File;
    ShowChanges(false);
}

void DialogScanObserver::NewRegistryEntryFound(RegistryEntry kind) {
    ++g_app.counters.registryEntries;
    pending_ = kind == RegistryEntry::Key ? Pending::Key : Pending::Value;
    ShowChanges(false);
}

void DialogScanObserver::CopyingFile(std::string_view targetPath) {
    ShowLineNow(g_app.statusLine, targetPath);
}

void DialogScanObserver::PassStarting(const SnapshotArea&, bool comparing,
                                      std::uint32_t baselineLines) {
    if (!comparing) return;
    g_app.counters.baselineLines = baselineLines;
    ResetScanProgress();
}

void DialogScanObserver::PassFinished() { ShowChanges(true); }

void DialogScanObserver::ShowChanges(bool force) {
    if (pending_ == Pending::None) return;
    // Repainting for every find would cost more than the walk when everything is new; the
    // line is brought up to date at least as often as the progress, and at the end of a pass.
    if (!force && !IsProgressDue(GetTickCount(), g_app.lastChangesTick)) return;

    const bool isFile = pending_ == Pending::File;
    const std::uint32_t count =
        isFile ? g_app.counters.fileChanges : g_app.counters.registryEntries;
    const char* format = isFile ? "Found %lu new/modified file%s (listed in the output log)"
                         : pending_ == Pending::Value
                             ? "Found %lu new/modified key%s (listed in the output log)"
                             : "Found %lu new key%s (listed in the output log)";
    char text[128];
    snprintf(text, sizeof text, format, static_cast<unsigned long>(count), count == 1 ? "" : "s");
    ShowLineNow(g_app.changesLine, text);
    g_app.lastChangesTick = GetTickCount();
    pending_ = Pending::None;
}
