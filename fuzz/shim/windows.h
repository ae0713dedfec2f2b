#pragma once

// The few names of the system's header that the portable files use, so that the fuzz targets
// build them natively. Values as the system defines them.

#include <cstdint>

using DWORD = std::uint32_t;
using BYTE = unsigned char;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;
