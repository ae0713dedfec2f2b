#include "snapshot/snapshot_files.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <new>

#include "snapshot/path_identity.h"
#include "win32/unique_handle.h"
#include "text/text.h"

namespace {

// Lines wait in memory up to this much, or until a line comes after a quiet second, so that
// a dense listing costs few writes and a sparse change list still shows each line soon.
constexpr std::size_t kWriteBufferSize = 64 * 1024;
constexpr ULONGLONG kWriteDelayMs = 1000;

// ReadFile and WriteFile take 32-bit counts; large blocks go in pieces of this size.
constexpr DWORD kMaxTransfer = 1u << 30;

// The system's code for the call that just failed, or fallback where it left none.
DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

}  // namespace

const char* RegistryRootName(HKEY root) {
    for (const SnapshotArea& area : kSnapshotAreas) {
        if (area.root != nullptr && area.root == root) return area.rootName;
    }
    return "";
}

std::vector<const char*> ProgramTextFiles() {
    std::vector<const char*> names;
    for (const SnapshotArea& area : kSnapshotAreas) names.push_back(area.baselineName);
    for (const SnapshotArea& area : kSnapshotAreas) names.push_back(area.changeListName);
    names.push_back(kErrorLogName);
    for (const SnapshotArea& area : kSnapshotAreas) names.push_back(area.recordName);
    names.insert(names.end(), std::begin(kStepTwoOutputNames), std::end(kStepTwoOutputNames));
    names.insert(names.end(), std::begin(kScratchNames), std::end(kScratchNames));
    return names;
}

std::string ProgramFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data());
    if (length == 0 || length >= path.size()) return {};
    path.resize(length);
    if (path.back() != L'\\') path += L'\\';
    return NarrowText(path);
}

bool IsProgramFileName(std::string_view name) {
    static const std::vector<const char*> names = ProgramTextFiles();
    return std::any_of(names.begin(), names.end(),
                       [&](const char* own) { return SamePath(name, own); });
}

bool InCopyFolder(std::string_view folder) {
    static const std::string copyFolder = PathIdentity(kCopyFolder);
    return PathIdentity(folder).starts_with(copyFolder);
}

SnapshotWriter::~SnapshotWriter() { Close(); }

bool SnapshotWriter::Create(std::string_view name) {
    Close();
    name_.assign(name);
    buffer_.clear();
    error_ = ERROR_SUCCESS;
    size_ = 0;
    DeleteFileA(name_.c_str());
    // CREATE_ALWAYS truncates a file that could not be deleted, so no stale line survives.
    file_.reset(CreateFileA(name_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_.valid()) {
        error_ = LastErrorOr(ERROR_OPEN_FAILED);
        return false;
    }
    if (buffer_.capacity() < kWriteBufferSize) buffer_.reserve(kWriteBufferSize);
    lastFlushTick_ = GetTickCount64();
    return true;
}

bool SnapshotWriter::WriteLine(std::string_view line) { return Append(line, "\r\n"); }

bool SnapshotWriter::Write(std::string_view bytes) { return Append(bytes, {}); }

bool SnapshotWriter::Append(std::string_view bytes, std::string_view end) {
    if (Failed()) return false;
    if (!file_.valid()) {
        error_ = ERROR_INVALID_HANDLE;
        return false;
    }
    buffer_.append(bytes);
    buffer_.append(end);
    size_ += bytes.size() + end.size();
    if (buffer_.size() >= kWriteBufferSize || GetTickCount64() - lastFlushTick_ >= kWriteDelayMs) {
        return Flush();
    }
    return true;
}

bool SnapshotWriter::Flush() {
    const char* data = buffer_.data();
    std::size_t left = buffer_.size();
    while (left != 0 && !Failed()) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, kMaxTransfer));
        DWORD written = 0;
        if (!WriteFile(file_.get(), data, chunk, &written, nullptr)) {
            error_ = LastErrorOr(ERROR_WRITE_FAULT);
        } else if (written == 0) {
            // No progress without an error: the device is full.
            error_ = ERROR_DISK_FULL;
        }
        data += written;
        left -= written;
    }
    buffer_.clear();
    lastFlushTick_ = GetTickCount64();
    return !Failed();
}

bool SnapshotWriter::Close() {
    if (!file_.valid()) return !Failed();
    if (!Failed()) Flush();
    // Closing is where a write the system deferred may fail: its result is wanted here.
    if (!CloseHandle(file_.release()) && !Failed()) error_ = GetLastError();
    buffer_.clear();
    return !Failed();
}

SequentialReader::~SequentialReader() = default;

bool SequentialReader::Open(const char* name) {
    file_.reset(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    buffer_.clear();
    start_ = 0;
    return file_.valid();
}

bool SequentialReader::Peek(std::size_t need, std::string_view& bytes) {
    if (!Fill(need)) return false;
    bytes = std::string_view(buffer_).substr(start_);
    return true;
}

std::string_view SequentialReader::Available() {
    if (start_ == buffer_.size()) Fill(1);
    return std::string_view(buffer_).substr(start_);
}

bool SequentialReader::Fill(std::size_t need) {
    if (buffer_.size() - start_ >= need) return true;
    buffer_.erase(0, start_);
    start_ = 0;
    while (buffer_.size() < need && file_.valid()) {
        const std::size_t had = buffer_.size();
        buffer_.resize(had + std::max<std::size_t>(need - had, 1 << 20));
        DWORD read = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(buffer_.size() - had, kMaxTransfer));
        const bool ok = ReadFile(file_.get(), buffer_.data() + had, chunk, &read, nullptr);
        buffer_.resize(had + read);
        if (!ok || read == 0) break;
    }
    return buffer_.size() >= need;
}

BaselineLoad LoadBaselineFile(const char* name, BaselineText& text, DWORD& error) {
    text = BaselineText{};
    error = ERROR_SUCCESS;
    UniqueFile file(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    // A failure that leaves no error code would read "The operation completed successfully".
    if (!file.valid()) {
        error = LastErrorOr(ERROR_OPEN_FAILED);
        return BaselineLoad::CannotOpen;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) {
        error = LastErrorOr(ERROR_READ_FAULT);
        return BaselineLoad::ReadFailed;
    }
    const unsigned long long wanted = static_cast<unsigned long long>(size.QuadPart);
    if (wanted >= static_cast<unsigned long long>(PTRDIFF_MAX)) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return BaselineLoad::NoMemory;
    }
    std::unique_ptr<char[]> data(new (std::nothrow) char[static_cast<std::size_t>(wanted) + 1]);
    if (!data) {
        error = ERROR_NOT_ENOUGH_MEMORY;
        return BaselineLoad::NoMemory;
    }
    std::size_t got = 0;
    while (got < wanted) {
        DWORD chunk = static_cast<DWORD>(std::min<unsigned long long>(wanted - got, kMaxTransfer));
        DWORD read = 0;
        if (!ReadFile(file.get(), data.get() + got, chunk, &read, nullptr)) {
            error = LastErrorOr(ERROR_READ_FAULT);
            return BaselineLoad::ReadFailed;
        }
        if (read == 0) break;  // the file shrank since its size was taken
        got += read;
    }
    data[got] = '\0';
    text.data = std::move(data);
    text.size = got;
    return BaselineLoad::Loaded;
}

int FileExistsByName(const char* name) {
    WIN32_FIND_DATAA found;
    if (UniqueFind(FindFirstFileA(name, &found)).valid()) return 1;
    // A drive root or some directories cannot be matched by a search but still exist.
    return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

unsigned long long GetFileSizeByName(const char* name) {
    UniqueFile file(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size)) return 0;
    return static_cast<unsigned long long>(size.QuadPart);
}

std::string SystemErrorText(DWORD error) {
    UniqueLocal<char*> message;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(message.put()), 0, nullptr);
    std::string text;
    if (length != 0 && message) text.assign(message.get(), length);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
    if (text.empty()) text = "Error " + std::to_string(error);
    return text;
}

std::string WriteFailureText(const SnapshotWriter& file) {
    return "Could not write \"" + file.Name() + "\".\n\n" +
           SystemErrorText(file.Failed() ? file.Error() : ERROR_WRITE_FAULT) +
           "\n\nThe scan was stopped.";
}

std::wstring ExtendedLengthPath(std::string_view path) {
    std::wstring wide = WidenText(path);
    if (wide.rfind(L"\\\\?\\", 0) == 0 || wide.rfind(L"\\\\.\\", 0) == 0) return wide;

    // A plain absolute path is taken as it is: the system's own normalisation would also drop
    // trailing dots and blanks from names, and such names are real files.
    bool plain = wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\' &&
                 ((wide[0] >= L'A' && wide[0] <= L'Z') || (wide[0] >= L'a' && wide[0] <= L'z'));
    if (plain) {
        std::size_t start = 3;
        while (plain && start <= wide.size()) {
            std::size_t end = wide.find(L'\\', start);
            if (end == std::wstring::npos) end = wide.size();
            std::wstring_view part(wide.data() + start, end - start);
            if ((part.empty() && end != wide.size()) || part == L"." || part == L"..")
                plain = false;
            start = end + 1;
        }
        if (wide.find(L'/') != std::wstring::npos) plain = false;
    }
    if (plain) return L"\\\\?\\" + wide;

    DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    full.resize(length);
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}
