#include "tests/support/scratch_folder.h"

#include <windows.h>

#include "tests/support/dialog_driver.h"

namespace {

// Extended-length form, so that the helpers reach paths of any length.
std::wstring Extended(const std::string& path) {
    const std::wstring wide = Utf16(path);
    std::wstring full(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(GetFullPathNameW(wide.c_str(), DWORD(full.size()), full.data(), nullptr));
    return L"\\\\?\\" + full;
}

}  // namespace

ScratchFolder::ScratchFolder(const std::string& name, bool makeCurrent) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    path_ = Utf8(temp) + "qv-" + name;
    RemoveTree(path_);
    CreateDirectoryW(Utf16(path_).c_str(), nullptr);
    if (makeCurrent) {
        wchar_t current[MAX_PATH + 1];
        GetCurrentDirectoryW(MAX_PATH + 1, current);
        previous_ = Utf8(current);
        SetCurrentDirectoryW(Utf16(path_).c_str());
    }
}

ScratchFolder::~ScratchFolder() {
    if (!previous_.empty()) SetCurrentDirectoryW(Utf16(previous_).c_str());
    RemoveTree(path_);
}

bool PathExists(const std::string& path) {
    return GetFileAttributesW(Extended(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::string& path) {
    const std::wstring root = Extended(path);
    const DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        SetFileAttributesW(root.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(root.c_str())) RemoveDirectoryW(root.c_str());
        return;
    }
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((root + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(entry.cFileName, L".") && wcscmp(entry.cFileName, L"..")) {
                RemoveTree(path + "\\" + Utf8(entry.cFileName));
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(root.c_str());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(Extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string ReadWholeFile(const std::string& path) {
    HANDLE file = CreateFileW(Extended(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read) bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}
