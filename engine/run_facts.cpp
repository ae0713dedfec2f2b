#include "engine/run_facts.h"

#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <iterator>
#include <vector>

#include "text/file_time.h"
#include "text/text.h"
#include "win32/unique_handle.h"

std::uint64_t NowFileTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FileTimeValue(now);
}

std::string LocalTimeText(std::uint64_t fileTime) {
    const FILETIME utc = FileTimeOf(fileTime);
    FILETIME local;
    SYSTEMTIME parts;
    if (fileTime == 0 || !FileTimeToLocalFileTime(&utc, &local) ||
        !FileTimeToSystemTime(&local, &parts)) {
        return "unknown";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", parts.wYear, parts.wMonth,
                  parts.wDay, parts.wHour, parts.wMinute, parts.wSecond);
    return text;
}

std::string ComputerName() {
    wchar_t name[256];
    DWORD length = static_cast<DWORD>(std::size(name));
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &length)) return "unknown";
    return NarrowText(std::wstring_view(name, length));
}

std::string CurrentUserSid() {
    UniqueToken token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    UniqueLocal<wchar_t*> text;
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid,
                                text.put())) {
        return {};
    }
    return NarrowText(text.get());
}

std::uint64_t LastWriteTime(const char* name) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(name, GetFileExInfoStandard, &data)) return 0;
    return FileTimeValue(data.ftLastWriteTime);
}
