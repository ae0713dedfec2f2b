#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "snapshot/unique_handle.h"

// Everything the registry walker reads from the registry. Keys are opened for reading only.
// Names and data come from the wide functions, so names of any characters and lengths arrive
// whole; the walker turns them into the process code page.

struct RegistryKeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};

using RegistryKey = UniqueHandle<RegistryKeyTraits>;

// Opens path below parent with KEY_READ; "" opens a new handle to parent itself. An empty
// RegistryKey when the key cannot be opened (missing, access denied).
RegistryKey OpenRegistryKey(HKEY parent, const wchar_t* path);

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

// Reads the subkey or value at index of key into entry. Buffers that prove too short, because
// an entry grew since PrepareRegistryEntry, are grown and the call is repeated.
RegistryEnumResult EnumRegistryEntry(HKEY key, RegistryEntryKind kind, DWORD index,
                                     RegistryEntryBuffer& entry);

// Renders a value's data as the text of its line, replacing text:
// - REG_SZ, REG_EXPAND_SZ: the string as stored (references not expanded), up to its first
//   zero character or the end of the data; a dangling odd byte is half a character and is
//   dropped.
// - REG_DWORD of exactly 4 bytes: signed decimal, so 0xFFFFFFFF gives -1.
// - every other type, and a REG_DWORD of any other length: the bytes as registry export files
//   show them, "hex:" for REG_BINARY, else "hex(N):" with N the type in lower-case hex, then
//   two hex digits a byte separated by commas ("hex(7):61,00,00,00").
// - no data, of any type: empty.
void ReadRegistryValueText(DWORD type, const void* data, std::size_t size, std::string& text);
