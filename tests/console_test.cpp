// QuorvaneCmd.exe run as a script runs it, its output going to files, over a scratch tree as
// drive D: and a scratch key below HKEY_CURRENT_USER: what it prints, its exit codes, and its
// files against the dialog's.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/resource.h"
#include "engine/step_engine.h"
#include "res/version.h"
#include "snapshot/snapshot_files.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/scratch_tree.h"

namespace {

using scratch::PathExists;
using scratch::ReadWholeFile;
using scratch::SplitLines;
using scratch::Utf16;
using scratch::WriteWholeFile;

const char kHkcuBaseline[] = "Quorvane_Snapshot1_Registry_HKCU.TXT";
const char kHkcuChanges[] = "Quorvane_Snapshot2_Registry_HKCU.TXT";

struct CmdRun {
    DWORD exitCode = DWORD(-1);
    std::string out;
    std::string err;
};

// One argument as CommandLineToArgvW reads it back: quoted, with the backslashes before a
// quote (or before the closing quote) doubled.
std::wstring Quote(std::wstring_view argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L'"';
}

// Runs QuorvaneCmd.exe (path from QUORVANE_CMD_EXE) in folder with arguments (UTF-8), its
// standard streams going to files, and waits for its end.
CmdRun RunCmd(const std::string& folder, const std::vector<std::string>& arguments) {
    const char* exe = std::getenv("QUORVANE_CMD_EXE");
    std::wstring commandLine = Quote(Utf16(exe ? exe : ""));
    for (const std::string& argument : arguments) commandLine += L" " + Quote(Utf16(argument));

    static ScratchTree streams("cmd-streams");  // outside folder, which holds what it leaves
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE files[2];
    for (int i = 0; i < 2; ++i) {
        files[i] = CreateFileW(Utf16(streams.Path(i ? "err" : "out")).c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    }
    STARTUPINFOW startup = {sizeof startup};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = files[0];
    startup.hStdError = files[1];
    PROCESS_INFORMATION info = {};
    // No console, as under a build agent. (Under Wine a child given a console of its own also
    // loses what this process writes to its standard output meanwhile.)
    const BOOL started =
        CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS,
                       nullptr, Utf16(folder).c_str(), &startup, &info);
    for (HANDLE file : files) CloseHandle(file);
    CmdRun run;
    if (!started) {
        ADD_FAILURE() << "cannot start QuorvaneCmd (QUORVANE_CMD_EXE): " << GetLastError();
        return run;
    }
    if (WaitForSingleObject(info.hProcess, 300000) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 99);
        ADD_FAILURE() << "QuorvaneCmd did not end";
    }
    GetExitCodeProcess(info.hProcess, &run.exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    run.out = ReadWholeFile(streams.Path("out"));
    run.err = ReadWholeFile(streams.Path("err"));
    return run;
}

std::string WithCrLf(const std::string& text) {
    std::string printed;
    for (char c : text) {
        if (c == '\n') printed += '\r';
        printed += c;
    }
    return printed;
}

// A dialog message as standard output carries it: CR LF line ends and one at the end.
std::string AsPrinted(const std::string& text) { return WithCrLf(text) + "\r\n"; }

std::size_t LineCount(const std::string& path) { return SplitLines(ReadWholeFile(path)).size(); }

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class ConsoleSteps : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(key_.Ok()); }

    CmdRun Run(const std::vector<std::string>& arguments) {
        return RunCmd(folder_.Root(), arguments);
    }
    std::string Here(const char* name) const { return folder_.Path(name); }

    ScratchTree folder_{"cmd"};
    ScratchTree drive_ = ScratchTree::OnScratchDrive("D:");
    ScratchRegistry key_{L"console"};
};

TEST_F(ConsoleSteps, BadUsageNamesTheFaultShowsTheUsageAndTouchesNothing) {
    const std::string sentinel = "a baseline the program must leave alone\r\n";
    ASSERT_TRUE(WriteWholeFile(Here(kFilesBaselineName), sentinel));
    drive_.AddFile("a.txt", "1");
    const struct {
        std::vector<std::string> arguments;
        std::string fault;
    } cases[] = {
        {{"step2", "--registry", "HKCU,HKÄ"}, "QuorvaneCmd: unknown root \"HKÄ\""},
        {{"step1", "--files", "D:", "--copy"}, "QuorvaneCmd: --copy belongs to step2"},
        {{"step1"}, kNothingToDoText},
        {{"step1", "--files", "C"}, "QuorvaneCmd: --files \"C\" names no drive letter"},
    };
    for (const auto& c : cases) {
        const CmdRun run = Run(c.arguments);
        const std::string fault = WithCrLf(c.fault);
        EXPECT_EQ(run.exitCode, 2u) << fault;
        EXPECT_EQ(run.out, "") << fault;
        EXPECT_EQ(run.err.substr(0, fault.size()), fault);
        EXPECT_TRUE(Holds(run.err, "\r\nUsage:\r\n  QuorvaneCmd step1 ")) << run.err;
        for (const char* name : ProgramTextFiles()) {
            EXPECT_EQ(PathExists(Here(name)), name == kFilesBaselineName) << name << fault;
        }
    }
    EXPECT_EQ(ReadWholeFile(Here(kFilesBaselineName)), sentinel);

    // Asked for, the usage goes to standard output.
    const CmdRun help = Run({"/?"});
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_EQ(help.out.rfind("Usage:\r\n", 0), 0u) << help.out;
}

TEST_F(ConsoleSteps, BothStepsPrintTheSummaryAndExitByWhatTheyFound) {
    drive_.AddFile("a.txt", "12345");
    drive_.AddFile("sub\\b.txt", "1");

    const CmdRun step1 = Run({"step1", "--files", "D:", "--registry", "hkey_current_user"});
    EXPECT_EQ(step1.exitCode, 0u);
    EXPECT_EQ(step1.out, "Saved a list of 2 files\r\n\r\nSaved a list of " +
                             std::to_string(LineCount(Here(kHkcuBaseline))) +
                             " registry entries\r\n");
    EXPECT_EQ(step1.err, "");  // no progress line when standard error is a file

    // A drive letter is one letter in either case.
    const CmdRun unchanged = Run({"step2", "--files", "d:", "--registry", "HKCU"});
    EXPECT_EQ(unchanged.exitCode, 0u);
    EXPECT_EQ(unchanged.out,
              "0 new files and registry keys found on the system.\r\n\r\nNothing changed!\r\n");
    EXPECT_EQ(unchanged.err, "");

    drive_.AddFile("sub\\new.txt", "n");
    key_.SetString(L"", L"After", L"2");
    const CmdRun changed = Run({"step2", "--files=D:", "--registry=HKCU"});
    EXPECT_EQ(changed.exitCode, 1u);
    EXPECT_EQ(changed.out, "Found 1 file(s) that were new\r\n\r\nFound " +
                               std::to_string(LineCount(Here(kHkcuChanges))) +
                               " registry entries that were new\r\n");
    EXPECT_EQ(ReadWholeFile(Here(kFilesChangeListName)), "D:\\sub\\new.txt\r\n");
    EXPECT_TRUE(Holds(ReadWholeFile(Here(kHkcuChanges)),
                      "HKEY_CURRENT_USER\\" + key_.Path() + "\\After=2\r\n"));

    // A root never listed has no baseline: the step stops before its first walk, and the
    // report of the last run stays.
    const std::string report = ReadWholeFile(Here(kReportName));
    ASSERT_NE(report, "");
    const CmdRun missing = Run({"step2", "--files", "D:", "--registry", "HKLM"});
    EXPECT_EQ(missing.exitCode, 3u);
    EXPECT_EQ(missing.out, "");
    EXPECT_TRUE(Holds(missing.err, "\"Quorvane_Snapshot1_Registry_HKLM.TXT\"")) << missing.err;
    EXPECT_FALSE(PathExists(Here("Quorvane_Snapshot2_Registry_HKLM.TXT")));
    EXPECT_TRUE(ReadWholeFile(Here(kReportName)) == report);  // not EXPECT_EQ: no page dumps

    // A file gone is a change as well, though nothing is new. This baseline is an earlier
    // build's, with the drive letter as typed.
    ASSERT_TRUE(WriteWholeFile(Here(kFilesBaselineName),
                               "d:\\a.txt,5\r\nd:\\sub\\b.txt,1\r\nd:\\sub\\new.txt,1\r\n"));
    ASSERT_TRUE(DeleteFileA(Here(kSnapshotAreas[0].recordName).c_str()));
    ASSERT_TRUE(DeleteFileW(L"D:\\a.txt"));
    const CmdRun removed = Run({"step2", "--files", "D:"});
    EXPECT_EQ(removed.exitCode, 1u);
    WholeChangeCounts oneRemoved;
    oneRemoved.removedFiles = 1;
    EXPECT_EQ(removed.out, AsPrinted(Step2Summary(false, 0, 0, {}, oneRemoved)));

    // What a Step #2 killed while it wrote leaves goes too.
    const char* scratchFiles[] = {"Quorvane_Report.tmp", "Quorvane_Changes.tmp",
                                  "Quorvane_Undo.tmp", "Quorvane_Values.tmp"};
    for (const char* name : scratchFiles) ASSERT_TRUE(WriteWholeFile(Here(name), "left"));
    const CmdRun cleanup = Run({"cleanup"});
    EXPECT_EQ(cleanup.exitCode, 0u);
    EXPECT_EQ(cleanup.out, AsPrinted(kProgramFilesRemovedText));
    for (const char* name : ProgramTextFiles()) EXPECT_FALSE(PathExists(Here(name))) << name;
    for (const char* name : scratchFiles) EXPECT_FALSE(PathExists(Here(name))) << name;
    EXPECT_FALSE(PathExists(Here(kReportName)));
}

TEST_F(ConsoleSteps, AFileThatCannotBeWrittenEndsWith4) {
    drive_.AddFile("a.txt", "1");
    ASSERT_TRUE(CreateDirectoryW(Utf16(Here(kFilesBaselineName)).c_str(), nullptr));
    const CmdRun run = Run({"step1", "--files", "D:"});
    EXPECT_EQ(run.exitCode, 4u);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("Could not write \"Quorvane_Snapshot1_Files.TXT\".\r\n\r\n", 0), 0u)
        << run.err;
}

TEST_F(ConsoleSteps, ADriveListOutsideAsciiSurvivesTheCommandLine) {
    // A token without a colon is a folder of the current one, named here in Chinese; the
    // list names a drive letter too, or it is refused.
    ScratchTree place = ScratchTree::InFolder(Here("資料"));
    place.AddFile("檔案.txt", "xyz");
    const CmdRun run = Run({"step1", "--files", "資料 D:"});
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, "Saved a list of 1 files\r\n");
    EXPECT_EQ(ReadWholeFile(Here(kFilesBaselineName)), "資料\\檔案.txt,3\r\n");
}

// The dialog and the console over the same drive and root, each in its own folder.
class ConsoleAndDialog : public ConsoleSteps {
protected:
    void SetUp() override {
        ConsoleSteps::SetUp();
        dialog_ = DialogDriver::StartInProcess();
        ASSERT_TRUE(dialog_);
        dialog_->SetChecked(IDC_SCAN_FILES, true);
        dialog_->SetText(IDC_DRIVE_LIST, "D:");
        dialog_->SetChecked(IDC_SCAN_REGISTRY, true);
        dialog_->SetChecked(IDC_ROOT_HKCU, true);
    }

    // The dialog runs on a thread of this process: it works in this process's current folder.
    SeenMessageBox RunDialogStep(int button, const ScratchTree& folder) {
        scratch::CurrentDirectory current(folder.Root());
        return dialog_->RunStep(button);
    }

    std::unique_ptr<DialogDriver> dialog_;
    ScratchTree dialogFolder_{"dialog"};
};

TEST_F(ConsoleAndDialog, WriteTheSameBytesAndCompareEachOthersBaselines) {
    drive_.AddFile("kept.txt", "12");
    drive_.AddFile("sub\\deeper\\kept.bin", "");
    key_.SetString(L"Kept", L"Value", L"old");
    key_.SetDword(L"Kept", L"Number", 7);

    const SeenMessageBox saved = RunDialogStep(IDC_STEP1, dialogFolder_);
    const CmdRun step1 = Run({"step1", "--files", "D:", "--registry", "HKCU"});
    EXPECT_EQ(step1.out, AsPrinted(saved.text));
    for (const char* name : {kFilesBaselineName, kHkcuBaseline}) {
        const std::string mine = ReadWholeFile(Here(name));
        const std::string dialogs = ReadWholeFile(dialogFolder_.Path(name));
        EXPECT_TRUE(mine == dialogs) << name;  // not EXPECT_EQ: no registry dumps
    }

    // Each compares the other's baseline and finds nothing new.
    const CmdRun same =
        RunCmd(dialogFolder_.Root(), {"step2", "--files", "D:", "--registry", "HKCU"});
    EXPECT_EQ(same.exitCode, 0u) << same.out;
    EXPECT_EQ(RunDialogStep(IDC_STEP2, folder_).text,
              "0 new files and registry keys found on the system.\n\nNothing changed!");

    drive_.AddFile("sub\\new.txt", "n");
    drive_.AddFile("新.txt", "n");
    key_.SetString(L"Kept", L"Value", L"new");
    key_.SetString(L"Fresh\\Key", L"", L"default");

    const CmdRun changed =
        RunCmd(dialogFolder_.Root(), {"step2", "--files", "D:", "--registry", "HKCU"});
    const SeenMessageBox found = RunDialogStep(IDC_STEP2, folder_);
    EXPECT_EQ(changed.exitCode, 1u);
    EXPECT_EQ(changed.out, AsPrinted(found.text));
    // The console's change lists are in the dialog's folder now, and the other way round.
    for (const char* name : {kFilesChangeListName, kHkcuChanges}) {
        const std::string dialogs = ReadWholeFile(Here(name));
        const std::string mine = ReadWholeFile(dialogFolder_.Path(name));
        EXPECT_TRUE(mine == dialogs) << name;  // not EXPECT_EQ: no registry dumps
        EXPECT_FALSE(mine.empty()) << name;
    }
}

// A string of an executable's version block; empty when it has none.
std::string VersionString(const char* exe, const wchar_t* name) {
    std::vector<char> block(GetFileVersionInfoSizeW(Utf16(exe).c_str(), nullptr));
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\000004b0\\") + name;
    if (block.empty() ||
        !GetFileVersionInfoW(Utf16(exe).c_str(), 0, DWORD(block.size()), block.data()) ||
        !VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) {
        return {};
    }
    return scratch::Utf8(static_cast<const wchar_t*>(value));
}

TEST(ConsoleProgram, IsA64BitConsoleProgramWithTheDialogsVersionBlock) {
    const char* cmd = std::getenv("QUORVANE_CMD_EXE");
    const char* gui = std::getenv("QUORVANE_EXE");
    ASSERT_TRUE(cmd && gui);
    const std::string image = ReadWholeFile(cmd);
    ASSERT_GT(image.size(), 4096u);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(
        image.data() + reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data())->e_lfanew);
    EXPECT_EQ(nt->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);

    EXPECT_EQ(VersionString(cmd, L"FileVersion"), QUORVANE_VERSION_TEXT);
    for (const wchar_t* name : {L"FileVersion", L"ProductVersion", L"ProductName"}) {
        EXPECT_EQ(VersionString(cmd, name), VersionString(gui, name)) << scratch::Utf8(name);
    }
    EXPECT_EQ(VersionString(cmd, L"OriginalFilename"), "QuorvaneCmd.exe");
    const CmdRun version = RunCmd(ScratchTree("version").Root(), {"--version"});
    EXPECT_EQ(version.out.rfind(
                  "Quorvane version " + VersionString(gui, L"FileVersion") + "\r\nBuild Date: ", 0),
              0u)
        << version.out;
    EXPECT_EQ(VersionString(gui, L"OriginalFilename"), "Quorvane.exe");
}

}  // namespace

namespace {

// Runs a Windows command line (cmd, reg) in folder and waits for it; its exit code.
DWORD RunTool(const std::string& folder, const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        Utf16(folder).c_str(), &startup, &info)) {
        ADD_FAILURE() << "cannot run " << scratch::Utf8(commandLine);
        return DWORD(-1);
    }
    WaitForSingleObject(info.hProcess, 120000);
    DWORD exitCode = DWORD(-1);
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    // Wine sets its code-page values below HKEY_CURRENT_USER\Software\Wine\Fonts to those of
    // each program it starts; a program with the UTF-8 manifest puts them back, so that the
    // next walk of the root sees them as the others do.
    RunCmd(folder, {"--version"});
    return exitCode;
}

// The change set's items that are not likely noise, each as its line.
std::vector<std::string> ItemsBeyondNoise(const std::string& changes) {
    std::vector<std::string> items;
    for (std::size_t start = 0, end; (end = changes.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string line = changes.substr(start, end - start);
        if (Holds(line, "\"type\":\"item\"") && !Holds(line, "\"category\":\"noise\"")) {
            items.push_back(line);
        }
    }
    return items;
}

// An installer's kind of change: keys and values added, values of every type changed (an
// expandable string among them), keys and values removed, files and nested folders added, a
// file modified and one removed. The added and modified files carry the SHA-256 of their
// content, or why it could not be read. Quorvane_Undo.cmd takes back all it can, so that Step #2
// against the first baseline then finds nothing but what it says it cannot restore; and
// Quorvane_Redo.reg, imported on the registry as it was, makes it as the change left it.
TEST_F(ConsoleSteps, UndoTakesTheChangeBackAndRedoMakesItAgain) {
    const auto bytes = [](std::initializer_list<unsigned char> list) {
        return std::vector<unsigned char>(list);
    };
    const auto wide = [](std::wstring_view text) {
        std::vector<unsigned char> data(reinterpret_cast<const unsigned char*>(text.data()),
                                        reinterpret_cast<const unsigned char*>(text.data()) +
                                            text.size() * 2);
        return data;
    };
    // Name, type and data at Step #1, then after the change.
    const struct {
        const wchar_t* name;
        DWORD type;
        std::vector<unsigned char> before;
        DWORD newType;
        std::vector<unsigned char> after;
    } values[] = {
        {L"String", REG_SZ, wide({L"old\0", 4}), REG_SZ, wide({L"new \"quoted\" \\ text\0", 21})},
        {L"Path", REG_EXPAND_SZ, wide({L"%SystemRoot%\\old\0", 18}), REG_EXPAND_SZ,
         wide({L"%ProgramFiles%\\Qv;%SystemRoot%\0", 31})},
        {L"Lines", REG_SZ, wide({L"one\r\ntwo\0", 9}), REG_SZ, wide({L"one\r\nthree\0", 11})},
        {L"Inner zero", REG_SZ, wide({L"a\0b\0", 4}), REG_SZ, wide({L"a\0c\0", 4})},
        {L"List", REG_MULTI_SZ, wide({L"a\0b\0\0", 5}), REG_MULTI_SZ, wide({L"a\0c\0\0", 5})},
        {L"Count", REG_DWORD, bytes({1, 0, 0, 0}), REG_DWORD, bytes({0xff, 0xff, 0xff, 0xff})},
        {L"Big", REG_QWORD, bytes({1, 2, 3, 4, 5, 6, 7, 8}), REG_QWORD, bytes({8, 7, 6, 5, 4, 3, 2, 1})},
        {L"Blob", REG_BINARY, bytes({0, 1}), REG_BINARY, std::vector<unsigned char>(100, 0xab)},
        {L"Nothing", REG_NONE, bytes({}), REG_NONE, bytes({7})},
        {L"Own type", 0x12345, bytes({1}), 0x12345, bytes({2})},
        {L"Retyped", REG_SZ, wide({L"12\0", 3}), REG_DWORD, bytes({12, 0, 0, 0})},
        {L"", REG_SZ, wide({L"default\0", 8}), REG_EXPAND_SZ, wide({L"%TEMP%\0", 7})},
        {L"a=b\\c", REG_SZ, wide({L"odd name\0", 9}), REG_SZ, wide({L"still odd\0", 10})},
    };
    for (const auto& v : values) {
        ASSERT_TRUE(key_.SetValue(L"App", v.name, v.type, v.before.data(), v.before.size()));
    }
    ASSERT_TRUE(key_.SetString(L"App", L"Gone", L"soon"));
    ASSERT_TRUE(key_.SetString(L"App\\Old\\Deeper", L"Setting", L"kept by nobody"));
    ASSERT_TRUE(key_.SetDword(L"App\\Old", L"Flag", 1));
    drive_.AddFile("app\\kept.txt", "kept");
    drive_.AddFile("app\\changed.txt", "old");
    drive_.AddFile("app\\removed.txt", "gone");
    // Wine's console keeps its settings below HKEY_CURRENT_USER\Console, written the first time
    // a console opens (here for reg, started by cmd): before the baseline, so that the tools
    // the test runs change none.
    RunTool(folder_.Root(), L"cmd /c reg query HKCU\\Console");
    // HKEY_USERS holds this user's hive too (HKEY_USERS\<SID>): each change is seen twice, and
    // written once, as HKEY_CURRENT_USER.
    ASSERT_EQ(Run({"step1", "--files", "D:", "--registry", "HKCU,HKU"}).exitCode, 0u);

    for (const auto& v : values) {
        ASSERT_TRUE(key_.SetValue(L"App", v.name, v.newType, v.after.data(), v.after.size()));
    }
    // A program that now starts at log-on: one highlight, naming both places it was seen at.
    const wchar_t* kRun = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    struct RunValue {
        const wchar_t* key;
        ~RunValue() { RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"QvRoundTrip"); }
    } runValue{kRun};
    const std::wstring tool = L"D:\\app\\tool.exe";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kRun, L"QvRoundTrip", REG_SZ, tool.c_str(),
                              DWORD((tool.size() + 1) * 2)),
              ERROR_SUCCESS);
    ASSERT_TRUE(key_.DeleteValue(L"App", L"Gone"));
    ASSERT_TRUE(key_.DeleteKey(L"App\\Old"));
    ASSERT_TRUE(key_.SetString(L"App\\Plugins\\Viewer", L"Path", L"D:\\app\\viewer.dll"));
    ASSERT_TRUE(key_.SetDword(L"App\\Plugins", L"Count", 1));
    ASSERT_TRUE(key_.SetString(L"App", L"Added", L"fresh"));
    drive_.AddFile("app\\new.txt", "abc");
    drive_.AddFile("app\\bin\\lib\\tool.dll", "dll");
    drive_.AddFile("app\\in use.dat", "held");
    drive_.AddFolder("app\\empty\\inner");
    ASSERT_TRUE(drive_.SetAttributes("app\\new.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    Sleep(20);  // a change time past the baseline's
    // Three read blocks and a piece: `seq 0 1000000 | head -c 3145735 | sha256sum` gives its hash.
    std::string large;
    for (unsigned i = 0; large.size() < 3145735; ++i) large += std::to_string(i) + "\n";
    large.resize(3145735);
    ASSERT_TRUE(WriteWholeFile(drive_.Path("app\\changed.txt"), large));
    ASSERT_TRUE(DeleteFileW(L"D:\\app\\removed.txt"));
    const std::wstring key = L"HKCU\\" + Utf16(key_.Path());
    ASSERT_EQ(RunTool(folder_.Root(), L"reg export \"" + key + L"\" changed.reg /y"), 0u);

    // Wine, as Windows, refuses another handle to a file opened without sharing.
    const HANDLE held =
        CreateFileW(L"D:\\app\\in use.dat", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const CmdRun found = Run({"step2", "--files", "D:", "--registry", "HKCU,HKU"});
    CloseHandle(held);
    ASSERT_EQ(found.exitCode, 1u) << found.out << found.err;
    const std::string report = ReadWholeFile(Here(kReportName));
    // Every added and modified file, and nothing else, carries its content's SHA-256 or why it
    // has none: "abc"'s is the published one, the large file's the one sha256sum gives above,
    // and the file held without sharing was not read.
    const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const std::pair<std::string, std::string> contents[] = {
        {"new.txt\",\"size\":3,", "\"sha256\":\"" + abc + "\""},
        {"changed.txt\",",
         "\"sha256\":\"c79e18c7076c369de98147cd72679e812ad2f03ecf77ab3f6c41a6946f0c26bb\""},
        {"in use.dat\",", "\"sha256Error\":\"in use by another program\""}};
    const std::string set = ReadWholeFile(Here(kChangeSetName));
    std::size_t checked = 0;
    for (std::size_t start = 0, end; (end = set.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string line = set.substr(start, end - start);
        const bool file =
            Holds(line, "\"item\":\"file\"") && !Holds(line, "\"change\":\"removed\"");
        EXPECT_EQ(Holds(line, "\"sha256"), file) << line;
        for (const auto& [name, hash] : contents) {
            if (!Holds(line, "\\" + name)) continue;
            EXPECT_TRUE(Holds(line, hash)) << line;
            ++checked;
        }
    }
    EXPECT_EQ(checked, std::size(contents)) << set;
    EXPECT_TRUE(Holds(report, "3 bytes</span> <span class=\"hash\">SHA-256 " + abc + "</span>"));
    EXPECT_TRUE(Holds(report, "<span class=\"hash unread\">no SHA-256: in use by another program"));
    // The Run value is one finding, with the entry of each place it was seen at, and names the
    // file it would start, which is not there; the summary counts it.
    const std::string findings = report.substr(
        report.find("<section class=\"findings\">"),
        report.find("</section>") - report.find("<section class=\"findings\">"));
    EXPECT_EQ(findings.find("<li class=\"finding\""), findings.rfind("<li class=\"finding\""))
        << findings;
    for (const char* part :
         {"<span class=\"title\">Run entry added: QvRoundTrip</span>", "<summary>2 entries<",
          "Runs <span class=\"path\">D:\\app\\tool.exe</span> <span class=\"missing\">",
          "<span class=\"path\">HKEY_USERS\\S-"}) {
        EXPECT_TRUE(Holds(findings, part)) << part << "\n" << findings;
    }
    EXPECT_TRUE(Holds(set, "\"title\":\"Run entry added: QvRoundTrip\",\"facts\":{\"command\":"
                           "\"D:\\\\app\\\\tool.exe\"},\"items\":[")) << set;
    EXPECT_TRUE(Holds(found.out, "Worth a look: 1 starts by itself.")) << found.out;
    for (const char* name : {kRedoRegName, kUndoRegName}) {
        const std::string bytes = ReadWholeFile(Here(name));  // UTF-16 after its byte order mark
        const std::string text = scratch::Utf8(std::wstring_view(
            reinterpret_cast<const wchar_t*>(bytes.data()) + 1, bytes.size() / 2 - 1));
        EXPECT_TRUE(Holds(text, "[HKEY_CURRENT_USER\\" + key_.Path() + "\\App]")) << name;
        EXPECT_FALSE(Holds(text, "HKEY_USERS")) << name << " names this machine's user";
    }
    const std::string script = ReadWholeFile(Here(kUndoCmdName));
    // The next Step #2 writes its own; this one is for after it.
    const std::string redo = Here("redo.reg");
    ASSERT_TRUE(CopyFileW(Utf16(Here(kRedoRegName)).c_str(), Utf16(redo).c_str(), FALSE));
    // It names what it cannot restore, and nothing else.
    std::vector<std::string> cannot;
    for (const std::string& line : SplitLines(script)) {
        if (Holds(line, "rem modified file: ") || Holds(line, "rem removed file: ")) {
            cannot.push_back(line.substr(line.find(": ") + 2));
        }
    }
    EXPECT_EQ(cannot, (std::vector<std::string>{"D:\\app\\changed.txt", "D:\\app\\removed.txt"}));

    EXPECT_EQ(RunTool(folder_.Root(), L"cmd /c \"" + Utf16(Here(kUndoCmdName)) + L"\""), 0u);
    const CmdRun undone = Run({"step2", "--files", "D:", "--registry", "HKCU,HKU"});
    const std::vector<std::string> left = ItemsBeyondNoise(ReadWholeFile(Here(kChangeSetName)));
    ASSERT_EQ(left.size(), 2u) << undone.out << (left.empty() ? "" : left[0] + "\n" + left.back());
    EXPECT_TRUE(Holds(left[0], "\"change\":\"modified\"") && Holds(left[0], "changed.txt"));
    EXPECT_TRUE(Holds(left[1], "\"change\":\"removed\"") && Holds(left[1], "removed.txt"));

    ASSERT_EQ(RunTool(folder_.Root(), L"reg import \"" + Utf16(redo) + L"\""), 0u);
    ASSERT_EQ(RunTool(folder_.Root(), L"reg export \"" + key + L"\" redone.reg /y"), 0u);
    const std::string changed = ReadWholeFile(Here("changed.reg"));
    EXPECT_FALSE(changed.empty());
    EXPECT_TRUE(ReadWholeFile(Here("redone.reg")) == changed);  // not EXPECT_EQ: no dumps
}

}  // namespace

namespace {

// A .reg file as UTF-8 lines with ASCII letters folded, so that sets of them compare as Windows
// names compare; empty lines and the header left out.
std::set<std::string> RegLines(const std::string& path) {
    const std::string bytes = ReadWholeFile(path);  // UTF-16 after its byte order mark
    if (bytes.size() < 2) return {};
    const std::string text = scratch::Utf8(std::wstring_view(
        reinterpret_cast<const wchar_t*>(bytes.data()) + 1, bytes.size() / 2 - 1));
    std::set<std::string> lines;
    for (std::string line : SplitLines(text)) {
        if (line.empty() || line.rfind("Windows Registry Editor", 0) == 0) continue;
        for (char& c : line) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        lines.insert(line);
    }
    return lines;
}

std::string RegText(const std::string& path) {
    const std::string bytes = ReadWholeFile(path);
    return scratch::Utf8(std::wstring_view(reinterpret_cast<const wchar_t*>(bytes.data()) + 1,
                                           bytes.size() / 2 - 1));
}

}  // namespace

// The registry files never touch what the baseline held: a key that Step #1 could not read and
// that is readable now, a value and a key renamed in letter case only, a value renamed with a
// new text, and names whose surrogates pair with nothing beside their U+FFFD twins. After
// Quorvane_Undo.reg nothing of the baseline is missing; Quorvane_Redo.reg imported over the
// baseline gives the change, but for the names no .reg line can name exactly.
TEST_F(ConsoleSteps, UndoAndRedoNeverTouchWhatTheBaselineHeld) {
    const std::wstring lone{L'A', wchar_t(0xD800)}, twin = L"A\uFFFD";
    const std::wstring loneKey = std::wstring{L'B', wchar_t(0xD800)}, twinKey = L"B\uFFFD";
    ASSERT_TRUE(key_.SetString(L"App\\Deny\\Inner", L"v", L"1"));
    ASSERT_TRUE(key_.SetString(L"App", L"Version", L"1"));
    ASSERT_TRUE(key_.SetString(L"App", L"Keep", L"same"));
    ASSERT_TRUE(key_.SetString(L"App\\SubKey", L"x", L"1"));
    ASSERT_TRUE(key_.SetString(L"App", twin, L"baseline"));
    ASSERT_TRUE(key_.SetString(L"App\\" + twinKey, L"v", L"baseline"));
    const std::wstring app = L"HKCU\\" + Utf16(key_.Path()) + L"\\App";
    RunTool(folder_.Root(), L"cmd /c reg query HKCU\\Console");  // see the round trip above
    ASSERT_EQ(RunTool(folder_.Root(), L"reg export \"" + app + L"\" baseline.reg /y"), 0u);
    ASSERT_TRUE(key_.DenyReading(L"App\\Deny"));
    ASSERT_EQ(Run({"step1", "--registry", "HKCU"}).exitCode, 0u);

    ASSERT_TRUE(key_.AllowReading(L"App\\Deny"));
    ASSERT_TRUE(key_.DeleteValue(L"App", L"Version") && key_.SetString(L"App", L"version", L"2"));
    ASSERT_TRUE(key_.DeleteValue(L"App", L"Keep") && key_.SetString(L"App", L"KEEP", L"same"));
    ASSERT_TRUE(key_.DeleteKey(L"App\\SubKey") && key_.SetString(L"App\\SUBKEY", L"x", L"1"));
    ASSERT_TRUE(key_.SetString(L"App", lone, L"added"));
    ASSERT_TRUE(key_.SetString(L"App\\" + loneKey, L"v", L"added"));
    ASSERT_EQ(RunTool(folder_.Root(), L"reg export \"" + app + L"\" changed.reg /y"), 0u);

    const CmdRun found = Run({"step2", "--registry", "HKCU"});
    ASSERT_EQ(found.exitCode, 1u) << found.out << found.err;
    EXPECT_TRUE(Holds(found.out, "1 key that Step #1 could not read: nothing below it is reported."))
        << found.out;
    const std::string changes = ReadWholeFile(Here(kHkcuChanges));
    const std::string appLine = "HKEY_CURRENT_USER\\" + key_.Path() + "\\App";
    for (const char* never : {"Deny", "KEEP", "SUBKEY", "Version=", "version=1"}) {
        EXPECT_FALSE(Holds(changes, never)) << never << " in\n" << changes;
    }
    // The added key B and a lone surrogate has the line of its twin B and U+FFFD: it is another.
    for (const std::string& line : {appLine + "\\version=2", appLine + "\\A\uFFFD=added",
                                    appLine + "\\B\uFFFD", appLine + "\\B\uFFFD\\v=added"}) {
        EXPECT_TRUE(Holds(changes, line + "\r\n")) << line << " not in\n" << changes;
    }
    const std::string set = ReadWholeFile(Here(kChangeSetName));
    EXPECT_FALSE(Holds(set, "Deny"));
    EXPECT_TRUE(Holds(set, "\"change\":\"renamed\",\"item\":\"value\",\"path\":") &&
                Holds(set, "\"name\":\"KEEP\",\"oldName\":\"Keep\""))
        << set;
    EXPECT_TRUE(Holds(set, "\"change\":\"renamed\",\"item\":\"key\"") &&
                Holds(set, "SUBKEY\",\"oldPath\":") && Holds(set, "SubKey\""))
        << set;
    EXPECT_TRUE(Holds(set, "\"name\":\"version\",\"old\":\"1\",\"new\":\"2\"")) << set;
    EXPECT_TRUE(Holds(set, "\"name\":\"A\uFFFD\",\"text\":\"added\"")) << set;
    for (const std::string& line : SplitLines(set)) {
        if (Holds(line, "added")) {
            EXPECT_TRUE(Holds(line, "\"lossy\":true")) << line;
        }
    }

    // The files name none of it but the change and the renamed value's new text.
    const std::string undo = RegText(Here(kUndoRegName)), redo = RegText(Here(kRedoRegName));
    for (const std::string& text : {undo, redo}) {
        EXPECT_FALSE(Holds(text, "Deny")) << text;
        EXPECT_FALSE(Holds(text, "\"Version\"=-") || Holds(text, "\"version\"=-")) << text;
        EXPECT_FALSE(Holds(text, "SubKey]") || Holds(text, "SUBKEY]")) << text;
        EXPECT_FALSE(Holds(text, "\"A\uFFFD\"=") || Holds(text, "B\uFFFD]")) << text;
        EXPECT_TRUE(Holds(text, "name not exact") || Holds(text, "the name is not exact")) << text;
    }
    EXPECT_TRUE(Holds(redo, "\"version\"=\"2\"")) << redo;
    const std::string redoCopy = Here("redo.reg");
    ASSERT_TRUE(CopyFileW(Utf16(Here(kRedoRegName)).c_str(), Utf16(redoCopy).c_str(), FALSE));

    // The undo leaves every baseline key and value where it was.
    ASSERT_EQ(RunTool(folder_.Root(), L"reg import \"" + Utf16(Here(kUndoRegName)) + L"\""), 0u);
    ASSERT_EQ(RunTool(folder_.Root(), L"reg export \"" + app + L"\" undone.reg /y"), 0u);
    const std::set<std::string> baseline = RegLines(Here("baseline.reg"));
    const std::set<std::string> undone = RegLines(Here("undone.reg"));
    ASSERT_FALSE(baseline.empty());
    for (const std::string& line : baseline) EXPECT_EQ(undone.count(line), 1u) << line;

    // The redo, over the baseline, makes the change but for what no .reg line names exactly.
    ASSERT_TRUE(key_.DeleteKey(L"App"));
    ASSERT_EQ(RunTool(folder_.Root(), L"reg import baseline.reg"), 0u);
    ASSERT_EQ(RunTool(folder_.Root(), L"reg import \"" + Utf16(redoCopy) + L"\""), 0u);
    ASSERT_EQ(RunTool(folder_.Root(), L"reg export \"" + app + L"\" redone.reg /y"), 0u);
    std::set<std::string> missing;
    const std::set<std::string> redone = RegLines(Here("redone.reg"));
    for (const std::string& line : RegLines(Here("changed.reg"))) {
        if (redone.count(line) == 0) missing.insert(line);
    }
    EXPECT_EQ(missing, (std::set<std::string>{"\"a\uFFFD\"=\"added\"", "\"v\"=\"added\""}));
}

// The undo script never harms what the baseline held: a file and a folder renamed in letter
// case only are one item each, an old empty folder that gains a file is not new, and after
// Quorvane_Undo.cmd every baseline file and folder is still there while every added one is
// gone. A baseline whose record says Step #1 was cut short is refused before any walk.
TEST_F(ConsoleSteps, TheUndoScriptLeavesEveryBaselineFileAndFolder) {
    const std::vector<std::string> baselineFiles = {"Docs\\a.txt", "Data.bin", "Desktop\\keep.txt",
                                                    "keep.txt", "keep2.txt", "keep3.txt",
                                                    "dir\\x.txt"};
    for (const std::string& file : baselineFiles) drive_.AddFile(file, "baseline");
    drive_.AddFolder("Old");
    ASSERT_EQ(Run({"step1", "--files", "D:"}).exitCode, 0u);

    // Through another name: Wine takes a rename to the same name in other letters for none.
    for (const auto& [from, to] : {std::pair{L"D:\\Docs", L"D:\\DOCS"},
                                   std::pair{L"D:\\Data.bin", L"D:\\DATA.BIN"}}) {
        ASSERT_TRUE(MoveFileW(from, L"D:\\renaming") && MoveFileW(L"D:\\renaming", to));
    }
    const std::vector<std::string> added = {"Old\\gained.txt", "Desktop\\app.lnk", "New\\n.txt",
                                            "New\\Inner\\deep.txt"};
    for (const std::string& file : added) drive_.AddFile(file, "added");
    // Beside baseline twins, names that Win32 parsing trims or takes for a device: made, and
    // checked, through the exact form.
    const std::vector<std::string> exactOnly = {"keep.txt.", "keep2.txt ", "keep3.txt. .",
                                                "aux.txt", "Com1", "dir.\\x.txt"};
    ASSERT_TRUE(CreateDirectoryW(L"\\\\?\\D:\\dir.", nullptr));
    for (const std::string& file : exactOnly) {
        ASSERT_TRUE(WriteWholeFile("\\\\?\\" + drive_.Path(file), "added")) << file;
    }

    const CmdRun found = Run({"step2", "--files", "D:"});
    ASSERT_EQ(found.exitCode, 1u) << found.out << found.err;
    EXPECT_TRUE(Holds(found.out, "2 items renamed in letter case only")) << found.out;
    std::vector<std::string> expected;
    for (const std::string& file : added) expected.push_back("D:\\" + file);
    for (const std::string& file : exactOnly) expected.push_back("D:\\" + file);
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> listed = SplitLines(ReadWholeFile(Here(kFilesChangeListName)));
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected);
    const std::string set = ReadWholeFile(Here(kChangeSetName));
    for (const char* part : {"\"change\":\"renamed\",\"item\":\"folder\",\"path\":\"D:\\\\DOCS\\\\\","
                             "\"oldPath\":\"D:\\\\Docs\\\\\"",
                             "\"change\":\"renamed\",\"item\":\"file\",\"path\":\"D:\\\\DATA.BIN\","
                             "\"oldPath\":\"D:\\\\Data.bin\"",
                             "\"change\":\"newFolder\",\"item\":\"folder\",\"path\":\"D:\\\\New\\\\\"",
                             "\"change\":\"newFolder\",\"item\":\"folder\",\"path\":\"D:\\\\New\\\\Inner\\\\\""}) {
        EXPECT_TRUE(Holds(set, part)) << part << "\n" << set;
    }
    for (const char* never : {"\"path\":\"D:\\\\Old\\\\\"", "\"path\":\"D:\\\\dir\\\\\"", "\"path\":\"D:\\\\Desktop\\\\\"",
                              "\"change\":\"removed\"", "\"change\":\"added\",\"item\":\"file\",\"path\":\"D:\\\\DOCS"}) {
        EXPECT_FALSE(Holds(set, never)) << never << "\n" << set;
    }

    EXPECT_EQ(RunTool(folder_.Root(), L"cmd /c \"" + Utf16(Here(kUndoCmdName)) + L"\""), 0u);
    for (std::string file : baselineFiles) {
        if (file.starts_with("Docs")) file.replace(0, 4, "DOCS");
        if (file == "Data.bin") file = "DATA.BIN";
        EXPECT_EQ(ReadWholeFile("D:\\" + file), "baseline") << file;
    }
    for (const char* folder : {"D:\\Old", "D:\\Desktop", "D:\\DOCS", "D:\\dir"}) {
        EXPECT_TRUE(PathExists(folder)) << folder;
    }
    for (const std::string& file : added) EXPECT_FALSE(PathExists("D:\\" + file)) << file;
    for (const std::string& file : exactOnly) {
        EXPECT_FALSE(PathExists("\\\\?\\" + drive_.Path(file))) << file;
    }
    EXPECT_FALSE(PathExists("D:\\New"));
    EXPECT_FALSE(PathExists("\\\\?\\D:\\dir."));

    // A pass cut short leaves its record without the end: the next Step #2 stops before any walk.
    const std::string record = ReadWholeFile(Here(kSnapshotAreas[0].recordName));
    ASSERT_TRUE(WriteWholeFile(Here(kSnapshotAreas[0].recordName),
                               record.substr(0, record.rfind("QvEnd,"))));
    const std::string report = ReadWholeFile(Here(kReportName));
    const CmdRun refused = Run({"step2", "--files", "D:"});
    EXPECT_EQ(refused.exitCode, 3u);
    EXPECT_EQ(refused.out, "");
    EXPECT_TRUE(Holds(refused.err, "did not finish writing the snapshot file \"" +
                                       std::string(kFilesBaselineName) + "\""))
        << refused.err;
    EXPECT_TRUE(ReadWholeFile(Here(kReportName)) == report);
}
