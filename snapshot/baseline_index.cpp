#include "snapshot/baseline_index.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <random>
#include <vector>

#include "text/case_fold.h"

// The index keeps no copy of any key: a baseline may run to gigabytes and is already in memory
// once. Each table slot is one 64-bit word: the offset of a record in the text (40 bits, plus
// one so that 0 means empty), 23 bits of the key's hash, which spare nearly every comparison
// with a record that merely shares the slot, and the seen mark in the top bit. A key's length need
// not be stored, because a record key is always followed by a fixed terminator in the text (see
// KeyAt).

namespace {

constexpr int kOffsetBits = 40;
constexpr std::uint64_t kOffsetMask = (std::uint64_t{1} << kOffsetBits) - 1;
// The tag takes the hash's low bits: the slot number comes from its high bits.
constexpr std::uint64_t kTagMask = (std::uint64_t{1} << (63 - kOffsetBits)) - 1;
constexpr std::uint64_t kSeenBit = std::uint64_t{1} << 63;

std::uint64_t Load64(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::uint64_t Load32(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

struct Product {
    std::uint64_t lo, hi;
};

// The full 128-bit product: one instruction where the compiler has a 128-bit type.
Product Multiply(std::uint64_t a, std::uint64_t b) {
#if defined(__SIZEOF_INT128__)
    __extension__ typedef unsigned __int128 Wide;
    const Wide product = static_cast<Wide>(a) * b;
    return {static_cast<std::uint64_t>(product), static_cast<std::uint64_t>(product >> 64)};
#else
    const std::uint64_t aLo = a & 0xFFFFFFFFu, aHi = a >> 32;
    const std::uint64_t bLo = b & 0xFFFFFFFFu, bHi = b >> 32;
    const std::uint64_t ll = aLo * bLo, lh = aLo * bHi, hl = aHi * bLo, hh = aHi * bHi;
    const std::uint64_t mid = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
    return {(mid << 32) | (ll & 0xFFFFFFFFu), hh + (lh >> 32) + (hl >> 32) + (mid >> 32)};
#endif
}

// Both halves of the product folded together: the mixing step of the hash.
std::uint64_t MulFold(std::uint64_t a, std::uint64_t b) {
    const Product p = Multiply(a, b);
    return p.lo ^ p.hi;
}

// The hash's secret, drawn anew for every build: without it nobody can tell which names share
// a slot.
struct HashSeed {
    std::uint64_t k[4];
};

// One step of a counter-based generator: spreads a seed of any quality over the four words.
std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

HashSeed NewSeed() {
    // The system's random source where the library has one; the clock, an address and a count
    // in any case, so that two builds never share a seed even where the source is weak.
    static std::atomic<std::uint64_t> builds{0};
    std::uint64_t state =
        static_cast<std::uint64_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count()) ^
        reinterpret_cast<std::uintptr_t>(&state) ^
        (builds.fetch_add(1, std::memory_order_relaxed) << 48);
    try {
        std::random_device device;
        state ^= (std::uint64_t{device()} << 32) ^ device();
    } catch (...) {
        // No random source: the mixed clock and address still differ from run to run.
    }
    HashSeed seed;
    for (std::uint64_t& k : seed.k) k = SplitMix(state);
    return seed;
}

// The bytes of a key as the hash reads them, a word at a time: as they are, or folded where
// they are ASCII. AsciiFolded gathers the top bits of what it read, so that its caller knows
// whether the key was ASCII and the hash is that of its folded form.
struct ExactBytes {
    std::uint64_t operator()(std::uint64_t word) { return word; }
};
struct AsciiFolded {
    std::uint64_t read = 0;
    std::uint64_t operator()(std::uint64_t word) {
        read |= word;
        return FoldAscii8(word);
    }
};

// Sixteen bytes per multiply; paths are long and share long prefixes, so every byte counts
// in every block. Both factors of each product hold a secret word (the seed, or the state
// that grew from it), so no input word can be chosen to zero a product; and the state is
// added past the product, so even a zero product would not make it forget what came before.
template <typename Bytes>
std::uint64_t HashKey(std::string_view key, const HashSeed& seed, Bytes& bytes) {
    const char* p = key.data();
    std::size_t n = key.size();
    std::uint64_t h = seed.k[0] ^ static_cast<std::uint64_t>(n);
    while (n > 16) {
        h += MulFold(bytes(Load64(p)) ^ seed.k[1], bytes(Load64(p + 8)) ^ h);
        p += 16;
        n -= 16;
    }
    // The last 1 to 16 bytes, read as two possibly overlapping words; the length is already
    // in h, so overlapping reads stay unambiguous.
    std::uint64_t a = 0, b = 0;
    if (n >= 8) {
        a = Load64(p);
        b = Load64(p + n - 8);
    } else if (n >= 4) {
        a = Load32(p);
        b = Load32(p + n - 4);
    } else if (n > 0) {
        a = (std::uint64_t{static_cast<unsigned char>(p[0])} << 16) |
            (std::uint64_t{static_cast<unsigned char>(p[n / 2])} << 8) |
            static_cast<unsigned char>(p[n - 1]);
    }
    h += MulFold(bytes(a) ^ seed.k[2], bytes(b) ^ h);
    return MulFold(h ^ seed.k[3], static_cast<std::uint64_t>(key.size()) ^ seed.k[0]);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Records end at CR LF; no key can hold one.
bool HoldsCrLf(std::string_view s) {
    for (std::size_t i = 1; i < s.size(); ++i) {
        const void* lf = std::memchr(s.data() + i, '\n', s.size() - i);
        if (lf == nullptr) {
            return false;
        }
        i = static_cast<std::size_t>(static_cast<const char*>(lf) - s.data());
        if (s[i - 1] == '\r') {
            return true;
        }
    }
    return false;
}

// Calls visit(offset, record) for every record of text, in order, while it returns true: the
// CR LF pairs at joins (positions of their CR, ascending) do not end a record. False when visit
// stopped the walk.
template <typename Visit>
bool ForEachRecord(std::string_view text, const std::vector<std::size_t>& joins, Visit visit) {
    std::size_t start = 0;
    std::size_t from = 0;
    auto join = joins.begin();
    while (from < text.size()) {
        const void* lf = std::memchr(text.data() + from, '\n', text.size() - from);
        if (lf == nullptr) {
            break;
        }
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lf) - text.data());
        from = at + 1;
        if (at > start && text[at - 1] == '\r') {
            while (join != joins.end() && *join < at - 1) {
                ++join;
            }
            if (join != joins.end() && *join == at - 1) {
                continue;
            }
            if (!visit(start, text.substr(start, at - 1 - start))) {
                return false;
            }
            start = from;
        }
    }
    return start == text.size() || visit(start, text.substr(start));
}

}  // namespace

struct BaselineIndex::Impl {
    std::string_view text;
    Kind kind = Kind::Records;
    std::vector<std::size_t> joins;  // Lines: CR LF pairs that do not end a line
    std::vector<std::uint64_t> slots;
    std::size_t keys = 0;
    HashSeed seed{};
    Shape shape;

    // Keys equal without regard to case share a hash: it is taken over their folded form. An
    // ASCII key, nearly every one, is folded as the hash reads it, without a copy; a key with
    // other bytes is hashed again over its folded copy, which may differ in length.
    std::uint64_t Hash(std::string_view key) const {
        AsciiFolded ascii;
        const std::uint64_t hash = HashKey(key, seed, ascii);
        if ((ascii.read & kNonAsciiBits) == 0) {
            return hash;
        }
        thread_local std::string folded;
        folded.clear();
        AppendFolded(folded, key);
        ExactBytes exact;
        return HashKey(folded, seed, exact);
    }

    bool EndsRecordAt(std::size_t at) const {
        return at == text.size() ||
               (at + 1 < text.size() && text[at] == '\r' && text[at + 1] == '\n' &&
                (joins.empty() || !std::binary_search(joins.begin(), joins.end(), at)));
    }

    // Whether key is the key of the record that starts at offset. A record key is followed
    // by the record's end (Records, Lines) or by ",<decimal>" and the record's end (FilePaths).
    // Only a line's key may hold CR LF, and only where its line does; for the other kinds the
    // caller has made sure that key holds none, so the match cannot run into a later record.
    // Keys compare as Windows compares names, but for their last exactTail bytes (a registry
    // value's text), which compare exactly; sameBytes tells whether the record's key is key
    // byte for byte.
    bool KeyAt(std::size_t offset, std::string_view key, std::size_t exactTail = 0,
               bool* sameBytes = nullptr) const {
        if (sameBytes != nullptr) *sameBytes = true;
        if (key.size() > text.size() - offset ||
            (!key.empty() && std::memcmp(text.data() + offset, key.data(), key.size()) != 0)) {
            if (sameBytes != nullptr) *sameBytes = false;
            return FoldedKeyAt(offset, key, exactTail);
        }
        return ExactKeyAt(offset, key);
    }

    bool ExactKeyAt(std::size_t offset, std::string_view key) const {
        std::size_t at = offset + key.size();
        if (kind == Kind::Lines && !JoinsOnly(offset, key)) {
            return false;
        }
        if (kind != Kind::FilePaths) {
            return EndsRecordAt(at);
        }
        if (at == text.size() || text[at] != ',') {
            return false;
        }
        // Indexed records end in a digit, so reaching the record's end proves the number.
        ++at;
        if (at < text.size() && text[at] == '-') {
            ++at;
        }
        while (at < text.size() && IsDigit(text[at])) {
            ++at;
        }
        return EndsRecordAt(at);
    }

    // The key of the record that starts at offset, as KeyOf gives it.
    std::string_view RecordKeyAt(std::size_t offset) const {
        std::size_t end = offset;
        for (;;) {
            end = text.find("\r\n", end);
            if (end == std::string_view::npos) {
                end = text.size();
                break;
            }
            if (kind != Kind::Lines || !std::binary_search(joins.begin(), joins.end(), end)) break;
            end += 2;
        }
        std::string_view recordKey;
        if (!KeyOf(text.substr(offset, end - offset), recordKey)) return {};
        return recordKey;
    }

    // The record's key equal to key without regard to case, but for their last exactTail bytes.
    bool FoldedKeyAt(std::size_t offset, std::string_view key, std::size_t exactTail) const {
        const std::string_view candidate = RecordKeyAt(offset);
        if (candidate.data() == nullptr || exactTail > key.size() || exactTail > candidate.size()) {
            return false;
        }
        return candidate.substr(candidate.size() - exactTail) == key.substr(key.size() - exactTail) &&
               EqualNoCase(candidate.substr(0, candidate.size() - exactTail),
                           key.substr(0, key.size() - exactTail));
    }

    // Whether every CR LF of key, matched at offset, stands inside a line of the text.
    bool JoinsOnly(std::size_t offset, std::string_view key) const {
        for (std::size_t i = key.find("\r\n"); i != std::string_view::npos;
             i = key.find("\r\n", i + 2)) {
            if (!std::binary_search(joins.begin(), joins.end(), offset + i)) {
                return false;
            }
        }
        return true;
    }

    // The high half of hash * size maps the hash onto the table without a power-of-two size.
    std::size_t Home(std::uint64_t hash) const {
        return static_cast<std::size_t>(Multiply(hash, slots.size()).hi);
    }

    // The slot that holds key, or else the empty slot where it belongs; the search starts at
    // the key's home slot.
    std::size_t Probe(std::string_view key, std::uint64_t hash, std::size_t exactTail = 0,
                      bool* sameBytes = nullptr) const {
        return ProbeFrom(Home(hash), key, hash, exactTail, sameBytes);
    }

    std::size_t ProbeFrom(std::size_t i, std::string_view key, std::uint64_t hash,
                          std::size_t exactTail = 0, bool* sameBytes = nullptr) const {
        const std::uint64_t tag = hash & kTagMask;
        for (;;) {
            const std::uint64_t slot = slots[i];
            if (slot == 0) {
                return i;
            }
            if (((slot >> kOffsetBits) & kTagMask) == tag &&
                KeyAt((slot & kOffsetMask) - 1, key, exactTail, sameBytes)) {
                return i;
            }
            if (++i == slots.size()) {
                i = 0;
            }
        }
    }

    // The key of a record, or false when a file record lacks its ",<decimal>" ending.
    bool KeyOf(std::string_view record, std::string_view& key) const {
        if (kind != Kind::FilePaths) {
            key = record;
            return true;
        }
        std::size_t at = record.size();
        while (at > 0 && IsDigit(record[at - 1])) {
            --at;
        }
        if (at == record.size()) {
            return false;
        }
        if (at > 0 && record[at - 1] == '-') {
            --at;
        }
        if (at == 0 || record[at - 1] != ',') {
            return false;
        }
        key = record.substr(0, at - 1);
        return true;
    }

    // The slot holding key, or null when the text holds no such key. Records end at CR LF, so no
    // key but a line holds one.
    std::uint64_t* SlotOf(std::string_view key, std::size_t exactTail = 0,
                          bool* sameBytes = nullptr) {
        if (slots.empty() || (kind != Kind::Lines && HoldsCrLf(key))) {
            return nullptr;
        }
        std::uint64_t& slot = slots[Probe(key, Hash(key), exactTail, sameBytes)];
        return slot != 0 ? &slot : nullptr;
    }

    static std::size_t RecordOf(std::uint64_t slot) {
        return static_cast<std::size_t>(slot & kOffsetMask) - 1;
    }

    // Inserts key unless it is there; returns the length of its probe chain.
    std::size_t Insert(std::size_t offset, std::string_view key) {
        const std::uint64_t hash = Hash(key);
        const std::size_t home = Home(hash);
        const std::size_t i = ProbeFrom(home, key, hash);
        if (slots[i] == 0) {
            slots[i] = ((hash & kTagMask) << kOffsetBits) | (offset + 1);
            ++keys;
        }
        return (i >= home ? i - home : i + slots.size() - home) + 1;
    }

    // Fills the table with a new seed. False when a chain grew past maxProbes; the table is
    // then partly filled.
    bool Fill(std::size_t maxProbes) {
        seed = NewSeed();
        if (shape.seeds != 0) {
            std::fill(slots.begin(), slots.end(), 0);
        }
        keys = 0;
        ++shape.seeds;
        shape.longestChain = 0;
        return ForEachRecord(text, joins, [&](std::size_t offset, std::string_view record) {
            std::string_view key;
            if (!KeyOf(record, key)) {
                return true;
            }
            shape.longestChain = std::max(shape.longestChain, Insert(offset, key));
            return shape.longestChain <= maxProbes;
        });
    }
};

BaselineIndex::~BaselineIndex() { delete impl_; }

bool BaselineIndex::Build(std::string_view text, Kind kind, std::vector<std::size_t> joins) {
    delete impl_;
    impl_ = nullptr;
    // The slot's offset field bounds the text; no machine holds a terabyte baseline in memory.
    if (text.size() >= kOffsetMask) {
        return false;
    }
    try {
        auto impl = new Impl;
        impl_ = impl;
        impl->text = text;
        impl->kind = kind;
        if (kind == Kind::Lines) {
            impl->joins = std::move(joins);
        }
        std::size_t records = 0;
        ForEachRecord(text, impl->joins,
                      [&](std::size_t, std::string_view) { return ++records != 0; });

        if (records == 0) {
            return true;
        }
        // Load stays at most 0.7; an exact size rather than a power of two keeps the table small.
        impl->slots.resize(records + records * 3 / 7 + 1);
        for (int seed = 1; seed < kMaxSeeds; ++seed) {
            if (impl->Fill(maxProbes_)) {
                return true;
            }
        }
        // Keys that share a chain past the limit under several random seeds collide in full;
        // any table serves them alike.
        impl->Fill(std::numeric_limits<std::size_t>::max());
        return true;
    } catch (const std::bad_alloc&) {
        delete impl_;
        impl_ = nullptr;
        return false;
    }
}

bool BaselineIndex::Contains(std::string_view key, std::size_t exactTail) const {
    return impl_ != nullptr && impl_->SlotOf(key, exactTail) != nullptr;
}

bool BaselineIndex::Find(std::string_view key, std::size_t* firstRecord) const {
    Match match;
    if (!Find(key, 0, match)) {
        return false;
    }
    *firstRecord = match.record;
    return true;
}

bool BaselineIndex::Find(std::string_view key, std::size_t exactTail, Match& match) const {
    const std::uint64_t* slot =
        impl_ != nullptr ? impl_->SlotOf(key, exactTail, &match.sameBytes) : nullptr;
    if (slot == nullptr) {
        return false;
    }
    match.record = Impl::RecordOf(*slot);
    return true;
}

bool BaselineIndex::MarkSeen(std::string_view key, std::size_t* firstRecord) {
    Match match;
    if (!MarkSeen(key, 0, match)) {
        return false;
    }
    if (firstRecord != nullptr) {
        *firstRecord = match.record;
    }
    return true;
}

bool BaselineIndex::MarkSeen(std::string_view key, std::size_t exactTail, Match& match) {
    std::uint64_t* slot = impl_ != nullptr ? impl_->SlotOf(key, exactTail, &match.sameBytes) : nullptr;
    if (slot == nullptr) {
        return false;
    }
    *slot |= kSeenBit;
    match.record = Impl::RecordOf(*slot);
    return true;
}

void BaselineIndex::ForEachUnseen(
    const std::function<void(std::size_t offset, std::string_view record)>& visit) const {
    if (impl_ == nullptr || impl_->slots.empty()) {
        return;
    }
    ForEachRecord(impl_->text, impl_->joins, [&](std::size_t offset, std::string_view record) {
        std::string_view key;
        if (!impl_->KeyOf(record, key)) {
            return true;
        }
        const std::uint64_t slot = impl_->slots[impl_->Probe(key, impl_->Hash(key))];
        // A key met again later in the text is reported at its first record only.
        if ((slot & kSeenBit) == 0 && Impl::RecordOf(slot) == offset) {
            visit(offset, record);
        }
        return true;
    });
}

bool BaselineIndex::MarkSeenLine(std::string_view line, std::string_view nextLineStart,
                                 std::size_t exactTail, Match* match) {
    Match ignored;
    Match& found = match != nullptr ? *match : ignored;
    if (impl_ != nullptr && impl_->kind == Kind::Lines) {
        return MarkSeen(line, exactTail, found);
    }
    // A line of one record compares as a key does; the pieces of a longer one (its text holds
    // CR LF) compare exactly.
    const std::size_t firstEnd = line.find("\r\n");
    const bool single = firstEnd == std::string_view::npos;
    found.sameBytes = true;
    std::uint64_t* first =
        impl_ != nullptr
            ? impl_->SlotOf(line.substr(0, firstEnd), single ? exactTail : 0, &found.sameBytes)
            : nullptr;
    if (first == nullptr) {
        return false;
    }
    const std::string_view text = impl_->text;
    const std::size_t record = Impl::RecordOf(*first);
    found.record = record;
    std::size_t end = record + line.size();
    if (single) {
        end = record + impl_->RecordKeyAt(record).size();
    } else if (!found.sameBytes || text.compare(record, line.size(), line) != 0) {
        return false;
    }
    if (end != text.size() && end + 2 != text.size() &&
        (text.compare(end, 2, "\r\n") != 0 ||
         text.compare(end + 2, nextLineStart.size(), nextLineStart) != 0)) {
        return false;
    }
    // The first piece is in hand; only a value text's later pieces are looked up.
    *first |= kSeenBit;
    for (std::size_t start = firstEnd; start != std::string_view::npos;) {
        start += 2;
        const std::size_t pieceEnd = line.find("\r\n", start);
        MarkSeen(line.substr(start, pieceEnd - start));
        start = pieceEnd;
    }
    return true;
}

std::string_view BaselineIndex::Text() const {
    return impl_ == nullptr ? std::string_view() : impl_->text;
}

std::size_t BaselineIndex::Size() const { return impl_ == nullptr ? 0 : impl_->keys; }

BaselineIndex::Shape BaselineIndex::TableShape() const {
    return impl_ == nullptr ? Shape{} : impl_->shape;
}

std::size_t CountLineFeeds(std::string_view text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}
