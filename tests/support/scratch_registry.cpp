#include "tests/support/scratch_registry.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include <sddl.h>

#include "text/text.h"

namespace {

// Opens (creating if needed) path below parent for writing; null on failure.
HKEY CreateWritableKey(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

bool SetValueOn(HKEY key, std::wstring_view name, DWORD type, const void* data, std::size_t size) {
    const std::wstring terminatedName(name);
    return RegSetValueExW(key, terminatedName.c_str(), 0, type, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

}  // namespace

ScratchRegistry::ScratchRegistry(std::wstring_view name, std::wstring_view parent)
    : parent_(parent),
      widePath_(parent_ + L"\\" + std::wstring(name)),
      path_(NarrowText(widePath_)) {
    RegDeleteTreeW(HKEY_CURRENT_USER, widePath_.c_str());
    key_ = CreateWritableKey(HKEY_CURRENT_USER, widePath_);
}

namespace {

// Sets the key's access list from its text form (SDDL). Keeps WRITE_DAC, so that it can be
// given back.
bool SetKeyAccess(HKEY parent, const std::wstring& path, const wchar_t* sddl) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool ok = ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                    &descriptor, nullptr) &&
              RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    LocalFree(descriptor);
    RegCloseKey(key);
    return ok;
}

}  // namespace

bool ScratchRegistry::DenyReading(std::wstring_view path) {
    denied_.emplace_back(path);
    return SetKeyAccess(key_, denied_.back(), L"D:P(D;;KR;;;WD)(A;;WD;;;WD)");
}

namespace {
constexpr wchar_t kEveryoneMayDoAll[] = L"D:(A;;KA;;;WD)";
}  // namespace

bool ScratchRegistry::AllowReading(std::wstring_view path) {
    return SetKeyAccess(key_, std::wstring(path), kEveryoneMayDoAll);
}

ScratchRegistry::~ScratchRegistry() {
    for (const std::wstring& path : denied_) SetKeyAccess(key_, path, kEveryoneMayDoAll);
    if (key_ != nullptr) RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, widePath_.c_str());
    // Fails while another test still has its key there, which is as it should be.
    RegDeleteKeyW(HKEY_CURRENT_USER, parent_.c_str());
}

bool ScratchRegistry::CreateKey(std::wstring_view path) {
    const HKEY key = CreateWritableKey(key_, std::wstring(path));
    if (key == nullptr) return false;
    RegCloseKey(key);
    return true;
}

bool ScratchRegistry::DeleteKey(std::wstring_view path) {
    return RegDeleteTreeW(key_, std::wstring(path).c_str()) == ERROR_SUCCESS;
}

bool ScratchRegistry::SetValue(std::wstring_view path, std::wstring_view name, DWORD type,
                               const void* data, std::size_t size) {
    const HKEY key = CreateWritableKey(key_, std::wstring(path));
    if (key == nullptr) return false;
    const bool ok = SetValueOn(key, name, type, data, size);
    RegCloseKey(key);
    return ok;
}

bool ScratchRegistry::SetString(std::wstring_view path, std::wstring_view name,
                                std::wstring_view text, DWORD type) {
    const std::wstring terminated(text);
    return SetValue(path, name, type, terminated.c_str(),
                    (terminated.size() + 1) * sizeof(wchar_t));
}

bool ScratchRegistry::SetDword(std::wstring_view path, std::wstring_view name, DWORD value) {
    return SetValue(path, name, REG_DWORD, &value, sizeof value);
}

bool ScratchRegistry::DeleteValue(std::wstring_view path, std::wstring_view name) {
    return RegDeleteKeyValueW(key_, std::wstring(path).c_str(), std::wstring(name).c_str()) ==
           ERROR_SUCCESS;
}

ScratchRootValue::ScratchRootValue(std::wstring_view name, std::wstring_view text) : name_(name) {
    const std::wstring terminated(text);
    ok_ = SetValueOn(HKEY_CURRENT_USER, name_, REG_SZ, terminated.c_str(),
                     (terminated.size() + 1) * sizeof(wchar_t));
}

ScratchRootValue::~ScratchRootValue() { RegDeleteValueW(HKEY_CURRENT_USER, name_.c_str()); }

namespace {

// Path of synthetic key number k below the tree's top: its ancestors' names, then its own.
std::wstring SyntheticKeyPath(std::size_t k, std::size_t fanOut) {
    std::vector<std::size_t> chain{k};
    while (chain.back() != 0) chain.push_back((chain.back() - 1) / fanOut);
    std::wstring path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty()) path += L'\\';
        path += L"K" + std::to_wstring(*it);
    }
    return path;
}

// Value number j: its kind follows j, its data j and the generation, so a rewrite with the
// next generation changes the data and keeps name and type.
struct SyntheticValue {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

void AppendWide(std::vector<BYTE>& data, const std::wstring& text, bool terminate) {
    const std::size_t chars = text.size() + (terminate ? 1 : 0);
    const std::size_t at = data.size();
    data.resize(at + chars * sizeof(wchar_t));
    std::memcpy(data.data() + at, text.c_str(), chars * sizeof(wchar_t));
}

SyntheticValue MakeSyntheticValue(std::size_t j, unsigned generation) {
    SyntheticValue value;
    value.name = L"V" + std::to_wstring(j);
    const std::uint64_t seed = (j + 1) * 0x9E3779B97F4A7C15ull + generation * 0x632BE59BD9B4E019ull;
    const std::wstring number =
        std::to_wstring(seed % 1000003) + L"." + std::to_wstring(generation);
    switch (j % 8) {
        case 0:
            value.type = REG_SZ;
            AppendWide(value.data, L"value " + number, true);
            break;
        case 1:
            value.type = REG_DWORD;
            value.data.resize(4);
            std::memcpy(value.data.data(), &seed, 4);
            break;
        case 2:
            value.type = REG_BINARY;
            value.data.resize(16);
            for (std::size_t i = 0; i < 16; ++i) value.data[i] = static_cast<BYTE>(seed >> (i * 4));
            break;
        case 3:
            value.type = REG_SZ;
            AppendWide(
                value.data,
                L"C:\\Program Files\\Synthetic Vendor\\Product " + number + L"\\bin\\component.dll",
                true);
            break;
        case 4:
            value.type = REG_MULTI_SZ;
            AppendWide(value.data, L"first " + number, true);
            AppendWide(value.data, L"second", true);
            AppendWide(value.data, L"", true);
            break;
        case 5:
            value.type = REG_QWORD;
            value.data.resize(8);
            std::memcpy(value.data.data(), &seed, 8);
            break;
        case 6:
            value.type = REG_EXPAND_SZ;
            AppendWide(value.data, L"%SystemRoot%\\System32\\" + number + L".dll", true);
            break;
        default:
            value.type = REG_DWORD;
            value.data.resize(4);
            std::memcpy(value.data.data(), &j, 4);
            value.data[3] ^= static_cast<BYTE>(generation);
            break;
    }
    return value;
}

bool WriteSyntheticValue(HKEY key, std::size_t j, unsigned generation) {
    const SyntheticValue value = MakeSyntheticValue(j, generation);
    return SetValueOn(key, value.name, value.type, value.data.data(), value.data.size());
}

std::size_t FirstValueOfKey(std::size_t k, const SyntheticRegistryShape& shape) {
    return k * shape.values / shape.keys;
}

}  // namespace

bool FillSyntheticRegistryTree(HKEY key, const SyntheticRegistryShape& shape) {
    if (shape.keys == 0 || shape.fanOut == 0) return shape.values == 0;
    for (std::size_t k = 0; k < shape.keys; ++k) {
        const HKEY child = CreateWritableKey(key, SyntheticKeyPath(k, shape.fanOut));
        if (child == nullptr) return false;
        bool ok = true;
        for (std::size_t j = FirstValueOfKey(k, shape); ok && j < FirstValueOfKey(k + 1, shape);
             ++j) {
            ok = WriteSyntheticValue(child, j, 0);
        }
        RegCloseKey(child);
        if (!ok) return false;
    }
    return true;
}

std::size_t ChangeSyntheticRegistryValues(HKEY key, const SyntheticRegistryShape& shape,
                                          std::size_t everyNth) {
    if (shape.keys == 0 || shape.fanOut == 0 || everyNth == 0) return 0;
    std::size_t changed = 0;
    for (std::size_t k = 0; k < shape.keys; ++k) {
        std::size_t j = FirstValueOfKey(k, shape);
        const std::size_t end = FirstValueOfKey(k + 1, shape);
        j += (everyNth - j % everyNth) % everyNth;
        if (j >= end) continue;
        const HKEY child = CreateWritableKey(key, SyntheticKeyPath(k, shape.fanOut));
        if (child == nullptr) return 0;
        for (; j < end; j += everyNth) {
            if (!WriteSyntheticValue(child, j, 1)) {
                RegCloseKey(child);
                return 0;
            }
            ++changed;
        }
        RegCloseKey(child);
    }
    return changed;
}
