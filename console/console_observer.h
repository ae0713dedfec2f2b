#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <string_view>

#include "engine/step_engine.h"
#include "console/standard_stream.h"

// The progress line is brought up to date at most this often.
inline constexpr ULONGLONG kConsoleProgressIntervalMs = 100;

// The console's side of a walk. ShouldStop answers from the abort flag that the console's
// control handler sets (Ctrl+C, Ctrl+Break, the console closing). While the progress stream
// is a console, one line on it shows the items scanned and the current item; on a file or
// pipe nothing is shown, so that a log holds only what a script wants to read.
class ConsoleScanObserver final : public StepObserver {
public:
    ConsoleScanObserver(const std::atomic<bool>& abort, StandardStream& progress);

    // Blanks the progress line and puts the cursor back at its start.
    void ClearProgress();

    void PassStarting(const SnapshotArea& area, bool comparing,
                      std::uint32_t baselineLines) override;
    void PassFinished() override {}
    bool ShouldStop() override { return abort_.load(std::memory_order_relaxed); }
    void ItemVisited(std::string_view itemText) override;
    void NewFileFound() override { ++found_; }
    void NewRegistryEntryFound(RegistryEntry) override { ++found_; }
    void CopyingFile(std::string_view targetPath) override;

private:
    void Show(std::string_view label, std::string_view item);

    const std::atomic<bool>& abort_;
    StandardStream& progress_;
    bool comparing_ = false;
    unsigned long long scanned_ = 0;
    unsigned long long found_ = 0;
    ULONGLONG lastShown_ = 0;
    bool shown_ = false;
};

// text made to fill exactly columns - 1 console columns, so that the line never wraps: cut
// (never inside a character) or padded with blanks. East Asian wide characters count two
// columns; control characters show as blanks.
std::wstring FitToColumns(std::wstring_view text, int columns);
