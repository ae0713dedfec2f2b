#pragma once

#include <windows.h>

#include <bcrypt.h>
#include <objbase.h>

#include <utility>

// Owners of Windows handles and blocks, in the manner of WIL's unique_any: one template, and a
// traits type per kind that tells the value meaning "none" and how to close one. An owner closes
// what it holds when it goes, when it is given another, and never twice; closing leaves the
// thread's last error as it was, so that an owner may go out of scope between a failed call and
// the GetLastError that explains it.
template <typename Traits>
class UniqueAny {
public:
    using Handle = typename Traits::Handle;

    UniqueAny() = default;
    explicit UniqueAny(Handle h) : h_(h) {}
    UniqueAny(UniqueAny&& other) noexcept : h_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { reset(); }

    Handle get() const { return h_; }
    bool valid() const { return h_ != Traits::Invalid(); }
    explicit operator bool() const { return valid(); }

    // Closes what it holds and takes h.
    void reset(Handle h = Traits::Invalid()) {
        if (valid()) {
            const DWORD error = GetLastError();
            Traits::Close(h_);
            SetLastError(error);
        }
        h_ = h;
    }
    // Gives up what it holds, unclosed.
    [[nodiscard]] Handle release() { return std::exchange(h_, Traits::Invalid()); }
    // For a call that hands a new one back through a pointer: closes what it holds first.
    Handle* put() {
        reset();
        return &h_;
    }
    // The same, without closing: for a call that also reads what is there.
    Handle* addressof() { return &h_; }

private:
    Handle h_ = Traits::Invalid();
};

// A kernel handle for which null means none: events, tokens, processes, threads.
struct NullHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};
// A file or directory handle, for which INVALID_HANDLE_VALUE means none.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};
struct KeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};
// A block the system allocated with LocalAlloc (FormatMessage, ConvertSidToStringSid,
// CommandLineToArgvW) or CoTaskMemAlloc (the shell's known folders), as a pointer of type T.
template <typename T>
struct LocalTraits {
    using Handle = T;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { LocalFree(h); }
};
template <typename T>
struct CoTaskMemTraits {
    using Handle = T;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CoTaskMemFree(h); }
};

// CNG's algorithm providers and hash objects (link bcrypt where they are used).
struct BCryptAlgorithmTraits {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { BCryptCloseAlgorithmProvider(h, 0); }
};
struct BCryptHashTraits {
    using Handle = BCRYPT_HASH_HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { BCryptDestroyHash(h); }
};

using UniqueHandle = UniqueAny<NullHandleTraits>;
using UniqueEvent = UniqueHandle;
using UniqueToken = UniqueHandle;
using UniqueFile = UniqueAny<FileHandleTraits>;
using UniqueFind = UniqueAny<FindHandleTraits>;
using UniqueKey = UniqueAny<KeyTraits>;
using UniqueBCryptAlgorithm = UniqueAny<BCryptAlgorithmTraits>;
using UniqueBCryptHash = UniqueAny<BCryptHashTraits>;
template <typename T>
using UniqueLocal = UniqueAny<LocalTraits<T>>;
template <typename T>
using UniqueCoTaskMem = UniqueAny<CoTaskMemTraits<T>>;
