#pragma once

#include <algorithm>
#include <string_view>

// ASCII letters folded as the "C" locale folds them: only A-Z and a-z, so that the lead and
// trail bytes of UTF-8 sequences never match a letter and UTF-8 passes through untouched.

constexpr char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr bool IsAsciiLetter(char c) { return LowerAscii(c) >= 'a' && LowerAscii(c) <= 'z'; }

constexpr bool EqualAsciiNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}
