#include "text/case_fold.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// Code units first, first + stride, ... (count of them) map to themselves plus delta, modulo
// 0x10000; every other code unit maps to itself.
struct UpcaseRow {
    std::uint16_t first, count, delta, stride;
};

constexpr UpcaseRow kUpcaseRows[] = {
#include "text/case_table.inc"
};

constexpr unsigned LastOf(const UpcaseRow& row) {
    return row.first + (row.count - 1u) * row.stride;
}

// What the lookup and the fast paths take for granted of the table: rows in order, none inside
// another; ASCII mapped only a-z to A-Z, as FoldAscii8 does; no other code unit mapped into
// ASCII or between a surrogate and anything else, so that the folded form of UTF-8 is UTF-8 of
// the same shape (a "\" only where one was, an ASCII byte only for an ASCII byte).
constexpr bool TableFitsTheCode() {
    for (std::size_t i = 0; i < std::size(kUpcaseRows); ++i) {
        const UpcaseRow& row = kUpcaseRows[i];
        if (row.count == 0 || (row.stride != 1 && row.stride != 2) || LastOf(row) > 0xFFFF ||
            (i > 0 && LastOf(kUpcaseRows[i - 1]) >= row.first)) {
            return false;
        }
        if (row.first < 0x80 && (row.first != 'a' || row.count != 26 || row.stride != 1 ||
                                 row.delta != 0x10000 - ('a' - 'A'))) {
            return false;
        }
        for (unsigned u = row.first; row.first >= 0x80 && u <= LastOf(row); u += row.stride) {
            const unsigned upper = (u + row.delta) & 0xFFFF;
            if (upper < 0x80 || (u >= 0xD800 && u <= 0xDFFF) ||
                (upper >= 0xD800 && upper <= 0xDFFF)) {
                return false;
            }
        }
    }
    return true;
}
static_assert(TableFitsTheCode(), "text/case_table.inc breaks what the folding takes for granted");

char32_t Upcase(char32_t unit) {
    const UpcaseRow* row =
        std::upper_bound(std::begin(kUpcaseRows), std::end(kUpcaseRows), unit,
                         [](char32_t u, const UpcaseRow& r) { return u < r.first; });
    if (row == std::begin(kUpcaseRows)) return unit;
    --row;
    const char32_t offset = unit - row->first;
    if (offset % row->stride != 0 || offset / row->stride >= row->count) return unit;
    return (unit + row->delta) & 0xFFFF;
}

char UpcaseAscii(unsigned char c) {
    return static_cast<char>(static_cast<unsigned>(c - 'a') < 26u ? c - ('a' - 'A') : c);
}

std::uint64_t Load64(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// What one piece of a name compares as: a BMP character by its upper case (below 0x10000), a
// character beyond the BMP by itself, a byte outside any well-formed sequence by itself apart
// from both (0x110000 up).
constexpr char32_t kStrayByte = 0x110000;

// The piece of s at i, which moves past it. s[i] is not ASCII.
char32_t NextPiece(std::string_view s, std::size_t& i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char lead = at(0);
    // The length of the sequence the lead byte starts, and the range of its second byte
    // (Unicode's table of well-formed UTF-8: no overlong forms, surrogates or values past
    // U+10FFFF).
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    }
    bool wellFormed = length != 0 && s.size() - i >= length && at(1) >= low && at(1) <= high;
    for (std::size_t k = 2; wellFormed && k < length; ++k) wellFormed = (at(k) & 0xC0) == 0x80;
    if (!wellFormed) {
        ++i;
        return kStrayByte + lead;
    }
    char32_t c = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (at(k) & 0x3F);
    i += length;
    return c < 0x10000 ? Upcase(c) : c;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (c & 0x3F));
}

}  // namespace

bool EqualNoCase(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    for (;;) {
        // Names are mostly ASCII: eight bytes of each at a time while they are.
        while (a.size() - i >= 8 && b.size() - j >= 8) {
            const std::uint64_t x = Load64(a.data() + i), y = Load64(b.data() + j);
            if (((x | y) & kNonAsciiBits) != 0) break;
            if (x != y && FoldAscii8(x) != FoldAscii8(y)) return false;
            i += 8;
            j += 8;
        }
        if (i == a.size() || j == b.size()) return i == a.size() && j == b.size();
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[j]);
        if ((x | y) < 0x80) {
            if (UpcaseAscii(x) != UpcaseAscii(y)) return false;
            ++i;
            ++j;
        } else if (x < 0x80 || y < 0x80) {
            return false;  // an ASCII character against a piece that folds to none
        } else if (NextPiece(a, i) != NextPiece(b, j)) {
            return false;
        }
    }
}

void AppendFolded(std::string& out, std::string_view utf8) {
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        if (n - i >= 8) {
            const std::uint64_t word = Load64(utf8.data() + i);
            if ((word & kNonAsciiBits) == 0) {
                const std::uint64_t folded = FoldAscii8(word);
                char bytes[8];
                std::memcpy(bytes, &folded, sizeof bytes);
                out.append(bytes, sizeof bytes);
                i += 8;
                continue;
            }
        }
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += UpcaseAscii(c);
            ++i;
            continue;
        }
        const std::size_t start = i;
        const char32_t piece = NextPiece(utf8, i);
        if (piece < 0x10000) {
            AppendUtf8(out, piece);
        } else {
            out.append(utf8.substr(start, i - start));  // as it is
        }
    }
}
