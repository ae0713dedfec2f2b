#include "snapshot/registry_access.h"

#include <algorithm>
#include <new>

namespace {

// Smallest buffers: most names and data fit, so most keys never grow them.
constexpr std::size_t kMinNameChars = 256;
constexpr std::size_t kMinDataBytes = 256;
// Value names are at most 16,383 characters; a buffer of twice that is never outgrown.
constexpr std::size_t kMaxNameChars = 32768;
// An entry that keeps outgrowing the sizes the system reports (a value rewritten ever larger
// while we read it) is given up after this many of them. Doubling needs no such limit: it soon
// reaches the largest buffers.
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

// False when the key's sizes cannot be read; sizes are then all 0.
bool QueryKeySizes(const RegistryEnumCalls& calls, HKEY key, KeySizes& sizes) {
    sizes = {};
    if (calls.queryInfoKey(key, nullptr, nullptr, nullptr, nullptr, &sizes.maxSubkeyName, nullptr,
                           nullptr, &sizes.maxValueName, &sizes.maxValueData, nullptr,
                           nullptr) == ERROR_SUCCESS) {
        return true;
    }
    sizes = {};
    return false;
}

enum class Growth {
    None,     // the buffers are at their largest
    ToSizes,  // to sizes the system gave, or the name to its largest
    Doubled,  // a guess, for lack of sizes
};

// After ERROR_MORE_DATA: grows to what the key now reports and to the data size the call asked
// for. When the key's sizes are unknown, the name grows straight to its largest, as a call need
// not report the data size after a name that did not fit. When none of that helps (the key's
// sizes lag behind, or the data size went unreported), the buffers double until they fit.
Growth GrowAfterMoreData(const RegistryEnumCalls& calls, HKEY key, RegistryEntryKind kind,
                         DWORD wantedData, RegistryEntryBuffer& entry) {
    const bool values = kind == RegistryEntryKind::Values;
    KeySizes sizes;
    const bool known = QueryKeySizes(calls, key, sizes);
    const DWORD wantedName = values ? sizes.maxValueName : sizes.maxSubkeyName;
    bool grew = GrowName(entry, known ? std::size_t{wantedName} + 1 : kMaxNameChars);
    if (values) grew |= GrowData(entry, std::max(wantedData, sizes.maxValueData));
    if (grew) return Growth::ToSizes;
    grew = GrowName(entry, entry.name.size() * 2);
    if (values) grew |= GrowData(entry, entry.data.size() * 2);
    return grew ? Growth::Doubled : Growth::None;
}

}  // namespace

UniqueKey OpenRegistryKey(HKEY parent, const wchar_t* path, LSTATUS* status) {
    HKEY key = nullptr;
    const LSTATUS opened = RegOpenKeyExW(parent, path, 0, KEY_READ, &key);
    if (status != nullptr) *status = opened;
    if (opened != ERROR_SUCCESS) return {};
    return UniqueKey(key);
}

void PrepareRegistryEntry(HKEY key, RegistryEntryBuffer& entry) {
    KeySizes sizes;
    QueryKeySizes(RegistryEnumCalls{}, key, sizes);
    try {
        GrowName(entry, std::size_t{std::max(sizes.maxSubkeyName, sizes.maxValueName)} + 1);
        GrowData(entry, sizes.maxValueData);
    } catch (const std::bad_alloc&) {
        // Enumeration grows again as far as it needs, and fails there if it must.
    }
}

RegistryEnumResult EnumRegistryEntry(HKEY key, RegistryEntryKind kind, DWORD index,
                                     RegistryEntryBuffer& entry, const RegistryEnumCalls& calls) {
    try {
        GrowName(entry, kMinNameChars);
        if (kind == RegistryEntryKind::Values) GrowData(entry, kMinDataBytes);
        for (int toSizes = 0;;) {
            DWORD nameLength = static_cast<DWORD>(entry.name.size());
            DWORD dataSize = static_cast<DWORD>(entry.data.size());
            LSTATUS status;
            if (kind == RegistryEntryKind::Subkeys) {
                status = calls.enumKey(key, index, entry.name.data(), &nameLength, nullptr, nullptr,
                                       nullptr, nullptr);
            } else {
                status = calls.enumValue(key, index, entry.name.data(), &nameLength, nullptr,
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
            if (status != ERROR_MORE_DATA) return RegistryEnumResult::Failed;
            const Growth growth = GrowAfterMoreData(calls, key, kind, dataSize, entry);
            if (growth == Growth::None ||
                (growth == Growth::ToSizes && ++toSizes == kMaxAttempts)) {
                return RegistryEnumResult::Failed;
            }
        }
    } catch (const std::bad_alloc&) {
        return RegistryEnumResult::Failed;
    }
}
