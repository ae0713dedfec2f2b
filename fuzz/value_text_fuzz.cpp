// ReadRegistryValueText against the reference written from its header.
//
// Input: the value's type as 4 little-endian bytes (fewer bytes: REG_SZ), then its data.

#include <cstddef>
#include <cstdint>

#include "fuzz/reference.h"
#include "snapshot/registry_value_text.h"

namespace {

bool PairsEverySurrogate(const std::u16string& units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
        const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            ++i;
        } else if (high || low) {
            return false;
        }
    }
    return true;
}

std::string ExpectedText(DWORD type, const std::uint8_t* data, std::size_t size,
                         ValueTextForm& form) {
    form = {true, true};
    if (size == 0) return "";
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::u16string units;
        std::size_t i = 0;
        for (; i + 1 < size; i += 2) {
            const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
            if (unit == 0) break;
            units += unit;
        }
        // Text only when nothing is lost: after the string at most its zero character, or one
        // zero byte.
        const std::size_t rest = size - i;
        if (rest <= 2 && (rest != 1 || data[i] == 0) && PairsEverySurrogate(units)) {
            form = {false, rest == 2};
            return reference::Utf16ToUtf8(units);
        }
    }
    if (type == REG_DWORD && size == 4) {
        const std::uint32_t value =
            data[0] | (data[1] << 8) | (data[2] << 16) | (std::uint32_t{data[3]} << 24);
        form = {false, true};
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
    const ValueTextForm form = ReadRegistryValueText(type, value.data(), value.size(), text);
    ValueTextForm expectedForm;
    const std::string expected = ExpectedText(type, value.data(), value.size(), expectedForm);
    if (text != expected) {
        std::fprintf(stderr, "type %x: \"%s\", expected \"%s\"\n", static_cast<unsigned>(type),
                     reference::Printable(text).c_str(), reference::Printable(expected).c_str());
    }
    FUZZ_CHECK(text == expected);
    FUZZ_CHECK(form.hex == expectedForm.hex && form.exact == expectedForm.exact);
    return 0;
}
