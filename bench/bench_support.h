#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "snapshot/scan_observer.h"

// What both benchmark drivers share: a clock, an observer that costs what the dialog's costs
// without a window, arguments, memory figures and the printed table.
namespace bench {

// Seconds from the performance counter.
double Now();

// Under Wine most of a walk's work is done by the Wine server, a process of its own, and on a
// busy machine wall time also holds the time others took. So every pass also counts CPU time:
// this process's and, when tools/bench names the server's process id in
// QUORVANE_WINESERVER_PID, the server's (read from the host's /proc through drive Z:).
// Under Wine the host's /proc/stat also tells how much time the virtual machine's host took
// from its processors (steal): a run with much of it was slowed from outside.
struct Stamp {
    double wall = 0;
    double cpu = 0;
    double serverCpu = 0;
    double steal = 0;
};
Stamp Mark();
bool HasServerCpu();

// Wall and CPU seconds of one run, CPU counting this process and the server.
struct Sample {
    double wall = 0;
    double cpu = 0;
    double steal = 0;  // processor seconds of the host's, over all processors
};
Sample Since(const Stamp& start);

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

// The smallest wall and the smallest CPU time of the runs (possibly of different runs).
Sample Best(const std::vector<Sample>& runs);
// Index of the run with the smallest wall time.
std::size_t BestRun(const std::vector<Sample>& runs);

void PrintTableHeader();
// One line of the results table: what, its best wall time and that time's ratio to the
// reference and the target ratio (0 for none), its best CPU time and ratio, then the wall
// time of every run.
void PrintTimeRow(const char* what, const std::vector<Sample>& runs, const Sample& reference,
                  double target, std::size_t entries);

// What the benchmarks check of a report page: its entries (each entry of every section is one
// list item, and the escaped names in them add none) and the count in each section's title.
struct ReportFacts {
    bool complete = false;  // read, and ends as a whole page does
    std::size_t entries = 0;
    std::map<std::string, long> sections;          // title ("Files: added") and its count
    long Section(const std::string& title) const;  // -1 when there is no such section
};
ReportFacts ReadReport(const char* path);

// Lines of a CR LF text file (a change list), at most limit of them, for showing surprises.
std::vector<std::string> FirstLines(const std::string& path, std::size_t limit);

}  // namespace bench
