#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "snapshot/registry_value_text.h"
#include "win32/unique_handle.h"

// Everything the registry walker reads from the registry. Keys are opened for reading only.
// Names and data come from the wide functions, so names of any characters and lengths arrive
// whole; the walker turns them into the process code page.

// Opens path below parent with KEY_READ; "" opens a new handle to parent itself. An empty
// UniqueKey when the key cannot be opened (missing, access denied); status, when given,
// receives the system's code.
UniqueKey OpenRegistryKey(HKEY parent, const wchar_t* path, LSTATUS* status = nullptr);

enum class RegistryEntryKind { Subkeys, Values };

// The entry at one index of a key, as one enumeration call gives it. One object serves a whole
// walk: its buffers only grow, so enumerating costs no allocation once they are big enough.
struct RegistryEntryBuffer {
    std::wstring name;       // buffer; the name is its first nameLength characters, then a zero
    DWORD nameLength = 0;    // 0 for the default value of a key
    DWORD type = REG_NONE;   // values only
    std::vector<BYTE> data;  // buffer; the value's data is its first dataSize bytes
    DWORD dataSize = 0;

    std::wstring_view Name() const { return {name.data(), nameLength}; }
};

// Grows entry's buffers to the longest names and data the key reports, so that enumerating it
// usually needs one call an entry. Call once for each key before enumerating it.
void PrepareRegistryEntry(HKEY key, RegistryEntryBuffer& entry);

enum class RegistryEnumResult {
    Found,        // entry holds the name (and for values the type and data)
    NoMoreItems,  // index is past the last entry
    Failed,       // the key cannot be enumerated any further (deleted, access lost, no memory)
};

// The registry calls that enumeration makes. Tests put in their own to play a system that tells
// less than Wine does: Windows need not report a value's data size after a name that did not
// fit, and a key's sizes may be unreadable.
struct RegistryEnumCalls {
    decltype(&RegEnumKeyExW) enumKey = &RegEnumKeyExW;
    decltype(&RegEnumValueW) enumValue = &RegEnumValueW;
    decltype(&RegQueryInfoKeyW) queryInfoKey = &RegQueryInfoKeyW;
};

// Reads the subkey or value at index of key into entry. Buffers that prove too short, because
// an entry grew since PrepareRegistryEntry, are grown and the call is repeated, also where
// neither the key nor the call tells the sizes needed.
RegistryEnumResult EnumRegistryEntry(HKEY key, RegistryEntryKind kind, DWORD index,
                                     RegistryEntryBuffer& entry,
                                     const RegistryEnumCalls& calls = {});
