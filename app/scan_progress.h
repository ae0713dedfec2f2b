#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "engine/step_engine.h"

// The status line and the progress bar are updated at most this often.
inline constexpr DWORD kProgressIntervalMs = 66;
// While a walk runs, waiting window messages are handled at least this often.
inline constexpr DWORD kPumpIntervalMs = 30;

// Dispatches every waiting message to the dialog. Always 0.
int DrainMessageQueue();

// True when an update is due at tick now after one at lastTick: the difference is taken as an
// unsigned 32-bit value, so the throttle survives the tick count's wrap-around.
constexpr bool IsProgressDue(DWORD now, DWORD lastTick) {
    return static_cast<DWORD>(now - lastTick) > kProgressIntervalMs;
}

// Position of the bar: scanned * 100 / baseline lines, in unsigned 32-bit arithmetic.
constexpr std::uint32_t ProgressPosition(std::uint32_t scanned, std::uint32_t baselineLines) {
    return static_cast<std::uint32_t>(scanned * 100u) / baselineLines;
}

// Shows " Scanned: n\n item" in the status line and moves the bar, throttled.
void UpdateScanProgress(std::string_view itemText);

// Before a pass of Step #2: counts from zero again, bar at 0.
void ResetScanProgress();
void SetProgressPosition(std::uint32_t position);

// Sets a static's text and repaints it at once.
void ShowLineNow(HWND control, std::string_view text);

// The dialog's side of a walk: pumps messages, counts, shows progress and found changes.
class DialogScanObserver final : public StepObserver {
public:
    // A comparison counts from zero again with the bar at 0, up to the baseline's lines.
    void PassStarting(const SnapshotArea& area, bool comparing,
                      std::uint32_t baselineLines) override;
    // Shows a changes-line text that the throttle held back.
    void PassFinished() override;
    bool ShouldStop() override;
    void ItemVisited(std::string_view itemText) override;
    void NewFileFound() override;
    void NewRegistryEntryFound(RegistryEntry kind) override;
    void CopyingFile(std::string_view targetPath) override;

private:
    void ShowChanges(bool force);

    enum class Pending { None, File, Value, Key };
    Pending pending_ = Pending::None;
};
