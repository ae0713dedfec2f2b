#include "text/text.h"

#include <windows.h>

#include <algorithm>

namespace {

// The "C" locale's tolower: only A-Z fold, so UTF-8 lead and trail bytes never match letters.
char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The conversion functions count in int. Pieces stay far enough below INT_MAX that even the
// longest output (three UTF-8 bytes per UTF-16 unit) fits.
constexpr std::size_t kNarrowPiece = std::size_t{1} << 30;
constexpr std::size_t kWidePiece = std::size_t{1} << 28;

// Length of the next piece of text, ended before a lead byte so that no UTF-8 sequence is cut.
std::size_t NextNarrowPiece(std::string_view text) {
    if (text.size() <= kNarrowPiece) {
        return text.size();
    }
    std::size_t n = kNarrowPiece;
    for (int i = 0; i < 3 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80; ++i) {
        --n;
    }
    return n;
}

// Length of the next piece of text, never splitting a surrogate pair.
std::size_t NextWidePiece(std::wstring_view text) {
    if (text.size() <= kWidePiece) {
        return text.size();
    }
    std::size_t n = kWidePiece;
    if (text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) {
        --n;
    }
    return n;
}

}  // namespace

std::size_t FindNoCase(std::string_view text, std::string_view pattern) {
    if (text.empty() || pattern.empty() || pattern.size() > text.size()) {
        return kNotFound;
    }
    const std::size_t last = text.size() - pattern.size();
    for (std::size_t at = 0; at <= last; ++at) {
        std::size_t i = 0;
        while (i < pattern.size() && FoldAscii(text[at + i]) == FoldAscii(pattern[i])) {
            ++i;
        }
        if (i == pattern.size()) {
            return at;
        }
    }
    return kNotFound;
}

std::string GetToken(std::string_view text, std::string_view separator, int index) {
    if (text.empty() || index < 0) {
        return {};
    }
    std::size_t pos = 0;
    for (int skipped = 0; skipped < index; ++skipped) {
        const std::size_t found = FindNoCase(text.substr(pos), separator);
        if (found == kNotFound) {
            return {};
        }
        pos += found + separator.size();
    }
    const std::string_view rest = text.substr(pos);
    std::size_t length = 0;
    while (length < rest.size() &&
           CompareNoCasePrefix(rest.substr(length), separator, separator.size()) != 0) {
        ++length;
    }
    return std::string(rest.substr(0, length));
}

void ReplaceOccurrence(std::string& text, std::string_view find, std::string_view replacement,
                       int count) {
    if (text.empty() || find.empty() || count < 0) {
        return;
    }
    // Built into a new string so that replacing every "%" of a long text stays linear.
    std::string result;
    bool changed = false;
    std::size_t copied = 0;  // text before this is already in result
    std::size_t searchFrom = 0;
    for (int occurrence = 1;; ++occurrence) {
        std::size_t found = FindNoCase(std::string_view(text).substr(searchFrom), find);
        if (found == kNotFound) {
            break;
        }
        found += searchFrom;
        searchFrom = found + find.size();
        if (count == 0 || occurrence == count) {
            result.append(text, copied, found - copied);
            result.append(replacement);
            copied = searchFrom;
            changed = true;
            if (count != 0) {
                break;
            }
        }
    }
    if (changed) {
        result.append(text, copied, std::string::npos);
        text = std::move(result);
    }
}

int CompareNoCasePrefix(std::string_view a, std::string_view b, std::size_t n) {
    const std::size_t limit = std::min<std::size_t>(n, 254);
    const std::string left(a.substr(0, limit));
    const std::string right(b.substr(0, limit));
    return lstrcmpiA(left.c_str(), right.c_str());
}

std::wstring WidenText(std::string_view text) {
    std::wstring wide;
    while (!text.empty()) {
        const std::size_t piece = NextNarrowPiece(text);
        const int length = static_cast<int>(piece);
        const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
        if (needed > 0) {
            const std::size_t at = wide.size();
            wide.resize(at + static_cast<std::size_t>(needed));
            const int written =
                MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data() + at, needed);
            wide.resize(at + static_cast<std::size_t>(std::max(written, 0)));
        }
        text.remove_prefix(piece);
    }
    return wide;
}

std::string NarrowText(std::wstring_view text) {
    std::string narrow;
    while (!text.empty()) {
        const std::size_t piece = NextWidePiece(text);
        const int length = static_cast<int>(piece);
        const int needed =
            WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
        if (needed > 0) {
            const std::size_t at = narrow.size();
            narrow.resize(at + static_cast<std::size_t>(needed));
            const int written = WideCharToMultiByte(CP_ACP, 0, text.data(), length,
                                                    narrow.data() + at, needed, nullptr, nullptr);
            narrow.resize(at + static_cast<std::size_t>(std::max(written, 0)));
        }
        text.remove_prefix(piece);
    }
    return narrow;
}
