// What a change means, end to end through the real dialog: an installer's kind of change to the
// machine's own places (C: and HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER of the test's Wine prefix),
// with the machine's churn beside it. The report and the change set are left where the browser
// and jq check them (tests/change_meaning_in_browser.sh).

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <wincrypt.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/resource.h"
#include "engine/known_places.h"
#include "snapshot/snapshot_files.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/scratch_tree.h"

namespace {

using scratch::ReadWholeFile;
using scratch::Utf16;

bool SetValue(const std::wstring& path, const wchar_t* name, DWORD type, const void* data,
              std::size_t size) {
    return RegSetKeyValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, type, data, DWORD(size)) ==
           ERROR_SUCCESS;
}

bool SetString(const std::wstring& path, const wchar_t* name, const std::wstring& text,
               HKEY root = HKEY_LOCAL_MACHINE) {
    return RegSetKeyValueW(root, path.c_str(), name, REG_SZ, text.c_str(),
                           DWORD((text.size() + 1) * 2)) == ERROR_SUCCESS;
}

// A value of the machine's own that the test changes, given back as it was when done.
class ChangedValue {
public:
    ChangedValue(std::wstring key, std::wstring name) : key_(std::move(key)), name_(std::move(name)) {
        DWORD size = 0;
        had_ = RegGetValueW(HKEY_LOCAL_MACHINE, key_.c_str(), name_.c_str(), RRF_RT_ANY, &type_,
                            nullptr, &size) == ERROR_SUCCESS;
        data_.resize(size);
        if (had_) {
            RegGetValueW(HKEY_LOCAL_MACHINE, key_.c_str(), name_.c_str(), RRF_RT_ANY, &type_,
                         data_.data(), &size);
        }
    }
    ~ChangedValue() {
        if (had_) {
            SetValue(key_, name_.c_str(), type_, data_.data(), data_.size());
        } else {
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key_.c_str(), name_.c_str());
        }
    }

private:
    std::wstring key_, name_;
    bool had_ = false;
    DWORD type_ = REG_NONE;
    std::vector<BYTE> data_;
};

// What the test puts in the machine's own places, taken away again when done: keys of
// HKEY_LOCAL_MACHINE with all below them, values in keys that stay, files, then new folders.
struct Planted {
    std::vector<std::wstring> keys;
    std::vector<std::pair<std::wstring, std::wstring>> values;
    std::vector<std::string> files, folders;
    ~Planted() {
        for (const std::wstring& key : keys) {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
        }
        for (const auto& [key, name] : values) {
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str());
        }
        for (const std::string& path : files) DeleteFileW(Utf16(path).c_str());
        for (const std::string& path : folders) RemoveDirectoryW(Utf16(path).c_str());
    }
    bool Folder(const std::string& path) {
        folders.push_back(path);
        return CreateDirectoryW(Utf16(path).c_str(), nullptr) != 0;
    }
    bool File(const std::string& path, std::string_view content = "x") {
        files.push_back(path);
        return scratch::WriteWholeFile(path, content);
    }
};

// A shortcut as a setup makes one, through the shell's link object.
bool MakeShortcut(const std::string& path, const wchar_t* target, const wchar_t* arguments) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
        return false;
    }
    IPersistFile* file = nullptr;
    bool saved = SUCCEEDED(link->SetPath(target)) && SUCCEEDED(link->SetArguments(arguments)) &&
                 SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)));
    saved = saved && SUCCEEDED(file->Save(Utf16(path).c_str(), TRUE));
    if (file != nullptr) file->Release();
    link->Release();
    return saved;
}

// A self-signed certificate added to the machine's root store, as a setup that wants to be
// trusted adds one; taken out again when done. Thumbprint: its SHA-1 as the store's key names it.
struct TrustedRoot {
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                     CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    PCCERT_CONTEXT added = nullptr;
    std::string thumbprint;
    bool Add(const wchar_t* subject) {
        BYTE name[256];
        DWORD size = sizeof name;
        if (store == nullptr || !CertStrToNameW(X509_ASN_ENCODING, subject, CERT_X500_NAME_STR,
                                                nullptr, name, &size, nullptr)) {
            return false;
        }
        CERT_NAME_BLOB blob = {size, name};
        PCCERT_CONTEXT made = CertCreateSelfSignCertificate(0, &blob, 0, nullptr, nullptr,
                                                            nullptr, nullptr, nullptr);
        if (made == nullptr) return false;
        // Wine writes the store's registry keys only when told to.
        const bool stored = CertAddCertificateContextToStore(store, made, CERT_STORE_ADD_NEW, &added) &&
                            CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
        CertFreeCertificateContext(made);
        BYTE hash[20];
        DWORD hashSize = sizeof hash;
        if (!stored || !CertGetCertificateContextProperty(added, CERT_SHA1_HASH_PROP_ID, hash,
                                                          &hashSize)) {
            return false;
        }
        for (DWORD i = 0; i < hashSize; ++i) {
            thumbprint += "0123456789ABCDEF"[hash[i] >> 4];
            thumbprint += "0123456789ABCDEF"[hash[i] & 15];
        }
        return true;
    }
    ~TrustedRoot() {
        if (added != nullptr && CertDeleteCertificateFromStore(added)) {
            CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
        }
        if (store != nullptr) CertCloseStore(store, 0);
    }
};

// A task file as the task scheduler writes one: XML in UTF-16 after a byte order mark.
std::string TaskFile(std::wstring_view command, std::wstring_view arguments) {
    const std::wstring xml = L"\xFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task><RegistrationInfo>"
                             L"<Author>Qv &amp; Co</Author></RegistrationInfo><Actions><Exec><Command>" +
                             std::wstring(command) + L"</Command><Arguments>" +
                             std::wstring(arguments) + L"</Arguments></Exec></Actions></Task>";
    return std::string(reinterpret_cast<const char*>(xml.data()), xml.size() * 2);
}

TEST(ChangeMeaning, TheReportHighlightsWhatStartsTrustsAndRegistersAndMarksTheChurn) {
    ScratchTree folder("meaning");
    scratch::CurrentDirectory current(folder.Root());
    const KnownPlaces places = ResolveKnownPlaces();
    ASSERT_FALSE(places.system.empty() || places.userTemp.empty() || places.userStartMenu.empty() ||
                 places.userAppData.empty());
    // Folders Wine's prefix may lack.
    const std::string recent = places.userAppData + "\\Microsoft\\Windows\\Recent";
    for (const std::string& made : {places.system + "\\Tasks", places.windows + "\\Prefetch", recent,
                                    places.userStartup, std::string("C:\\_Quorvane_COPY")}) {
        CreateDirectoryW(Utf16(made).c_str(), nullptr);
    }
    // A value whose type will change though its text will not: Windows expands it no more.
    const std::wstring typed = L"SOFTWARE\\QvTyped";
    const std::wstring expandable = L"%SystemRoot%\\qv";
    ASSERT_TRUE(SetValue(typed, L"Path", REG_EXPAND_SZ, expandable.c_str(),
                         (expandable.size() + 1) * 2));

    // Wine fills the machine's root store from the host's when it is first opened: before the
    // baseline, so that only the planted root is new.
    TrustedRoot root;
    ASSERT_NE(root.store, nullptr);

    std::unique_ptr<DialogDriver> dialog = DialogDriver::StartInProcess();
    ASSERT_TRUE(dialog);
    dialog->SetChecked(IDC_SCAN_FILES, true);
    dialog->SetText(IDC_DRIVE_LIST, "C:");
    dialog->SetChecked(IDC_SCAN_REGISTRY, true);
    dialog->SetChecked(IDC_ROOT_HKLM, true);
    dialog->SetChecked(IDC_ROOT_HKCU, true);
    ASSERT_EQ(dialog->RunStep(IDC_STEP1).caption, "Quorvane");

    const std::wstring version = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    const std::wstring service = L"SYSTEM\\CurrentControlSet\\Services\\QvSvc";
    const std::wstring uninstall = version + L"\\Uninstall\\QvTool";
    const std::wstring tasks =
        L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\";
    const std::wstring rules =
        L"SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\"
        L"FirewallRules";
    Planted planted;
    const std::wstring comClass = L"SOFTWARE\\Classes\\CLSID\\{5156E1A0-0000-4E51-9A1E-0000000000C1}";
    planted.keys = {service, uninstall, L"SOFTWARE\\Classes\\.qvt", L"SOFTWARE\\Classes\\Qv.Document", comClass,
                    tasks + L"Tree\\QvNightly", tasks + L"Tasks\\{5156E1A0-0000-4E51-9A1E-00000000000A}",
                    typed};
    planted.values = {{version + L"\\Run", L"QvTool"}, {rules, L"QvTool-In"}};
    const DWORD automatic = 2, ownProcess = 16;
    ASSERT_TRUE(planted.Folder("C:\\Tools"));
    ASSERT_TRUE(planted.File("C:\\Tools\\qvtool.exe"));
    ASSERT_TRUE(SetString(version + L"\\Run", L"QvTool", L"C:\\Tools\\qvtool.exe"));
    ASSERT_TRUE(SetString(typed, L"Path", expandable));
    // Protection switched off, a Startup folder moved, a kind of link given a program.
    const std::wstring spynet = L"SOFTWARE\\Microsoft\\Windows Defender\\Spynet";
    const std::wstring folders = version + L"\\Explorer\\User Shell Folders";
    const std::wstring protocol =
        L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\qvp";
    planted.keys.push_back(spynet);
    const DWORD off = 0;
    ASSERT_TRUE(SetValue(spynet, L"SpynetReporting", REG_DWORD, &off, 4));
    const ChangedValue commonStartup(folders, L"Common Startup");
    ASSERT_TRUE(SetString(folders, L"Common Startup", L"C:\\qv\\startup"));
    struct UserKey {
        std::wstring path;
        ~UserKey() { RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()); }
    } userProtocol{protocol};
    ASSERT_TRUE(SetString(protocol + L"\\UserChoice", L"ProgId", L"Qv.Url", HKEY_CURRENT_USER));
    // The program's name hides nothing: only its own files here and its copies are passed over.
    const std::vector<std::string> named = {places.system + "\\QuorvaneHelper.dll",
                                            places.userStartup + "\\Quorvane agent.lnk",
                                            "C:\\Tools\\" + std::string(kReportName)};
    for (const std::string& path : named) ASSERT_TRUE(planted.File(path));
    ASSERT_TRUE(planted.File("C:\\_Quorvane_COPY\\copied.txt"));
    ASSERT_TRUE(planted.File(folder.Path(kErrorLogName)));
    ASSERT_TRUE(SetString(service, L"ImagePath", L"C:\\Svc\\qvsvc.exe"));
    ASSERT_TRUE(SetString(service, L"ObjectName", L"LocalSystem"));
    ASSERT_TRUE(SetValue(service, L"Start", REG_DWORD, &automatic, 4));
    ASSERT_TRUE(SetValue(service, L"Type", REG_DWORD, &ownProcess, 4));
    const std::string task = TaskFile(L"C:\\Tools\\qvtool.exe", L"/nightly &quot;all&quot;");
    ASSERT_TRUE(planted.File(places.system + "\\Tasks\\QvNightly", task));
    const std::wstring taskId = L"{5156E1A0-0000-4E51-9A1E-00000000000A}";
    ASSERT_TRUE(SetString(tasks + L"Tree\\QvNightly", L"Id", taskId));
    ASSERT_TRUE(SetString(tasks + L"Tasks\\" + taskId, L"Path", L"\\QvNightly"));
    ASSERT_TRUE(SetString(uninstall, L"DisplayName", L"Qv Tool"));
    ASSERT_TRUE(SetString(uninstall, L"DisplayVersion", L"1.2"));
    ASSERT_TRUE(SetString(L"SOFTWARE\\Classes\\.qvt", L"", L"Qv.Document"));
    ASSERT_TRUE(SetString(L"SOFTWARE\\Classes\\Qv.Document\\shell\\open\\command", L"",
                          L"\"C:\\Tools\\qvtool.exe\" \"%1\""));
    ASSERT_TRUE(SetString(comClass, L"", L"Qv Tool Extension"));
    ASSERT_TRUE(SetString(comClass + L"\\InprocServer32", L"", L"C:\\Tools\\qvtool.exe"));
    ASSERT_TRUE(SetString(comClass + L"\\InprocServer32", L"ThreadingModel", L"Both"));
    planted.files.push_back(places.userStartMenu + "\\Programs\\Qv Tool.lnk");
    ASSERT_TRUE(MakeShortcut(planted.files.back(), L"C:\\Tools\\qvtool.exe", L"/open"));
    ASSERT_TRUE(root.Add(L"CN=Quorvane Meaning Root, O=Qv"));
    ASSERT_TRUE(SetString(rules, L"QvTool-In",
                          L"v2.30|Action=Allow|Active=TRUE|Dir=In|LPort=8088|App=C:\\Tools\\qvtool.exe|"));
    // The machine's churn.
    ASSERT_TRUE(planted.File(places.userTemp + "\\qv-setup.tmp"));
    ASSERT_TRUE(planted.File(places.windows + "\\Prefetch\\QVTOOL.EXE-1A2B3C4D.pf"));
    ASSERT_TRUE(planted.File(recent + "\\qv-readme.lnk"));

    const SeenMessageBox summary = dialog->RunStep(IDC_STEP2);
    EXPECT_NE(summary.text.find("Every change is listed in \"Quorvane_Report.html\""), std::string::npos)
        << summary.text;
    for (const char* counted : {"\n\nWorth a look: ", " start by themselves, ", " change what is trusted, ",
                                " register programs."}) {
        EXPECT_NE(summary.text.find(counted), std::string::npos) << counted << "\n" << summary.text;
    }
    const std::string report = ReadWholeFile(folder.Path(kReportName));
    const std::string changes = ReadWholeFile(folder.Path(kChangeSetName));
    ASSERT_FALSE(report.empty());
    ASSERT_FALSE(changes.empty());
    for (const char* name : {kRedoRegName, kUndoRegName, kUndoCmdName}) {
        EXPECT_TRUE(scratch::PathExists(folder.Path(name))) << name;
    }
    const std::string newFiles = ReadWholeFile(folder.Path(kFilesChangeListName));
    for (const std::string& path : named) {
        EXPECT_NE(newFiles.find(path + "\r\n"), std::string::npos) << path;
    }
    for (const std::string& own : {std::string("_Quorvane_COPY"), folder.Root() + "\\Quorvane_"}) {
        EXPECT_EQ(newFiles.find(own), std::string::npos) << own;
        EXPECT_EQ(ReadWholeFile(folder.Path(kFilesBaselineName)).find(own), std::string::npos) << own;
    }
    const std::string startup = report.substr(0, report.find("id=\"entries\""));
    EXPECT_NE(startup.find("Quorvane agent.lnk"), std::string::npos) << "not among the highlights";
    // The value changed in type only, everywhere.
    EXPECT_NE(summary.text.find("1 value changed in type only"), std::string::npos) << summary.text;
    EXPECT_NE(changes.find("\"oldType\":\"REG_EXPAND_SZ\",\"newType\":\"REG_SZ\""),
              std::string::npos);
    EXPECT_NE(report.find("REG_EXPAND_SZ \xE2\x86\x92 REG_SZ"), std::string::npos);
    const auto regText = [&](const char* name) {
        const std::string bytes = ReadWholeFile(folder.Path(name));
        return scratch::Utf8(std::wstring_view(reinterpret_cast<const wchar_t*>(bytes.data()) + 1,
                                               bytes.size() / 2 - 1));
    };
    EXPECT_NE(regText(kUndoRegName).find("\"Path\"=hex(2):25,00,53,00"), std::string::npos);
    EXPECT_NE(regText(kRedoRegName).find("\"Path\"=\"%SystemRoot%\\\\qv\""), std::string::npos);

    for (const char* planted : {"Antivirus cloud protection", "Startup folder of all users moved",
                                "Kind of link (protocol) with a default program of its own"}) {
        EXPECT_NE(startup.find(planted), std::string::npos) << planted << " not among the highlights";
    }
    EXPECT_NE(regText(kUndoRegName).find("[-HKEY_CURRENT_USER\\" + scratch::Utf8(protocol) + "]"),
              std::string::npos)
        << "the protocol's key goes whole";

    // What each planted change means, as its item in the change set words it.
    for (const char* words : {"New service, starts automatically: C:\\\\Svc\\\\qvsvc.exe",
                              "Uninstall entry: Qv Tool 1.2"}) {
        EXPECT_NE(changes.find(words), std::string::npos) << words;
    }

    // For the browser and jq (tests/change_meaning_in_browser.sh).
    if (const char* copy = std::getenv("QUORVANE_MEANING_COPY")) {
        ASSERT_TRUE(scratch::WriteWholeFile(std::string(copy) + ".html", report));
        ASSERT_TRUE(scratch::WriteWholeFile(std::string(copy) + ".jsonl", changes));
        // The files the findings run, whose hashes sha256sum checks, and the certificate's name.
        ASSERT_TRUE(scratch::WriteWholeFile(std::string(copy) + ".task", task));
        ASSERT_TRUE(scratch::WriteWholeFile(std::string(copy) + ".tool",
                                            ReadWholeFile("C:\\Tools\\qvtool.exe")));
        ASSERT_TRUE(scratch::WriteWholeFile(std::string(copy) + ".thumbprint", root.thumbprint));
    }
}

}  // namespace
