#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Unsigned LEB128 numbers, as the program's own binary files hold them: seven bits a byte, the
// low bits first, the top bit set on every byte but the last.

inline void AppendLeb128(std::string& out, std::uint64_t number) {
    while (number >= 0x80) {
        out += static_cast<char>((number & 0x7F) | 0x80);
        number >>= 7;
    }
    out += static_cast<char>(number);
}

enum class Leb128Read { Done, Short, TooLong };

// Reads the number at bytes[at], and moves at past it when it is whole. Short: the bytes end
// within it; TooLong: it runs past 64 bits.
inline Leb128Read ReadLeb128(std::string_view bytes, std::size_t& at, std::uint64_t& number) {
    number = 0;
    for (std::size_t i = at, shift = 0; shift < 64; ++i, shift += 7) {
        if (i == bytes.size()) return Leb128Read::Short;
        const auto byte = static_cast<unsigned char>(bytes[i]);
        number |= std::uint64_t{byte & 0x7Fu} << shift;
        if ((byte & 0x80) == 0) {
            at = i + 1;
            return Leb128Read::Done;
        }
    }
    return Leb128Read::TooLong;
}
