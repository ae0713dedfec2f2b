#include "bench/bench_support.h"

#include <algorithm>
#include <psapi.h>
#include <shellapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/scan_progress.h"
#include "win32/unique_handle.h"
#include "tests/support/scratch_tree.h"
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

namespace {

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    const auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) *
               1e-7;
    };
    return seconds(kernel) + seconds(user);
}

// The server's /proc stat file, empty when it is not known.
const std::wstring& ServerStatPath() {
    static const std::wstring path = [] {
        wchar_t pid[32];
        const DWORD length = GetEnvironmentVariableW(L"QUORVANE_WINESERVER_PID", pid, 32);
        if (length == 0 || length >= 32) return std::wstring();
        std::wstring stat = L"Z:\\proc\\" + std::wstring(pid, length) + L"\\stat";
        return GetFileAttributesW(stat.c_str()) != INVALID_FILE_ATTRIBUTES ? stat : std::wstring();
    }();
    return path;
}

// User and system time of the server, from fields 14 and 15 of its stat line, in the host's
// clock ticks of 1/100 s.
double ServerCpuSeconds() {
    const std::wstring& path = ServerStatPath();
    if (path.empty()) return 0;
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return 0;
    char text[1024];
    DWORD read = 0;
    if (!ReadFile(file.get(), text, sizeof text - 1, &read, nullptr)) return 0;
    text[read] = '\0';
    const char* at = std::strrchr(text, ')');
    if (at == nullptr) return 0;
    // After the name: state (field 3), then fields 4 to 13, then utime and stime.
    unsigned long long utime = 0, stime = 0;
    if (std::sscanf(at + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                    &stime) != 2) {
        return 0;
    }
    return static_cast<double>(utime + stime) / 100.0;
}

// Steal time of all processors from the first line of the host's /proc/stat, 1/100 s ticks.
double HostStealSeconds() {
    static const bool wine = !WineVersion().empty();
    if (!wine) return 0;
    UniqueFile file(CreateFileW(L"Z:\\proc\\stat", GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return 0;
    char text[512];
    DWORD read = 0;
    if (!ReadFile(file.get(), text, sizeof text - 1, &read, nullptr)) return 0;
    text[read] = '\0';
    unsigned long long steal = 0;
    if (std::sscanf(text, "cpu %*u %*u %*u %*u %*u %*u %*u %llu", &steal) != 1) return 0;
    return static_cast<double>(steal) / 100.0;
}

}  // namespace

Stamp Mark() {
    Stamp stamp;
    stamp.serverCpu = ServerCpuSeconds();
    stamp.steal = HostStealSeconds();
    stamp.cpu = ProcessCpuSeconds();
    stamp.wall = Now();
    return stamp;
}

bool HasServerCpu() { return !ServerStatPath().empty(); }

Sample Since(const Stamp& start) {
    const Stamp now = Mark();
    return {now.wall - start.wall, now.cpu - start.cpu + now.serverCpu - start.serverCpu,
            now.steal - start.steal};
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

Sample Best(const std::vector<Sample>& runs) {
    Sample best = runs.empty() ? Sample{} : runs[0];
    for (const Sample& run : runs) {
        best.wall = run.wall < best.wall ? run.wall : best.wall;
        best.cpu = run.cpu < best.cpu ? run.cpu : best.cpu;
    }
    return best;
}

std::size_t BestRun(const std::vector<Sample>& runs) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < runs.size(); ++i) {
        if (runs[i].wall < runs[best].wall) best = i;
    }
    return best;
}

void PrintTableHeader() {
    Say("\n(cpu: %s; the target applies to the wall-time ratio)",
        HasServerCpu() ? "this process and the Wine server" : "this process only");
    Say("\n  %-28s %9s %8s %6s %-13s %8s %6s   %s\n", "pass", "best wall", "an entry", "ratio",
        " target", "best cpu", "ratio", "each run: wall/cpu [host steal]");
}

void PrintTimeRow(const char* what, const std::vector<Sample>& runs, const Sample& reference,
                  double target, std::size_t entries) {
    const Sample best = Best(runs);
    const double ratio = reference.wall > 0 ? best.wall / reference.wall : 0;
    const double cpuRatio = reference.cpu > 0 ? best.cpu / reference.cpu : 0;
    const double perEntry = entries != 0 ? best.wall * 1e6 / static_cast<double>(entries) : 0;
    std::string all;
    for (const Sample& run : runs) {
        char text[32];
        std::snprintf(text, sizeof text, "%s%.2f/%.2f[%.1f]", all.empty() ? "" : " ", run.wall,
                      run.cpu, run.steal);
        all += text;
    }
    char verdict[32] = "";
    if (target > 0) {
        std::snprintf(verdict, sizeof verdict, " <=%.2fx %s", target,
                      ratio <= target ? "met" : "MISSED");
    }
    Say("  %-28s %7.3f s %5.1f us %5.2fx %-13s %6.3f s %5.2fx   %s\n", what, best.wall, perEntry,
        ratio, verdict, best.cpu, cpuRatio, all.c_str());
}

long ReportFacts::Section(const std::string& title) const {
    const auto found = sections.find(title);
    return found != sections.end() ? found->second : -1;
}

ReportFacts ReadReport(const char* path) {
    ReportFacts facts;
    bool ok = false;
    const std::string page = scratch::ReadWholeFile(path, &ok);
    facts.complete = ok && std::string_view(page).ends_with("</html>\r\n");
    // The entries of the sections, marked or not: not the highlights above them, nor the
    // script's text after them.
    const std::size_t end = std::min(page.find("<script"), page.size());
    for (std::size_t at = page.find("<li", page.find("<details")); at < end;
         at = page.find("<li", at + 3)) {
        ++facts.entries;
    }
    constexpr std::string_view open = "<details open><summary>";
    for (std::size_t at = page.find(open); at != std::string::npos; at = page.find(open, at)) {
        at += open.size();
        const std::size_t end = page.find(")</summary>", at);
        const std::size_t count = page.rfind(" (", end);
        if (end == std::string::npos || count == std::string::npos || count < at) break;
        facts.sections[page.substr(at, count - at)] =
            std::strtol(page.c_str() + count + 2, nullptr, 10);
    }
    return facts;
}

std::vector<std::string> FirstLines(const std::string& path, std::size_t limit) {
    std::vector<std::string> lines;
    UniqueFile file(CreateFileW(WidenText(path).c_str(), GENERIC_READ,
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
