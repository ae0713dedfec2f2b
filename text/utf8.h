#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8 read strictly (no overlong forms, no surrogates, nothing past U+10FFFF) and a bad byte
// at a time, so that each byte that starts no valid sequence stands for one U+FFFD; and written.

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

struct Utf8Char {
    char32_t codePoint = 0;
    std::size_t length = 0;  // 0: text[i] starts no valid sequence
};

// The character that starts text at i (i < text.size()).
constexpr Utf8Char DecodeUtf8(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    char32_t codePoint = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return {};
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) return {};
    for (std::size_t k = 1; k < length; ++k) {
        if (k > 1 && (byte(i + k) < 0x80 || byte(i + k) > 0xBF)) return {};
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    return {codePoint, length};
}

inline void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Hands put the UTF-16 code units of c: one, or a surrogate pair beyond U+FFFF.
template <typename Put>
void PutUtf16(char32_t c, Put put) {
    if (c < 0x10000) {
        put(static_cast<char16_t>(c));
        return;
    }
    put(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
    put(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
}
