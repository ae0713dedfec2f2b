#include "snapshot/registry_value_text.h"

#include <cstring>

#include "text/text.h"

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void FormatHexBytes(DWORD type, const unsigned char* bytes, std::size_t size, std::string& text) {
    if (type == REG_BINARY) {
        text = "hex:";
    } else {
        text = "hex(";
        char digits[8];
        int count = 0;
        do {
            digits[count++] = kHexDigits[type & 0xF];
            type >>= 4;
        } while (type != 0);
        while (count > 0) text += digits[--count];
        text += "):";
    }
    text.reserve(text.size() + size * 3);
    for (std::size_t i = 0; i < size; ++i) {
        if (i != 0) text += ',';
        text += kHexDigits[bytes[i] >> 4];
        text += kHexDigits[bytes[i] & 0xF];
    }
}

// The string of a REG_SZ or REG_EXPAND_SZ as text, when text can show it; false when not.
bool StringAsText(const unsigned char* bytes, std::size_t size, std::string& text, bool& exact) {
    if (StringTextLosesData(bytes, size)) return false;
    // Little-endian UTF-16 units, assembled rather than copied so that the rendering is the
    // same on a platform with another wchar_t.
    std::wstring chars;
    chars.reserve(size / 2);
    std::size_t at = 0;
    for (; at + 1 < size; at += 2) {
        const wchar_t unit = static_cast<wchar_t>(bytes[at] | (bytes[at + 1] << 8));
        if (unit == L'\0') break;
        chars += unit;
    }
    text = NarrowText(chars);
    exact = size - at == 2;  // exactly one zero character at its end
    return true;
}

}  // namespace

ValueTextForm ReadRegistryValueText(DWORD type, const void* data, std::size_t size,
                                    std::string& text) {
    text.clear();
    if (size == 0 || data == nullptr) return {true, true};
    const auto* bytes = static_cast<const unsigned char*>(data);
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            bool exact = false;
            if (StringAsText(bytes, size, text, exact)) return {false, exact};
            break;
        }
        case REG_DWORD:
            if (size == sizeof(DWORD)) {
                DWORD value;
                std::memcpy(&value, bytes, sizeof value);
                text = std::to_string(static_cast<int>(value));
                return {false, true};
            }
            break;
        default: break;
    }
    FormatHexBytes(type, bytes, size, text);
    return {true, true};
}
