#include "engine/known_places.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <string_view>

#include "text/text.h"
#include "win32/unique_handle.h"

namespace {

std::string WithoutTrailingBackslash(std::wstring_view path) {
    // A drive's root too: "C:\" becomes "C:", as the first segment of its paths reads.
    while (!path.empty() && path.back() == L'\\') path.remove_suffix(1);
    return NarrowText(path);
}

// Not verified: a folder that is missing or redirected to a share that is offline is still
// the place its entries would have.
std::string KnownFolder(REFKNOWNFOLDERID id) {
    UniqueCoTaskMem<PWSTR> path;
    if (FAILED(SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, nullptr, path.put()))) return {};
    return WithoutTrailingBackslash(path.get());
}

// A directory that the given call writes into a buffer of the given size, returning its length.
template <typename Call>
std::wstring BufferedPath(Call call) {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length >= buffer.size()) {
        buffer.assign(length + 1, L'\0');
        length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    }
    if (length == 0 || length >= buffer.size()) return {};
    buffer.resize(length);
    return buffer;
}

// The temp folder may come in short names (C:\Users\ALEXAN~1\...) when TEMP says so; the
// paths that Step #2 reports are long.
std::string TempFolder() {
    const std::wstring temp = BufferedPath([](wchar_t* b, DWORD n) { return GetTempPathW(n, b); });
    if (temp.empty()) return {};
    const std::wstring full =
        BufferedPath([&](wchar_t* b, DWORD n) { return GetLongPathNameW(temp.c_str(), b, n); });
    return WithoutTrailingBackslash(full.empty() ? temp : full);
}

}  // namespace

KnownPlaces ResolveKnownPlaces() {
    KnownPlaces places;
    places.windows = WithoutTrailingBackslash(
        BufferedPath([](wchar_t* b, DWORD n) { return GetWindowsDirectoryW(b, n); }));
    places.system = WithoutTrailingBackslash(
        BufferedPath([](wchar_t* b, DWORD n) { return GetSystemDirectoryW(b, n); }));
    places.programFiles = KnownFolder(FOLDERID_ProgramFilesX64);
    if (places.programFiles.empty()) places.programFiles = KnownFolder(FOLDERID_ProgramFiles);
    places.programFilesX86 = KnownFolder(FOLDERID_ProgramFilesX86);
    places.programData = KnownFolder(FOLDERID_ProgramData);
    places.profiles = KnownFolder(FOLDERID_UserProfiles);
    places.userProfile = KnownFolder(FOLDERID_Profile);
    places.userTemp = TempFolder();
    places.userStartMenu = KnownFolder(FOLDERID_StartMenu);
    places.userDesktop = KnownFolder(FOLDERID_Desktop);
    places.userStartup = KnownFolder(FOLDERID_Startup);
    places.commonStartMenu = KnownFolder(FOLDERID_CommonStartMenu);
    places.commonDesktop = KnownFolder(FOLDERID_PublicDesktop);
    places.commonStartup = KnownFolder(FOLDERID_CommonStartup);
    places.userAppData = KnownFolder(FOLDERID_RoamingAppData);
    places.userLocalAppData = KnownFolder(FOLDERID_LocalAppData);
    return places;
}
