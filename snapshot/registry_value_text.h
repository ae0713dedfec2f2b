#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

// How a value's text stands for its data.
struct ValueTextForm {
    bool hex = false;    // the "hex:"/"hex(N):" form (also for no data at all: the empty text)
    bool exact = false;  // the data can be had back from the text, byte for byte
};

// Renders a value's data as the text of its line, replacing text:
// - REG_SZ, REG_EXPAND_SZ: the string as stored (references not expanded), when the text can
//   show it: the data is UTF-16 that ends at its first zero character, or runs to its end
//   without one, perhaps followed by one lone zero byte. Exact only with exactly one zero
//   character at the end. Data that runs on past the first zero character, an odd last byte
//   that is not zero, or a surrogate that pairs with nothing would be lost or blurred in text:
//   such a string takes the hex form of its type ("hex(1):61,00,00,00,62,00").
// - REG_DWORD of exactly 4 bytes: signed decimal, so 0xFFFFFFFF gives -1.
// - every other type, and a REG_DWORD of any other length: the bytes as registry export files
//   show them, "hex:" for REG_BINARY, else "hex(N):" with N the type in lower-case hex, then
//   two hex digits a byte separated by commas ("hex(7):61,00,00,00").
// - no data, of any type: empty.
// Pure data work: it needs only the types and constants of windows.h.
ValueTextForm ReadRegistryValueText(DWORD type, const void* data, std::size_t size,
                                    std::string& text);
