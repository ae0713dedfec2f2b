// What Windows tells of the files and records that findings name: signatures made on the Linux
// side under a root this test trusts, a certificate store's Blob, shortcuts the shell saved and
// task files, with hostile bytes of each kind giving nothing.

#include "engine/windows_facts.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wincrypt.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "snapshot/snapshot_files.h"
#include "tests/support/scratch_tree.h"

namespace {

using Facts = std::vector<std::pair<std::string_view, std::string>>;

const WindowsSystemFacts kSystem;

bool UnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The "name=value" lines of samples.txt, which sign_samples.sh wrote beside the programs.
std::map<std::string, std::string> SampleFacts(const std::string& folder) {
    std::map<std::string, std::string> facts;
    std::istringstream text(scratch::ReadWholeFile(folder + "\\samples.txt"));
    for (std::string line; std::getline(text, line);) {
        const std::size_t cut = line.find('=');
        if (cut != std::string::npos) facts[line.substr(0, cut)] = line.substr(cut + 1);
    }
    return facts;
}

// A root in the machine's Root store while it lives.
struct TrustedRoot {
    HCERTSTORE store =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    PCCERT_CONTEXT root = nullptr;

    explicit TrustedRoot(const std::string& der) {
        CertAddEncodedCertificateToStore(
            store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
            static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, &root);
        CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);  // Wine writes it only now
    }
    ~TrustedRoot() {
        if (root != nullptr) CertDeleteCertificateFromStore(root);    // frees the context too
        CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);  // Wine: else it stays
        CertCloseStore(store, 0);
    }
    // HKLM\...\SystemCertificates\Root\Certificates\<thumbprint>\Blob.
    std::string RegistryBlob() const {
        BYTE hash[20];
        DWORD size = sizeof hash;
        if (!CertGetCertificateContextProperty(root, CERT_SHA1_HASH_PROP_ID, hash, &size))
            return {};
        std::wstring key = L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
        for (const BYTE b : hash) key += {L"0123456789ABCDEF"[b >> 4], L"0123456789ABCDEF"[b & 15]};
        std::string blob(1 << 16, '\0');
        DWORD length = static_cast<DWORD>(blob.size());
        const LSTATUS read = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"Blob",
                                          RRF_RT_REG_BINARY, nullptr, blob.data(), &length);
        blob.resize(read == ERROR_SUCCESS ? length : 0);
        return blob;
    }
};

TEST(WindowsFacts, SignaturesSizesAndHashesOfProgramsSignedOnLinux) {
    const char* folder = std::getenv("QUORVANE_SIGNED_SAMPLES");
    if (folder == nullptr) GTEST_SKIP() << "no signed samples (sign_samples.sh runs on Linux)";
    const std::string samples = folder;
    auto expected = SampleFacts(samples);
    const std::string der = scratch::ReadWholeFile(samples + "\\root.der");
    const TrustedRoot root(der);
    ASSERT_NE(root.root, nullptr);

    // Copies under an odd name and beyond MAX_PATH read as the originals.
    ScratchTree tree("facts-signed");
    const std::string odd = tree.AddFile(scratch::kScriptSampleNames[0] + " (x86) .exe",
                                         scratch::ReadWholeFile(samples + "\\signed.exe"));
    const std::string deep = tree.AddFile(scratch::RelativePathOfLength(tree.Root(), 300, "c.exe"),
                                          scratch::ReadWholeFile(samples + "\\changed.exe"));
    const struct {
        std::string path, sample, signature, signer, why;
    } cases[] = {
        {samples + "\\signed.exe", "signed.exe", "valid", expected["signer"], ""},
        {odd, "signed.exe", "valid", expected["signer"], ""},
        {samples + "\\unsigned.exe", "unsigned.exe", "not signed", "", ""},
        {samples + "\\changed.exe", "changed.exe", "not valid", expected["signer"],
         "the file was changed after it was signed"},
        {deep, "changed.exe", "not valid", expected["signer"],
         "the file was changed after it was signed"},
        {samples + "\\untrusted.exe", "untrusted.exe", "not valid", expected["outsider"],
         "the signing certificate is not trusted"},
    };
    for (const auto& c : cases) {
        const FindingFile file = kSystem.Inspect(c.path);
        EXPECT_TRUE(file.exists && kSystem.FileExists(c.path)) << c.path;
        EXPECT_EQ(file.size, scratch::ReadWholeFile(samples + "\\" + c.sample).size()) << c.path;
        ASSERT_EQ(expected[c.sample].size(), 64u) << c.sample;
        EXPECT_EQ(file.sha256, expected[c.sample]) << c.path;
        EXPECT_EQ(file.signer, c.signer) << c.path;
        // Wine 8 trusts any root (a file signed below an unknown one is "valid" there).
        if (c.sample == "untrusted.exe" && UnderWine()) continue;
        EXPECT_EQ(file.signature, c.signature) << c.path;
        EXPECT_EQ(file.why, c.why) << c.path;
    }

    // The root's Blob as the store keeps it, and as its bare certificate record; then hostile
    // records, which give nothing.
    auto record = [](std::uint32_t id, std::size_t length, std::string_view data) {
        std::string bytes(12, '\0');
        for (int i = 0; i < 4; ++i) {
            bytes[i] = static_cast<char>(id >> 8 * i);
            bytes[8 + i] = static_cast<char>(length >> 8 * i);
        }
        bytes[4] = 1;
        return bytes + std::string(data);
    };
    const std::string bare = record(32, der.size(), der);
    const Facts facts = {{"subject", expected["root"]},
                         {"issuer", expected["root"]},
                         {"expires", expected["expires"]}};
    const std::pair<std::string, Facts> blobs[] = {
        {root.RegistryBlob(), facts},
        {record(3, 4, "abcd") + bare, facts},
        {"", {}},
        {bare.substr(0, 11), {}},
        {bare.substr(0, bare.size() - 1), {}},
        {bare + "\x01", {}},
        {record(33, der.size(), der), {}},
        {record(32, 0xFFFFFFFF, der), {}},
        {record(32, 16, "not certificate!"), {}},
        {record(3, 0xFFFFFFF4, "") + bare, {}},
    };
    for (std::size_t i = 0; i < std::size(blobs); ++i) {
        EXPECT_EQ(kSystem.Certificate(blobs[i].first), blobs[i].second) << "blob " << i;
    }
}

TEST(WindowsFacts, FilesThatCannotBeReadSayWhy) {
    ScratchTree tree("facts-unread");
    const std::string locked = tree.AddFile("locked.exe", "MZ!");
    const HANDLE holder = CreateFileW(ExtendedLengthPath(locked).c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const struct {
        std::string path;
        bool exists;
        std::uint64_t size;
        std::string why;
    } cases[] = {
        {locked, true, 3, "in use by another program"},
        {tree.Path("none.exe"), false, 0, SystemErrorText(ERROR_FILE_NOT_FOUND)},
        {tree.AddFolder("folder.exe"), false, 0, "a folder, not a file"},
        {"tool.exe", false, 0, "not a full path: not read"},
        {"C:tool.exe", false, 0, "not a full path: not read"},
        {"\\\\server\\share\\tool.exe", false, 0, "on another computer or a device: not read"},
        {"\\\\.\\PhysicalDrive0", false, 0, "on another computer or a device: not read"},
        {tree.Path("locked.exe") + std::string(1, '\0') + "x", false, 0,
         "the name holds a zero character"},
    };
    for (const auto& c : cases) {
        const FindingFile file = kSystem.Inspect(c.path);
        EXPECT_EQ(file.exists, c.exists) << c.path;
        EXPECT_EQ(kSystem.FileExists(c.path), c.exists) << c.path;
        EXPECT_EQ(file.size, c.size) << c.path;
        EXPECT_EQ(file.why, c.why) << c.path;
        EXPECT_TRUE(file.sha256.empty() && file.signature.empty()) << c.path;
    }
    CloseHandle(holder);
}

TEST(WindowsFacts, EnvironmentExpandsAtAnyLength) {
    const std::wstring big(20000, L'b');
    ASSERT_TRUE(SetEnvironmentVariableW(L"FACTS_ONE", L"one") &&
                SetEnvironmentVariableW(L"FACTS_WIDE", scratch::Utf16("名前").c_str()) &&
                SetEnvironmentVariableW(L"FACTS_BIG", big.c_str()));
    // Past the length the system expands at once, a text comes out as its short form does (in
    // one call of the system).
    const std::string odd = "x%FACTS_ONE%y%FACTS_NONE%FACTS_ONE%z%";
    const std::string filler(40000, 'a');
    const std::string zero = std::string("%FACTS_ONE%") + '\0' + "%FACTS_ONE%";
    const std::pair<std::string, std::string> cases[] = {
        {"%FACTS_ONE%\\bin %FACTS_WIDE%", "one\\bin 名前"},
        {"%FACTS_BIG%%FACTS_BIG%", scratch::Utf8(big + big)},
        {filler + odd + filler, filler + kSystem.ExpandEnvironment(odd) + filler},
        {"no references", "no references"},
        {zero, zero},
    };
    for (const auto& [text, expanded] : cases) {
        const std::string got = kSystem.ExpandEnvironment(text);
        EXPECT_TRUE(got == expanded)
            << text.substr(0, 40) << ": " << got.size() << " bytes, " << got.substr(0, 40) << "...";
    }
}

// A shortcut as the shell saves one.
bool SaveLink(const std::string& link, const std::string& target, const std::string& arguments,
              const std::string& folder) {
    IShellLinkW* shell = nullptr;
    IPersistFile* file = nullptr;
    bool saved =
        SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&shell))) &&
        SUCCEEDED(shell->SetPath(scratch::Utf16(target).c_str())) &&
        (arguments.empty() || SUCCEEDED(shell->SetArguments(scratch::Utf16(arguments).c_str()))) &&
        (folder.empty() || SUCCEEDED(shell->SetWorkingDirectory(scratch::Utf16(folder).c_str()))) &&
        SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Save(scratch::Utf16(link).c_str(), TRUE));
    if (file != nullptr) file->Release();
    if (shell != nullptr) shell->Release();
    return saved;
}

// A task file as the scheduler writes it: UTF-16 little-endian, with or without its mark.
std::string Utf16Bytes(std::string_view text, bool mark) {
    const std::wstring wide = (mark ? L"\uFEFF" : L"") + scratch::Utf16(text);
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
}

const std::string kTask = R"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo><!-- <Author>not this</Author> -->
    <Author>Q&amp;A &#x540D;&#21069;&#x1F600;</Author><Description>&lt;x&gt;</Description>
  </RegistrationInfo>
  <Actions Context="Author">
    <Exec>
      <Command>C:\Program Files\Up &lt;1&gt;\up.exe</Command>
      <Arguments>/q &quot;a b&quot; &apos;<![CDATA[<raw>]]>&apos;</Arguments>
    </Exec>
    <Exec><Command>C:\second.exe</Command></Exec>
  </Actions>
</Task>
)";

std::string OnlyExec(std::string_view exec) {
    return "<Task><Actions><Exec>" + std::string(exec) + "</Exec></Actions></Task>";
}

TEST(WindowsFacts, ShortcutsAndTaskFilesGiveTheirFactsAndHostileOnesNone) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ScratchTree tree("facts-files");
    const std::string target = tree.AddFile(scratch::kScriptSampleNames[1] + " app.exe", "MZ");
    const std::string folder = tree.AddFolder("work place");
    const std::string arguments = "/tray \"a b\" --name=" + scratch::kScriptSampleNames[2];
    ASSERT_TRUE(SaveLink(tree.Path("full.lnk"), target, arguments, folder));
    ASSERT_TRUE(SaveLink(tree.Path("bare.lnk"), target, "", ""));
    const std::string full = scratch::ReadWholeFile(tree.Path("full.lnk"));
    const std::string header = full.substr(0, 76);  // the link class's header, nothing after it
    const Facts task = {{"command", "\"C:\\Program Files\\Up <1>\\up.exe\" /q \"a b\" '<raw>'"},
                        {"author", "Q&A 名前😀"}};
    const auto link = &WindowsSystemFacts::Shortcut;
    const auto xml = &WindowsSystemFacts::Task;
    const struct {
        decltype(link) read;
        std::string bytes;
        Facts facts;
    } cases[] = {
        {link, full, {{"target", target}, {"arguments", arguments}, {"folder", folder}}},
        {link, scratch::ReadWholeFile(tree.Path("bare.lnk")), {{"target", target}}},
        {link, header + std::string(76, '\0'), {}},
        {link, full.substr(0, full.size() / 2), {}},
        {link, header.substr(0, 60), {}},
        {link, "[InternetShortcut]\r\nURL=http://example.invalid/\r\n", {}},
        {link, std::string(4096, '\xFF'), {}},
        {xml, Utf16Bytes(kTask, true), task},
        {xml, Utf16Bytes(kTask, false), task},
        {xml, "\xEF\xBB\xBF" + kTask, task},
        {xml,
         OnlyExec(R"(<Command>"C:\a b\x.exe"</Command>)"),
         {{"command", "\"C:\\a b\\x.exe\""}}},
        {xml,
         OnlyExec("<Command>C:\\x.exe</Command><Arguments>-a</Arguments>"),
         {{"command", "C:\\x.exe -a"}}},
        {xml, OnlyExec("<Arguments>-a</Arguments>"), {}},
        {xml, Utf16Bytes(kTask, true) + "x", {}},
        {xml, kTask.substr(0, kTask.size() - 9), {}},
        {xml, OnlyExec("<Command>C:\\x.exe</Arguments>"), {}},
        {xml, OnlyExec("<Command>&bogus;</Command>"), {}},
        {xml, OnlyExec("<Command>&#0;</Command>"), {}},
        {xml, OnlyExec("<Command>&#x110000;</Command>"), {}},
        {xml, "<!DOCTYPE t [<!ENTITY e 'x'>]>" + OnlyExec("<Command>&e;</Command>"), {}},
        {xml, OnlyExec("<Command>C:\\x.exe</Command"), {}},
        {xml, std::string(4096, '\x80'), {}},
        {xml, OnlyExec(std::string(5 << 20, ' ') + "<Command>C:\\x.exe</Command>"), {}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string path = tree.AddFile("case" + std::to_string(i), cases[i].bytes);
        EXPECT_EQ((kSystem.*cases[i].read)(path), cases[i].facts) << "case " << i;
    }
    EXPECT_TRUE(kSystem.Shortcut(tree.Path("none")).empty() &&
                kSystem.Task(tree.Path("none")).empty());
    CoUninitialize();
}

}  // namespace
