// Times the file walker on a synthetic tree against a bare listing of the same tree made with
// the same listing calls, and measures the memory of a comparison pass. Step #2 runs as the
// program runs it, report and all: on the tree as the baseline has it, on the tree with 1 % of
// its files added, removed and modified, and against an empty baseline with and without the
// report; each pass's counts are checked against the changes made. These passes take no hash of
// the files' content: that is measured on its own (--hashing).
//
//   file_bench [--files N] [--root PATH] [--keep] [--rounds N] [--single PASS] [--hashing]
//
// --root   where the tree goes (default a folder under the temp folder; a drive root such as
//          D:\ works too). The folder must be empty or one this program made.
// --keep   reuse the tree of an earlier run when it has the same size, and leave it in place
//          (the files the run changes are put back).
// --rounds how many times each pass runs (default 3); the best time counts.
// --single runs one pass once (bare, snapshot, or compare against the last snapshot, report
//          included) on the kept tree, so that a profiler sees that pass alone.
// --hashing instead gives 1 % of the files added and 1 % modified real content in the sizes of
//          a program's files, and times Step #2 without hashes, hashing as the walk meets
//          each file (as the program does), and hashing after the walk.
//
// The comparison passes run in a child process of their own, so that their peak memory is
// theirs alone and not the generator's or the snapshot pass's; it runs in the work folder,
// where Step #2 writes its report.

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "engine/baseline_records.h"
#include "engine/run_facts.h"
#include "engine/whole_change.h"
#include "bench/bench_support.h"
#include "snapshot/baseline_index.h"
#include "snapshot/file_hash.h"
#include "snapshot/file_walker.h"
#include "snapshot/folder_record.h"
#include "snapshot/snapshot_files.h"
#include "snapshot/file_listing.h"
#include "win32/unique_handle.h"
#include "tests/support/scratch_tree.h"
#include "text/text.h"

namespace {

constexpr double kStep1Target = 1.3;
constexpr double kSameTarget = 1.2;     // Step #2 over the tree as the baseline has it
constexpr double kChangedTarget = 1.3;  // Step #2 with 1 % added, removed and modified
// Step #2 of a tree whose every file is added, with what it writes besides the change list
// (the report, the change set, the undo script and .reg files) against without it. Each of the
// report, the change set and the script's list is about as large as the change list itself,
// three times over; the report alone once took 1.1.
constexpr double kReportTarget = 1.4;
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
    bool hashing = false;
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
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
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

// Sizes as a program's files run: mostly small ones, a fair share of libraries of a few hundred
// kilobytes to a few megabytes, and a few large ones; about 0.6 MB on average.
std::uint64_t RealisticSize(std::uint64_t h) {
    const unsigned kind = h % 100;
    h >>= 8;
    if (kind < 35) return h % 4096;
    if (kind < 65) return 4096 + h % (60 << 10);
    if (kind < 85) return (64 << 10) + h % (448 << 10);
    if (kind < 98) return (512 << 10) + h % (3584 << 10);
    return (4 << 20) + h % (12 << 20);
}

// A file of size bytes that look random, as compiled or compressed content does.
bool CreateFilledFile(const std::wstring& path, std::uint64_t size, std::uint64_t seed) {
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    std::vector<std::uint64_t> block(1 << 17);
    for (std::uint64_t written = 0; written < size;) {
        for (std::uint64_t& word : block) word = seed = Mix(seed);
        const auto part =
            static_cast<DWORD>(std::min<std::uint64_t>(size - written, block.size() * 8));
        DWORD done = 0;
        if (!WriteFile(file.get(), block.data(), part, &done, nullptr) || done != part)
            return false;
        written += part;
    }
    return true;
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

// The changes of the changed tree: 1 % new files (one in kFilesPerNewFolder in a new folder of
// its own), 1 % of the files removed and 1 % modified. The removed and the modified files take
// different places in each hundred, so no file is both, and none is a file past 4 GiB.
constexpr std::size_t kChangeEvery = 100;
constexpr std::size_t kRemovedAt = 37;
constexpr std::size_t kModifiedAt = 71;
constexpr std::size_t kFilesPerNewFolder = 20;

struct TreeChange {
    bool withContent = false;        // the added and modified files have real content (--hashing)
    std::uint64_t contentBytes = 0;  // of the added and modified files, when withContent
    std::vector<std::wstring> addedFiles;
    std::vector<std::wstring> addedFolders;
    std::vector<std::size_t> removed;   // file numbers
    std::vector<std::size_t> modified;  // file numbers; even places get a new size
};

std::wstring ExistingFilePath(const std::wstring& systemRoot,
                              const std::vector<std::wstring>& folders, std::size_t files,
                              std::size_t f) {
    return systemRoot + folders[FolderOfFile(f, files, folders.size())] + FileName(f);
}

bool Refused(const char* what, const std::wstring& path) {
    bench::Say("error: cannot %s %s: %s\n", what, NarrowText(path).c_str(),
               SystemErrorText(GetLastError()).c_str());
    return false;
}

// Sets the last-write time of a file back to 2001, as installers do with the files they place:
// only its change time then tells that it changed.
bool SetWriteTimeBack(const std::wstring& path) {
    UniqueFile file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const SYSTEMTIME old{2001, 6, 0, 15, 12, 0, 0, 0};
    FILETIME time;
    return file.valid() && SystemTimeToFileTime(&old, &time) &&
           SetFileTime(file.get(), nullptr, nullptr, &time);
}

// An added or modified file: sparse in the size the generator gives file number f, or with
// content in a size as a program's files have.
bool MakeChangedFile(const std::wstring& path, std::size_t f, TreeChange& change) {
    if (!change.withContent) return CreateSizedFile(path, FileSize(f));
    const std::uint64_t size = RealisticSize(Mix(f ^ 0xC0DEull));
    change.contentBytes += size;
    return CreateFilledFile(path, size, f);
}

// Makes the changes of the changed tree; change records them, also when one fails midway.
bool ChangeTree(const std::wstring& systemRoot, std::size_t files, TreeChange& change) {
    const std::vector<std::wstring> folders = FolderPaths(FolderCount(files));
    const std::size_t newCount = std::max<std::size_t>(1, files / kChangeEvery);
    for (std::size_t k = 0; k < newCount; ++k) {
        std::wstring folder = systemRoot + folders[Mix(k ^ 0x4E57ull) % folders.size()];
        if (k % kFilesPerNewFolder == 0) {
            folder += L"new folder-" + std::to_wstring(k);
            if (!CreateDirectoryW(folder.c_str(), nullptr)) return Refused("create folder", folder);
            change.addedFolders.push_back(folder);
            folder += L'\\';
        }
        std::wstring path = folder + L"new " + FileName(files + k);
        if (!MakeChangedFile(path, files + k, change)) return Refused("create file", path);
        change.addedFiles.push_back(std::move(path));
    }
    for (std::size_t f = kRemovedAt; f < files; f += kChangeEvery) {
        const std::wstring path = ExistingFilePath(systemRoot, folders, files, f);
        if (!DeleteFileW(path.c_str())) return Refused("delete file", path);
        change.removed.push_back(f);
    }
    for (std::size_t f = kModifiedAt; f < files; f += kChangeEvery) {
        const std::wstring path = ExistingFilePath(systemRoot, folders, files, f);
        const bool newSize = change.modified.size() % 2 == 0;
        change.modified.push_back(f);
        const bool made = change.withContent
                              ? MakeChangedFile(path, f, change)
                              : CreateSizedFile(path, FileSize(f) + (newSize ? 1 : 0));
        if (!made) return Refused("rewrite file", path);
        if (!newSize && !SetWriteTimeBack(path)) return Refused("set the time of", path);
    }
    return true;
}

// Puts the tree back as the generator made it: the same names and sizes.
bool RestoreTree(const std::wstring& systemRoot, std::size_t files, const TreeChange& change) {
    const std::vector<std::wstring> folders = FolderPaths(FolderCount(files));
    bool ok = true;
    for (const std::wstring& path : change.addedFiles) {
        if (!DeleteFileW(path.c_str())) ok = Refused("delete file", path);
    }
    for (const std::wstring& path : change.addedFolders) {
        if (!RemoveDirectoryW(path.c_str())) ok = Refused("remove folder", path);
    }
    for (const std::size_t f : change.removed) {
        const std::wstring path = ExistingFilePath(systemRoot, folders, files, f);
        if (!CreateSizedFile(path, FileSize(f))) ok = Refused("create file", path);
    }
    // Without content the odd ones kept their size and only their times changed.
    for (std::size_t i = 0; i < change.modified.size(); i += change.withContent ? 1 : 2) {
        const std::size_t f = change.modified[i];
        const std::wstring path = ExistingFilePath(systemRoot, folders, files, f);
        if (!CreateSizedFile(path, FileSize(f))) ok = Refused("rewrite file", path);
    }
    return ok;
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

// The record of a baseline's folders, beside it.
std::string FoldersPath(const std::string& baselinePath) { return baselinePath + ".folders"; }

// How a comparison takes the hashes of the new and modified files: not at all, as the walk
// meets each (as the program does), or after the walk.
enum class Hashing { None, InWalk, AfterWalk };
constexpr struct {
    Hashing hashing;
    const wchar_t* argument;
} kHashingArguments[] = {
    {Hashing::None, L""}, {Hashing::InWalk, L"-hash"}, {Hashing::AfterWalk, L"-hash-after"}};

// The hashes of the new files (the lines of the change list) and the modified ones, after the
// walk: each file's path as the user knows it, made an extended-length path again.
void HashAfterWalk(const std::string& changesPath, FileComparison& found) {
    found.hashContents = true;
    const std::vector<std::string> lines = scratch::SplitLines(scratch::ReadWholeFile(changesPath));
    for (std::size_t i = 0; i < found.newFiles.size() && i < lines.size(); ++i) {
        found.newFiles[i].hash = Sha256OfFile(ExtendedLengthPath(lines[i]));
    }
    for (FileComparison::Modified& file : found.modified) {
        file.hash = Sha256OfFile(ExtendedLengthPath(file.path));
    }
}

// One comparison as Step #2 makes it (CompareArea in engine/step_engine.cpp): the old report goes,
// the baseline's time is taken, the baseline loaded and indexed, the tree walked with a
// FileComparison, and the report written into the current directory, unless withReport is
// false. The counts come back with the times, for the caller to check.
Figures CompareOnce(const std::string& pattern, const std::string& baselinePath,
                    const std::string& changesPath, const std::string& places, bool withReport,
                    Hashing hashing = Hashing::None) {
    Figures figures;
    const bench::MemoryFigures atStart = bench::ProcessMemory();
    const bench::Stamp mark = bench::Mark();
    const double t0 = mark.wall;
    WholeChangeReport report;
    bool ok = !withReport || report.Begin();
    const double tBegun = bench::Now();
    FileComparison found;
    found.baselineTime = LastWriteTime(baselinePath.c_str());
    BaselineText text;
    DWORD error = ERROR_SUCCESS;
    ok = ok && LoadBaselineFile(baselinePath.c_str(), text, error) == BaselineLoad::Loaded;
    const double tLoaded = bench::Now();
    const std::string foldersPath = FoldersPath(baselinePath);
    const SnapshotArea area{baselinePath.c_str(), changesPath.c_str(), nullptr, nullptr,
                            foldersPath.c_str()};
    BaselineRecords records;
    std::string failure;
    ok = ok && LoadBaselineRecords(area, text.View(), records, failure);
    if (records.HasFolderRecord()) found.baselineFolders = &records.folders;
    found.unreadAtBaseline = &records.unreadAtBaseline;
    BaselineIndex index;
    ok = ok && index.Build(text.View(), BaselineIndex::Kind::FilePaths);
    const double tIndexed = bench::Now();
    const bench::MemoryFigures afterIndex = bench::ProcessMemory();
    long lines = -1;
    bench::QuietObserver observer;
    found.hashContents = hashing == Hashing::InWalk;
    if (ok) {
        SnapshotWriter output;
        ok = output.Create(changesPath);
        if (ok) lines = ScanDirectoryTree(pattern, output, &index, false, observer, &found);
        ok = output.Close() && ok;
    }
    const double tWalked = bench::Now();
    if (ok && hashing == Hashing::AfterWalk) HashAfterWalk(changesPath, found);
    const double tHashed = bench::Now();
    if (withReport && ok) {
        report.AddFilesPass(area, places, found.baselineTime, index, records, found);
        ok = report.Finish(failure);
    } else if (withReport) {
        report.Abandon();
    }
    const bench::Sample sample = bench::Since(mark);
    // Text, index and what the walk found are still alive: this is the pass at its largest.
    const bench::MemoryFigures atEnd = bench::ProcessMemory();

    figures["ok"] = ok ? 1 : 0;
    figures["load"] = tLoaded - tBegun;
    figures["index"] = tIndexed - tLoaded;
    figures["walk"] = tWalked - tIndexed;
    figures["hash"] = tHashed - tWalked;
    figures["report"] = (tBegun - t0) + (t0 + sample.wall - tHashed);
    figures["total"] = sample.wall;
    figures["cpu"] = sample.cpu;
    figures["steal"] = sample.steal;
    figures["lines"] = static_cast<double>(lines);
    figures["items"] = static_cast<double>(observer.items);
    figures["keys"] = static_cast<double>(index.Size());
    figures["added"] = static_cast<double>(found.newFiles.size());
    figures["modified"] = static_cast<double>(found.modified.size());
    double hashed = 0, hashedBytes = 0;
    for (const FileComparison::NewFile& file : found.newFiles) {
        hashed += file.hash.Hashed() ? 1 : 0;
        hashedBytes += file.hash.Hashed() ? static_cast<double>(file.size) : 0;
    }
    for (const FileComparison::Modified& file : found.modified) {
        hashed += file.hash.Hashed() ? 1 : 0;
        hashedBytes += file.hash.Hashed() ? static_cast<double>(file.newSize) : 0;
    }
    figures["hashed"] = hashed;
    figures["hashedBytes"] = hashedBytes;
    figures["removed"] = withReport ? static_cast<double>(report.Counts().removedFiles) : -1;
    figures["newFolders"] = withReport ? static_cast<double>(report.Counts().newFolders) : -1;
    // The page itself, read after the clock stopped.
    const bench::ReportFacts page =
        withReport && ok ? bench::ReadReport(kReportName) : bench::ReportFacts{};
    figures["reportEntries"] = page.complete ? static_cast<double>(page.entries) : -1;
    figures["pageAdded"] = page.Section("Files: added");
    figures["pageModified"] = page.Section("Files: modified");
    figures["pageRemoved"] = page.Section("Files: removed");
    figures["pageNewFolders"] = page.Section("Files: new folders");
    std::size_t setHashes = 0;
    const std::string set = withReport && ok ? scratch::ReadWholeFile(kChangeSetName) : "";
    for (std::size_t at = set.find("\"sha256\":\""); at != std::string::npos;
         at = set.find("\"sha256\":\"", at + 1)) {
        ++setHashes;
    }
    figures["setHashes"] = static_cast<double>(setHashes);
    figures["startWorkingSet"] = static_cast<double>(atStart.workingSet);
    figures["startPagefile"] = static_cast<double>(atStart.pagefile);
    figures["indexPagefile"] = static_cast<double>(afterIndex.pagefile);
    figures["endWorkingSet"] = static_cast<double>(atEnd.workingSet);
    figures["peakWorkingSet"] = static_cast<double>(atEnd.peakWorkingSet);
    figures["endPagefile"] = static_cast<double>(atEnd.pagefile);
    figures["peakPagefile"] = static_cast<double>(atEnd.peakPagefile);
    if (!failure.empty()) bench::Say("error: %s\n", failure.c_str());
    return figures;
}

// The child's arguments: pattern, baseline, change list, result file, places shown in the
// report, and "report" or "no-report" with the hashing's argument after it ("report-hash").
// It runs in the work folder, where the report goes.
int RunComparisonChild(const std::vector<std::string>& args) {
    if (args.size() != 7) return 2;
    const std::string& mode = args[6];
    const bool withReport = mode.starts_with("report");
    const std::string hashing = mode.substr(withReport ? 6 : 9);
    Hashing how = Hashing::None;
    for (const auto& row : kHashingArguments) {
        if (NarrowText(row.argument) == hashing) how = row.hashing;
    }
    const Figures figures = CompareOnce(args[1], args[2], args[3], args[5], withReport, how);
    std::string result;
    for (const auto& [name, value] : figures) {
        char line[96];
        std::snprintf(line, sizeof line, "%s %.17g\r\n", name.c_str(), value);
        result += line;
    }
    return scratch::WriteWholeFile(args[4], result) ? 0 : 3;
}

// What a comparison's pass must find.
struct Expected {
    std::size_t added = 0;
    std::size_t modified = 0;
    std::size_t removed = 0;
    std::size_t newFolders = 0;
};

// A comparison's runs: each in a child process, the best time counted, the figures of every
// run kept for the checks and the memory report.
struct ComparisonRuns {
    const char* what;
    std::string baselinePath;
    std::string changesPath;
    bool withReport = true;
    Expected expected;
    Hashing hashing = Hashing::None;
    std::vector<bench::Sample> times;
    std::vector<Figures> figures;
};

// Where every comparison walks, and where its child runs.
struct ComparisonPlace {
    std::string pattern;
    std::string places;  // as the report shows them
    std::string work;
    std::string resultPath;
};

bool RunComparison(const ComparisonPlace& place, ComparisonRuns& runs) {
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    std::wstring command = L"\"" + self + L"\" --comparison-child " + Quoted(place.pattern) + L" " +
                           Quoted(runs.baselinePath) + L" " + Quoted(runs.changesPath) + L" " +
                           Quoted(place.resultPath) + L" " + Quoted(place.places) +
                           (runs.withReport ? L" report" : L" no-report") +
                           kHashingArguments[static_cast<int>(runs.hashing)].argument;
    DeleteFileW(WidenText(place.resultPath).c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(self.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        WidenText(place.work).c_str(), &startup, &process)) {
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
    const std::string text = scratch::ReadWholeFile(place.resultPath, &ok);
    if (exitCode != 0 || !ok) {
        bench::Say("error: the comparison process failed (exit code %lu)\n", exitCode);
        return false;
    }
    Figures figures;
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
    runs.times.push_back(
        {Figure(figures, "total"), Figure(figures, "cpu"), Figure(figures, "steal")});
    runs.figures.push_back(std::move(figures));
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
        } else if (arg == "--hashing") {
            options.hashing = true;
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
                         "                  [--single bare|snapshot|compare] [--hashing]\n");
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
    UniqueFind listing(
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

// Step #1 as the program runs it (WriteBaseline in engine/step_engine.cpp): the record of the
// folders first, the baseline, the record's end.
PassResult RunSnapshot(const std::string& pattern, const std::string& baselinePath) {
    PassResult result;
    bench::QuietObserver observer;
    const bench::Stamp start = bench::Mark();
    SnapshotWriter output, record;
    if (record.Create(FoldersPath(baselinePath)) && record.WriteLine(kFolderRecordHeader) &&
        output.Create(baselinePath)) {
        result.lines = ScanDirectoryTree(pattern, output, nullptr, false, observer, nullptr, &record);
    }
    result.ok = output.Close() &&
                record.WriteLine(FolderRecordEnd(static_cast<std::uint64_t>(result.lines),
                                                 output.Size())) &&
                record.Close();
    result.time = bench::Since(start);
    return result;
}

// Every run's counts against what the pass must find; says which are wrong.
bool CountsRight(const ComparisonRuns& runs) {
    const Expected& e = runs.expected;
    const struct {
        const char* name;
        std::size_t expected;
        bool reportOnly;
    } checks[] = {
        {"lines", e.added, false},
        {"added", e.added, false},
        {"modified", e.modified, false},
        {"removed", e.removed, true},
        {"newFolders", e.newFolders, true},
        {"reportEntries", e.added + e.modified + e.removed + e.newFolders, true},
        {"pageAdded", e.added, true},
        {"pageModified", e.modified, true},
        {"pageRemoved", e.removed, true},
        {"pageNewFolders", e.newFolders, true},
    };
    bool right = true;
    for (std::size_t run = 0; run < runs.figures.size(); ++run) {
        for (const auto& check : checks) {
            if (check.reportOnly && !runs.withReport) continue;
            const double found = Figure(runs.figures[run], check.name);
            if (found != static_cast<double>(check.expected)) {
                bench::Say("      WRONG in run %zu: %s %.0f, expected %zu\n", run + 1, check.name,
                           found, check.expected);
                right = false;
            }
        }
    }
    return right;
}

bool ReportComparison(const ComparisonRuns& runs, const bench::Sample& bare, double target,
                      std::size_t entries) {
    bench::PrintTimeRow(runs.what, runs.times, bare, target, entries);
    const Figures& f = runs.figures[bench::BestRun(runs.times)];
    bench::Say(
        "      best run: load %.3f s, index %.3f s (%.0f paths), walk %.3f s, report %.3f s\n",
        Figure(f, "load"), Figure(f, "index"), Figure(f, "keys"), Figure(f, "walk"),
        Figure(f, "report"));
    const Expected& e = runs.expected;
    if (runs.withReport) {
        bench::Say(
            "      found %.0f added (expected %zu), %.0f modified (%zu), %.0f removed (%zu), "
            "%.0f new folders (%zu); %.0f report entries\n",
            Figure(f, "added"), e.added, Figure(f, "modified"), e.modified, Figure(f, "removed"),
            e.removed, Figure(f, "newFolders"), e.newFolders, Figure(f, "reportEntries"));
    } else {
        bench::Say("      found %.0f added (expected %zu), %.0f modified (%zu); no report\n",
                   Figure(f, "added"), e.added, Figure(f, "modified"), e.modified);
    }
    const bool right = CountsRight(runs);
    if (!right) {
        for (const std::string& line : bench::FirstLines(runs.changesPath, 5)) {
            bench::Say("      in the change list: %s\n", line.c_str());
        }
    }
    return right;
}

// What the report and the files beside it add to a Step #2 that finds every file added: the
// best run with them against the best without, and each round's pair, since the two ran in
// turn.
void ReportReportCost(const ComparisonRuns& with, const ComparisonRuns& without) {
    const bench::Sample a = bench::Best(with.times);
    const bench::Sample b = bench::Best(without.times);
    const double ratio = b.wall > 0 ? a.wall / b.wall : 0;
    std::string pairs;
    for (std::size_t i = 0; i < with.times.size() && i < without.times.size(); ++i) {
        char text[16];
        std::snprintf(text, sizeof text, " %.3f", with.times[i].wall / without.times[i].wall);
        pairs += text;
    }
    const Figures& f = with.figures[bench::BestRun(with.times)];
    bench::Say(
        "  %-28s %.3f s against %.3f s: %.3fx (<=%.2fx %s), cpu %.3fx; each round:%s\n"
        "      (the best run's report phase: %.3f s)\n",
        "the report etc. of every file", a.wall, b.wall, ratio, kReportTarget,
        ratio <= kReportTarget ? "met" : "MISSED", b.cpu > 0 ? a.cpu / b.cpu : 0, pairs.c_str(),
        Figure(f, "report"));
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
                  const ComparisonPlace& place, const std::string& baselinePath,
                  const std::string& changesPath) {
    const bench::Stamp start = bench::Mark();
    std::size_t items = 0;
    long lines = 0;
    if (pass == "bare") {
        const Listing listing = ListTree(systemRoot);
        items = listing.files + listing.folders;
    } else if (pass == "snapshot") {
        const PassResult snapshot = RunSnapshot(place.pattern, baselinePath);
        lines = snapshot.lines;
    } else {
        if (!FileExistsByName(baselinePath.c_str())) {
            bench::Say("error: no baseline %s: run --single snapshot first\n",
                       baselinePath.c_str());
            return 1;
        }
        // The report goes where the child processes put theirs.
        SetCurrentDirectoryW(WidenText(place.work).c_str());
        const Figures f = CompareOnce(place.pattern, baselinePath, changesPath, place.places, true);
        bench::Say("compare: load %.3f s, index %.3f s, walk %.3f s, report %.3f s\n",
                   Figure(f, "load"), Figure(f, "index"), Figure(f, "walk"), Figure(f, "report"));
        items = static_cast<std::size_t>(Figure(f, "items"));
        lines = static_cast<long>(Figure(f, "lines"));
    }
    const bench::Sample time = bench::Since(start);
    bench::Say("%s: %.3f s wall, %.3f s cpu, %zu entries listed, %ld lines\n", pass.c_str(),
               time.wall, time.cpu, items, lines);
    return 0;
}

// Whether every hashing run hashed each added and modified file, all their bytes, and its
// change set says so.
bool HashesRight(const ComparisonRuns& runs, std::uint64_t bytes) {
    const double files = static_cast<double>(runs.expected.added + runs.expected.modified);
    const std::pair<const char*, double> checks[] = {
        {"hashed", files}, {"setHashes", files}, {"hashedBytes", static_cast<double>(bytes)}};
    bool right = true;
    for (std::size_t run = 0; run < runs.figures.size(); ++run) {
        for (const auto& [name, expected] : checks) {
            if (Figure(runs.figures[run], name) != expected) {
                bench::Say("      WRONG in run %zu: %s %.0f, expected %.0f\n", run + 1, name,
                           Figure(runs.figures[run], name), expected);
                right = false;
            }
        }
    }
    return right;
}

// Step #2 over the tree with 1 % of its files added and 1 % modified with real content (and
// 1 % removed), in the sizes of a program's files: without hashes, hashing each file as the
// walk meets it (as the program does), and hashing after the walk, in turn in every round.
// The files were just written, so their content is in the file cache, as right after an
// installer ran.
int RunHashingBenchmark(const Options& options, const std::wstring& systemRoot,
                        const ComparisonPlace& place, const std::string& baselinePath,
                        const std::string& markerPath, const TreeFacts& facts,
                        std::size_t entries) {
    const PassResult snapshot = RunSnapshot(place.pattern, baselinePath);
    if (!snapshot.ok) {
        bench::Say("error: cannot write %s\n", baselinePath.c_str());
        return 1;
    }
    WriteMarker(markerPath, {kTreeFormat, options.root, facts, false});
    TreeChange change;
    change.withContent = true;
    double start = bench::Now();
    const bool made = ChangeTree(systemRoot, options.files, change);
    const double makeSeconds = bench::Now() - start;
    const Expected expected{change.addedFiles.size(), change.modified.size(), change.removed.size(),
                            change.addedFolders.size()};
    const std::string changesPath = place.work + "\\files-snapshot2-hashing.txt";
    ComparisonRuns runs[] = {
        {"Step #2: no hashes", baselinePath, changesPath, true, expected, Hashing::None},
        {"Step #2: hashing in the walk", baselinePath, changesPath, true, expected,
         Hashing::InWalk},
        {"Step #2: hashing after it", baselinePath, changesPath, true, expected,
         Hashing::AfterWalk},
    };
    std::vector<bench::Sample> bareTimes;
    bool ran = made;
    for (int round = 0; ran && round < options.rounds; ++round) {
        const bench::Stamp mark = bench::Mark();
        ListTree(systemRoot);
        bareTimes.push_back(bench::Since(mark));
        for (std::size_t i = 0; ran && i < std::size(runs); ++i) {
            ran =
                RunComparison(place, runs[(static_cast<std::size_t>(round) + i) % std::size(runs)]);
        }
    }
    if (!RestoreTree(systemRoot, options.files, change) || !ran) return 1;
    WriteMarker(markerPath, {kTreeFormat, options.root, facts, true});

    const bench::Sample bare = bench::Best(bareTimes);
    bench::PrintTableHeader();
    bench::PrintTimeRow("bare enumeration", bareTimes, bare, 0, entries);
    bool right = true;
    for (const ComparisonRuns& run : runs) {
        right = ReportComparison(run, bare, 0, entries) && right;
        if (run.hashing != Hashing::None) right = HashesRight(run, change.contentBytes) && right;
    }
    const double megabytes = static_cast<double>(change.contentBytes) / 1e6;
    const double none = bench::Best(runs[0].times).wall;
    const double inWalk = bench::Best(runs[1].times).wall;
    const Figures& after = runs[2].figures[bench::BestRun(runs[2].times)];
    bench::Say(
        "\nhashed: %zu added and %zu modified files, %.1f MB (%.0f bytes), made in %.1f s\n"
        "  in the walk:    %.3f s against %.3f s without: +%.3f s, %.0f MB/s of hashing\n"
        "  after the walk: %.3f s, of which hashing %.3f s, %.0f MB/s\n",
        change.addedFiles.size(), change.modified.size(), megabytes,
        static_cast<double>(change.contentBytes), makeSeconds, inWalk, none, inWalk - none,
        inWalk > none ? megabytes / (inWalk - none) : 0, bench::Best(runs[2].times).wall,
        Figure(after, "hash"), Figure(after, "hash") > 0 ? megabytes / Figure(after, "hash") : 0);
    if (!right) bench::Say("\nerror: a pass found other counts or hashes than it was given\n");
    return right ? 0 : 1;
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

    const std::string markerPath = work + "\\tree.txt";
    TreeFacts facts;
    if (!PrepareTree(options, markerPath, facts)) return 1;
    bench::Say("tree: %s: %zu files in %zu folders, %zu paths longer than 260 characters\n",
               options.root.c_str(), facts.files, facts.folders, facts.longPaths);

    const std::wstring systemRoot = ExtendedLengthPath(options.root + "\\");
    const ComparisonPlace place{options.root + "\\*.*", options.root, work, work + "\\result.txt"};
    const std::string baselinePath = work + "\\files-snapshot1.txt";
    const std::string emptyBaselinePath = work + "\\files-snapshot1-empty.txt";

    if (!options.single.empty()) {
        return RunSinglePass(options.single, systemRoot, place, baselinePath,
                             work + "\\files-snapshot2-same.txt");
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
    if (options.hashing) {
        return RunHashingBenchmark(options, systemRoot, place, baselinePath, markerPath, facts,
                                   entries);
    }

    // Every round runs every pass, so that a burst of load from elsewhere on the machine hits
    // one run of each, not one pass alone: a bare listing, the snapshot and Step #2 of the tree
    // as it is; the tree changed, listed bare again and compared, then put back; and Step #2
    // against an empty baseline with and without the report, each first in every other round.
    // The best bare listing of all counts.
    std::vector<bench::Sample> bareTimes, snapshotTimes;
    const auto listBare = [&] {
        const bench::Stamp mark = bench::Mark();
        ListTree(systemRoot);
        bareTimes.push_back(bench::Since(mark));
    };
    ComparisonRuns same{"Step #2: nothing changed", baselinePath,
                        work + "\\files-snapshot2-same.txt", true};
    ComparisonRuns changed{"Step #2: 1% added/rem/mod", baselinePath,
                           work + "\\files-snapshot2-changed.txt", true};
    const Expected everyFile{facts.files, 0, 0, 0};
    const std::string allNewPath = work + "\\files-snapshot2-all.txt";
    ComparisonRuns allNew{"Step #2: all new, no report", emptyBaselinePath, allNewPath, false,
                          everyFile};
    ComparisonRuns allNewReported{"Step #2: all new, report", emptyBaselinePath, allNewPath, true,
                                  everyFile};
    PassResult snapshot;
    TreeChange change;
    double changeSeconds = 0;
    for (int round = 0; round < options.rounds; ++round) {
        listBare();
        snapshot = RunSnapshot(place.pattern, baselinePath);
        if (!snapshot.ok) {
            bench::Say("error: cannot write %s\n", baselinePath.c_str());
            return 1;
        }
        snapshotTimes.push_back(snapshot.time);
        if (!RunComparison(place, same)) return 1;

        // The tree is not the generator's while it is changed: a run cut short here makes a
        // new one.
        WriteMarker(markerPath, {kTreeFormat, options.root, facts, false});
        change = TreeChange{};
        start = bench::Now();
        bool ran = ChangeTree(systemRoot, options.files, change);
        changeSeconds = bench::Now() - start;
        changed.expected = {change.addedFiles.size(), change.modified.size(), change.removed.size(),
                            change.addedFolders.size()};
        if (ran) {
            listBare();
            ran = RunComparison(place, changed);
        }
        // The tree goes back to what the generator made, so that --keep can use it again.
        if (!RestoreTree(systemRoot, options.files, change) || !ran) return 1;
        WriteMarker(markerPath, {kTreeFormat, options.root, facts, true});

        // Written after the tree was put back: nothing in it is newer than this baseline.
        if (!scratch::WriteWholeFile(emptyBaselinePath, "")) {
            bench::Say("error: cannot write %s\n", emptyBaselinePath.c_str());
            return 1;
        }
        listBare();
        ComparisonRuns& first = round % 2 == 0 ? allNew : allNewReported;
        ComparisonRuns& second = round % 2 == 0 ? allNewReported : allNew;
        if (!RunComparison(place, first) || !RunComparison(place, second)) return 1;
    }
    const std::uint64_t baselineSize = GetFileSizeByName(baselinePath.c_str());

    const bench::Sample bare = bench::Best(bareTimes);
    bench::PrintTableHeader();
    bench::PrintTimeRow("bare enumeration", bareTimes, bare, 0, entries);
    bench::PrintTimeRow("Step #1: snapshot", snapshotTimes, bare, kStep1Target, entries);
    bench::Say("      %ld lines (expected %zu)\n", snapshot.lines, facts.files);
    bool right = snapshot.lines == static_cast<long>(facts.files);
    right = ReportComparison(same, bare, kSameTarget, entries) && right;
    right = ReportComparison(changed, bare, kChangedTarget, entries) && right;
    bench::Say(
        "      (%zu new files, %zu of them in new folders, %zu removed and %zu modified files,\n"
        "      half of these same-sized with the last-write time set back, made in %.1f s)\n",
        change.addedFiles.size(), change.addedFolders.size(), change.removed.size(),
        change.modified.size(), changeSeconds);
    right = ReportComparison(allNew, bare, 0, entries) && right;
    right = ReportComparison(allNewReported, bare, 0, entries) && right;
    ReportReportCost(allNewReported, allNew);

    const std::uint64_t target = 3 * baselineSize + kMemoryAllowance;
    bench::Say(
        "\nStep #2 memory, every run in a process of its own (GetProcessMemoryInfo at the\n"
        "end of the pass, report written, baseline and index still held); baseline %.1f MiB,\n"
        "so the target is under 3 x %.1f + 32 = %.1f MiB\n",
        bench::MiB(baselineSize), bench::MiB(baselineSize), bench::MiB(target));
    ReportMemory("nothing changed:", same, target);
    ReportMemory("1% changes:", changed, target);
    if (!wine.empty()) {
        bench::Say("  (Wine reports the current private bytes as PeakPagefileUsage)\n");
    }

    if (!options.keep) {
        start = bench::Now();
        RemoveOwnTree(options.root);
        DeleteFileW(ExtendedLengthPath(markerPath).c_str());
        bench::Say("\ntree: removed in %.1f s (--keep leaves it for the next run)\n",
                   bench::Now() - start);
    }
    if (!right) bench::Say("\nerror: a pass found other counts than the changes it was given\n");
    return right ? 0 : 1;
}

}  // namespace

int main() {
    const std::vector<std::string> args = bench::Arguments();
    if (!args.empty() && args[0] == "--comparison-child") return RunComparisonChild(args);
    Options options;
    if (!ParseOptions(args, options)) return 2;
    return RunBenchmark(options);
}
