// ReadRegistryValueText against the reference written from its header.
//
// Input: the value's type as 4 little-endian bytes (fewer bytes: REG_SZ), then its data.

#include <cstddef>
#include <cstdint>

#include "fuzz/reference.h"
#include "snapshot/registry_value_text.h"

namespace {

std::string ExpectedText(DWORD type, const std::uint8_t* data, std::size_t size) {
    if (size == 0) return "";
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::u16string units;
        for (std::size_t i = 0; i + 1 < size; i += 2) {
            const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
            if (unit == 0) break;
            units += unit;
        }
        return reference::Utf16ToUtf8(units);
    }
    if (type == REG_DWORD && size == 4) {
        const std::uint32_t value =
            data[0] | (data[1] << 8) | (data[2] << 16) | (std::uint32_t{data[3]} << 24);
        return std::to_string(static_cast<std::int32_t>(value));
    }
    char head[16];
    if (type == REG_BINARY) {
        std::snprintf(head, sizeof head, "hex:");
    } else {
        std::snprintf(head, sizeof head, "hex(%x):", static_cast<unsigned>(type));
    }
    std::string text = head;
    for (std::size_t i = 0; i < size; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : ",%02x", data[i]);
        text += byte;
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    DWORD type = REG_SZ;
    if (size >= 4) {
        type = data[0] | (data[1] << 8) | (data[2] << 16) | (DWORD{data[3]} << 24);
        data += 4;
        size -= 4;
    }
    // A copy of exactly the data's size, so that reading past it is caught.
    const std::vector<std::uint8_t> value(data, data + size);
    std::string text = "left over";
    ReadRegistryValueText(type, value.data(), value.size(), text);
    const std::string expected = ExpectedText(type, value.data(), value.size());
    if (text != expected) {
        std::fprintf(stderr, "type %x: \"%s\", expected \"%s\"\n", static_cast<unsigned>(type),
                     reference::Printable(text).c_str(), reference::Printable(expected).c_str());
    }
    FUZZ_CHECK(text == expected);
    return 0;
}
