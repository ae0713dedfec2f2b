// What a change means, end to end through the real dialog: an installer's kind of change to the
// machine's own places (C: and HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER of the test's Wine prefix),
// with the machine's churn beside it. The report and the change set are left where the browser
// and jq check them (tests/change_meaning_in_browser.sh).

#include <gtest/gtest.h>
#include <windows.h>

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
using scratch::SplitLines;
using scratch::Utf16;

// Keys, values and files put in the machine's own places, taken away again when done.
class Planted {
public:
    ~Planted() {
        for (const auto& [root, path, name] : values_) {
            RegDeleteKeyValueW(root, path.c_str(), name.c_str());
        }
        for (auto it = keys_.rbegin(); it != keys_.rend(); ++it) {
            RegDeleteTreeW(it->first, it->second.c_str());
            RegDeleteKeyW(it->first, it->second.c_str());
        }
        for (const std::string& path : files_) DeleteFileW(Utf16(path).c_str());
    }

    // A value below root\path: in a key of its own (taken away when done), or in a key that
    // stays (only the value goes).
    bool Value(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
               const void* data, std::size_t size, bool ownKey = true) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            return false;
        }
        if (ownKey) {
            keys_.emplace_back(root, path);
        } else {
            values_.push_back({root, path, name});
        }
        const bool set = RegSetValueExW(key, name.c_str(), 0, type,
                                        static_cast<const BYTE*>(data),
                                        static_cast<DWORD>(size)) == ERROR_SUCCESS;
        RegCloseKey(key);
        return set;
    }
    bool String(HKEY root, const std::wstring& path, const std::wstring& name,
                const std::wstring& text, bool ownKey = true) {
        return Value(root, path, name, REG_SZ, text.c_str(), (text.size() + 1) * 2, ownKey);
    }
    bool File(const std::string& path, std::string_view content = "x") {
        files_.push_back(path);
        return scratch::WriteWholeFile(path, content);
    }

private:
    struct PlantedValue {
        HKEY root;
        std::wstring path, name;
    };
    std::vector<PlantedValue> values_;
    std::vector<std::pair<HKEY, std::wstring>> keys_;
    std::vector<std::string> files_;
};

TEST(ChangeMeaning, TheReportHighlightsWhatStartsTrustsAndRegistersAndMarksTheChurn) {
    ScratchTree folder("meaning");
    scratch::CurrentDirectory current(folder.Root());
    const KnownPlaces places = ResolveKnownPlaces();
    ASSERT_FALSE(places.system.empty() || places.userTemp.empty() || places.userStartMenu.empty());
    // Folders Wine's prefix may lack.
    for (const std::string& made : {places.system + "\\Tasks", places.windows + "\\Prefetch",
                                    places.userProfile + "\\Recent"}) {
        CreateDirectoryW(Utf16(made).c_str(), nullptr);
    }
    const std::string recent = places.userAppData.empty()
                                   ? places.userProfile + "\\Recent"
                                   : places.userAppData + "\\Microsoft\\Windows\\Recent";
    CreateDirectoryW(Utf16(recent).c_str(), nullptr);

    std::unique_ptr<DialogDriver> dialog = DialogDriver::StartInProcess();
    ASSERT_TRUE(dialog);
    dialog->SetChecked(IDC_SCAN_FILES, true);
    dialog->SetText(IDC_DRIVE_LIST, "C:");
    dialog->SetChecked(IDC_SCAN_REGISTRY, true);
    dialog->SetChecked(IDC_ROOT_HKLM, true);
    dialog->SetChecked(IDC_ROOT_HKCU, true);
    ASSERT_EQ(dialog->RunStep(IDC_STEP1).caption, "Quorvane");

    Planted planted;
    const wchar_t* kVersion = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    const DWORD automatic = 2, ownProcess = 16;
    const BYTE certificate[] = {0x30, 0x82, 0x01, 0x0a};
    ASSERT_TRUE(planted.String(HKEY_LOCAL_MACHINE, std::wstring(kVersion) + L"\\Run", L"QvTool",
                               L"C:\\Tools\\qvtool.exe", false));
    ASSERT_TRUE(planted.String(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\QvSvc",
                               L"ImagePath", L"C:\\Svc\\qvsvc.exe"));
    ASSERT_TRUE(planted.Value(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\QvSvc",
                              L"Start", REG_DWORD, &automatic, 4));
    ASSERT_TRUE(planted.Value(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\QvSvc",
                              L"Type", REG_DWORD, &ownProcess, 4));
    ASSERT_TRUE(planted.File(places.system + "\\Tasks\\QvNightly", "<Task/>"));
    ASSERT_TRUE(planted.String(HKEY_LOCAL_MACHINE, std::wstring(kVersion) + L"\\Uninstall\\QvTool",
                               L"DisplayName", L"Qv Tool"));
    ASSERT_TRUE(planted.String(HKEY_LOCAL_MACHINE, std::wstring(kVersion) + L"\\Uninstall\\QvTool",
                               L"DisplayVersion", L"1.2"));
    ASSERT_TRUE(planted.String(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\.qvt", L"", L"Qv.Document"));
    ASSERT_TRUE(planted.String(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\Qv.Document\\shell\\open\\command",
                               L"", L"\"C:\\Tools\\qvtool.exe\" \"%1\""));
    ASSERT_TRUE(planted.File(places.userStartMenu + "\\Programs\\Qv Tool.lnk", "L"));
    ASSERT_TRUE(planted.Value(HKEY_LOCAL_MACHINE,
                              L"SOFTWARE\\Microsoft\\SystemCertificates\\ROOT\\Certificates\\"
                              L"0123456789ABCDEF0123456789ABCDEF01234567",
                              L"Blob", REG_BINARY, certificate, sizeof certificate));
    ASSERT_TRUE(planted.String(HKEY_LOCAL_MACHINE,
                               L"SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\"
                               L"FirewallPolicy\\FirewallRules",
                               L"QvTool-In", L"v2.30|Action=Allow|Active=TRUE|Dir=In|LPort=8088|"));
    // The machine's churn.
    ASSERT_TRUE(planted.File(places.userTemp + "\\qv-setup.tmp"));
    ASSERT_TRUE(planted.File(places.windows + "\\Prefetch\\QVTOOL.EXE-1A2B3C4D.pf"));
    ASSERT_TRUE(planted.File(recent + "\\qv-readme.lnk"));

    const SeenMessageBox summary = dialog->RunStep(IDC_STEP2);
    EXPECT_NE(summary.text.find("Every change is listed in \"Quorvane_Report.html\""), std::string::npos)
        << summary.text;
    const std::string report = ReadWholeFile(folder.Path(kReportName));
    const std::string changes = ReadWholeFile(folder.Path(kChangeSetName));
    ASSERT_FALSE(report.empty());
    ASSERT_FALSE(changes.empty());
    for (const char* name : {kRedoRegName, kUndoRegName, kUndoCmdName}) {
        EXPECT_TRUE(scratch::PathExists(folder.Path(name))) << name;
    }
    // What each planted change means, as the highlights word it.
    for (const char* words : {"New service, starts automatically: C:\\Svc\\qvsvc.exe",
                              "Uninstall entry: Qv Tool 1.2"}) {
        EXPECT_NE(report.find(words), std::string::npos) << words;
    }

    // For the browser and jq (tests/change_meaning_in_browser.sh).
    if (const char* copy = std::getenv("QUORVANE_MEANING_COPY")) {
        ASSERT_TRUE(scratch::WriteWholeFile(std::string(copy) + ".html", report));
        ASSERT_TRUE(scratch::WriteWholeFile(std::string(copy) + ".jsonl", changes));
    }
}

}  // namespace
