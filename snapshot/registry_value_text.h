#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Renders a value's data as the text of its line, replacing text:
// - REG_SZ, REG_EXPAND_SZ: the string as stored (references not expanded), up to its first
//   zero character or the end of the data; a dangling odd byte is half a character and is
//   dropped.
// - REG_DWORD of exactly 4 bytes: signed decimal, so 0xFFFFFFFF gives -1.
// - every other type, and a REG_DWORD of any other length: the bytes as registry export files
//   show them, "hex:" for REG_BINARY, else "hex(N):" with N the type in lower-case hex, then
//   two hex digits a byte separated by commas ("hex(7):61,00,00,00").
// - no data, of any type: empty.
// Pure data work: it needs only the types and constants of windows.h.
void ReadRegistryValueText(DWORD type, const void* data, std::size_t size, std::string& text);
