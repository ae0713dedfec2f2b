#include "tests/support/scratch_tree.h"

#include <windows.h>
#include <winioctl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

// Deliberately independent of the program's own path code, so that a fault there cannot hide
// behind the same fault in the helpers that check it.

namespace scratch {

std::wstring Utf16(std::string_view text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), length);
    return wide;
}

std::string Utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string narrow(length, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}

}  // namespace scratch

namespace {

using scratch::Utf16;
using scratch::Utf8;

bool StartsWith(std::wstring_view text, std::wstring_view start) {
    return text.substr(0, start.size()) == start;
}

std::wstring Extended(std::string_view path) {
    const std::wstring wide = Utf16(path);
    if (StartsWith(wide, L"\\\\?\\")) return wide;
    std::wstring full(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(GetFullPathNameW(wide.c_str(), DWORD(full.size()), full.data(), nullptr));
    if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// Creates every missing folder of an extended-length path, top down.
bool MakeFolders(const std::wstring& folder) {
    std::size_t at = folder.find(L'\\', 7);  // past "\\?\C:\"
    while (true) {
        const std::wstring part = folder.substr(0, at);
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            const DWORD attributes = GetFileAttributesW(part.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                return false;
            }
        }
        if (at == std::wstring::npos) return true;
        at = folder.find(L'\\', at + 1);
    }
}

bool MakeParentFolders(const std::wstring& path) {
    const std::size_t cut = path.rfind(L'\\');
    return cut == std::wstring::npos || cut < 7 || MakeFolders(path.substr(0, cut));
}

// Under Wine, the file name of path on the host; empty elsewhere.
std::wstring HostName(const std::wstring& path) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    static const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr) return {};
    char* name = unixName(path.c_str());
    if (name == nullptr) return {};
    std::wstring host = Utf16(name);
    HeapFree(GetProcessHeap(), 0, name);
    return host;
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a host command under Wine and waits until path exists (or not, as wanted): the handle
// of a Unix process is signalled at once, before the command has run.
void RunHostCommand(std::wstring command, const std::wstring& path, bool wanted) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 500 && Exists(path) != wanted; ++i) Sleep(10);
}

// Wine can neither make nor remove a Unix link to a folder (its RemoveDirectoryW follows the
// link): the host's own tools do both.
bool RemoveLink(const std::wstring& path) {
    const std::wstring host = HostName(path);
    if (host.empty()) return RemoveDirectoryW(path.c_str()) || DeleteFileW(path.c_str());
    RunHostCommand(L"/bin/rm -f \"" + host + L"\"", path, false);
    return !Exists(path);
}

bool RemoveEntry(const std::wstring& path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveLink(path);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveDirectoryW(path.c_str());
    return DeleteFileW(path.c_str());
}

// Removes what lies below folder, breadth first so that deep trees need no deep recursion;
// linked folders lose only their link.
void RemoveContents(const std::wstring& folder) {
    std::vector<std::wstring> folders{folder};
    for (std::size_t i = 0; i < folders.size(); ++i) {
        std::wstring base = folders[i];
        if (base.back() != L'\\') base += L'\\';
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW((base + L"*").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            const std::wstring_view name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = base + entry.cFileName;
            const DWORD attributes = entry.dwFileAttributes;
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                folders.push_back(child);
            } else {
                RemoveEntry(child, attributes);
            }
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    for (std::size_t i = folders.size(); i-- > 1;) {
        RemoveEntry(folders[i], FILE_ATTRIBUTE_DIRECTORY);
    }
}

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    return std::wstring(temp, length);
}

std::atomic<unsigned> treeCounter{0};

}  // namespace

ScratchTree::ScratchTree(std::string_view label, std::string_view parent) {
    std::string base = parent.empty() ? Utf8(TempFolder()) : std::string(parent);
    // The walker skips every path with the product word; a scratch tree must not.
    if (base.find("Quorvane") != std::string::npos) base = "C:\\";
    while (!base.empty() && base.back() == '\\') base.pop_back();
    char unique[64];
    std::snprintf(unique, sizeof unique, "-%lu-%u", GetCurrentProcessId(), treeCounter++);
    root_ = base + "\\qv-" + std::string(label) + unique;
    const std::wstring root = Extended(root_);
    scratch::RemoveTree(root_);
    if (!MakeFolders(root)) std::fprintf(stderr, "cannot create scratch tree %s\n", root_.c_str());
}

ScratchTree::ScratchTree(AdoptTag, std::string root) : root_(std::move(root)), ownsRoot_(false) {
    MakeFolders(Extended(root_ + "\\"));
}

ScratchTree ScratchTree::InFolder(std::string_view folder) {
    std::string root(folder);
    while (!root.empty() && root.back() == '\\') root.pop_back();
    return ScratchTree(AdoptTag{}, std::move(root));
}

ScratchTree ScratchTree::OnScratchDrive(std::string_view drive) {
    const char* allowed = std::getenv("QUORVANE_SCRATCH_DRIVES");
    const std::string letter(drive.substr(0, 2));
    if (allowed == nullptr || letter.size() != 2 || letter[1] != ':' ||
        std::string_view(allowed).find(letter) == std::string_view::npos) {
        throw std::runtime_error("refusing to empty drive " + letter +
                                 ": QUORVANE_SCRATCH_DRIVES does not name it as a scratch drive "
                                 "(tools/test maps one and sets it)");
    }
    return InFolder(letter + "\\");
}

ScratchTree::ScratchTree(ScratchTree&& other) noexcept
    : root_(std::move(other.root_)), ownsRoot_(other.ownsRoot_) {
    other.root_.clear();
}

ScratchTree::~ScratchTree() {
    if (root_.empty()) return;
    if (ownsRoot_) {
        scratch::RemoveTree(root_);
    } else {
        RemoveContents(Extended(root_ + "\\"));
    }
}

std::string ScratchTree::Path(std::string_view relative) const {
    return root_ + "\\" + std::string(relative);
}

std::string ScratchTree::AddFile(std::string_view relative, std::string_view content) {
    const std::string path = Path(relative);
    if (!MakeParentFolders(Extended(path))) return {};
    return scratch::WriteWholeFile(path, content) ? path : std::string();
}

std::string ScratchTree::AddFileOfSize(std::string_view relative, std::uint64_t size) {
    const std::string path = Path(relative);
    const std::wstring wide = Extended(path);
    if (!MakeParentFolders(wide)) return {};
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    DWORD returned = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok ? path : std::string();
}

std::string ScratchTree::AddFolder(std::string_view relative) {
    const std::string path = Path(relative);
    return MakeFolders(Extended(path)) ? path : std::string();
}

std::string ScratchTree::AddFolderLink(std::string_view relative, std::string_view target) {
    const std::string path = Path(relative);
    const std::wstring link = Extended(path);
    const std::wstring to = Extended(target);
    if (!MakeParentFolders(link)) return {};

    // Wine's own CreateSymbolicLinkW reports success and makes nothing; a Unix link made by
    // the host's ln is what Wine shows as a directory reparse point.
    const std::wstring hostTarget = HostName(to);
    const std::wstring hostLink = HostName(link);
    if (!hostTarget.empty() && !hostLink.empty()) {
        RunHostCommand(L"/bin/ln -s \"" + hostTarget + L"\" \"" + hostLink + L"\"", link, true);
    } else {
        CreateSymbolicLinkW(
            link.c_str(), to.c_str(),
            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    }
    const DWORD attributes = GetFileAttributesW(link.c_str());
    const DWORD wanted = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & wanted) != wanted) {
        // Whatever was made is no usable link; a cycle must not stay behind.
        if (attributes != INVALID_FILE_ATTRIBUTES) RemoveLink(link);
        return {};
    }
    return path;
}

bool ScratchTree::SetAttributes(std::string_view relative, unsigned long attributes) {
    const std::wstring path = Extended(Path(relative));
    const DWORD current = GetFileAttributesW(path.c_str());
    return current != INVALID_FILE_ATTRIBUTES &&
           SetFileAttributesW(path.c_str(), (current & ~FILE_ATTRIBUTE_NORMAL) | attributes);
}

namespace scratch {

std::string RelativePathOfLength(std::string_view base, std::size_t totalLength,
                                 std::string_view leaf, char stem) {
    if (totalLength < base.size() + 1 + leaf.size()) return {};
    std::size_t folders = totalLength - base.size() - 1 - leaf.size();
    if (folders == 1) return {};
    std::string relative;
    while (folders != 0) {
        std::size_t level = std::min<std::size_t>(folders, 201);
        if (folders - level == 1) --level;  // leave at least one name character for the next
        relative.append(level - 1, stem);
        relative += '\\';
        folders -= level;
    }
    relative.append(leaf);
    return relative;
}

const std::vector<std::string> kScriptSampleNames = {
    "中文文件名.txt",     // Chinese
    "Привет мир.txt",     // Cyrillic
    "Ελληνικά.txt",       // Greek
    "مرحبا بالعالم.txt",  // Arabic
    "😀 smile 🎉.txt",      // emoji, outside the Basic Multilingual Plane
    "Çà et là — é.txt",   // accented Latin
};

std::string ReadWholeFile(std::string_view path, bool* ok) {
    if (ok != nullptr) *ok = false;
    HANDLE file = CreateFileW(Extended(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    bool good = true;
    while ((good = ReadFile(file, chunk, sizeof chunk, &read, nullptr) != FALSE) && read != 0) {
        bytes.append(chunk, read);
    }
    CloseHandle(file);
    if (ok != nullptr) *ok = good;
    return bytes;
}

bool WriteWholeFile(std::string_view path, std::string_view content) {
    HANDLE file = CreateFileW(Extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = content.empty() ||
                    (WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr) &&
                     written == content.size());
    CloseHandle(file);
    return ok;
}

bool PathExists(std::string_view path) {
    return GetFileAttributesW(Extended(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveTree(std::string_view path) {
    const std::wstring root = Extended(path);
    const DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveContents(root);
    }
    RemoveEntry(root, attributes);
    if (Exists(root)) {
        // Under Wine a link whose target went first is listed as nothing and keeps its folder.
        const std::wstring host = HostName(root);
        if (!host.empty()) RunHostCommand(L"/bin/rm -rf \"" + host + L"\"", root, false);
    }
    return !Exists(root);
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = text.find("\r\n");
        lines.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 2);
    }
    return lines;
}

CurrentDirectory::CurrentDirectory(std::string_view folder) {
    const DWORD length = GetCurrentDirectoryW(0, nullptr);
    previous_.resize(length);
    previous_.resize(GetCurrentDirectoryW(length, previous_.data()));
    SetCurrentDirectoryW(Utf16(folder).c_str());
}

CurrentDirectory::~CurrentDirectory() { SetCurrentDirectoryW(previous_.c_str()); }

DeadEndPipe::DeadEndPipe() {
    char name[64];
    std::snprintf(name, sizeof name, "\\\\.\\pipe\\qv-dead-end-%lu-%u", GetCurrentProcessId(),
                  treeCounter++);
    name_ = name;
    // Two instances: Wine's DeleteFileA, which a writer calls first, connects to one of them.
    for (int i = 0; i < 2; ++i) {
        HANDLE server =
            CreateNamedPipeA(name, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 2, 4096, 4096, 0, nullptr);
        if (server != INVALID_HANDLE_VALUE) servers_.push_back(server);
    }
}

void DeadEndPipe::Break() {
    for (void* server : servers_) CloseHandle(server);
    servers_.clear();
}

}  // namespace scratch
