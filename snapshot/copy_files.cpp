#include "snapshot/copy_files.h"

#include <windows.h>

#include <vector>

#include "snapshot/scan_observer.h"
#include "snapshot/snapshot_files.h"
#include "win32/unique_handle.h"
#include "text/text.h"

namespace {

// Length of the part of an extended-length path that cannot be created: "\\?\C:\" or
// "\\?\UNC\server\share\".
std::size_t RootLength(std::wstring_view path) {
    constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\";
    if (path.substr(0, kUnc.size()) == kUnc) {
        std::size_t server = path.find(L'\\', kUnc.size());
        if (server == std::wstring_view::npos) return path.size();
        std::size_t share = path.find(L'\\', server + 1);
        return share == std::wstring_view::npos ? path.size() : share + 1;
    }
    if (path.size() >= 7 && path[5] == L':' && path[6] == L'\\') return 7;
    std::size_t first = path.find(L'\\', 4);
    return first == std::wstring_view::npos ? path.size() : first + 1;
}

// Drops trailing separators, which the attribute and directory calls do not take, but keeps
// the root's own.
void TrimSeparators(std::wstring& path) {
    const std::size_t root = RootLength(path);
    while (path.size() > root && path.back() == L'\\') path.pop_back();
}

bool IsDirectory(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    UniqueFile file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return file.valid() && GetFileInformationByHandle(file.get(), &info);
}

// True when both paths name one file: the same full path in another case, or another name
// for it (a mapped drive, a link).
bool IsSameFile(const std::wstring& a, const std::wstring& b) {
    if (CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    BY_HANDLE_FILE_INFORMATION first, second;
    if (!FileIdentity(b, second) || !FileIdentity(a, first)) return false;
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace

std::string CopyTargetPath(std::string_view source) {
    std::string target(source);
    ReplaceOccurrence(target, "C:\\", kCopyFolder, 1);
    return target;
}

void CopyNewFile(std::string_view source, ScanObserver& observer) {
    const std::string target = CopyTargetPath(source);
    observer.CopyingFile(target);
    // A file off drive C: keeps its own path as target; copying it onto itself could only
    // destroy it.
    if (target == source || !CopyChangedFile(source, target)) LogCopyFailure(source);
}

int CopyChangedFile(std::string_view source, std::string_view target) {
    const std::size_t cut = target.find_last_of("\\:");
    if (cut != std::string_view::npos && target[cut] == '\\') {
        std::string folder(target.substr(0, cut));
        if (!folder.empty() && folder.back() == ':') folder += '\\';
        CreateDirectoryPath(folder);
    }
    const std::wstring from = ExtendedLengthPath(source);
    const std::wstring to = ExtendedLengthPath(target);
    if (from.empty() || to.empty() || IsSameFile(from, to)) return 0;
    return CopyFileW(from.c_str(), to.c_str(), FALSE) ? 1 : 0;
}

int CreateDirectoryPath(std::string_view path) {
    std::wstring wide = ExtendedLengthPath(path);
    if (wide.empty()) return 0;
    TrimSeparators(wide);
    const std::size_t root = RootLength(wide);

    // Climb to the deepest level that exists, then create the missing ones downwards. No
    // recursion: a long path can have thousands of levels.
    std::vector<std::size_t> missing;
    std::size_t level = wide.size();
    for (;;) {
        const std::wstring part = wide.substr(0, level);
        DWORD attributes = GetFileAttributesW(part.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return 0;
            break;
        }
        DWORD error = GetLastError();
        if ((error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) || level <= root) {
            return 0;
        }
        missing.push_back(level);
        std::size_t separator = wide.rfind(L'\\', level - 1);
        level = (separator == std::wstring::npos || separator < root) ? root : separator;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        const std::wstring part = wide.substr(0, *it);
        if (!CreateDirectoryW(part.c_str(), nullptr) &&
            (GetLastError() != ERROR_ALREADY_EXISTS || !IsDirectory(part))) {
            return 0;
        }
    }
    return 1;
}

int IsDirectoryPath(std::string_view path) {
    std::wstring wide = ExtendedLengthPath(path);
    if (wide.empty()) return 0;
    TrimSeparators(wide);
    return IsDirectory(wide) ? 1 : 0;
}

void LogCopyFailure(std::string_view source) {
    UniqueFile log(CreateFileA(kErrorLogName, GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!log.valid()) return;  // nowhere to report it; the file still counts as new
    LARGE_INTEGER end{};
    if (!SetFilePointerEx(log.get(), end, nullptr, FILE_END)) return;
    std::string line = "Error copying file ";
    line.append(source);
    line.append("\r\n");
    const char* data = line.data();
    std::size_t left = line.size();
    while (left != 0) {
        DWORD written = 0;
        if (!WriteFile(log.get(), data, static_cast<DWORD>(left), &written, nullptr) ||
            written == 0) {
            return;
        }
        data += written;
        left -= written;
    }
}
