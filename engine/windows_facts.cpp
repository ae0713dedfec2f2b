#include "engine/windows_facts.h"

#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "snapshot/file_hash.h"
#include "snapshot/snapshot_files.h"
#include "text/text.h"
#include "win32/unique_handle.h"

namespace {

using Facts = std::vector<std::pair<std::string_view, std::string>>;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// ---- Environment ----

// The system expands at most 32K characters at a time (Wine cuts a longer text without a word),
// and gives at most that much back.
constexpr std::size_t kWholeExpansion = 16384;

// One expansion by the system; nothing when it fails.
std::optional<std::wstring> ExpandBySystem(const std::wstring& text) {
    std::wstring out(text.size() + 256, L'\0');
    // A variable another thread sets meanwhile may grow the result between the two calls.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD needed =
            ExpandEnvironmentStringsW(text.c_str(), out.data(), static_cast<DWORD>(out.size()));
        if (needed == 0) return std::nullopt;
        if (needed <= out.size()) {
            // Wine cuts a result beyond 32K characters with a zero and still gives its size.
            if (wcsnlen(out.data(), needed) != needed - 1) return std::nullopt;
            out.resize(needed - 1);
            return out;
        }
        out.resize(needed);
    }
    return std::nullopt;
}

// A long text expanded one reference at a time, scanned as the system scans it: a '%' opens a
// reference and the next '%' closes it; text between references holds no '%' and stays.
std::optional<std::wstring> ExpandByReference(std::wstring_view text) {
    std::wstring out;
    while (!text.empty()) {
        const std::size_t open = text.find(L'%');
        const std::size_t close = open == text.npos ? text.npos : text.find(L'%', open + 1);
        if (close == text.npos) {
            out += text;
            break;
        }
        out += text.substr(0, open);
        const std::wstring_view reference = text.substr(open, close - open + 1);
        if (reference.size() > kWholeExpansion) {
            out += reference;  // longer than any variable's name can be
        } else {
            const std::optional<std::wstring> expanded = ExpandBySystem(std::wstring(reference));
            if (!expanded) return std::nullopt;
            out += *expanded;
        }
        text.remove_prefix(close + 1);
    }
    return out;
}

// ---- Paths ----

// The wide path by which a file of a finding is read, or empty with the reason. Only a full path
// on a drive of this computer is read: a relative one would name a file of this program's own
// folder, a device ("\\.\") would be read as if it were a file, and a share would make the
// system sign in to a server that the hostile name chose.
std::wstring PathToRead(std::string_view path, std::string& why) {
    if (path.find('\0') != std::string_view::npos) {
        why = "the name holds a zero character";
        return {};
    }
    std::string_view local = path;
    if (local.starts_with("\\\\?\\") && !local.starts_with("\\\\?\\UNC\\")) local.remove_prefix(4);
    const bool onDrive =
        local.size() >= 3 && local[1] == ':' && local[2] == '\\' &&
        ((local[0] >= 'A' && local[0] <= 'Z') || (local[0] >= 'a' && local[0] <= 'z'));
    if (!onDrive) {
        why = path.starts_with("\\\\") ? "on another computer or a device: not read"
                                       : "not a full path: not read";
        return {};
    }
    std::wstring wide = ExtendedLengthPath(path);
    if (wide.empty()) why = "the name cannot be made a full path";
    return wide;
}

// The system's words for an error, in the reader's terms.
std::string ErrorText(DWORD error) {
    return error == ERROR_SHARING_VIOLATION ? "in use by another program" : SystemErrorText(error);
}

// The content of a file of at most limit bytes, read with every share mode and without following
// a link; nothing when it cannot be read or is larger.
std::optional<std::string> ReadSmallFile(std::string_view path, std::size_t limit) {
    std::string why;
    const std::wstring wide = PathToRead(path, why);
    if (wide.empty()) return std::nullopt;
    UniqueFile file(CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size{};
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) ||
        size.QuadPart < 0 || static_cast<std::uint64_t>(size.QuadPart) > limit) {
        return std::nullopt;
    }
    std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t have = 0;
    while (have < content.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), content.data() + have, static_cast<DWORD>(content.size() - have),
                      &read, nullptr)) {
            return std::nullopt;
        }
        if (read == 0) break;  // shortened meanwhile
        have += read;
    }
    content.resize(have);
    return content;
}

// ---- Signatures and certificates ----

struct CertificateTraits {
    using Handle = PCCERT_CONTEXT;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CertFreeCertificateContext(h); }
};
struct CertStoreTraits {
    using Handle = HCERTSTORE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CertCloseStore(h, 0); }
};
struct CryptMsgTraits {
    using Handle = HCRYPTMSG;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { CryptMsgClose(h); }
};
using UniqueCertificate = UniqueAny<CertificateTraits>;
using UniqueCertStore = UniqueAny<CertStoreTraits>;
using UniqueCryptMsg = UniqueAny<CryptMsgTraits>;

// What WinVerifyTrust's answers mean for the report. Any other answer is "not valid" with its
// number.
struct TrustAnswer {
    LONG result;
    const char* signature;
    const char* why;
};
constexpr TrustAnswer kTrustAnswers[] = {
    {ERROR_SUCCESS, "valid", ""},
    {TRUST_E_NOSIGNATURE, "not signed", ""},
    {TRUST_E_SUBJECT_FORM_UNKNOWN, "not signed", ""},
    {TRUST_E_PROVIDER_UNKNOWN, "not signed", ""},
    {TRUST_E_BAD_DIGEST, "not valid", "the file was changed after it was signed"},
    {CERT_E_UNTRUSTEDROOT, "not valid", "the signing certificate is not trusted"},
    {CERT_E_CHAINING, "not valid", "the signing certificate is not trusted"},
    {CERT_E_EXPIRED, "not valid", "the signing certificate has expired"},
    {CERT_E_REVOKED, "not valid", "the signing certificate was revoked"},
    {CERT_E_WRONG_USAGE, "not valid", "the signing certificate is not for signing programs"},
    {TRUST_E_EXPLICIT_DISTRUST, "not valid", "the signature is marked as not trusted"},
    {TRUST_E_SUBJECT_NOT_TRUSTED, "not valid", "the signature is not trusted"},
};

// A name of a certificate ("CN=..., O=..."), as the system writes it, quoting what needs it.
std::string NameText(const CERT_NAME_BLOB& name) {
    CERT_NAME_BLOB copy = name;  // older headers take the blob as not const
    const DWORD type = CERT_X500_NAME_STR;
    const DWORD needed = CertNameToStrW(X509_ASN_ENCODING, &copy, type, nullptr, 0);
    if (needed <= 1) return {};
    std::wstring text(needed, L'\0');
    const DWORD written = CertNameToStrW(X509_ASN_ENCODING, &copy, type, text.data(), needed);
    text.resize(written > 0 && written <= needed ? written - 1 : 0);
    return NarrowText(text);
}

// The subject of the certificate that signed a file: its own signature (content
// CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED) or a catalog's (..._PKCS7_SIGNED). Nothing when the
// file holds no such signature, which makes a file without one of its own not signed whatever
// WinVerifyTrust answers for its form; an empty subject when the signer is not among the
// certificates the signature carries.
std::optional<std::string> SignerOf(const std::wstring& path, DWORD content) {
    DWORD encoding = 0, type = 0, format = 0;
    UniqueCertStore store;
    UniqueCryptMsg message;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), content,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &type, &format, store.put(),
                          message.put(), nullptr)) {
        return std::nullopt;
    }
    DWORD size = 0;
    if (!CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) ||
        size < sizeof(CMSG_SIGNER_INFO)) {
        return std::string();
    }
    // Aligned for the structure the system writes at its start.
    std::unique_ptr<std::uint64_t[]> buffer(new std::uint64_t[size / 8 + 1]);
    if (!CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, buffer.get(), &size)) {
        return std::string();
    }
    const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.get());
    CERT_INFO wanted{};
    wanted.Issuer = signer->Issuer;
    wanted.SerialNumber = signer->SerialNumber;
    UniqueCertificate certificate(
        CertFindCertificateInStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                   CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
    return certificate ? NameText(certificate.get()->pCertInfo->Subject) : std::string();
}

// WinVerifyTrust's judgement of a subject (a file or a catalog's member), without revocation
// checks and without fetching anything from the network (a hostile certificate names its own
// addresses).
LONG Verify(DWORD choice, void* subject) {
    WINTRUST_DATA trust{};
    trust.cbStruct = sizeof trust;
    trust.dwUIChoice = WTD_UI_NONE;
    trust.fdwRevocationChecks = WTD_REVOKE_NONE;
    trust.dwUnionChoice = choice;
    if (choice == WTD_CHOICE_FILE) trust.pFile = static_cast<WINTRUST_FILE_INFO*>(subject);
    if (choice == WTD_CHOICE_CATALOG) trust.pCatalog = static_cast<WINTRUST_CATALOG_INFO*>(subject);
    trust.dwStateAction = WTD_STATEACTION_VERIFY;
    trust.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const HWND noUser = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG result = WinVerifyTrust(noUser, &action, &trust);
    trust.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(noUser, &action, &trust);
    return result;
}

void SetVerdict(LONG result, FindingFile& file) {
    for (const TrustAnswer& known : kTrustAnswers) {
        if (known.result == result) {
            file.signature = known.signature;
            file.why = known.why;
            return;
        }
    }
    char text[48];
    std::snprintf(text, sizeof text, "WinVerifyTrust: 0x%08lX", static_cast<unsigned long>(result));
    file.signature = "not valid";
    file.why = text;
}

// Most of Windows's own files are signed in a catalog of the system's rather than in
// themselves: the catalog that lists the file's hash, judged for the file. SHA-256 catalogs are
// asked for first where the system has them (CryptCATAdminAcquireContext2, Windows 8 and
// later), then SHA-1 ones. False when no catalog lists the file.
bool CheckCatalog(const std::wstring& path, HANDLE handle, FindingFile& file) {
    using Acquire2 =
        BOOL(WINAPI*)(HCATADMIN*, const GUID*, const WCHAR*, const CERT_STRONG_SIGN_PARA*, DWORD);
    using Hash2 = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);
    const HMODULE wintrust = GetModuleHandleW(L"wintrust.dll");
    const auto acquire2 = reinterpret_cast<Acquire2>(
        reinterpret_cast<void*>(GetProcAddress(wintrust, "CryptCATAdminAcquireContext2")));
    const auto hash2 = reinterpret_cast<Hash2>(
        reinterpret_cast<void*>(GetProcAddress(wintrust, "CryptCATAdminCalcHashFromFileHandle2")));
    for (const bool sha256 : {true, false}) {
        if (sha256 && (acquire2 == nullptr || hash2 == nullptr)) continue;
        HCATADMIN admin = nullptr;
        if (sha256 ? !acquire2(&admin, nullptr, BCRYPT_SHA256_ALGORITHM, nullptr, 0)
                   : !CryptCATAdminAcquireContext(&admin, nullptr, 0)) {
            continue;
        }
        BYTE hash[64];
        DWORD size = sizeof hash;
        SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
        const bool hashed = sha256 ? hash2(admin, handle, &size, hash, 0)
                                   : CryptCATAdminCalcHashFromFileHandle(handle, &size, hash, 0);
        HCATINFO catalog =
            hashed ? CryptCATAdminEnumCatalogFromHash(admin, hash, size, 0, nullptr) : nullptr;
        CATALOG_INFO info{};
        info.cbStruct = sizeof info;
        if (catalog != nullptr && CryptCATCatalogInfoFromContext(catalog, &info, 0)) {
            std::wstring tag;
            for (DWORD i = 0; i < size; ++i) {
                tag += L"0123456789ABCDEF"[hash[i] >> 4];
                tag += L"0123456789ABCDEF"[hash[i] & 15];
            }
            WINTRUST_CATALOG_INFO member{};
            member.cbStruct = sizeof member;
            member.pcwszCatalogFilePath = info.wszCatalogFile;
            member.pcwszMemberTag = tag.c_str();
            member.pcwszMemberFilePath = path.c_str();
            member.hMemberFile = handle;
            member.pbCalculatedFileHash = hash;
            member.cbCalculatedFileHash = size;
            SetVerdict(Verify(WTD_CHOICE_CATALOG, &member), file);
            if (file.signature != "not signed") {
                file.signer = SignerOf(info.wszCatalogFile, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED)
                                  .value_or(std::string());
            }
        }
        if (catalog != nullptr) CryptCATAdminReleaseCatalogContext(admin, catalog, 0);
        CryptCATAdminReleaseContext(admin, 0);
        if (!file.signature.empty()) return true;
    }
    return false;
}

// The file's Authenticode signature as WinVerifyTrust judges it: its own, or else its
// catalog's.
void CheckSignature(const std::wstring& path, FindingFile& file) {
    UniqueFile handle(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) {
        file.why = ErrorText(GetLastError());
        return;
    }
    const std::optional<std::string> signer =
        SignerOf(path, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED);
    if (!signer) {
        if (!CheckCatalog(path, handle.get(), file)) file.signature = "not signed";
        return;
    }
    WINTRUST_FILE_INFO subject{};
    subject.cbStruct = sizeof subject;
    subject.pcwszFilePath = path.c_str();
    subject.hFile = handle.get();
    SetVerdict(Verify(WTD_CHOICE_FILE, &subject), file);
    if (file.signature != "not signed") file.signer = *signer;
}

std::uint32_t Le32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// The encoded certificate of a serialized store element: records of a property id, an encoding
// type, a length and that many bytes, to the end of the blob; the certificate is property 32.
// Nothing unless every record lies within the blob.
std::optional<std::string_view> EncodedCertificate(std::string_view blob) {
    constexpr std::size_t kHeader = 12;
    constexpr std::uint32_t kCertificateProperty = 32;  // not named by every header
    std::optional<std::string_view> found;
    std::size_t at = 0;
    while (at < blob.size()) {
        if (blob.size() - at < kHeader) return std::nullopt;
        const std::uint32_t id = Le32(blob, at);
        const std::uint32_t length = Le32(blob, at + 8);
        at += kHeader;
        if (length > blob.size() - at) return std::nullopt;
        if (id == kCertificateProperty && !found) found = blob.substr(at, length);
        at += length;
    }
    return found;
}

// A time as the day it falls on in UTC, "2031-05-17"; empty when out of the system's range.
std::string DayText(const FILETIME& time) {
    SYSTEMTIME day{};
    if (!FileTimeToSystemTime(&time, &day)) return {};
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", unsigned{day.wYear}, unsigned{day.wMonth},
                  unsigned{day.wDay});
    return text;
}

// ---- Shortcuts ----

// Owns one reference to a COM object.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    explicit ComRef(T* p) : p_(p) {}
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (p_ != nullptr) p_->Release();
    }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    void** put() { return reinterpret_cast<void**>(&p_); }

private:
    T* p_ = nullptr;
};

// COM on the calling thread while it lives; a thread that has it already keeps its own.
class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

// A link file is small; anything larger is no shortcut worth reading.
constexpr std::size_t kLargestLink = 1 << 20;
// A link starts with its header's size (76) and the shell link class id.
constexpr unsigned char kLinkStart[20] = {0x4C, 0, 0,    0, 0x01, 0x14, 0x02, 0, 0, 0,
                                          0,    0, 0xC0, 0, 0,    0,    0,    0, 0, 0x46};

// One text of a loaded link through a getter of the IShellLinkW kind.
template <typename Get>
std::string LinkText(Get get) {
    std::wstring text(32768, L'\0');
    if (FAILED(get(text.data(), static_cast<int>(text.size())))) return {};
    text.back() = L'\0';
    text.resize(wcslen(text.c_str()));
    return NarrowText(text);
}

// ---- Task files ----

constexpr std::size_t kLargestTask = 4 << 20;

// A task file's bytes as UTF-8: UTF-16 little-endian, as the scheduler writes it (with its mark,
// or without one when the second byte is zero), or UTF-8. Nothing when UTF-16 has an odd byte.
std::optional<std::string> TaskText(std::string_view bytes) {
    const bool marked = bytes.starts_with("\xFF\xFE");
    if (!marked && !(bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0')) {
        if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
        return NarrowText(WidenText(bytes));  // invalid sequences replaced
    }
    if (marked) bytes.remove_prefix(2);
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::wstring wide(bytes.size() / 2, L'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
        wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i + 1]) << 8 |
                                       static_cast<unsigned char>(bytes[2 * i]));
    }
    return NarrowText(wide);
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    std::wstring units;
    if (code >= 0x10000) {
        units = {static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10)),
                 static_cast<wchar_t>(0xDC00 + (code & 0x3FF))};
    } else {
        units = {static_cast<wchar_t>(code)};
    }
    out += NarrowText(units);
}

// A character reference's number ("65", "x41"); nothing when it is no character XML allows.
std::optional<std::uint32_t> CharacterNumber(std::string_view digits) {
    const bool hex = digits.starts_with('x');
    if (hex) digits.remove_prefix(1);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t code = 0;
    for (const char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return std::nullopt;
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
    }
    const bool allowed = code == 0x9 || code == 0xA || code == 0xD ||
                         (code >= 0x20 && code <= 0xD7FF) || (code >= 0xE000 && code <= 0xFFFD) ||
                         (code >= 0x10000 && code <= 0x10FFFF);
    if (!allowed) return std::nullopt;
    return code;
}

// Text between tags with its references replaced; false on one XML does not know.
bool AppendDecoded(std::string& out, std::string_view text) {
    constexpr std::pair<std::string_view, char> kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    while (!text.empty()) {
        const std::size_t amp = text.find('&');
        out += text.substr(0, amp);
        if (amp == text.npos) return true;
        const std::size_t end = text.find(';', amp);
        if (end == text.npos) return false;
        const std::string_view name = text.substr(amp + 1, end - amp - 1);
        bool known = false;
        for (const auto& [entity, c] : kNamed) {
            if (name == entity) {
                out += c;
                known = true;
            }
        }
        if (!known) {
            const std::optional<std::uint32_t> code =
                name.starts_with('#') ? CharacterNumber(name.substr(1)) : std::nullopt;
            if (!code) return false;
            AppendUtf8(out, *code);
        }
        text.remove_prefix(end + 1);
    }
    return true;
}

std::string_view LocalName(std::string_view name) {
    const std::size_t colon = name.rfind(':');
    return colon == name.npos ? name : name.substr(colon + 1);
}

bool IsXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimmedXml(std::string_view text) {
    while (!text.empty() && IsXmlBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsXmlBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The texts a task's facts come from, gathered in one pass over its XML.
struct TaskParts {
    std::string command, arguments, author;
};

// Where the text of the innermost open element goes: the Command and Arguments children of the
// first Exec element, and the first Author element.
std::string* TextTarget(const std::vector<std::string_view>& open, std::size_t execDepth,
                        bool execDone, bool authorDone, TaskParts& parts) {
    if (open.empty()) return nullptr;
    const std::string_view name = LocalName(open.back());
    if (!execDone && execDepth != 0 && open.size() == execDepth + 1) {
        if (name == "Command") return &parts.command;
        if (name == "Arguments") return &parts.arguments;
    }
    if (!authorDone && name == "Author") return &parts.author;
    return nullptr;
}

// The end of a start tag ("<a b='>'>"): its '>', past quoted attribute values.
std::size_t StartTagEnd(std::string_view xml, std::size_t at) {
    for (char quote = 0; at < xml.size(); ++at) {
        if (quote != 0) {
            if (xml[at] == quote) quote = 0;
        } else if (xml[at] == '"' || xml[at] == '\'') {
            quote = xml[at];
        } else if (xml[at] == '>') {
            return at;
        }
    }
    return std::string_view::npos;
}

// A task's XML read in one pass without recursion, so that no depth of nesting can exhaust the
// stack; nothing when its tags do not nest or a construct is cut off. A document type is
// refused: a task never has one, and its entities could expand without end.
std::optional<TaskParts> ReadTaskXml(std::string_view xml) {
    TaskParts parts;
    std::vector<std::string_view> open;
    std::size_t execDepth = 0;  // the first Exec element's depth, 0 before it
    bool execDone = false, authorDone = false;
    std::string* target = nullptr;
    std::size_t at = 0;
    while (at < xml.size()) {
        const std::size_t tag = xml.find('<', at);
        const std::string_view text = xml.substr(at, tag == xml.npos ? xml.npos : tag - at);
        std::string ignored;
        if (!AppendDecoded(target != nullptr ? *target : ignored, text)) return std::nullopt;
        if (tag == xml.npos) break;
        const std::string_view rest = xml.substr(tag);
        std::size_t end = xml.npos;
        if (rest.starts_with("<!--")) {
            end = xml.find("-->", tag + 4);
            if (end != xml.npos) end += 2;
        } else if (rest.starts_with("<![CDATA[")) {
            end = xml.find("]]>", tag + 9);
            if (end != xml.npos && target != nullptr) *target += xml.substr(tag + 9, end - tag - 9);
            if (end != xml.npos) end += 2;
        } else if (rest.starts_with("<?")) {
            end = xml.find("?>", tag + 2);
            if (end != xml.npos) end += 1;
        } else if (rest.starts_with("<!")) {
            return std::nullopt;
        } else if (rest.starts_with("</")) {
            end = xml.find('>', tag);
            if (end == xml.npos) return std::nullopt;
            const std::string_view name = TrimmedXml(xml.substr(tag + 2, end - tag - 2));
            if (open.empty() || open.back() != name) return std::nullopt;
            if (target == &parts.author) authorDone = true;
            if (execDepth != 0 && open.size() == execDepth) execDone = true;
            open.pop_back();
        } else {
            end = StartTagEnd(xml, tag + 1);
            if (end == xml.npos) return std::nullopt;
            const std::string_view inside = xml.substr(tag + 1, end - tag - 1);
            std::size_t nameLength = 0;
            while (nameLength < inside.size() && !IsXmlBlank(inside[nameLength]) &&
                   inside[nameLength] != '/') {
                ++nameLength;
            }
            if (nameLength == 0) return std::nullopt;
            if (!inside.ends_with('/')) {
                open.push_back(inside.substr(0, nameLength));
                if (execDepth == 0 && LocalName(open.back()) == "Exec") execDepth = open.size();
            }
        }
        if (end == xml.npos) return std::nullopt;
        target = TextTarget(open, execDepth, execDone, authorDone, parts);
        at = end + 1;
    }
    if (!open.empty()) return std::nullopt;
    return parts;
}

}  // namespace

std::string WindowsSystemFacts::ExpandEnvironment(std::string_view text) const {
    if (text.find('%') == text.npos || text.find('\0') != text.npos) return std::string(text);
    const std::wstring wide = WidenText(text);
    std::optional<std::wstring> expanded;
    if (wide.size() <= kWholeExpansion) expanded = ExpandBySystem(wide);
    if (!expanded) expanded = ExpandByReference(wide);
    return expanded ? NarrowText(*expanded) : std::string(text);
}

bool WindowsSystemFacts::FileExists(std::string_view path) const {
    std::string why;
    const std::wstring wide = PathToRead(path, why);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return !wide.empty() && GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) &&
           !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

FindingFile WindowsSystemFacts::Inspect(std::string_view path) const {
    FindingFile file;
    const std::wstring wide = PathToRead(path, file.why);
    if (wide.empty()) return file;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) {
        file.why = ErrorText(GetLastError());
        return file;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        file.why = "a folder, not a file";
        return file;
    }
    file.exists = true;
    file.size = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    const FileHash hash = Sha256OfFile(wide, shouldStop_);
    if (!hash.Hashed()) {
        file.why = hash.error;  // what cannot be read whole is not judged either
        return file;
    }
    file.sha256 = hash.Hex();
    CheckSignature(wide, file);
    return file;
}

std::vector<std::pair<std::string_view, std::string>> WindowsSystemFacts::Certificate(
    std::string_view blob) const {
    const std::optional<std::string_view> encoded = EncodedCertificate(blob);
    if (!encoded || encoded->empty()) return {};
    UniqueCertificate certificate(CertCreateCertificateContext(
        X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, reinterpret_cast<const BYTE*>(encoded->data()),
        static_cast<DWORD>(encoded->size())));
    if (!certificate) return {};
    const CERT_INFO& info = *certificate.get()->pCertInfo;
    Facts facts = {{"subject", NameText(info.Subject)},
                   {"issuer", NameText(info.Issuer)},
                   {"expires", DayText(info.NotAfter)}};
    std::erase_if(facts, [](const auto& fact) { return fact.second.empty(); });
    return facts;
}

std::vector<std::pair<std::string_view, std::string>> WindowsSystemFacts::Shortcut(
    std::string_view path) const {
    // Read here, with every share mode and at any path length, and given to the shell as a
    // stream: what is no link is never handed to the shell's parser at all.
    const std::optional<std::string> bytes = ReadSmallFile(path, kLargestLink);
    if (!bytes || bytes->size() < 76 || std::memcmp(bytes->data(), kLinkStart, 20) != 0) return {};
    const ComApartment apartment;
    if (!apartment.Usable()) return {};
    const ComRef<IStream> stream(SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes->data()),
                                                   static_cast<UINT>(bytes->size())));
    ComRef<IShellLinkW> link;
    ComRef<IPersistStream> persist;
    if (stream.get() == nullptr ||
        FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.put())) ||
        FAILED(link->QueryInterface(IID_IPersistStream, persist.put())) ||
        FAILED(persist->Load(stream.get()))) {
        return {};
    }
    IShellLinkW* shell = link.get();
    Facts facts = {
        {"target",
         LinkText([&](wchar_t* s, int n) { return shell->GetPath(s, n, nullptr, SLGP_RAWPATH); })},
        {"arguments", LinkText([&](wchar_t* s, int n) { return shell->GetArguments(s, n); })},
        {"folder", LinkText([&](wchar_t* s, int n) { return shell->GetWorkingDirectory(s, n); })}};
    std::erase_if(facts, [](const auto& fact) { return fact.second.empty(); });
    return facts;
}

std::vector<std::pair<std::string_view, std::string>> WindowsSystemFacts::Task(
    std::string_view path) const {
    const std::optional<std::string> bytes = ReadSmallFile(path, kLargestTask);
    const std::optional<std::string> xml = bytes ? TaskText(*bytes) : std::nullopt;
    const std::optional<TaskParts> parts = xml ? ReadTaskXml(*xml) : std::nullopt;
    if (!parts) return {};
    Facts facts;
    std::string command(TrimmedXml(parts->command));
    if (!command.empty()) {
        const bool blank = command.find_first_of(" \t") != command.npos;
        if (blank && command.front() != '"') command = '"' + command + '"';
        const std::string_view arguments = TrimmedXml(parts->arguments);
        if (!arguments.empty()) command += ' ' + std::string(arguments);
        facts.emplace_back("command", std::move(command));
    }
    const std::string_view author = TrimmedXml(parts->author);
    if (!author.empty()) facts.emplace_back("author", std::string(author));
    return facts;
}
