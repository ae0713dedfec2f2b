// Times the file walker on a synthetic tree against a bare listing of the same tree made with
// the same listing calls, and measures the memory of a comparison pass.
//
//   file_bench [--files N] [--root PATH] [--keep] [--rounds N] [--single PASS]
//
// --root   where the tree goes (default a folder under the temp folder; a drive root such as
//          D:\ works too). The folder must be empty or one this program made.
// --keep   reuse the tree of an earlier run when it has the same size, and leave it in place.
// --rounds how many times each pass runs (default 3); the best time counts.
// --single runs one pass once (bare, snapshot, or compare against the last snapshot) on the
//          kept tree, so that a profiler sees that pass alone.
//
// The comparison passes run in a child process of their own, so that their peak memory is
// theirs alone and not the generator's or the snapshot pass's.

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "snapshot/baseline_index.h"
#include "snapshot/file_walker.h"
#include "snapshot/snapshot_files.h"
#include "snapshot/file_listing.h"
#include "snapshot/unique_handle.h"
#include "tests/support/scratch_tree.h"
#include "text/text.h"

namespace {

constexpr double kStep1Target = 1.3;
constexpr double kStep2Target = 1.5;
constexpr std::uint64_t kMemoryAllowance = 32ull << 20;

// About as many files a folder and folders a folder as a program or documents tree has.
constexpr std::size_t kFilesPerFolder = 20;
constexpr std::size_t kFanOut = 8;
// Changes whenever the generator makes a different tree, so that --keep makes a new one.
constexpr int kTreeFormat = 3;

struct Options {
    std::size_t files = 200000;
    std::string root;  // as the user knows it, without a final backslash ("D:" for a drive)
    bool keep = false;
    int rounds = 3;
    std::string single;  // one pass alone, for profiling tools: bare, snapshot or compare
};

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

constexpr std::wstring_view kPieces[] = {
    L"data", L"report", L"config", L"img",  L"setup",  L"x",      L"lib",     L"core", L"_",
    L"win",  L"cache",  L"2024",   L"user", L"v1.2",   L"module", L"backup",  L"-",    L"tmp",
    L"Doc",  L"log",    L"Final",  L"q",    L"Thumbs", L"(1)",    L"archive", L"ui",
};
// Other scripts, one outside the Basic Multilingual Plane: these names cost a real conversion.
constexpr std::wstring_view kScriptPieces[] = {L"文件",     L"файл", L"αρχείο", L"ملف",
                                               L"ファイル", L"é",    L"😀"};
constexpr std::wstring_view kExtensions[] = {L".txt", L".dll",        L".exe", L".jpg", L".dat",
                                             L"",     L".config.xml", L".h",   L".cpp", L".png"};

template <typename T, std::size_t N>
const T& Pick(const T (&table)[N], std::uint64_t h) {
    return table[h % N];
}

// Mostly short names, some long ones, as real trees have.
std::size_t NameLength(std::uint64_t h) {
    const unsigned kind = h % 10;
    if (kind < 4) return 1 + (h >> 8) % 8;
    if (kind < 9) return 8 + (h >> 8) % 30;
    return 40 + (h >> 8) % 60;
}

// A name of about length characters, unique through its number. Only short names mix in
// other scripts: Wine keeps names in the host's file system, where a name is at most 255 bytes
// of UTF-8, not 255 UTF-16 characters as on Windows.
std::wstring MakeName(std::uint64_t h, std::size_t number, std::size_t length) {
    std::wstring name;
    const bool foreign = h % 23 == 0 && length <= 40;
    while (name.size() < length) {
        h = Mix(h);
        name += foreign && h % 3 == 0 ? Pick(kScriptPieces, h >> 8) : Pick(kPieces, h >> 8);
        if (((h >> 40) & 7) == 0 && name.size() < length) name += L' ';
    }
    name += L'-';
    name += std::to_wstring(number);
    return name;
}

std::wstring FileName(std::size_t f) {
    const std::uint64_t h = Mix(f ^ 0xF11Eull);
    return MakeName(h, f, NameLength(h >> 3)) + std::wstring(Pick(kExtensions, h >> 50));
}

// Sizes of every digit count; the files are sparse, and the tree's apparent size stays near
// a hundred gigabytes so as not to strain a thinly provisioned disk.
std::uint64_t FileSize(std::size_t f) {
    const std::uint64_t h = Mix(f + 77);
    if (f % 50000 == 49999) return (5ull << 30) + h % 1000;  // past 4 GiB
    const unsigned kind = h % 10;
    if (kind < 3) return 0;
    if (kind < 6) return 1 + (h >> 8) % 999;
    if (kind < 9) return (h >> 8) % 1000000;
    return (h >> 8) % 10000000;
}

std::size_t FolderCount(std::size_t files) {
    return std::max<std::size_t>(1, (files + kFilesPerFolder - 1) / kFilesPerFolder);
}

// Relative paths of the folders, each with a final backslash; folder 0 is the root itself and
// folder i sits in folder (i - 1) / kFanOut. Some leaf folders get names of about 200
// characters, so that their files' paths run past 260.
std::vector<std::wstring> FolderPaths(std::size_t count) {
    std::vector<std::wstring> paths(count);
    for (std::size_t i = 1; i < count; ++i) {
        const std::size_t parent = (i - 1) / kFanOut;
        const std::uint64_t h = Mix(i * 2 + 1);
        const bool leaf = i * kFanOut + 1 >= count;
        const std::size_t length = leaf && h % 40 == 0 ? 180 + (h >> 16) % 40 : NameLength(h >> 4);
        paths[i] = paths[parent] + MakeName(h >> 1, i, length) + L'\\';
    }
    return paths;
}

std::size_t FolderOfFile(std::size_t f, std::size_t files, std::size_t folders) {
    return static_cast<std::size_t>(static_cast<std::uint64_t>(f) * folders / files);
}

bool CreateSizedFile(const std::wstring& path, std::uint64_t size) {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    if (size == 0) return true;
    if (size >= 65536) {
        // Takes no room where the file system can leave holes.
        DWORD returned = 0;
        DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    }
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

struct TreeFacts {
    std::size_t files = 0;
    std::size_t folders = 0;
    std::size_t longPaths = 0;  // longer than 260 characters as the user knows them
};

// systemRoot: the root's extended-length path with its final backslash; displayRootChars:
// UTF-16 length of the root as the user knows it, with its final backslash.
bool GenerateTree(const std::wstring& systemRoot, std::size_t displayRootChars, std::size_t files,
                  TreeFacts& facts) {
    facts = TreeFacts{};
    facts.folders = FolderCount(files);
    const std::vector<std::wstring> folders = FolderPaths(facts.folders);
    std::wstring path;
    for (std::size_t i = 1; i < folders.size(); ++i) {
        path = systemRoot + folders[i];
        if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            bench::Say("error: cannot create folder %s: %s\n", NarrowText(path).c_str(),
                       SystemErrorText(GetLastError()).c_str());
            return false;
        }
    }
    const double start = bench::Now();
    for (std::size_t f = 0; f < files; ++f) {
        const std::wstring& folder = folders[FolderOfFile(f, files, folders.size())];
        const std::wstring name = FileName(f);
        path = systemRoot + folder + name;
        if (!CreateSizedFile(path, FileSize(f))) {
            bench::Say("error: cannot create file %s: %s\n", NarrowText(path).c_str(),
                       SystemErrorText(GetLastError()).c_str());
            return false;
        }
        if (displayRootChars + folder.size() + name.size() > 260) ++facts.longPaths;
        ++facts.files;
        if ((f + 1) % 50000 == 0 && f + 1 < files) {
            bench::Say("  %zu files made, %.1f s\n", f + 1, bench::Now() - start);
        }
    }
    return true;
}

// Adds count files with new names spread over the tree's folders; made gets their paths.
bool AddNewFiles(const std::wstring& systemRoot, std::size_t files, std::size_t count,
                 std::vector<std::wstring>& made) {
    const std::vector<std::wstring> folders = FolderPaths(FolderCount(files));
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t folder = Mix(k ^ 0x4E57ull) % folders.size();
        std::wstring path = systemRoot + folders[folder] + L"new " + FileName(files + k);
        if (!CreateSizedFile(path, FileSize(files + k))) {
            bench::Say("error: cannot create file %s: %s\n", NarrowText(path).c_str(),
                       SystemErrorText(GetLastError()).c_str());
            return false;
        }
        made.push_back(std::move(path));
    }
    return true;
}

// The bare listing: the walker's listing calls on the same paths, and nothing else.
struct Listing {
    std::size_t files = 0;
    std::size_t folders = 0;
};

Listing ListTree(const std::wstring& systemRoot) {
    Listing counts;
    std::vector<DirectoryListing> listings(1);
    std::vector<std::size_t> open;  // path length of each open level
    std::wstring path = systemRoot;
    path.reserve(1024);
    if (!listings[0].Open(path)) return counts;
    open.push_back(path.size());
    ListedEntry entry;
    while (!open.empty()) {
        if (!listings[open.size() - 1].Next(entry)) {
            listings[open.size() - 1].Close();
            open.pop_back();
            continue;
        }
        if (IsDotEntry(entry.name)) continue;
        if (!(entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ++counts.files;
            continue;
        }
        if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        ++counts.folders;
        path.resize(open.back());
        path += entry.name;
        path += L'\\';
        if (listings.size() == open.size()) listings.emplace_back();
        if (listings[open.size()].Open(path)) open.push_back(path.size());
    }
    return counts;
}

// ---- The comparison pass in a process of its own

std::wstring Quoted(const std::string& text) { return L"\"" + WidenText(text) + L"\""; }

using Figures = std::map<std::string, double>;

double Figure(const Figures& figures, const char* name) {
    const auto found = figures.find(name);
    return found != figures.end() ? found->second : 0;
}

// Runs load, index and walk of a comparison and writes its figures to resultPath.
int RunComparisonChild(const std::vector<std::string>& args) {
    if (args.size() != 5) return 2;
    const std::string& pattern = args[1];
    const std::string& baselinePath = args[2];
    const std::string& changesPath = args[3];
    const std::string& resultPath = args[4];
    std::string result;
    auto put = [&result](const char* name, double value) {
        char line[96];
        std::snprintf(line, sizeof line, "%s %.17g\r\n", name, value);
        result += line;
    };

    const bench::MemoryFigures atStart = bench::ProcessMemory();
    const bench::Stamp mark = bench::Mark();
    const double t0 = mark.wall;
    BaselineText text;
    DWORD error = ERROR_SUCCESS;
    const BaselineLoad load = LoadBaselineFile(baselinePath.c_str(), text, error);
    const double t1 = bench::Now();
    BaselineIndex index;
    const bool indexed =
        load == BaselineLoad::Loaded && index.Build(text.View(), BaselineIndex::Kind::FilePaths);
    const double t2 = bench::Now();
    const bench::MemoryFigures afterIndex = bench::ProcessMemory();
    long lines = -1;
    bench::QuietObserver observer;
    bool written = false;
    if (indexed) {
        SnapshotWriter output;
        if (output.Create(changesPath)) {
            lines = ScanDirectoryTree(pattern, output, &index, false, observer);
        }
        written = output.Close();
    }
    const bench::Sample sample = bench::Since(mark);
    const double t3 = t0 + sample.wall;
    // Text and index are still alive: this is the pass at its largest.
    const bench::MemoryFigures atEnd = bench::ProcessMemory();

    put("ok", indexed && written ? 1 : 0);
    put("load", t1 - t0);
    put("index", t2 - t1);
    put("walk", t3 - t2);
    put("total", sample.wall);
    put("cpu", sample.cpu);
    put("lines", static_cast<double>(lines));
    put("items", static_cast<double>(observer.items));
    put("keys", static_cast<double>(index.Size()));
    put("startWorkingSet", static_cast<double>(atStart.workingSet));
    put("startPagefile", static_cast<double>(atStart.pagefile));
    put("indexPagefile", static_cast<double>(afterIndex.pagefile));
    put("endWorkingSet", static_cast<double>(atEnd.workingSet));
    put("peakWorkingSet", static_cast<double>(atEnd.peakWorkingSet));
    put("endPagefile", static_cast<double>(atEnd.pagefile));
    put("peakPagefile", static_cast<double>(atEnd.peakPagefile));
    return scratch::WriteWholeFile(resultPath, result) ? 0 : 3;
}

bool RunComparison(const std::string& pattern, const std::string& baselinePath,
                   const std::string& changesPath, const std::string& resultPath,
                   Figures& figures) {
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    std::wstring command = L"\"" + self + L"\" --comparison-child " + Quoted(pattern) + L" " +
                           Quoted(baselinePath) + L" " + Quoted(changesPath) + L" " +
                           Quoted(resultPath);
    DeleteFileW(WidenText(resultPath).c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(self.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        bench::Say("error: cannot start the comparison process: %s\n",
                   SystemErrorText(GetLastError()).c_str());
        return false;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    bool ok = false;
    const std::string text = scratch::ReadWholeFile(resultPath, &ok);
    if (exitCode != 0 || !ok) {
        bench::Say("error: the comparison process failed (exit code %lu)\n", exitCode);
        return false;
    }
    figures.clear();
    for (const std::string& line : scratch::SplitLines(text)) {
        const std::size_t space = line.find(' ');
        if (space != std::string::npos) {
            figures[line.substr(0, space)] = std::strtod(line.c_str() + space + 1, nullptr);
        }
    }
    if (Figure(figures, "ok") != 1) {
        bench::Say("error: the comparison could not load, index or write its files\n");
        return false;
    }
    return true;
}

// ---- The run

bool ParseOptions(const std::vector<std::string>& args, Options& options) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--files" && hasValue && bench::ParseCount(args[i + 1], options.files) &&
            options.files != 0) {
            ++i;
        } else if (arg == "--root" && hasValue) {
            options.root = args[++i];
        } else if (arg == "--keep") {
            options.keep = true;
        } else if (arg == "--single" && hasValue &&
                   (args[i + 1] == "bare" || args[i + 1] == "snapshot" ||
                    args[i + 1] == "compare")) {
            options.single = args[++i];
            options.keep = true;
        } else if (arg == "--rounds" && hasValue && bench::ParseCount(args[i + 1], count) &&
                   count >= 1 && count <= 20) {
            options.rounds = static_cast<int>(count);
            ++i;
        } else {
            std::fprintf(stderr,
                         "usage: file_bench [--files N] [--root PATH] [--keep] [--rounds N]\n"
                         "                  [--single bare|snapshot|compare]\n");
            return false;
        }
    }
    return true;
}

std::string TempFolder() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::string folder = NarrowText(std::wstring_view(temp, length));
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

bool IsDriveRoot(const std::string& root) { return root.size() == 2 && root[1] == ':'; }

bool FolderIsEmpty(const std::string& root) {
    WIN32_FIND_DATAW entry;
    UniqueFindHandle listing(
        FindFirstFileW((ExtendedLengthPath(root + "\\") + L"*").c_str(), &entry));
    if (!listing.valid()) return true;
    do {
        if (!IsDotEntry(entry.cFileName)) return false;
    } while (FindNextFileW(listing.get(), &entry));
    return true;
}

// The record of the tree this program made, so that it only ever removes its own.
struct Marker {
    int format = 0;
    std::string root;
    TreeFacts facts;
    bool complete = false;
};

Marker ReadMarker(const std::string& path) {
    Marker marker;
    for (const std::string& line : scratch::SplitLines(scratch::ReadWholeFile(path))) {
        const std::size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        const std::string name = line.substr(0, space);
        const std::string value = line.substr(space + 1);
        if (name == "format")
            marker.format = std::atoi(value.c_str());
        else if (name == "root")
            marker.root = value;
        else if (name == "files")
            marker.facts.files = std::strtoull(value.c_str(), nullptr, 10);
        else if (name == "folders")
            marker.facts.folders = std::strtoull(value.c_str(), nullptr, 10);
        else if (name == "long")
            marker.facts.longPaths = std::strtoull(value.c_str(), nullptr, 10);
        else if (name == "complete")
            marker.complete = value == "1";
    }
    return marker;
}

bool WriteMarker(const std::string& path, const Marker& marker) {
    const std::string text = "format " + std::to_string(marker.format) + "\r\nroot " + marker.root +
                             "\r\nfiles " + std::to_string(marker.facts.files) + "\r\nfolders " +
                             std::to_string(marker.facts.folders) + "\r\nlong " +
                             std::to_string(marker.facts.longPaths) + "\r\ncomplete " +
                             (marker.complete ? "1" : "0") + "\r\n";
    return scratch::WriteWholeFile(path, text);
}

void RemoveOwnTree(const std::string& root) {
    if (IsDriveRoot(root)) {
        ScratchTree::InFolder(root + "\\");  // empties the drive's folder as it goes
    } else {
        scratch::RemoveTree(root);
    }
}

// Makes or reuses the tree; false when it cannot be had.
bool PrepareTree(const Options& options, const std::string& markerPath, TreeFacts& facts) {
    const Marker marker = ReadMarker(markerPath);
    const bool ours = marker.root == options.root;
    if (options.keep && ours && marker.complete && marker.format == kTreeFormat &&
        marker.facts.files == options.files && scratch::PathExists(options.root + "\\")) {
        facts = marker.facts;
        bench::Say("tree: reusing %s (--keep)\n", options.root.c_str());
        return true;
    }
    if (scratch::PathExists(options.root + "\\") && !FolderIsEmpty(options.root)) {
        if (!ours) {
            bench::Say(
                "error: %s is not empty and not a tree of this benchmark; "
                "name an empty or new folder with --root\n",
                options.root.c_str());
            return false;
        }
        const double start = bench::Now();
        RemoveOwnTree(options.root);
        bench::Say("tree: removed the earlier tree in %.1f s\n", bench::Now() - start);
    }
    if (!IsDriveRoot(options.root) &&
        !CreateDirectoryW(ExtendedLengthPath(options.root).c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
        bench::Say("error: cannot create %s: %s\n", options.root.c_str(),
                   SystemErrorText(GetLastError()).c_str());
        return false;
    }
    Marker made;
    made.format = kTreeFormat;
    made.root = options.root;
    if (!WriteMarker(markerPath, made)) {
        bench::Say("error: cannot write %s\n", markerPath.c_str());
        return false;
    }
    bench::Say("tree: generating %zu files under %s\n", options.files, options.root.c_str());
    const double start = bench::Now();
    const std::wstring systemRoot = ExtendedLengthPath(options.root + "\\");
    const std::size_t displayRootChars = WidenText(options.root).size() + 1;
    if (!GenerateTree(systemRoot, displayRootChars, options.files, facts)) return false;
    const double seconds = bench::Now() - start;
    bench::Say("tree: generated in %.1f s (%.0f us a file)\n", seconds,
               seconds * 1e6 / static_cast<double>(options.files));
    made.facts = facts;
    made.complete = true;
    WriteMarker(markerPath, made);
    return true;
}

struct PassResult {
    bench::Sample time;
    long lines = 0;
    bool ok = false;
};

PassResult RunSnapshot(const std::string& pattern, const std::string& baselinePath) {
    PassResult result;
    bench::QuietObserver observer;
    const bench::Stamp start = bench::Mark();
    SnapshotWriter output;
    if (output.Create(baselinePath)) {
        result.lines = ScanDirectoryTree(pattern, output, nullptr, false, observer);
    }
    result.ok = output.Close();
    result.time = bench::Since(start);
    return result;
}

// A comparison's runs: each in a child process, the best time counted, the figures of every
// run kept for the memory report.
struct ComparisonRuns {
    std::vector<bench::Sample> times;
    std::vector<Figures> figures;
};

bool RunComparisons(int rounds, const std::string& pattern, const std::string& baselinePath,
                    const std::string& changesPath, const std::string& resultPath,
                    ComparisonRuns& runs) {
    for (int round = 0; round < rounds; ++round) {
        Figures figures;
        if (!RunComparison(pattern, baselinePath, changesPath, resultPath, figures)) return false;
        runs.times.push_back({Figure(figures, "total"), Figure(figures, "cpu")});
        runs.figures.push_back(std::move(figures));
    }
    return true;
}

void ReportComparison(const char* what, const ComparisonRuns& runs, const bench::Sample& bare,
                      std::size_t entries, std::size_t expected, const std::string& changesPath) {
    bench::PrintTimeRow(what, runs.times, bare, kStep2Target, entries);
    const Figures& f = runs.figures[bench::BestRun(runs.times)];
    const long lines = static_cast<long>(Figure(f, "lines"));
    bench::Say(
        "      best run: load %.3f s, index %.3f s (%.0f paths), walk %.3f s; "
        "%ld lines (expected %zu)\n",
        Figure(f, "load"), Figure(f, "index"), Figure(f, "keys"), Figure(f, "walk"), lines,
        expected);
    if (lines != static_cast<long>(expected)) {
        for (const std::string& line : bench::FirstLines(changesPath, 5)) {
            bench::Say("      unexpected? %s\n", line.c_str());
        }
    }
}

// The largest of the runs: memory does not depend on the machine's load.
void ReportMemory(const char* what, const ComparisonRuns& runs, std::uint64_t target) {
    double peak = 0, rise = 0, privateEnd = 0, privateRise = 0, reportedPeak = 0;
    for (const Figures& f : runs.figures) {
        peak = std::max(peak, Figure(f, "peakWorkingSet"));
        rise = std::max(rise, Figure(f, "peakWorkingSet") - Figure(f, "startWorkingSet"));
        privateEnd = std::max(privateEnd, Figure(f, "endPagefile"));
        privateRise = std::max(privateRise, Figure(f, "endPagefile") - Figure(f, "startPagefile"));
        reportedPeak = std::max(reportedPeak, Figure(f, "peakPagefile"));
    }
    const double limit = static_cast<double>(target);
    bench::Say("  %-22s peak working set %6.1f MiB %-6s of which %6.1f MiB above the start %s\n",
               what, bench::MiB(static_cast<std::uint64_t>(peak)), peak < limit ? "met" : "MISSED",
               bench::MiB(static_cast<std::uint64_t>(rise)), rise < limit ? "met" : "MISSED");
    bench::Say(
        "  %-22s private bytes    %6.1f MiB %-6s of which %6.1f MiB above the start "
        "(PeakPagefileUsage %.1f MiB)\n",
        "", bench::MiB(static_cast<std::uint64_t>(privateEnd)),
        privateEnd < limit ? "met" : "MISSED", bench::MiB(static_cast<std::uint64_t>(privateRise)),
        bench::MiB(static_cast<std::uint64_t>(reportedPeak)));
}

int RunSinglePass(const std::string& pass, const std::wstring& systemRoot,
                  const std::string& pattern, const std::string& baselinePath,
                  const std::string& changesPath) {
    const bench::Stamp start = bench::Mark();
    std::size_t items = 0;
    long lines = 0;
    if (pass == "bare") {
        const Listing listing = ListTree(systemRoot);
        items = listing.files + listing.folders;
    } else if (pass == "snapshot") {
        const PassResult snapshot = RunSnapshot(pattern, baselinePath);
        lines = snapshot.lines;
    } else {
        BaselineText text;
        DWORD error = ERROR_SUCCESS;
        BaselineIndex index;
        if (LoadBaselineFile(baselinePath.c_str(), text, error) != BaselineLoad::Loaded ||
            !index.Build(text.View(), BaselineIndex::Kind::FilePaths)) {
            bench::Say("error: no baseline %s: run --single snapshot first\n",
                       baselinePath.c_str());
            return 1;
        }
        SnapshotWriter output;
        bench::QuietObserver observer;
        if (output.Create(changesPath)) {
            lines = ScanDirectoryTree(pattern, output, &index, false, observer);
        }
        output.Close();
        items = observer.items;
    }
    const bench::Sample time = bench::Since(start);
    bench::Say("%s: %.3f s wall, %.3f s cpu, %zu entries listed, %ld lines\n", pass.c_str(),
               time.wall, time.cpu, items, lines);
    return 0;
}

int RunBenchmark(Options options) {
    const std::string wine = bench::WineVersion();
    bench::Say("file_bench: %zu files, %d rounds, %s\n", options.files, options.rounds,
               wine.empty() ? "Windows" : ("Wine " + wine).c_str());

    const std::string temp = TempFolder();
    const std::string work = temp + "\\qv-bench-work";
    if (options.root.empty()) options.root = temp + "\\qv-bench-files";
    while (options.root.size() > 2 && options.root.back() == '\\') options.root.pop_back();
    if (options.root.find("Quorvane") != std::string::npos) {
        // The walker passes over every path with the program's name in it.
        bench::Say("error: the walker skips %s; choose a root without the program's name\n",
                   options.root.c_str());
        return 2;
    }
    CreateDirectoryW(ExtendedLengthPath(work).c_str(), nullptr);

    TreeFacts facts;
    if (!PrepareTree(options, work + "\\tree.txt", facts)) return 1;
    bench::Say("tree: %s: %zu files in %zu folders, %zu paths longer than 260 characters\n",
               options.root.c_str(), facts.files, facts.folders, facts.longPaths);

    const std::wstring systemRoot = ExtendedLengthPath(options.root + "\\");
    const std::string pattern = options.root + "\\*.*";
    const std::string baselinePath = work + "\\files-snapshot1.txt";
    const std::string samePath = work + "\\files-snapshot2-same.txt";
    const std::string changedPath = work + "\\files-snapshot2-new.txt";

    if (!options.single.empty()) {
        return RunSinglePass(options.single, systemRoot, pattern, baselinePath, samePath);
    }

    // The first listing brings the tree into the caches; it is not counted.
    double start = bench::Now();
    const Listing warm = ListTree(systemRoot);
    bench::Say("warm-up listing: %.3f s, %zu files and %zu folders\n", bench::Now() - start,
               warm.files, warm.folders);
    if (warm.files != facts.files) {
        bench::Say("error: the tree holds %zu files, not %zu\n", warm.files, facts.files);
        return 1;
    }
    const std::size_t entries = warm.files + warm.folders;

    // Rounds of bare listing, snapshot and comparison, so that a burst of load from elsewhere
    // on the machine hits one run of each, not one pass alone.
    std::vector<bench::Sample> bareTimes, snapshotTimes;
    ComparisonRuns same;
    PassResult snapshot;
    for (int round = 0; round < options.rounds; ++round) {
        const bench::Stamp mark = bench::Mark();
        ListTree(systemRoot);
        bareTimes.push_back(bench::Since(mark));
        snapshot = RunSnapshot(pattern, baselinePath);
        if (!snapshot.ok) {
            bench::Say("error: cannot write %s\n", baselinePath.c_str());
            return 1;
        }
        snapshotTimes.push_back(snapshot.time);
        if (!RunComparisons(1, pattern, baselinePath, samePath, work + "\\result.txt", same)) {
            return 1;
        }
    }
    const std::uint64_t baselineSize = GetFileSizeByName(baselinePath.c_str());

    const std::size_t newCount = std::max<std::size_t>(1, options.files / 100);
    std::vector<std::wstring> made;
    start = bench::Now();
    const bool added = AddNewFiles(systemRoot, options.files, newCount, made);
    const double addSeconds = bench::Now() - start;
    ComparisonRuns changed;
    const bool ranChanged = added && RunComparisons(options.rounds, pattern, baselinePath,
                                                    changedPath, work + "\\result.txt", changed);
    // The tree goes back to what the baseline holds, so that --keep can use it again.
    for (const std::wstring& path : made) DeleteFileW(path.c_str());
    if (!ranChanged) return 1;

    const bench::Sample bare = bench::Best(bareTimes);
    bench::PrintTableHeader();
    bench::PrintTimeRow("bare enumeration", bareTimes, bare, 0, entries);
    bench::PrintTimeRow("Step #1: snapshot", snapshotTimes, bare, kStep1Target, entries);
    bench::Say("      %ld lines (expected %zu)\n", snapshot.lines, facts.files);
    ReportComparison("Step #2: nothing changed", same, bare, entries, 0, samePath);
    ReportComparison("Step #2: 1% new files", changed, bare, entries + newCount, newCount,
                     changedPath);
    bench::Say("      (%zu new files made in %.1f s before these runs)\n", newCount, addSeconds);

    const std::uint64_t target = 3 * baselineSize + kMemoryAllowance;
    bench::Say(
        "\nStep #2 memory, every run in a process of its own (GetProcessMemoryInfo at the\n"
        "end of the pass, baseline and index still held); baseline %.1f MiB, so the\n"
        "target is under 3 x %.1f + 32 = %.1f MiB\n",
        bench::MiB(baselineSize), bench::MiB(baselineSize), bench::MiB(target));
    ReportMemory("nothing changed:", same, target);
    ReportMemory("1% new files:", changed, target);
    if (!wine.empty()) {
        bench::Say("  (Wine reports the current private bytes as PeakPagefileUsage)\n");
    }

    if (!options.keep) {
        start = bench::Now();
        RemoveOwnTree(options.root);
        DeleteFileW(ExtendedLengthPath(work + "\\tree.txt").c_str());
        bench::Say("\ntree: removed in %.1f s (--keep leaves it for the next run)\n",
                   bench::Now() - start);
    }
    return 0;
}

}  // namespace

int main() {
    const std::vector<std::string> args = bench::Arguments();
    if (!args.empty() && args[0] == "--comparison-child") return RunComparisonChild(args);
    Options options;
    if (!ParseOptions(args, options)) return 2;
    return RunBenchmark(options);
}
