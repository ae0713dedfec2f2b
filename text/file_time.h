#pragma once

#include <windows.h>

#include <cstdint>

// A FILETIME (100 ns since 1601-01-01 UTC) as one number, and back.
inline std::uint64_t FileTimeValue(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
inline FILETIME FileTimeOf(std::uint64_t value) {
    return {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}
