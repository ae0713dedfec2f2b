// The code-page conversions for the native fuzz build, where the process code page is UTF-8:
// the reference converters stand in for the system's.

#include "fuzz/reference.h"
#include "text/text.h"

std::wstring WidenText(std::string_view text) {
    const std::u16string units = reference::Utf8ToUtf16(text, reference::Replacement::MaximalPart);
    return std::wstring(units.begin(), units.end());
}

// Natively wchar_t is wider; the program's wide texts hold UTF-16 units all the same.
std::string NarrowText(std::wstring_view text) {
    std::u16string units;
    for (wchar_t c : text) units += static_cast<char16_t>(c);
    return reference::Utf16ToUtf8(units);
}
