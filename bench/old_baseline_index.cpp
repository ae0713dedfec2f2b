// The baseline index as it was before its hash was seeded, kept for the index benchmark only:
// the same table, but the unseeded hash that a flood of chosen names defeats.

#include "bench/old_baseline_index.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

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

// Odd constants from the fractional digits of the golden ratio, pi, e and sqrt(2).
constexpr std::uint64_t kK0 = 0x9E3779B97F4A7C15u;
constexpr std::uint64_t kK1 = 0x243F6A8885A308D3u;
constexpr std::uint64_t kK2 = 0xB7E151628AED2A6Bu;
constexpr std::uint64_t kK3 = 0x6A09E667F3BCC909u;

// Sixteen bytes per multiply; paths are long and share long prefixes, so every byte counts
// in every block.
std::uint64_t HashKey(std::string_view key) {
    const char* p = key.data();
    std::size_t n = key.size();
    std::uint64_t h = kK0 ^ static_cast<std::uint64_t>(n);
    while (n > 16) {
        h = MulFold(Load64(p) ^ kK1, Load64(p + 8) ^ h);
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
    h = MulFold(a ^ kK2, b ^ h ^ kK1);
    return MulFold(h ^ kK3, static_cast<std::uint64_t>(key.size()) ^ kK0);
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

// Calls visit(offset, record) for every record of text, in order.
template <typename Visit>
void ForEachRecord(std::string_view text, Visit visit) {
    std::size_t start = 0;
    std::size_t from = 0;
    while (from < text.size()) {
        const void* lf = std::memchr(text.data() + from, '\n', text.size() - from);
        if (lf == nullptr) {
            break;
        }
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lf) - text.data());
        from = at + 1;
        if (at > start && text[at - 1] == '\r') {
            visit(start, text.substr(start, at - 1 - start));
            start = from;
        }
    }
    if (start < text.size()) {
        visit(start, text.substr(start));
    }
}

}  // namespace

struct OldBaselineIndex::Impl {
    std::string_view text;
    Kind kind = Kind::Records;
    std::vector<std::uint64_t> slots;
    std::size_t keys = 0;

    bool EndsRecordAt(std::size_t at) const {
        return at == text.size() ||
               (at + 1 < text.size() && text[at] == '\r' && text[at + 1] == '\n');
    }

    // Whether key is the key of the record that starts at offset. A record key is followed
    // by the record's end (Records) or by ",<decimal>" and the record's end (FilePaths); the
    // caller has made sure that key holds no CR LF, so the match cannot run into a later record.
    bool KeyAt(std::size_t offset, std::string_view key) const {
        if (key.size() > text.size() - offset ||
            (!key.empty() && std::memcmp(text.data() + offset, key.data(), key.size()) != 0)) {
            return false;
        }
        std::size_t at = offset + key.size();
        if (kind == Kind::Records) {
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

    // The slot that holds key, or else the empty slot where it belongs.
    std::size_t Probe(std::string_view key, std::uint64_t hash) const {
        const std::uint64_t tag = hash & kTagMask;
        // The high half of hash * size maps the hash onto the table without a power-of-two size.
        std::size_t i = static_cast<std::size_t>(Multiply(hash, slots.size()).hi);
        for (;;) {
            const std::uint64_t slot = slots[i];
            if (slot == 0) {
                return i;
            }
            if (((slot >> kOffsetBits) & kTagMask) == tag && KeyAt((slot & kOffsetMask) - 1, key)) {
                return i;
            }
            if (++i == slots.size()) {
                i = 0;
            }
        }
    }

    // The key of a record, or false when a file record lacks its ",<decimal>" ending.
    bool KeyOf(std::string_view record, std::string_view& key) const {
        if (kind == Kind::Records) {
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

    void Insert(std::size_t offset, std::string_view key) {
        const std::uint64_t hash = HashKey(key);
        const std::size_t i = Probe(key, hash);
        if (slots[i] == 0) {
            slots[i] = ((hash & kTagMask) << kOffsetBits) | (offset + 1);
            ++keys;
        }
    }
};

OldBaselineIndex::~OldBaselineIndex() { delete impl_; }

bool OldBaselineIndex::Build(std::string_view text, Kind kind) {
    delete impl_;
    impl_ = nullptr;
    // The slot's offset field bounds the text; no machine holds a terabyte baseline in memory.
    if (text.size() >= kOffsetMask) {
        return false;
    }
    try {
        std::size_t records = 0;
        ForEachRecord(text, [&](std::size_t, std::string_view) { ++records; });

        auto impl = new Impl;
        impl_ = impl;
        impl->text = text;
        impl->kind = kind;
        if (records == 0) {
            return true;
        }
        // Load stays at most 0.7; an exact size rather than a power of two keeps the table small.
        impl->slots.assign(records + records * 3 / 7 + 1, 0);
        ForEachRecord(text, [&](std::size_t offset, std::string_view record) {
            std::string_view key;
            if (impl->KeyOf(record, key)) {
                impl->Insert(offset, key);
            }
        });
        return true;
    } catch (const std::bad_alloc&) {
        delete impl_;
        impl_ = nullptr;
        return false;
    }
}

bool OldBaselineIndex::Contains(std::string_view key) const {
    if (impl_ == nullptr || impl_->slots.empty() || HoldsCrLf(key)) {
        return false;
    }
    return impl_->slots[impl_->Probe(key, HashKey(key))] != 0;
}

std::size_t OldBaselineIndex::Size() const { return impl_ == nullptr ? 0 : impl_->keys; }

std::uint64_t OldHashKey(std::string_view key) { return HashKey(key); }
