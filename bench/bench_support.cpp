#include "bench/bench_support.h"

#include <psapi.h>
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>

#include "app/scan_progress.h"
#include "snapshot/unique_handle.h"
#include "text/text.h"

namespace bench {

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

bool QuietObserver::ShouldStop() {
    ++stopQuestions;
    const DWORD now = GetTickCount();
    if (static_cast<DWORD>(now - lastPump_) >= kPumpIntervalMs) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        lastPump_ = GetTickCount();
    }
    return false;
}

void QuietObserver::ItemVisited(std::string_view itemText) {
    ++items;
    if (!IsProgressDue(GetTickCount(), lastProgress_)) return;
    status_ = " Scanned: " + std::to_string(items) + "\n ";
    status_.append(itemText);
    ++repaints;
    lastProgress_ = GetTickCount();
}

std::vector<std::string> Arguments() {
    std::vector<std::string> result;
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr) return result;
    for (int i = 1; i < count; ++i) result.push_back(NarrowText(words[i]));
    LocalFree(words);
    return result;
}

bool ParseCount(std::string_view text, std::size_t& value) {
    if (text.empty() || text.size() > 12) return false;
    std::size_t parsed = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        parsed = parsed * 10 + static_cast<std::size_t>(c - '0');
    }
    value = parsed;
    return true;
}

std::string WineVersion() {
    using GetVersion = const char*(CDECL*)();
    const auto get = reinterpret_cast<GetVersion>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")));
    return get != nullptr ? std::string(get()) : std::string();
}

MemoryFigures ProcessMemory() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    MemoryFigures figures;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        figures.workingSet = counters.WorkingSetSize;
        figures.peakWorkingSet = counters.PeakWorkingSetSize;
        figures.pagefile = counters.PagefileUsage;
        figures.peakPagefile = counters.PeakPagefileUsage;
    }
    return figures;
}

double MiB(std::uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fflush(stdout);
}

double Best(const std::vector<double>& runs) {
    double best = runs.empty() ? 0 : runs[0];
    for (double run : runs) best = run < best ? run : best;
    return best;
}

void PrintTimeRow(const char* what, const std::vector<double>& runs, double reference,
                  double target, std::size_t entries) {
    const double seconds = Best(runs);
    const double ratio = reference > 0 ? seconds / reference : 0;
    const double perEntry = entries != 0 ? seconds * 1e6 / static_cast<double>(entries) : 0;
    std::string all;
    for (double run : runs) {
        char text[32];
        std::snprintf(text, sizeof text, "%s%.3f", all.empty() ? "" : " ", run);
        all += text;
    }
    if (target > 0) {
        Say("  %-30s %8.3f s %6.1f us  %5.2fx  target %.2fx %-6s  runs %s\n", what, seconds,
            perEntry, ratio, target, ratio <= target ? "met" : "MISSED", all.c_str());
    } else {
        Say("  %-30s %8.3f s %6.1f us  %5.2fx                      runs %s\n", what, seconds,
            perEntry, ratio, all.c_str());
    }
}

std::vector<std::string> FirstLines(const std::string& path, std::size_t limit) {
    std::vector<std::string> lines;
    UniqueFileHandle file(CreateFileW(WidenText(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return lines;
    char chunk[8192];
    DWORD read = 0;
    std::string text;
    while (text.size() < 1u << 20 && ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) &&
           read != 0) {
        text.append(chunk, read);
    }
    std::size_t start = 0;
    while (lines.size() < limit && start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace bench
