// The text routines that ask the system: its case folding and its code-page conversions.

#include "text/text.h"

#include <windows.h>

#include <algorithm>

namespace {

// The conversion functions count in int. Pieces stay far enough below INT_MAX that even the
// longest output (three UTF-8 bytes per UTF-16 unit) fits.
constexpr std::size_t kNarrowPiece = std::size_t{1} << 30;
constexpr std::size_t kWidePiece = std::size_t{1} << 28;

}  // namespace

int CompareNoCasePrefix(std::string_view a, std::string_view b, std::size_t n) {
    const std::size_t limit = std::min<std::size_t>(n, 254);
    const std::string left(a.substr(0, limit));
    const std::string right(b.substr(0, limit));
    return lstrcmpiA(left.c_str(), right.c_str());
}

std::wstring WidenText(std::string_view text) {
    std::wstring wide;
    while (!text.empty()) {
        const std::size_t piece = NextNarrowPiece(text, kNarrowPiece);
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
        const std::size_t piece = NextWidePiece(text, kWidePiece);
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
