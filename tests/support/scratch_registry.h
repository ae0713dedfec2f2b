#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A key of the tests' own below HKEY_CURRENT_USER, "<parent>\<name>" (parent
// "Software\QvRegTest" unless given): deleted with everything below it when made and again when
// done, so every run starts from nothing.
// Paths given to the members are below the scratch key, levels separated by "\"; "" is the
// scratch key itself. Members return false when the registry refused.
class ScratchRegistry {
public:
    explicit ScratchRegistry(std::wstring_view name,
                             std::wstring_view parent = L"Software\\QvRegTest");
    ~ScratchRegistry();
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    bool Ok() const { return key_ != nullptr; }
    HKEY Key() const { return key_; }
    // Path of the scratch key below HKEY_CURRENT_USER, in the process code page.
    const std::string& Path() const { return path_; }

    bool CreateKey(std::wstring_view path);
    bool DeleteKey(std::wstring_view path);
    // Creates the key when needed. The data is stored as given, terminator or not.
    bool SetValue(std::wstring_view path, std::wstring_view name, DWORD type, const void* data,
                  std::size_t size);
    // A REG_SZ (or REG_EXPAND_SZ) stored with its terminator, as programs usually store them.
    bool SetString(std::wstring_view path, std::wstring_view name, std::wstring_view text,
                   DWORD type = REG_SZ);
    bool SetDword(std::wstring_view path, std::wstring_view name, DWORD value);
    bool DeleteValue(std::wstring_view path, std::wstring_view name);
    // Denies everyone reading the key (as a key of another user or of the system is denied to
    // a standard user); the key is made readable again when done.
    bool DenyReading(std::wstring_view path);
    // Gives a denied key back to everyone, as an installer that changes a key's access may.
    bool AllowReading(std::wstring_view path);

private:
    std::vector<std::wstring> denied_;
    std::wstring parent_;
    std::wstring widePath_;
    std::string path_;
    HKEY key_ = nullptr;
};

// A value directly under HKEY_CURRENT_USER, removed again when done.
class ScratchRootValue {
public:
    ScratchRootValue(std::wstring_view name, std::wstring_view text);
    ~ScratchRootValue();
    ScratchRootValue(const ScratchRootValue&) = delete;
    ScratchRootValue& operator=(const ScratchRootValue&) = delete;
    bool Ok() const { return ok_; }

private:
    std::wstring name_;
    bool ok_ = false;
};

// Shape of a synthetic registry tree for benchmarks: keys named K<number> with fanOut subkeys
// each, breadth first, and the values spread evenly over the keys in eight kinds (strings of
// several lengths, expandable strings, multi-strings, DWORDs, QWORDs, binary data).
struct SyntheticRegistryShape {
    std::size_t keys = 50000;
    std::size_t values = 200000;
    std::size_t fanOut = 10;
};

// Fills key with the tree of shape. False when the registry refused a key or value.
bool FillSyntheticRegistryTree(HKEY key, const SyntheticRegistryShape& shape);

// Rewrites every everyNth value of a tree that FillSyntheticRegistryTree made with new data of
// the same type and name. Returns how many it changed, or 0 when the registry refused.
std::size_t ChangeSyntheticRegistryValues(HKEY key, const SyntheticRegistryShape& shape,
                                          std::size_t everyNth);
