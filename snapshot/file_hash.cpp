#include "snapshot/file_hash.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "snapshot/snapshot_files.h"
#include "win32/unique_handle.h"

// Older headers lack the attributes of files whose content a cloud provider keeps.
#ifndef FILE_ATTRIBUTE_RECALL_ON_OPEN
#define FILE_ATTRIBUTE_RECALL_ON_OPEN 0x00040000
#endif
#ifndef FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS
#define FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS 0x00400000
#endif

namespace {

// Large enough that a read costs little beyond the disk's own time, small enough that a stop
// asked for in the middle of a large file is answered at once.
constexpr DWORD kBlockSize = 1 << 20;
constexpr DWORD kSmallestBlock = 4096;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Reading these would make a provider fetch the content from elsewhere (a cloud, a tape).
constexpr DWORD kContentElsewhere =
    FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_RECALL_ON_OPEN | FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS;

FileHash Unreadable(std::string why) {
    FileHash hash;
    hash.error = std::move(why);
    return hash;
}

FileHash ReadFailure(DWORD error) {
    // The system's own words for it speak of "the process", which the reader never saw.
    return Unreadable(error == ERROR_SHARING_VIOLATION ? "in use by another program"
                                                       : SystemErrorText(error));
}

FileHash ProviderFailure(const char* call, NTSTATUS status) {
    char text[96];
    std::snprintf(text, sizeof text, "the system's SHA-256 failed (%s: NTSTATUS 0x%08lX)", call,
                  static_cast<unsigned long>(status));
    return Unreadable(text);
}

// Opened once; every file's hash object comes from it.
struct Sha256Provider {
    UniqueBCryptAlgorithm algorithm;
    NTSTATUS status = 0;

    Sha256Provider() {
        BCRYPT_ALG_HANDLE opened = nullptr;
        status = BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
        if (BCRYPT_SUCCESS(status)) algorithm.reset(opened);
    }
};

const Sha256Provider& Provider() {
    static const Sha256Provider provider;
    return provider;
}

// Opens path for reading with every share mode. Write-attributes access lets the handle tell
// the file system to keep the last-access time; where it is refused (an access list, a
// read-only volume) the file is opened for reading alone. Sharing never depends on it.
UniqueFile OpenToRead(const std::wstring& path, DWORD flags, DWORD& error) {
    flags |= FILE_FLAG_SEQUENTIAL_SCAN;
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, kShareAll,
                                nullptr, OPEN_EXISTING, flags, nullptr));
    if (file.valid()) {
        FILETIME keep = {0xFFFFFFFF, 0xFFFFFFFF};  // no last-access update through this handle
        SetFileTime(file.get(), nullptr, &keep, nullptr);
        return file;
    }
    error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_FILE_NOT_FOUND ||
        error == ERROR_PATH_NOT_FOUND) {
        return file;
    }
    file.reset(
        CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr));
    if (!file.valid()) error = GetLastError();
    return file;
}

}  // namespace

std::string FileHash::Hex() const {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(digest.size() * 2);
    for (const unsigned char byte : digest) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

FileHash Sha256OfFile(const std::wstring& path, const std::function<bool()>& shouldStop) {
    const Sha256Provider& provider = Provider();
    if (!provider.algorithm) return ProviderFailure("BCryptOpenAlgorithmProvider", provider.status);

    // Not through a link: its target may be anywhere, a device or a pipe among them.
    DWORD error = ERROR_SUCCESS;
    UniqueFile file = OpenToRead(path, FILE_FLAG_OPEN_REPARSE_POINT, error);
    if (!file) return ReadFailure(error);
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
        if (tag.FileAttributes & kContentElsewhere) {
            return Unreadable("kept elsewhere (online only): not fetched to be read");
        }
        if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            if (IsReparseTagNameSurrogate(tag.ReparseTag))
                return Unreadable("a link: not followed");
            // Content that a file system filter gives (compressed by the system, deduplicated)
            // is read through it.
            file = OpenToRead(path, 0, error);
            if (!file) return ReadFailure(error);
        }
    }

    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) size.QuadPart = kBlockSize;
    // A small file is read whole in one block a little larger than itself.
    const auto wanted = static_cast<std::uint64_t>(size.QuadPart) + 1;
    const DWORD block =
        wanted >= kBlockSize ? kBlockSize : std::max(static_cast<DWORD>(wanted), kSmallestBlock);
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[block]);

    UniqueBCryptHash hash;
    NTSTATUS status =
        BCryptCreateHash(provider.algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0);
    if (!BCRYPT_SUCCESS(status)) return ProviderFailure("BCryptCreateHash", status);
    for (bool first = true;; first = false) {
        if (!first && shouldStop && shouldStop()) {
            FileHash stopped;
            stopped.outcome = FileHash::Outcome::Stopped;
            return stopped;
        }
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer.get(), block, &read, nullptr)) {
            return ReadFailure(GetLastError());
        }
        if (read == 0) break;
        status = BCryptHashData(hash.get(), buffer.get(), read, 0);
        if (!BCRYPT_SUCCESS(status)) return ProviderFailure("BCryptHashData", status);
    }
    FileHash result;
    status = BCryptFinishHash(hash.get(), result.digest.data(),
                              static_cast<ULONG>(result.digest.size()), 0);
    if (!BCRYPT_SUCCESS(status)) return ProviderFailure("BCryptFinishHash", status);
    result.outcome = FileHash::Outcome::Hashed;
    return result;
}
