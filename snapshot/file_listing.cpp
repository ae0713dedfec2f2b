#include "snapshot/file_listing.h"

#include <algorithm>
#include <cstddef>

namespace {

// Large enough for a few hundred entries a request: each request is a trip to the file system.
constexpr std::size_t kBufferBytes = 64 * 1024;
constexpr std::size_t kFetchMore = static_cast<std::size_t>(-1);

std::uint64_t Time(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

bool DirectoryListing::Open(const std::wstring& folder, std::wstring_view filter) {
    Close();
    if (filter == L"*" || filter == L"*.*") {
        directory_.reset(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!directory_.valid()) return false;
        if (buffer_.empty()) buffer_.resize(kBufferBytes / sizeof(std::uint64_t));
        next_ = kFetchMore;
        ended_ = false;
        if (Fetch()) return true;
        // An empty listing (a drive root has no "." and ".."); anything else: a file system
        // that does not list this way, which FindFirstFileExW still serves.
        if (GetLastError() == ERROR_NO_MORE_FILES) {
            ended_ = true;
            return true;
        }
        directory_.reset();
    }
    std::wstring pattern = folder;
    pattern.append(filter);
    find_.reset(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found_, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH));
    haveFound_ = find_.valid();
    return haveFound_;
}

void DirectoryListing::Close() {
    directory_.reset();
    find_.reset();
    haveFound_ = false;
}

bool DirectoryListing::Fetch() {
    if (!GetFileInformationByHandleEx(directory_.get(), FileIdBothDirectoryInfo, buffer_.data(),
                                      static_cast<DWORD>(buffer_.size() * sizeof buffer_[0]))) {
        return false;
    }
    next_ = 0;
    return true;
}

bool DirectoryListing::Next(ListedEntry& entry) {
    if (!directory_.valid()) return NextFound(entry);
    if (ended_ || (next_ == kFetchMore && !Fetch())) return false;

    const auto* bytes = reinterpret_cast<const std::byte*>(buffer_.data());
    const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + next_);
    entry.name = std::wstring_view(info->FileName, info->FileNameLength / sizeof(wchar_t));
    entry.attributes = info->FileAttributes;
    entry.size = static_cast<std::uint64_t>(info->EndOfFile.QuadPart);
    entry.creationTime = static_cast<std::uint64_t>(info->CreationTime.QuadPart);
    const auto lastWrite = static_cast<std::uint64_t>(info->LastWriteTime.QuadPart);
    entry.changeTime = info->ChangeTime.QuadPart != 0
                           ? static_cast<std::uint64_t>(info->ChangeTime.QuadPart)
                           : std::max(lastWrite, entry.creationTime);
    next_ = info->NextEntryOffset != 0 ? next_ + info->NextEntryOffset : kFetchMore;
    return true;
}

bool DirectoryListing::NextFound(ListedEntry& entry) {
    if (!haveFound_) {
        if (!find_.valid() || !FindNextFileW(find_.get(), &found_)) return false;
    }
    haveFound_ = false;
    entry.name = found_.cFileName;
    entry.attributes = found_.dwFileAttributes;
    entry.size = (static_cast<std::uint64_t>(found_.nFileSizeHigh) << 32) | found_.nFileSizeLow;
    entry.creationTime = Time(found_.ftCreationTime);
    entry.changeTime = std::max(Time(found_.ftLastWriteTime), entry.creationTime);
    return true;
}
