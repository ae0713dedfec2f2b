// Times the baseline index: builds and lookups of ordinary baselines against the index as it
// was before its hash was seeded and against a reserved std::unordered_set<std::string_view>,
// the bytes it holds a record (and whether the seen marks of a comparison add any), and a flood
// of names made to collide under the old hash against ordinary names of the same length.
//
//   index_bench [--records N] [--flood N] [--old-flood N] [--rounds N]
//
// --records  file records of the ordinary baseline (default 2,000,000; registry lines: half)
// --flood    names of the flood (default 100,000)
// --old-flood names of the flood that the old index builds (default 40,000: it is quadratic)
// --rounds   how many times each build runs (default 5); the best time counts.
//
// Plain C++ without Windows calls: tools/bench --only index runs it under Wine, and with
// --native builds and runs it natively.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include "bench/native_support.h"
#include "bench/old_baseline_index.h"
#include "snapshot/baseline_index.h"

// Every allocation is counted, so that the bytes an index holds are measured, not worked out.
namespace {

std::size_t g_heldBytes = 0;
constexpr std::size_t kHeader = 16;  // keeps the blocks as aligned as malloc's
}  // namespace

void* operator new(std::size_t size) {
    auto* block = static_cast<std::size_t*>(std::malloc(size + kHeader));
    if (block == nullptr) throw std::bad_alloc();
    *block = size;
    g_heldBytes += size;
    return reinterpret_cast<char*>(block) + kHeader;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    auto* block = reinterpret_cast<std::size_t*>(static_cast<char*>(p) - kHeader);
    g_heldBytes -= *block;
    std::free(block);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using bench::Now;
using bench::ParseCount;
using bench::Random;

using Kind = BaselineIndex::Kind;

// A baseline and the keys of its records, in text order.
struct Baseline {
    std::string text;
    std::vector<std::string_view> keys;
    std::vector<std::string> absent;  // keys that are not in it, as many as it has
};

constexpr const char* kPieces[] = {"data",   "report", "config", "img",    "setup", "x",
                                   "lib",    "core",   "win",    "cache",  "2024",  "user",
                                   "v1.2",   "module", "backup", "tmp",    "Doc",   "log",
                                   "Final",  "q",      "Thumbs", "(1)",    "ui",    "archive",
                                   "Common", "Files",  "Vendor", "Office", "x64",   "en-US"};
constexpr const char* kExtensions[] = {".txt", ".dll", ".exe", ".jpg", ".dat",
                                       "",     ".xml", ".h",   ".cpp", ".png"};

template <typename T, std::size_t N>
const T& Pick(const T (&table)[N], Random& random) {
    return table[random.Below(N)];
}

// Paths as a program and documents tree has them: folders of about twenty files, a few levels
// deep, names of pieces and numbers.
void FillKeys(Baseline& baseline, Kind kind, std::size_t records) {
    Random random{20240611};
    std::string folder;
    std::vector<std::size_t> keyEnds;
    for (std::size_t r = 0; r < records; ++r) {
        if (r % 20 == 0) {
            folder = kind == Kind::FilePaths ? "C:" : "HKEY_LOCAL_MACHINE\\SOFTWARE";
            const std::size_t depth = 1 + random.Below(6);
            for (std::size_t d = 0; d < depth; ++d) {
                folder += '\\';
                folder += Pick(kPieces, random);
                folder += Pick(kPieces, random);
            }
        }
        const std::size_t start = baseline.text.size();
        baseline.text += folder;
        baseline.text += '\\';
        baseline.text += Pick(kPieces, random);
        baseline.text += std::to_string(r);
        if (kind == Kind::FilePaths) {
            baseline.text += Pick(kExtensions, random);
            keyEnds.push_back(baseline.text.size() - start);
            baseline.text += ',';
            baseline.text += std::to_string(random.Below(1u << 24));
        } else {
            baseline.text += '=';
            baseline.text += std::to_string(random.Below(100000));
            keyEnds.push_back(baseline.text.size() - start);
        }
        baseline.text += "\r\n";
    }
    // Views only once the text stops moving.
    std::size_t at = 0;
    for (std::size_t end : keyEnds) {
        baseline.keys.push_back(std::string_view(baseline.text).substr(at, end));
        at = baseline.text.find("\r\n", at) + 2;
    }
    for (std::string_view key : baseline.keys) {
        std::string miss(key);
        miss[miss.size() / 2] ^= 0x20;  // differs inside, not only at the end
        baseline.absent.push_back(miss + "~");
    }
}

Baseline MakeBaseline(Kind kind, std::size_t records) {
    Baseline baseline;
    FillKeys(baseline, kind, records);
    return baseline;
}

// The old hash multiplied the first word of each 16-byte block, and of the last one, by a
// constant of its own; a last block whose second word cancels the state that the first block
// left zeroes the product. So every 32-byte name "C:\Data\" + 8 chosen bytes + any 8 bytes + 8
// bytes worked out from the chosen ones hashed alike. The search for chosen bytes that make the
// worked-out ones printable takes a few thousand tries.
constexpr std::uint64_t kOldK0 = 0x9E3779B97F4A7C15u;
constexpr std::uint64_t kOldK1 = 0x243F6A8885A308D3u;

std::uint64_t OldMulFold(std::uint64_t a, std::uint64_t b) {
    __extension__ typedef unsigned __int128 Wide;
    const Wide product = static_cast<Wide>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

std::uint64_t Load64(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Letters and digits, which any file system takes in a name.
constexpr std::string_view kNameChars =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool IsNameChar(char c) { return kNameChars.find(c) != std::string_view::npos; }

std::string Encode(std::size_t number, std::size_t width) {
    std::string s(width, '0');
    for (std::size_t i = width; i-- > 0; number /= kNameChars.size()) {
        s[i] = kNameChars[number % kNameChars.size()];
    }
    return s;
}

Baseline OldHashFlood(std::size_t names) {
    Random random{7};
    std::string head, tail(8, '\0');
    for (bool found = false; !found;) {
        head = "C:\\Data\\";
        for (int i = 0; i < 8; ++i) head += kNameChars[random.Below(kNameChars.size())];
        const std::uint64_t state =
            OldMulFold(Load64(head.data()) ^ kOldK1, Load64(head.data() + 8) ^ (kOldK0 ^ 32));
        const std::uint64_t cancel = state ^ kOldK1;
        std::memcpy(tail.data(), &cancel, 8);
        found = std::all_of(tail.begin(), tail.end(), IsNameChar);
    }
    Baseline flood;
    for (std::size_t i = 0; i < names; ++i) {
        flood.text += head + Encode(i, 8) + tail + ",1\r\n";
    }
    for (std::size_t i = 0; i < names; ++i) {
        flood.keys.push_back(std::string_view(flood.text).substr(i * 36, 32));
        flood.absent.push_back(head + Encode(i + names, 8) + tail);
    }
    if (OldHashKey(flood.keys.front()) != OldHashKey(flood.keys.back())) {
        std::printf("error: the flood's names do not collide under the old hash\n");
        std::exit(1);
    }
    return flood;
}

// Names of the same length as the flood's, of random letters and digits.
Baseline OrdinaryNames(std::size_t names) {
    Random random{11};
    Baseline ordinary;
    for (std::size_t i = 0; i < names; ++i) {
        ordinary.text += "C:\\Data\\";
        for (int c = 0; c < 24; ++c) ordinary.text += kNameChars[random.Below(kNameChars.size())];
        ordinary.text += ",1\r\n";
    }
    for (std::size_t i = 0; i < names; ++i) {
        ordinary.keys.push_back(std::string_view(ordinary.text).substr(i * 36, 32));
        ordinary.absent.push_back("C:\\Data\\" + Encode(i, 24));
    }
    return ordinary;
}

struct Figures {
    double build = 0;   // best seconds
    double lookup = 0;  // best seconds for every key and as many absent ones
    std::size_t bytes = 0;
    std::size_t found = 0;
    BaselineIndex::Shape shape;
};

// The keys of the records as the reference set takes them: the same framing of the text.
void InsertKeys(std::unordered_set<std::string_view>& set, std::string_view text, Kind kind) {
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view record = text.substr(start, end - start);
        if (kind == Kind::FilePaths) record = record.substr(0, record.rfind(','));
        set.insert(record);
        start = end + 2;
    }
}

template <typename Index>
Figures Measure(const Baseline& baseline, Kind kind, int rounds) {
    Figures f;
    f.build = f.lookup = 1e30;
    for (int round = 0; round < rounds; ++round) {
        const std::size_t before = g_heldBytes;
        const double t0 = Now();
        Index index;
        if constexpr (std::is_same_v<Index, std::unordered_set<std::string_view>>) {
            index.reserve(baseline.keys.size());
            InsertKeys(index, baseline.text, kind);
        } else {
            if (!index.Build(baseline.text, kind)) {
                std::printf("error: out of memory\n");
                std::exit(1);
            }
        }
        const double t1 = Now();
        f.bytes = g_heldBytes - before;
        std::size_t found = 0;
        for (std::string_view key : baseline.keys) found += index.count(key);
        for (const std::string& key : baseline.absent) found += index.count(key);
        const double t2 = Now();
        f.found = found;
        f.build = std::min(f.build, t1 - t0);
        f.lookup = std::min(f.lookup, t2 - t1);
        if constexpr (std::is_base_of_v<BaselineIndex, Index>) f.shape = index.TableShape();
    }
    return f;
}

// The best times of two measures of the same thing.
Figures Better(Figures a, const Figures& b) {
    a.build = std::min(a.build, b.build);
    a.lookup = std::min(a.lookup, b.lookup);
    return a;
}

// The indexes answer count() as the set does, so that one loop measures all three.
struct NewIndex : BaselineIndex {
    std::size_t count(std::string_view key) const { return Contains(key) ? 1 : 0; }
};
struct OldIndex : OldBaselineIndex {
    std::size_t count(std::string_view key) const { return Contains(key) ? 1 : 0; }
};

void Row(const char* what, const Figures& f, std::size_t records, const Figures& reference) {
    std::printf("  %-26s build %7.1f ns/record (%.2f)  lookup %6.1f ns/key (%.2f)  %5.1f B/record",
                what, f.build / records * 1e9, f.build / reference.build,
                f.lookup / (2 * records) * 1e9, f.lookup / reference.lookup,
                static_cast<double>(f.bytes) / records);
    std::printf(f.shape.seeds != 0 ? "  chain %zu, seeds %d\n" : "\n", f.shape.longestChain,
                f.shape.seeds);
}

// The seen marks of a comparison: every key but each tenth marked seen, the bytes the index
// holds counted after its build and again after the marks, and the keys left unmarked visited.
bool SeenMarks(const Baseline& baseline, Kind kind) {
    const std::size_t n = baseline.keys.size();
    const std::size_t before = g_heldBytes;
    BaselineIndex index;
    if (!index.Build(baseline.text, kind)) {
        std::printf("error: out of memory\n");
        std::exit(1);
    }
    const std::size_t built = g_heldBytes - before;
    std::size_t marked = 0, left = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i % 10 == 0) {
            ++left;
        } else if (index.MarkSeen(baseline.keys[i])) {
            ++marked;
        }
    }
    const std::size_t withMarks = g_heldBytes - before;
    std::size_t unseen = 0;
    index.ForEachUnseen([&](std::size_t, std::string_view) { ++unseen; });
    const double extra =
        (static_cast<double>(withMarks) - static_cast<double>(built)) / static_cast<double>(n);
    const bool met = extra <= 2;
    std::printf(
        "  seen marks: %zu keys marked, the index holds %.1f B/record before and %.1f after: "
        "%+.1f B/record (at most 2: %s); %zu unmarked visited (expected %zu)\n",
        marked, static_cast<double>(built) / n, static_cast<double>(withMarks) / n, extra,
        met ? "met" : "MISSED", unseen, left);
    return marked == n - left && unseen == left && met;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t records = 2000000, floodNames = 100000, oldFloodNames = 40000, rounds = 5;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        std::size_t* target = option == "--records"     ? &records
                              : option == "--flood"     ? &floodNames
                              : option == "--old-flood" ? &oldFloodNames
                              : option == "--rounds"    ? &rounds
                                                        : nullptr;
        if (target == nullptr || i + 1 == argc || !ParseCount(argv[++i], *target) || *target == 0) {
            std::printf(
                "usage: index_bench [--records N] [--flood N] [--old-flood N] "
                "[--rounds N]\n");
            return 2;
        }
    }
    const int r = static_cast<int>(rounds);
    int status = 0;

    std::printf(
        "Ordinary baselines: best of %d builds, old and new index in turn; lookups of every key "
        "and as many absent ones. (ratio) is to the old index.\n",
        r);
    for (const Kind kind : {Kind::FilePaths, Kind::Records}) {
        const std::size_t n = kind == Kind::FilePaths ? records : records / 2;
        const Baseline baseline = MakeBaseline(kind, n);
        std::printf("%s: %zu records, %.1f MiB, %.0f bytes a record\n",
                    kind == Kind::FilePaths ? "File records" : "Registry lines", n,
                    baseline.text.size() / 1048576.0,
                    static_cast<double>(baseline.text.size()) / n);
        // Rounds of the two indexes interleave, so that load from elsewhere strikes both alike.
        Figures old = Measure<OldIndex>(baseline, kind, 1);
        Figures now = Measure<NewIndex>(baseline, kind, 1);
        for (int round = 1; round < r; ++round) {
            old = Better(old, Measure<OldIndex>(baseline, kind, 1));
            now = Better(now, Measure<NewIndex>(baseline, kind, 1));
        }
        const Figures set = Measure<std::unordered_set<std::string_view>>(baseline, kind, r);
        Row("old index (unseeded hash)", old, n, old);
        Row("index", now, n, old);
        Row("unordered_set, reserved", set, n, old);
        std::printf("  index build against unordered_set: %.2f\n", now.build / set.build);
        if (!SeenMarks(baseline, kind)) status = 1;
        if (now.found != n || old.found != n || set.found != n) {
            std::printf("error: the indexes found %zu, %zu and %zu of %zu keys\n", now.found,
                        old.found, set.found, n);
            status = 1;
        }
    }

    std::printf(
        "\nFlood: %zu names that collide under the old hash against ordinary names of "
        "the same length (32 bytes)\n",
        floodNames);
    const Baseline flood = OldHashFlood(floodNames);
    const Baseline ordinary = OrdinaryNames(floodNames);
    Figures floodNow = Measure<NewIndex>(flood, Kind::FilePaths, 1);
    Figures ordinaryNow = Measure<NewIndex>(ordinary, Kind::FilePaths, 1);
    for (int round = 1; round < r; ++round) {
        floodNow = Better(floodNow, Measure<NewIndex>(flood, Kind::FilePaths, 1));
        ordinaryNow = Better(ordinaryNow, Measure<NewIndex>(ordinary, Kind::FilePaths, 1));
    }
    Row("index, ordinary names", ordinaryNow, floodNames, ordinaryNow);
    Row("index, flood", floodNow, floodNames, ordinaryNow);
    std::printf("  flood against ordinary names: build %.2f (target at most 2)\n",
                floodNow.build / ordinaryNow.build);
    if (floodNow.found != floodNames || ordinaryNow.found != floodNames) status = 1;

    const Baseline oldFlood = OldHashFlood(oldFloodNames);
    const Baseline oldOrdinary = OrdinaryNames(oldFloodNames);
    const Figures oldOnFlood = Measure<OldIndex>(oldFlood, Kind::FilePaths, 1);
    const Figures oldOnOrdinary = Measure<OldIndex>(oldOrdinary, Kind::FilePaths, 1);
    std::printf("  old index, %zu names: ordinary %.2f ms, flood %.0f ms (%.0f times)\n",
                oldFloodNames, oldOnOrdinary.build * 1e3, oldOnFlood.build * 1e3,
                oldOnFlood.build / oldOnOrdinary.build);
    return status;
}
