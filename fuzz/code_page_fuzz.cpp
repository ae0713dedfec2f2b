// Conversion in pieces against one whole conversion, both ways, for either way a converter may
// replace ill-formed input: pieces must convert as they would within the whole text.
//
// Input: the piece limit, a mode byte (bit 0: UTF-16 to UTF-8; bit 1: one replacement per
// byte), then the text (for UTF-16, little-endian units).

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/reference.h"
#include "text/text.h"

namespace {

void CheckNarrowPieces(std::string_view text, std::size_t limit,
                       reference::Replacement replacement) {
    std::u16string pieces;
    for (std::string_view rest = text; !rest.empty();) {
        const std::size_t piece = NextNarrowPiece(rest, limit);
        FUZZ_CHECK(piece > 0 && piece <= std::min(limit, rest.size()));
        FUZZ_CHECK(rest.size() > limit || piece == rest.size());
        pieces += reference::Utf8ToUtf16(rest.substr(0, piece), replacement);
        rest.remove_prefix(piece);
    }
    if (pieces != reference::Utf8ToUtf16(text, replacement)) {
        std::fprintf(stderr, "limit %zu: %s\n", limit, reference::Printable(text).c_str());
    }
    FUZZ_CHECK(pieces == reference::Utf8ToUtf16(text, replacement));
}

void CheckWidePieces(std::u16string_view units, std::size_t limit) {
    const std::wstring text(units.begin(), units.end());
    std::string pieces;
    for (std::wstring_view rest = text; !rest.empty();) {
        const std::size_t piece = NextWidePiece(rest, limit);
        FUZZ_CHECK(piece > 0 && piece <= std::min(limit, rest.size()));
        FUZZ_CHECK(rest.size() > limit || piece == rest.size());
        pieces += reference::Utf16ToUtf8(units.substr(text.size() - rest.size(), piece));
        rest.remove_prefix(piece);
    }
    FUZZ_CHECK(pieces == reference::Utf16ToUtf8(units));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const unsigned mode = data[1];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    if ((mode & 1) == 0) {
        // Below four bytes a piece cannot hold every character.
        const std::size_t limit = 4 + data[0] % 61;
        CheckNarrowPieces(bytes, limit,
                          (mode & 2) != 0 ? reference::Replacement::EachByte
                                          : reference::Replacement::MaximalPart);
    } else {
        const std::size_t limit = 2 + data[0] % 63;
        std::u16string units;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
        CheckWidePieces(units, limit);
    }
    return 0;
}
