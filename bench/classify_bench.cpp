// Times the change classifier: a realistic mix of file paths, registry keys and values (most of
// them matched by no rule) classified with the whole rule table, against a naive classifier that
// tries every row in turn on a sample, which also checks that the index finds the rows that fit.
//
//   classify_bench [--items N] [--sample N] [--rounds N]
//
// --items   items of the mix (default 1,000,000); target: all of them in under one second
// --sample  items that the naive classifier checks (default 20,000)
// --rounds  how many times the mix is classified (default 5); the best time counts
//
// Plain C++ without Windows calls: tools/bench --only classify runs it under Wine, and with
// --native builds and runs it natively.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "bench/native_support.h"
#include "engine/change_rules.h"
#ifdef QUORVANE_BENCH_FINDINGS
#include "engine/findings.h"
#include "engine/highlights.h"
#endif
#include "tests/support/typical_places.h"

namespace {

using bench::Now;
using bench::ParseCount;
using bench::Random;

constexpr double kTargetSeconds = 1.0;
constexpr std::size_t kTargetItems = 1000000;

enum class Kind { File, Key, Value };

// Shapes of items as a machine's change has them, with how often each comes: %p is a name
// piece, %n a number, %g a GUID; a value's name follows "=".
struct Shape {
    int weight;
    Kind kind;
    const char* text;
};
constexpr Shape kShapes[] = {
    {14, Kind::File, R"(C:\Program Files\%p\%p %n\%p\%p%n.dll)"},
    {8, Kind::File, R"(C:\Program Files (x86)\%p\%p\%p%n.exe)"},
    {8, Kind::File, R"(C:\Windows\System32\%p%n.dll)"},
    {6, Kind::File, R"(C:\Windows\WinSxS\amd64_%p-%p_31bf3856ad364e35_10.0.%n_none_%n\%p.dll)"},
    {10, Kind::File, R"(C:\Users\alice\Documents\%p\%p %n\%p%n.docx)"},
    {8, Kind::File, R"(C:\Users\bob\AppData\Local\%p\%p\%p%n.dat)"},
    {6, Kind::File, R"(C:\Users\alice\AppData\Roaming\%p\%p\%p%n.json)"},
    {6, Kind::File, R"(C:\ProgramData\%p\%p\%p%n.bin)"},
    {6, Kind::File, R"(D:\Data\%p\%p\%p\%p%n.csv)"},
    {3, Kind::File, R"(C:\Users\alice\AppData\Local\Temp\%p%n.tmp)"},
    {2, Kind::File, R"(C:\Windows\Prefetch\%p%n.EXE-%n.pf)"},
    {2, Kind::File, R"(C:\Program Files\%p\logs\%p%n.log)"},
    {1, Kind::File, R"(C:\Users\alice\AppData\Roaming\Microsoft\Windows\Recent\%p%n.lnk)"},
    {1, Kind::File, R"(C:\ProgramData\Microsoft\Windows\Start Menu\Programs\%p\%p.lnk)"},
    {1, Kind::File, R"(C:\Users\bob\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup\%p.lnk)"},
    {1, Kind::File, R"(C:\Windows\System32\Tasks\%p\%p%n)"},
    {8, Kind::Key, R"(HKEY_LOCAL_MACHINE\SOFTWARE\%p\%p\%p %n)"},
    {4, Kind::Key, R"(HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\%g\InprocServer32)"},
    {5, Kind::Key, R"(HKEY_LOCAL_MACHINE\SYSTEM\ControlSet001\Enum\PCI\VEN_%n\%n&%n\Device Parameters)"},
    {5, Kind::Key, R"(HKEY_USERS\S-1-5-21-%n-%n-%n-1001\Software\%p\%p\%p)"},
    {2, Kind::Key, R"(HKEY_LOCAL_MACHINE\SYSTEM\ControlSet001\Services\%p%n)"},
    {2, Kind::Key, R"(HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\Windows\CurrentVersion\Uninstall\%g)"},
    {10, Kind::Value, R"(HKEY_LOCAL_MACHINE\SOFTWARE\%p\%p\%p=%p%n)"},
    {6, Kind::Value, R"(HKEY_CURRENT_USER\Software\%p\%p %n\%p=%p)"},
    {4, Kind::Value, R"(HKEY_LOCAL_MACHINE\SYSTEM\ControlSet001\Services\%p%n\Parameters=%p)"},
    {2, Kind::Value, R"(HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\ComDlg32\OpenSavePidlMRU\%p=%n)"},
    {1, Kind::Value, R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run=%p)"},
    {1, Kind::Value, R"(HKEY_LOCAL_MACHINE\SYSTEM\ControlSet001\Services\SharedAccess\Parameters\FirewallPolicy\FirewallRules=%g)"},
    {1, Kind::Value, R"(HKEY_LOCAL_MACHINE\SYSTEM\ControlSet001\Services\Tcpip\Parameters\Interfaces\%g=LeaseObtainedTime)"},
};

constexpr const char* kPieces[] = {"Vendor", "Product", "data",   "bin",     "Common",
                                   "Tools",  "Office",  "x64",    "en-US",   "cache",
                                   "Shared", "plugins", "Update", "Settings", "core",
                                   "Adobe",  "Google",  "Mozilla", "runtime", "Microsoft"};

struct Item {
    Kind kind;
    std::string path;
    std::string name;
};

std::string Fill(const char* shape, Random& random) {
    std::string out;
    for (const char* c = shape; *c != '\0'; ++c) {
        if (*c != '%' || c[1] == '\0') {
            out += *c;
            continue;
        }
        ++c;
        if (*c == 'p') {
            out += kPieces[random.Below(std::size(kPieces))];
        } else if (*c == 'n') {
            out += std::to_string(random.Below(100000));
        } else if (*c == 'g') {
            char guid[40];
            std::snprintf(guid, sizeof guid, "{%08llX-%04X-%04X-%04X-%012llX}",
                          static_cast<unsigned long long>(random.Next() & 0xFFFFFFFFu),
                          static_cast<unsigned>(random.Below(0x10000)),
                          static_cast<unsigned>(random.Below(0x10000)),
                          static_cast<unsigned>(random.Below(0x10000)),
                          static_cast<unsigned long long>(random.Next() & 0xFFFFFFFFFFFFull));
            out += guid;
        }
    }
    return out;
}

std::vector<Item> MakeMix(std::size_t count) {
    int total = 0;
    for (const Shape& shape : kShapes) total += shape.weight;
    Random random{20250101};
    std::vector<Item> items;
    items.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        int pick = static_cast<int>(random.Below(static_cast<std::size_t>(total)));
        const Shape* shape = kShapes;
        while (pick >= shape->weight) pick -= (shape++)->weight;
        std::string text = Fill(shape->text, random);
        Item item{shape->kind, std::move(text), {}};
        if (item.kind == Kind::Value) {
            const std::size_t eq = item.path.find('=');
            item.name = item.path.substr(eq + 1);
            item.path.resize(eq);
        }
        items.push_back(std::move(item));
    }
    return items;
}

Classification Classify(const ChangeClassifier& classifier, const Item& item) {
    switch (item.kind) {
        case Kind::File: return classifier.ClassifyFile(item.path);
        case Kind::Key: return classifier.ClassifyKey(item.path);
        case Kind::Value: break;
    }
    return classifier.ClassifyValue(item.path, item.name);
}

#ifdef QUORVANE_BENCH_FINDINGS
// A system that knows of no file: the findings' own work, not the file system's, is timed.
class NoFiles final : public SystemFacts {
public:
    using Facts = std::vector<std::pair<std::string_view, std::string>>;
    std::string ExpandEnvironment(std::string_view text) const override { return std::string(text); }
    bool FileExists(std::string_view) const override { return false; }
    FindingFile Inspect(std::string_view) const override { return {}; }
    Facts Certificate(std::string_view) const override { return {}; }
    Facts Shortcut(std::string_view) const override { return {}; }
    Facts Task(std::string_view) const override { return {}; }
};

// The classifier as Step #2 runs it: each item, added, classified and then, when it starts,
// trusts or registers something, given to what gathers those. Today that is the findings, then
// the highlights for what no finding takes in; before the findings, the highlights alone.
// Returns the seconds.
double ClassifyAndGather(const ChangeClassifier& classifier, const std::vector<Item>& items,
                         bool findings, std::size_t& gathered) {
    constexpr std::string_view kSid = "S-1-5-21-1-2-3-1001";
    const double start = Now();
    Findings things(kSid, "C:\\Windows");
    Highlights highlights(kSid);
    std::string anchor;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        ReportedItem reported;
        reported.kind = item.kind == Kind::File  ? JournalKind::AddedFile
                        : item.kind == Kind::Key ? JournalKind::AddedKey
                                                 : JournalKind::AddedValue;
        reported.path = item.path;
        reported.name = item.name;
        reported.text = "x";
        reported.classification = Classify(classifier, item);
        const ChangeCategory category = reported.classification.category;
        const bool highlight = category != ChangeCategory::None && category != ChangeCategory::Noise;
        anchor.clear();
        if (highlight) anchor.append(1, 'c').append(std::to_string(i));
        const bool taken = findings && things.Add(reported, i, anchor);
        if (highlight && !taken) highlights.Add(reported, anchor);
    }
    std::vector<Finding> all;
    if (findings) all = things.Finish(NoFiles());
    gathered = highlights.All().size() + all.size();
    return Now() - start;  // what was gathered is freed after, as the highlights are
}
#endif

}  // namespace

int main(int argc, char** argv) {
    std::size_t itemCount = kTargetItems, sampleCount = 20000, rounds = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        std::size_t* target = option == "--items"    ? &itemCount
                              : option == "--sample" ? &sampleCount
                              : option == "--rounds" ? &rounds
                                                     : nullptr;
        if (target == nullptr || i + 1 == argc || !ParseCount(argv[++i], *target) || *target == 0) {
            std::printf("usage: classify_bench [--items N] [--sample N] [--rounds N]\n");
            return 2;
        }
    }
    const KnownPlaces places = TypicalPlaces();
    double start = Now();
    const ChangeClassifier classifier(places);
    const double buildSeconds = Now() - start;
    const std::vector<Item> items = MakeMix(itemCount);
    std::printf("classify_bench: %zu rows, index built in %.2f ms; %zu items, best of %zu rounds\n",
                kChangeRules.size(), buildSeconds * 1e3, items.size(), rounds);

    double best = 1e300;
    std::size_t counts[5] = {};
    for (std::size_t round = 0; round < rounds; ++round) {
        std::size_t tally[5] = {};
        start = Now();
        for (const Item& item : items) ++tally[static_cast<int>(Classify(classifier, item).category)];
        const double seconds = Now() - start;
        if (seconds < best) best = seconds;
        std::copy(std::begin(tally), std::end(tally), std::begin(counts));
    }
    std::printf("  indexed: %.3f s, %.0f ns an item", best, best / items.size() * 1e9);
    const double perTarget = best / items.size() * kTargetItems;
    std::printf("; %zu items take %.3f s (target under %.1f s)%s\n", kTargetItems, perTarget,
                kTargetSeconds, perTarget < kTargetSeconds ? "" : "  MISSED");
    std::printf("  categories:");
    for (int c = 0; c < 5; ++c) {
        const std::string_view name = CategoryName(static_cast<ChangeCategory>(c));
        std::printf(" %s %.1f%%", name.empty() ? "none" : std::string(name).c_str(),
                    100.0 * counts[c] / items.size());
    }
    std::printf("\n");
#ifdef QUORVANE_BENCH_FINDINGS
    // Both ways in turn, each round in the other order, and the median of each: the heap that one
    // leaves behind makes the next faster or slower, and the best of either would be the luck
    // of a fresh heap.
    std::vector<double> before, now;
    std::size_t highlightCount = 0, gatheredCount = 0;
    for (std::size_t round = 0; round < std::max<std::size_t>(rounds, 3); ++round) {
        for (const bool findings : {round % 2 == 0, round % 2 != 0}) {
            (findings ? now : before)
                .push_back(ClassifyAndGather(classifier, items, findings,
                                             findings ? gatheredCount : highlightCount));
        }
    }
    const auto median = [](std::vector<double> times) {
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    const double share = median(now) / median(before) - 1;
    std::printf("  with the highlights alone, as before the findings: median %.3f s, %.0f ns an "
                "item, %zu highlights\n",
                median(before), median(before) / items.size() * 1e9, highlightCount);
    std::printf("  with the findings and the highlights they leave: median %.3f s, %.0f ns an "
                "item, %zu findings and highlights; %+.1f%% an item (target within 10%%)%s\n",
                median(now), median(now) / items.size() * 1e9, gatheredCount, share * 100,
                share < 0.10 ? "" : "  MISSED");
#endif

    // The naive way: every row tried on every item. Its matches also check the index: the row
    // the index picks must fit, and the index must find a row whenever one fits, unless only
    // noise rows fit and a claimed key above holds them back.
    std::vector<ChangeClassifier> single;
    for (const ChangeRule& rule : kChangeRules) single.emplace_back(places, std::span(&rule, 1));
    const std::size_t sample = std::min(sampleCount, items.size());
    std::size_t wrong = 0, heldBack = 0;
    start = Now();
    for (std::size_t i = 0; i < sample; ++i) {
        const Classification picked = Classify(classifier, items[i]);
        bool pickedFits = picked.rule == nullptr, anyFits = false, onlyNoise = true;
        for (const ChangeClassifier& one : single) {
            const Classification fit = Classify(one, items[i]);
            if (fit.rule == nullptr) continue;
            anyFits = true;
            onlyNoise = onlyNoise && fit.category == ChangeCategory::Noise;
            pickedFits = pickedFits || fit.rule == picked.rule;
        }
        const bool held = anyFits && picked.rule == nullptr && onlyNoise;
        heldBack += held;
        if (!pickedFits || (anyFits != (picked.rule != nullptr) && !held)) {
            if (++wrong <= 5) std::printf("  WRONG: %s %s\n", items[i].path.c_str(), items[i].name.c_str());
        }
    }
    const double naive = Now() - start;
    std::printf(
        "  naive, every row tried: %zu items in %.3f s; %zu items would take %.1f s; "
        "%zu held back by a claim\n",
        sample, naive, kTargetItems, naive / sample * kTargetItems, heldBack);
    if (wrong != 0) std::printf("error: %zu items classified other than the rows that fit\n", wrong);
    return wrong == 0 && perTarget < kTargetSeconds ? 0 : 1;  // the findings' target is told above
}
