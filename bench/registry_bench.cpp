// Times the registry walker over HKEY_CURRENT_USER holding a synthetic tree against a bare walk
// of the same keys with the same enumeration calls. Step #2 runs as the program runs it, report
// and all (written into the work folder): with nothing changed, and with 1 % of the values
// changed and another 1 % removed; its counts and the report's are checked against the changes.
//
//   registry_bench [--keys N] [--values N] [--keep] [--rounds N] [--profile] [--single PASS]
//
// The tree goes to HKEY_CURRENT_USER\Software\QvBench. --keep reuses the tree of an earlier
// run when it has the same shape, and leaves it in place afterwards (the values the run
// changes or removes are put back); without it the tree is made afresh and deleted at the end.
// --rounds is how many times each pass runs (default 3; the best time counts); --profile first
// times variants between the bare walk and Step #1, to show where a walk's time goes.
// --single runs one pass once (bare, snapshot, or compare against the last snapshot) on the
// kept tree, so that a profiler sees that pass alone.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/baseline_records.h"
#include "engine/run_facts.h"
#include "engine/whole_change.h"
#include "bench/bench_support.h"
#include "snapshot/baseline_index.h"
#include "snapshot/registry_access.h"
#include "snapshot/registry_lines.h"
#include "snapshot/registry_walker.h"
#include "snapshot/snapshot_files.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/scratch_tree.h"
#include "text/text.h"

namespace {

constexpr double kStep1Target = 1.5;
// Step #2, report and all, with nothing changed and with 1 % changed and 1 % removed values.
constexpr double kStep2Target = 1.3;
constexpr wchar_t kBenchKey[] = L"Software\\QvBench";
// 1 % of the values are changed and another 1 % removed: those at two places in each hundred.
constexpr std::size_t kChangeEvery = 100;
constexpr std::size_t kChangedAt = 0;  // where ChangeSyntheticRegistryValues changes them
constexpr std::size_t kRemovedAt = 50;
// Changes whenever the tree's shape or contents would; --keep then makes a new one.
constexpr int kTreeFormat = 1;

struct Options {
    SyntheticRegistryShape shape;
    bool keep = false;
    bool profile = false;
    int rounds = 3;
    std::string single;  // one pass alone, for profiling tools: bare, snapshot or compare
};

bool ParseOptions(const std::vector<std::string>& args, Options& options) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--keys" && hasValue && bench::ParseCount(args[i + 1], options.shape.keys) &&
            options.shape.keys != 0) {
            ++i;
        } else if (arg == "--values" && hasValue &&
                   bench::ParseCount(args[i + 1], options.shape.values)) {
            ++i;
        } else if (arg == "--keep") {
            options.keep = true;
        } else if (arg == "--profile") {
            options.profile = true;
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
                         "usage: registry_bench [--keys N] [--values N] [--keep] "
                         "[--rounds N] [--profile]\n"
                         "                      [--single bare|snapshot|compare]\n");
            return false;
        }
    }
    return true;
}

// ---- The bare walk: the walker's enumeration calls, one open handle a key, nothing else

struct WalkCounts {
    std::size_t keys = 0;
    std::size_t values = 0;
};

void BareWalk(HKEY key, RegistryEntryBuffer& entry, WalkCounts& counts) {
    PrepareRegistryEntry(key, entry);
    for (DWORD index = 0;; ++index) {
        if (EnumRegistryEntry(key, RegistryEntryKind::Values, index, entry) !=
            RegistryEnumResult::Found) {
            break;
        }
        ++counts.values;
    }
    for (DWORD index = 0;; ++index) {
        if (EnumRegistryEntry(key, RegistryEntryKind::Subkeys, index, entry) !=
            RegistryEnumResult::Found) {
            break;
        }
        ++counts.keys;
        const UniqueKey child = OpenRegistryKey(key, entry.name.c_str());
        if (child.valid()) BareWalk(child.get(), entry, counts);
    }
}

bench::Sample TimeBareWalk(WalkCounts& counts) {
    counts = WalkCounts{};
    const bench::Stamp start = bench::Mark();
    const UniqueKey root = OpenRegistryKey(HKEY_CURRENT_USER, L"");
    RegistryEntryBuffer entry;
    if (root.valid()) BareWalk(root.get(), entry, counts);
    return bench::Since(start);
}

// ---- Profile: where a walk's time goes between the bare walk and Step #1

// Asks nothing of the clock or the message queue.
class NullObserver final : public ScanObserver {
public:
    bool ShouldStop() override { return false; }
    void ItemVisited(std::string_view) override {}
    void NewFileFound() override {}
    void NewRegistryEntryFound(RegistryEntry) override {}
    void CopyingFile(std::string_view) override {}
};

// The bare walk plus the walker's conversions of names and data into text.
void ConvertingWalk(HKEY key, RegistryEntryBuffer& entry, std::string& name, std::string& text,
                    WalkCounts& counts) {
    PrepareRegistryEntry(key, entry);
    for (DWORD index = 0;; ++index) {
        if (EnumRegistryEntry(key, RegistryEntryKind::Values, index, entry) !=
            RegistryEnumResult::Found) {
            break;
        }
        name = NarrowText(entry.Name());
        ReadRegistryValueText(entry.type, entry.data.data(), entry.dataSize, text);
        ++counts.values;
    }
    for (DWORD index = 0;; ++index) {
        if (EnumRegistryEntry(key, RegistryEntryKind::Subkeys, index, entry) !=
            RegistryEnumResult::Found) {
            break;
        }
        name = NarrowText(entry.Name());
        ++counts.keys;
        const UniqueKey child = OpenRegistryKey(key, entry.name.c_str());
        if (child.valid()) ConvertingWalk(child.get(), entry, name, text, counts);
    }
}

void RunProfile(const std::string& work) {
    bench::Say("\nprofile: one walk of HKEY_CURRENT_USER each, in rounds\n");
    for (int round = 1; round <= 2; ++round) {
        WalkCounts counts;
        double start = bench::Now();
        TimeBareWalk(counts);
        bench::Say("  round %d  bare walk                          %.3f s\n", round,
                   bench::Now() - start);

        start = bench::Now();
        {
            const UniqueKey root = OpenRegistryKey(HKEY_CURRENT_USER, L"");
            RegistryEntryBuffer entry;
            std::string name, text;
            ConvertingWalk(root.get(), entry, name, text, counts);
        }
        bench::Say("  round %d  bare walk + text conversion        %.3f s\n", round,
                   bench::Now() - start);

        NullObserver nothing;
        start = bench::Now();
        ScanRegistryKey(HKEY_CURRENT_USER, "", nullptr, nullptr, nothing);
        bench::Say("  round %d  walker, no output, null observer   %.3f s\n", round,
                   bench::Now() - start);

        bench::QuietObserver quiet;
        start = bench::Now();
        ScanRegistryKey(HKEY_CURRENT_USER, "", nullptr, nullptr, quiet);
        bench::Say("  round %d  walker, no output, quiet observer  %.3f s\n", round,
                   bench::Now() - start);

        start = bench::Now();
        {
            SnapshotWriter output;
            output.Create(work + "\\registry-profile.txt");
            ScanRegistryKey(HKEY_CURRENT_USER, "", &output, nullptr, nothing);
        }
        bench::Say("  round %d  walker, writing, null observer     %.3f s\n", round,
                   bench::Now() - start);
    }
}

// ---- The synthetic tree's bookkeeping

// The same layout FillSyntheticRegistryTree uses: key k below key (k - 1) / fanOut, named
// K<k>, holding values k * values / keys up to the next key's first.
std::wstring SyntheticKeyPath(std::size_t k, std::size_t fanOut) {
    std::vector<std::size_t> chain{k};
    while (chain.back() != 0) chain.push_back((chain.back() - 1) / fanOut);
    std::wstring path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty()) path += L'\\';
        path += L"K" + std::to_wstring(*it);
    }
    return path;
}

std::size_t FirstValueOfKey(std::size_t k, const SyntheticRegistryShape& shape) {
    return static_cast<std::size_t>(static_cast<std::uint64_t>(k) * shape.values / shape.keys);
}

struct SavedValue {
    std::wstring keyPath;
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// Reads the values at place at of every everyNth (those ChangeSyntheticRegistryValues rewrites
// at place 0), so that they can be put back. False when one is missing: the tree is not laid
// out as this program expects.
bool SaveValues(HKEY tree, const SyntheticRegistryShape& shape, std::size_t everyNth,
                std::size_t at, std::vector<SavedValue>& saved) {
    saved.clear();
    for (std::size_t k = 0; k < shape.keys; ++k) {
        std::size_t j = FirstValueOfKey(k, shape);
        const std::size_t end = FirstValueOfKey(k + 1, shape);
        j += (everyNth + at - j % everyNth) % everyNth;
        if (j >= end) continue;
        SavedValue value;
        value.keyPath = SyntheticKeyPath(k, shape.fanOut);
        HKEY key = nullptr;
        if (RegOpenKeyExW(tree, value.keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
            return false;
        }
        for (; j < end; j += everyNth) {
            value.name = L"V" + std::to_wstring(j);
            DWORD size = 0;
            bool ok = RegQueryValueExW(key, value.name.c_str(), nullptr, &value.type, nullptr,
                                       &size) == ERROR_SUCCESS;
            value.data.resize(size);
            ok = ok && RegQueryValueExW(key, value.name.c_str(), nullptr, &value.type,
                                        value.data.data(), &size) == ERROR_SUCCESS;
            if (!ok) {
                RegCloseKey(key);
                return false;
            }
            value.data.resize(size);
            saved.push_back(value);
        }
        RegCloseKey(key);
    }
    return true;
}

// Removes the saved values from the tree; returns how many went.
std::size_t RemoveValues(HKEY tree, const std::vector<SavedValue>& saved) {
    std::size_t removed = 0;
    for (const SavedValue& value : saved) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(tree, value.keyPath.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
            continue;
        }
        if (RegDeleteValueW(key, value.name.c_str()) == ERROR_SUCCESS) ++removed;
        RegCloseKey(key);
    }
    return removed;
}

bool RestoreValues(HKEY tree, const std::vector<SavedValue>& saved) {
    bool ok = true;
    for (const SavedValue& value : saved) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(tree, value.keyPath.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
            ok = false;
            continue;
        }
        ok &= RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                             static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    return ok;
}

// The record of the tree in the work folder: its shape, and whether its values are as made.
std::string MarkerText(const SyntheticRegistryShape& shape, bool clean) {
    return "format " + std::to_string(kTreeFormat) + " keys " + std::to_string(shape.keys) +
           " values " + std::to_string(shape.values) + " fanout " + std::to_string(shape.fanOut) +
           (clean ? " clean" : " changed");
}

std::string TempFolder() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::string folder = NarrowText(std::wstring_view(temp, length));
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

HKEY CreateTreeKey() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kBenchKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

bool TreeExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\QvBench\\K0", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// Makes the tree, or reuses it with --keep; returns its key, null on failure.
HKEY PrepareTree(const Options& options, const std::string& markerPath) {
    const bool reuse = options.keep && TreeExists() &&
                       scratch::ReadWholeFile(markerPath) == MarkerText(options.shape, true);
    if (reuse) {
        bench::Say("tree: reusing HKEY_CURRENT_USER\\Software\\QvBench (--keep)\n");
        return CreateTreeKey();
    }
    double start = bench::Now();
    if (RegDeleteTreeW(HKEY_CURRENT_USER, kBenchKey) == ERROR_SUCCESS) {
        bench::Say("tree: deleted the earlier tree in %.1f s\n", bench::Now() - start);
    }
    HKEY tree = CreateTreeKey();
    if (tree == nullptr) {
        bench::Say("error: cannot create HKEY_CURRENT_USER\\Software\\QvBench\n");
        return nullptr;
    }
    bench::Say(
        "tree: generating %zu keys and %zu values under "
        "HKEY_CURRENT_USER\\Software\\QvBench\n",
        options.shape.keys, options.shape.values);
    start = bench::Now();
    if (!FillSyntheticRegistryTree(tree, options.shape)) {
        bench::Say("error: the registry refused a key or value of the synthetic tree\n");
        RegCloseKey(tree);
        return nullptr;
    }
    const double seconds = bench::Now() - start;
    bench::Say("tree: generated in %.1f s (%.0f us an entry)\n", seconds,
               seconds * 1e6 / static_cast<double>(options.shape.keys + options.shape.values));
    scratch::WriteWholeFile(markerPath, MarkerText(options.shape, true));
    return tree;
}

struct PassResult {
    bench::Sample time;
    double loadSeconds = 0;
    double indexSeconds = 0;
    double reportSeconds = 0;
    long lines = 0;
    std::size_t keys = 0;
    unsigned long removed = 0;  // the report's count
    bench::ReportFacts page;
    bool ok = false;
};

// The record of a baseline's lines goes beside it; none for a baseline as earlier builds wrote.
std::string LinesPath(const std::string& baselinePath, bool withRecord) {
    return withRecord ? baselinePath + ".lines" : std::string();
}

// Step #1 as the program runs it (WriteBaseline in engine/step_engine.cpp), with or without the
// record of the baseline's lines.
PassResult RunSnapshot(const std::string& baselinePath, bool withRecord) {
    PassResult result;
    bench::QuietObserver observer;
    const std::string linesPath = LinesPath(baselinePath, withRecord);
    if (!withRecord) DeleteFileA((baselinePath + ".lines").c_str());
    const bench::Stamp start = bench::Mark();
    SnapshotWriter output, record;
    if ((!withRecord || (record.Create(linesPath) && record.Write(kRegistryLinesHeader))) &&
        output.Create(baselinePath)) {
        result.lines = ScanRegistryKey(HKEY_CURRENT_USER, "", &output, nullptr, observer, nullptr,
                                       withRecord ? &record : nullptr);
    }
    result.ok = output.Close();
    if (withRecord) {
        std::string end;
        AppendRecordEnd(end, static_cast<std::uint64_t>(result.lines), output.Size());
        result.ok = result.ok && record.Write(end) && record.Close();
    }
    result.time = bench::Since(start);
    return result;
}

// One comparison as Step #2 makes it (CompareArea in engine/step_engine.cpp): the old report goes,
// the baseline's time is taken, the baseline loaded and indexed, the root walked noting its new
// lines, and the report written into the current directory.
PassResult RunComparison(const std::string& baselinePath, const std::string& changesPath,
                         bool withRecord) {
    PassResult result;
    bench::QuietObserver observer;
    const bench::Stamp mark = bench::Mark();
    const double start = mark.wall;
    WholeChangeReport report;
    if (!report.Begin()) {
        bench::Say("error: cannot write the report's sections in the work folder\n");
        return result;
    }
    const double begun = bench::Now();
    const std::uint64_t baselineTime = LastWriteTime(baselinePath.c_str());
    BaselineText text;
    DWORD error = ERROR_SUCCESS;
    if (LoadBaselineFile(baselinePath.c_str(), text, error) != BaselineLoad::Loaded) {
        bench::Say("error: cannot load %s: %s\n", baselinePath.c_str(),
                   SystemErrorText(error).c_str());
        report.Abandon();
        return result;
    }
    const std::string linesPath = LinesPath(baselinePath, withRecord);
    const SnapshotArea area{baselinePath.c_str(), changesPath.c_str(), HKEY_CURRENT_USER,
                            "HKEY_CURRENT_USER", withRecord ? linesPath.c_str() : nullptr};
    BaselineRecords records;
    std::string failure;
    if (!LoadBaselineRecords(area, text.View(), records, failure) ||
        (withRecord && records.lineRecord.empty())) {
        bench::Say("error: the record of %s does not agree with it\n", baselinePath.c_str());
        report.Abandon();
        return result;
    }
    result.loadSeconds = bench::Now() - begun;
    BaselineIndex index;
    if (!index.Build(text.View(),
                     withRecord ? BaselineIndex::Kind::Lines : BaselineIndex::Kind::Records,
                     records.joins)) {
        bench::Say("error: no memory for the index of %s\n", baselinePath.c_str());
        report.Abandon();
        return result;
    }
    result.keys = index.Size();
    result.indexSeconds = bench::Now() - begun - result.loadSeconds;
    SnapshotWriter output, newData;
    RegistryComparison found;
    found.newData = &newData;
    found.unreadAtBaseline = &records.unreadAtBaseline;
    found.linesRecorded = !records.lineRecord.empty();
    found.namesTold = records.namesTold;
    found.inexactLines = &records.inexactLines;
    if (output.Create(changesPath) && newData.Create(kNewDataScratchName)) {
        result.lines = ScanRegistryKey(HKEY_CURRENT_USER, "", &output, &index, observer, &found);
    }
    result.ok = output.Close() && newData.Close();
    const double walked = bench::Now();
    if (result.ok) {
        report.AddRegistryPass(area, baselineTime, index, records, found);
        result.ok = report.Finish(failure);
        if (!result.ok) bench::Say("error: %s\n", failure.c_str());
    } else {
        report.Abandon();
    }
    result.time = bench::Since(mark);
    result.reportSeconds = (begun - start) + (start + result.time.wall - walked);
    result.removed = report.Counts().removedRegistryEntries;
    // The page itself, read after the clock stopped.
    result.page = bench::ReadReport(kReportName);
    return result;
}

// What a comparison must find.
struct Expected {
    std::size_t changed = 0;
    std::size_t removed = 0;
};

// A comparison's runs, the best counted.
struct ComparisonRuns {
    const char* what;
    std::string changesPath;
    bool withRecord;
    Expected expected;
    std::vector<bench::Sample> times;
    std::vector<PassResult> passes;
};

bool RunComparisons(int rounds, const std::string& baselinePath, ComparisonRuns& runs) {
    for (int round = 0; round < rounds; ++round) {
        PassResult pass = RunComparison(baselinePath, runs.changesPath, runs.withRecord);
        if (!pass.ok) return false;
        runs.times.push_back(pass.time);
        runs.passes.push_back(std::move(pass));
    }
    return true;
}

// Every run's counts, and its report's, against what the pass must find.
bool CountsRight(const ComparisonRuns& runs) {
    const Expected& e = runs.expected;
    bool right = true;
    for (std::size_t run = 0; run < runs.passes.size(); ++run) {
        const PassResult& pass = runs.passes[run];
        const struct {
            const char* name;
            long found;
            std::size_t expected;
        } checks[] = {
            {"new lines", pass.lines, e.changed},
            {"removed", static_cast<long>(pass.removed), e.removed},
            {"report entries", pass.page.complete ? static_cast<long>(pass.page.entries) : -1,
             e.changed + e.removed},
            {"report's added", pass.page.Section("HKEY_CURRENT_USER: added"), 0},
            {"report's changed", pass.page.Section("HKEY_CURRENT_USER: changed"), e.changed},
            {"report's removed", pass.page.Section("HKEY_CURRENT_USER: removed"), e.removed},
        };
        for (const auto& check : checks) {
            if (check.found != static_cast<long>(check.expected)) {
                bench::Say("      WRONG in run %zu: %s %ld, expected %zu\n", run + 1, check.name,
                           check.found, check.expected);
                right = false;
            }
        }
    }
    return right;
}

bool ReportComparison(const ComparisonRuns& runs, const bench::Sample& bare, double target,
                      std::size_t entries) {
    bench::PrintTimeRow(runs.what, runs.times, bare, target, entries);
    const PassResult& pass = runs.passes[bench::BestRun(runs.times)];
    bench::Say(
        "      best run: load %.3f s, index %.3f s (%zu lines), walk %.3f s, report %.3f s\n",
        pass.loadSeconds, pass.indexSeconds, pass.keys,
        pass.time.wall - pass.loadSeconds - pass.indexSeconds - pass.reportSeconds,
        pass.reportSeconds);
    bench::Say(
        "      found %ld new lines, %ld changed values (expected %zu), %lu removed entries "
        "(expected %zu); %zu report entries\n",
        pass.lines, pass.page.Section("HKEY_CURRENT_USER: changed"), runs.expected.changed,
        pass.removed, runs.expected.removed, pass.page.entries);
    const bool right = CountsRight(runs);
    if (!right) {
        for (const std::string& line : bench::FirstLines(runs.changesPath, 5)) {
            bench::Say("      in the change list: %s\n", line.c_str());
        }
    }
    return right;
}

int RunBenchmark(const Options& options) {
    const std::string wine = bench::WineVersion();
    bench::Say("registry_bench: %zu keys, %zu values, %d rounds, %s\n", options.shape.keys,
               options.shape.values, options.rounds,
               wine.empty() ? "Windows" : ("Wine " + wine).c_str());
    const std::string work = TempFolder() + "\\qv-bench-work";
    CreateDirectoryW(ExtendedLengthPath(work).c_str(), nullptr);
    // Step #2 writes its report into the current directory.
    SetCurrentDirectoryW(ExtendedLengthPath(work).c_str());
    const std::string markerPath = work + "\\registry-tree.txt";
    const std::string baselinePath = work + "\\registry-snapshot1.txt";
    const std::string samePath = work + "\\registry-snapshot2-same.txt";

    HKEY tree = PrepareTree(options, markerPath);
    if (tree == nullptr) return 1;

    if (!options.single.empty()) {
        const bench::Stamp start = bench::Mark();
        long lines = 0;
        if (options.single == "bare") {
            WalkCounts counts;
            TimeBareWalk(counts);
        } else if (options.single == "snapshot") {
            lines = RunSnapshot(baselinePath, true).lines;
        } else {
            lines = RunComparison(baselinePath, samePath, true).lines;
        }
        const bench::Sample time = bench::Since(start);
        bench::Say("%s: %.3f s wall, %.3f s cpu, %ld lines\n", options.single.c_str(), time.wall,
                   time.cpu, lines);
        RegCloseKey(tree);
        return 0;
    }
    if (options.profile) RunProfile(work);

    // The first walk is not counted: it also absorbs the server's periodic save of the
    // freshly written registry.
    WalkCounts counts;
    const double warm = TimeBareWalk(counts).wall;
    bench::Say("warm-up walk of HKEY_CURRENT_USER: %.3f s, %zu keys and %zu values\n", warm,
               counts.keys, counts.values);
    const std::size_t entries = counts.keys + counts.values;

    // Every round runs every pass, so that a burst of load from elsewhere on the machine hits
    // one run of each, not one pass alone: a bare walk, the snapshot and Step #2 of the tree as
    // it is, then the values changed and removed, a bare walk again and Step #2, and the values
    // put back. The best bare walk of all counts.
    std::vector<SavedValue> toChange, toRemove;
    if (!SaveValues(tree, options.shape, kChangeEvery, kChangedAt, toChange) ||
        !SaveValues(tree, options.shape, kChangeEvery, kRemovedAt, toRemove)) {
        bench::Say("error: the synthetic tree is not laid out as expected\n");
        return 1;
    }
    // Each Step also runs as earlier builds ran it, on a baseline without the record of its
    // lines: what the record costs Step #1, and what reading it costs Step #2.
    const std::string oldBaselinePath = work + "\\registry-snapshot1-old.txt";
    std::vector<bench::Sample> bareTimes, snapshotTimes, oldSnapshotTimes;
    ComparisonRuns same{"Step #2: nothing changed", samePath, true};
    ComparisonRuns sameOld{"  without the record", samePath, false};
    const Expected afterChanges{toChange.size(), toRemove.size()};
    const std::string changedPath = work + "\\registry-snapshot2-changed.txt";
    ComparisonRuns after{"Step #2: 1% changed, 1% gone", changedPath, true, afterChanges};
    ComparisonRuns afterOld{"  without the record", changedPath, false, afterChanges};
    PassResult snapshot, oldSnapshot;
    std::size_t changed = 0, removed = 0;
    double changeSeconds = 0;
    bool ranChanged = true, restored = true;
    for (int round = 0; round < options.rounds && ranChanged && restored; ++round) {
        WalkCounts again;
        bareTimes.push_back(TimeBareWalk(again));
        snapshot = RunSnapshot(baselinePath, true);
        oldSnapshot = RunSnapshot(oldBaselinePath, false);
        if (!snapshot.ok || !oldSnapshot.ok) {
            bench::Say("error: cannot write %s\n", baselinePath.c_str());
            return 1;
        }
        snapshotTimes.push_back(snapshot.time);
        oldSnapshotTimes.push_back(oldSnapshot.time);
        if (!RunComparisons(1, baselinePath, same) || !RunComparisons(1, oldBaselinePath, sameOld)) {
            return 1;
        }

        scratch::WriteWholeFile(markerPath, MarkerText(options.shape, false));
        const double start = bench::Now();
        changed = ChangeSyntheticRegistryValues(tree, options.shape, kChangeEvery);
        removed = RemoveValues(tree, toRemove);
        changeSeconds = bench::Now() - start;
        ranChanged = changed == toChange.size() && removed == toRemove.size();
        if (ranChanged) {
            bareTimes.push_back(TimeBareWalk(again));
            ranChanged = RunComparisons(1, baselinePath, after) &&
                         RunComparisons(1, oldBaselinePath, afterOld);
        }
        restored = RestoreValues(tree, toChange) && RestoreValues(tree, toRemove);
        if (restored) scratch::WriteWholeFile(markerPath, MarkerText(options.shape, true));
    }

    const bench::Sample bare = bench::Best(bareTimes);
    bench::PrintTableHeader();
    bench::PrintTimeRow("bare walk", bareTimes, bare, 0, entries);
    bench::PrintTimeRow("Step #1: snapshot of HKCU", snapshotTimes, bare, kStep1Target, entries);
    bench::Say("      %ld lines (expected %zu)\n", snapshot.lines, entries);
    bench::PrintTimeRow("  without the record", oldSnapshotTimes, bare, kStep1Target, entries);
    bench::Say("      the record costs Step #1 %+.1f%%\n",
               100.0 * (bench::Best(snapshotTimes).wall / bench::Best(oldSnapshotTimes).wall - 1));
    bool right = snapshot.lines == static_cast<long>(entries);
    right = ReportComparison(same, bare, kStep2Target, entries) && right;
    right = ReportComparison(sameOld, bare, kStep2Target, entries) && right;
    if (ranChanged) {
        right = ReportComparison(after, bare, kStep2Target, entries) && right;
        right = ReportComparison(afterOld, bare, kStep2Target, entries) && right;
        bench::Say(
            "      (%zu values changed and %zu removed in %.1f s before each of these runs)\n",
            changed, removed, changeSeconds);
    } else {
        bench::Say(
            "error: the changes were not made (%zu of %zu values changed, %zu of %zu "
            "removed), or a comparison failed\n",
            changed, toChange.size(), removed, toRemove.size());
    }
    bench::Say("\nbaseline %.1f MiB\n", bench::MiB(GetFileSizeByName(baselinePath.c_str())));

    RegCloseKey(tree);
    if (!options.keep) {
        const double start = bench::Now();
        RegDeleteTreeW(HKEY_CURRENT_USER, kBenchKey);
        DeleteFileW(ExtendedLengthPath(markerPath).c_str());
        bench::Say("tree: deleted in %.1f s (--keep leaves it for the next run)\n",
                   bench::Now() - start);
    }
    if (!right) bench::Say("\nerror: a pass found other counts than the changes it was given\n");
    return ranChanged && restored && right ? 0 : 1;
}

}  // namespace

int main() {
    Options options;
    if (!ParseOptions(bench::Arguments(), options)) return 2;
    return RunBenchmark(options);
}
