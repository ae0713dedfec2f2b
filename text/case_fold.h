#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Names compared as Windows compares them without regard to letter case (CompareStringOrdinal
// ignoring case, as NTFS and the registry do): each UTF-16 code unit is upper-cased through the
// system's table, one unit for one (text/case_table.inc), and the units compare ordinally, so a
// character beyond the BMP (a surrogate pair) compares exactly. The strings are UTF-8, as
// WideCharToMultiByte gave them; a byte that is not part of a well-formed UTF-8 sequence
// compares exactly, byte for byte. Plain C++.

// Whether a and b are one name: exactly when their folded forms are equal.
bool EqualNoCase(std::string_view a, std::string_view b);

// Appends the folded form of utf8: every character of the BMP upper-cased, in UTF-8, which may
// take more or fewer bytes than the original (U+0250 ɐ takes two, its upper case U+2C6F three);
// every other byte as it is. A "\" stays a "\", and a name's folded form is the folded forms of
// its parts on either side of any "\" put together.
void AppendFolded(std::string& out, std::string_view utf8);

// The top bit of each byte of a word: a word of ASCII bytes has none of them.
inline constexpr std::uint64_t kNonAsciiBits = 0x8080808080808080u;

// Eight ASCII bytes of a word folded at once (a-z to A-Z), as AppendFolded folds them. Only for
// words without kNonAsciiBits.
constexpr std::uint64_t FoldAscii8(std::uint64_t word) {
    constexpr std::uint64_t ones = 0x0101010101010101u;
    // A byte below 0x80 plus 0x1F reaches 0x80 from 'a' on, plus 0x05 from past 'z' on; no sum
    // carries into the next byte.
    const std::uint64_t fromA = word + ones * (0x80 - 'a');
    const std::uint64_t pastZ = word + ones * (0x80 - 'z' - 1);
    const std::uint64_t lower = fromA & ~pastZ & kNonAsciiBits;
    return word - (lower >> 2);  // 0x80 >> 2 is the 0x20 between a and A
}
