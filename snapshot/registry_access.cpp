#include "snapshot/registry_access.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "text/text.h"

namespace {

// Smallest buffers: most names and data fit, so most keys never grow them.
constexpr std::size_t kMinNameChars = 256;
constexpr std::size_t kMinDataBytes = 256;
// Value names are at most 16,383 characters; a buffer of twice that is never outgrown.
constexpr std::size_t kMaxNameChars = 32768;
// An entry that keeps outgrowing its buffers (a value rewritten ever larger while we read it)
// is given up after this many tries.
constexpr int kMaxAttempts = 8;

bool GrowName(RegistryEntryBuffer& entry, std::size_t chars) {
    chars = std::min(std::max(chars, kMinNameChars), kMaxNameChars);
    if (entry.name.size() >= chars) return false;
    entry.name.resize(chars);
    return true;
}

bool GrowData(RegistryEntryBuffer& entry, std::size_t bytes) {
    bytes = std::min<std::size_t>(std::max(bytes, kMinDataBytes), MAXDWORD);
    if (entry.data.size() >= bytes) return false;
    entry.data.resize(bytes);
    return true;
}

struct KeySizes {
    DWORD maxSubkeyName = 0;  // characters, without the terminator
    DWORD maxValueName = 0;   // characters, without the terminator
    DWORD maxValueData = 0;   // bytes
};

KeySizes QueryKeySizes(HKEY key) {
    KeySizes sizes;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &sizes.maxSubkeyName, nullptr,
                         nullptr, &sizes.maxValueName, &sizes.maxValueData, nullptr,
                         nullptr) != ERROR_SUCCESS) {
        return {};
    }
    return sizes;
}

// After ERROR_MORE_DATA: grows to what the key now reports and to the size the call asked
// for; when neither is larger (the name was the one too short, and the key's sizes lag
// behind), doubles both.
void GrowAfterMoreData(HKEY key, RegistryEntryKind kind, DWORD wantedData,
                       RegistryEntryBuffer& entry) {
    const KeySizes sizes = QueryKeySizes(key);
    const DWORD wantedName =
        kind == RegistryEntryKind::Subkeys ? sizes.maxSubkeyName : sizes.maxValueName;
    bool grew = GrowName(entry, std::size_t{wantedName} + 1);
    if (kind == RegistryEntryKind::Values) {
        grew |= GrowData(entry, std::max(wantedData, sizes.maxValueData));
    }
    if (!grew) {
        GrowName(entry, entry.name.size() * 2);
        if (kind == RegistryEntryKind::Values) GrowData(entry, entry.data.size() * 2);
    }
}

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

}  // namespace

RegistryKey OpenRegistryKey(HKEY parent, const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    return RegistryKey(key);
}

void PrepareRegistryEntry(HKEY key, RegistryEntryBuffer& entry) {
    const KeySizes sizes = QueryKeySizes(key);
    try {
        GrowName(entry, std::size_t{std::max(sizes.maxSubkeyName, sizes.maxValueName)} + 1);
        GrowData(entry, sizes.maxValueData);
    } catch (const std::bad_alloc&) {
        // Enumeration grows again as far as it needs, and fails there if it must.
    }
}

RegistryEnumResult EnumRegistryEntry(HKEY key, RegistryEntryKind kind, DWORD index,
                                     RegistryEntryBuffer& entry) {
    try {
        GrowName(entry, kMinNameChars);
        if (kind == RegistryEntryKind::Values) GrowData(entry, kMinDataBytes);
        for (int attempt = 1;; ++attempt) {
            DWORD nameLength = static_cast<DWORD>(entry.name.size());
            DWORD dataSize = static_cast<DWORD>(entry.data.size());
            LSTATUS status;
            if (kind == RegistryEntryKind::Subkeys) {
                status = RegEnumKeyExW(key, index, entry.name.data(), &nameLength, nullptr, nullptr,
                                       nullptr, nullptr);
            } else {
                status = RegEnumValueW(key, index, entry.name.data(), &nameLength, nullptr,
                                       &entry.type, entry.data.data(), &dataSize);
            }
            if (status == ERROR_SUCCESS) {
                entry.nameLength = std::min(nameLength, static_cast<DWORD>(entry.name.size() - 1));
                entry.name[entry.nameLength] = L'\0';
                if (kind == RegistryEntryKind::Subkeys) {
                    entry.type = REG_NONE;
                    entry.dataSize = 0;
                } else {
                    entry.dataSize = std::min(dataSize, static_cast<DWORD>(entry.data.size()));
                }
                return RegistryEnumResult::Found;
            }
            if (status == ERROR_NO_MORE_ITEMS) return RegistryEnumResult::NoMoreItems;
            if (status != ERROR_MORE_DATA || attempt == kMaxAttempts) {
                return RegistryEnumResult::Failed;
            }
            GrowAfterMoreData(key, kind, dataSize, entry);
        }
    } catch (const std::bad_alloc&) {
        return RegistryEnumResult::Failed;
    }
}

void ReadRegistryValueText(DWORD type, const void* data, std::size_t size, std::string& text) {
    text.clear();
    if (size == 0 || data == nullptr) return;
    const auto* bytes = static_cast<const unsigned char*>(data);
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            std::wstring chars(size / sizeof(wchar_t), L'\0');
            std::memcpy(chars.data(), bytes, chars.size() * sizeof(wchar_t));
            const std::size_t end = chars.find(L'\0');
            if (end != std::wstring::npos) chars.resize(end);
            text = NarrowText(chars);
            return;
        }
        case REG_DWORD:
            if (size == sizeof(DWORD)) {
                DWORD value;
                std::memcpy(&value, bytes, sizeof value);
                text = std::to_string(static_cast<int>(value));
                return;
            }
            break;
        default: break;
    }
    FormatHexBytes(type, bytes, size, text);
}
