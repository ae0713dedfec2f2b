#pragma once

#include <cstdint>
#include <string>

// What the system tells of a run: the time, the computer, the user, a file's time.

// Now, as FILETIME (100 ns since 1601-01-01 UTC).
std::uint64_t NowFileTime();
// A FILETIME as local time, "2026-12-09 14:47:45"; "unknown" for 0 or a time out of range.
std::string LocalTimeText(std::uint64_t fileTime);
// The computer's DNS host name; "unknown" when it cannot be told.
std::string ComputerName();
// The string form of the SID of the user this process runs as; empty when it cannot be told.
std::string CurrentUserSid();
// When the named file was last written (FILETIME), 0 when that cannot be told.
std::uint64_t LastWriteTime(const char* name);
