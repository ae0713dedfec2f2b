#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "snapshot/scan_observer.h"

// What both benchmark drivers share: a clock, an observer that costs what the dialog's costs
// without a window, arguments, memory figures and the printed table.
namespace bench {

// Seconds from the performance counter.
double Now();

// Does the dialog observer's per-item work without a window: a tick read per item and per stop
// question, the status text formatted when the progress throttle lets it through, and the
// message queue drained on the pump budget. Never asks to stop.
class QuietObserver final : public ScanObserver {
public:
    bool ShouldStop() override;
    void ItemVisited(std::string_view itemText) override;
    void NewFileFound() override { ++newFiles; }
    void NewRegistryEntryFound(RegistryEntry kind) override {
        ++(kind == RegistryEntry::Key ? newKeys : newValues);
    }
    void CopyingFile(std::string_view) override {}

    std::size_t items = 0;
    std::size_t stopQuestions = 0;
    std::size_t newFiles = 0;
    std::size_t newKeys = 0;
    std::size_t newValues = 0;
    std::size_t repaints = 0;

private:
    DWORD lastPump_ = GetTickCount();
    DWORD lastProgress_ = GetTickCount();
    std::string status_;
};

// The command line's arguments after the program name, in the process code page.
std::vector<std::string> Arguments();
// A whole decimal count, false for anything else.
bool ParseCount(std::string_view text, std::size_t& value);

// Wine's version, or empty on Windows.
std::string WineVersion();

struct MemoryFigures {
    std::uint64_t workingSet = 0;
    std::uint64_t peakWorkingSet = 0;
    std::uint64_t pagefile = 0;      // private committed bytes
    std::uint64_t peakPagefile = 0;  // Wine reports the current value here, not a peak
};
MemoryFigures ProcessMemory();

double MiB(std::uint64_t bytes);

#if defined(__MINGW32__)
#define BENCH_PRINTF_FORMAT __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)))
#elif defined(__GNUC__)
#define BENCH_PRINTF_FORMAT __attribute__((format(printf, 1, 2)))
#else
#define BENCH_PRINTF_FORMAT
#endif

// printf to stdout, flushed at once so that a long run shows where it is.
void Say(const char* format, ...) BENCH_PRINTF_FORMAT;

// One line of the results table: what, its best time of runs, its ratio to the reference, and
// the target ratio (0 for none); then every run's time.
void PrintTimeRow(const char* what, const std::vector<double>& runs, double reference,
                  double target, std::size_t entries);
double Best(const std::vector<double>& runs);

// Lines of a CR LF text file (a change list), at most limit of them, for showing surprises.
std::vector<std::string> FirstLines(const std::string& path, std::size_t limit);

}  // namespace bench
