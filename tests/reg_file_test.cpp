// Registry files: every value in regedit's notation, and reg import under Wine brings each one
// back with its exact type, name and bytes, run from the undo batch file.

#include "report/reg_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "report/undo_script.h"
#include "snapshot/registry_value_text.h"
#include "tests/support/scratch_registry.h"
#include "tests/support/scratch_tree.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Utf16(std::wstring text, bool terminate = true) {
    if (terminate) text += L'\0';
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    return Bytes(bytes, bytes + text.size() * sizeof(wchar_t));
}

Bytes Counting(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

const std::string kLong(80, 'L');
const std::string kLeftOut =
    "; Value left out (reg import would add a zero character to its data):\r\n";

struct NotationCase {
    std::string name;
    DWORD type;
    Bytes data;
    std::string lines;  // as written; a comment when left out
};
const NotationCase kNotations[] = {
    {"", REG_SZ, Utf16(L"default"), "@=\"default\"\r\n"},
    {"a\\b\"c=d;e", REG_SZ, Utf16(L"C:\\x \"q\""), "\"a\\\\b\\\"c=d;e\"=\"C:\\\\x \\\"q\\\"\"\r\n"},
    {"line\r\nbreak\ttab", REG_SZ, Utf16(L""), "\"line\\r\\nbreak\ttab\"=\"\"\r\n"},
    {"wide \xE2\x82\xAC", REG_SZ, Utf16(L"\x65E5\xD83D\xDE00"),
     "\"wide \xE2\x82\xAC\"=\"\xE6\x97\xA5\xF0\x9F\x98\x80\"\r\n"},
    // Strings that a plain string cannot give back, and those reg import would end with a zero.
    {"2 zeros", REG_SZ, Utf16(std::wstring(L"A\0", 2)), "\"2 zeros\"=hex(1):41,00,00,00,00,00\r\n"},
    {"break", REG_SZ, Utf16(L"A\n"), "\"break\"=hex(1):41,00,0a,00,00,00\r\n"},
    {"surrogate", REG_SZ, Utf16(L"\xD800"), "\"surrogate\"=hex(1):00,d8,00,00\r\n"},
    {"empty", REG_SZ, {}, "\"empty\"=hex(1):\r\n"},
    {"cut", REG_SZ, Utf16(L"A", false), kLeftOut + "; cut\r\n"},
    {"odd", REG_EXPAND_SZ, {0x41, 0, 0}, kLeftOut + "; odd\r\n"},
    {"one", REG_MULTI_SZ, {0x41}, kLeftOut + "; one\r\n"},
    {"expand", REG_EXPAND_SZ, Utf16(L"%A%"), "\"expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"},
    {"multi", REG_MULTI_SZ, Utf16(L"A"), "\"multi\"=hex(7):41,00,00,00\r\n"},
    {"dword", REG_DWORD, {0x2A, 0, 0, 0x80}, "\"dword\"=dword:8000002a\r\n"},
    {"dword3", REG_DWORD, {1, 2, 3}, "\"dword3\"=hex(4):01,02,03\r\n"},
    {"q", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0xFF}, "\"q\"=hex(b):01,00,00,00,00,00,00,ff\r\n"},
    {"none", REG_NONE, {0xAB}, "\"none\"=hex(0):ab\r\n"},
    {"binary", REG_BINARY, {0x00, 0xFF}, "\"binary\"=hex:00,ff\r\n"},
    {"type", 0xFFFF0000u, {}, "\"type\"=hex(ffff0000):\r\n"},
    // "n"=hex: is 8 characters; a line wraps once it reaches 77 after a comma, so 23 bytes
    // fit the first line and 25 each further one: at most 78 characters with the "\".
    {"n", REG_BINARY, Counting(23),
     "\"n\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16\r\n"},
    {"n", REG_BINARY, Counting(50),
     "\"n\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\r\n"
     "  17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,\\\r\n"
     "  30,31\r\n"},
    // A name longer than a line: the first byte ends it.
    {kLong, REG_BINARY, {1, 2}, "\"" + kLong + "\"=hex:01,\\\r\n  02\r\n"},
};

// The undo files at work: cmd runs the batch file, which deletes what an installer added and
// imports a .reg file with every value, delete and refusal above.
TEST(UndoFiles, CmdDeletesAddedFilesRemovesEmptyFoldersAndImportsEveryValue) {
    ScratchRegistry scratch(L"UndoFiles");
    ASSERT_TRUE(scratch.SetString(L"Old\\Deep", L"x", L"gone with its key"));
    ASSERT_TRUE(scratch.SetString(L"", L"", L"deleted default"));
    ASSERT_TRUE(scratch.SetString(L"", L"q\"\\", L"deleted value"));
    const std::string top = "HKEY_CURRENT_USER\\" + scratch.Path();
    std::string reg, expected = "Windows Registry Editor Version 5.00\r\n";
    RegFileWriter undoReg([&](std::string_view bytes) {
        reg += bytes;
        return true;
    });
    undoReg.Comment("50% \x80\r\n");
    undoReg.DeleteKey(top + "\\Old");
    undoReg.Key(top);
    undoReg.DeleteValue("");
    undoReg.DeleteValue("q\"\\");
    EXPECT_FALSE(undoReg.DeleteValue(std::string("z\0", 2)));
    // A key no section can name: neither it nor its values may land in the file.
    EXPECT_FALSE(undoReg.Key(top + "\\bad\n[" + top + "\\Injected]"));
    EXPECT_FALSE(undoReg.Value("v", REG_SZ, Utf16(L"x")));
    expected += "; 50% \xEF\xBF\xBD\r\n;\r\n\r\n[-" + top + "\\Old]\r\n\r\n[" + top +
                "]\r\n@=-\r\n\"q\\\"\\\\\"=-\r\n"
                "; Value not deleted (a value name cannot hold a zero character):\r\n"
                "; z\xEF\xBF\xBD\r\n"
                "; Key left out with its values (no section can name a key path with a line "
                "break):\r\n; " +
                top + "\\bad\r\n; [" + top + "\\Injected]\r\n";
    // Each value in a key of its own, whose name ends in "]" and a blank.
    for (std::size_t i = 0; i < std::size(kNotations); ++i) {
        const NotationCase& c = kNotations[i];
        const std::string key = top + "\\" + std::to_string(i) + "] ";
        undoReg.Key(key);
        EXPECT_EQ(undoReg.Value(c.name, c.type, c.data), c.lines[0] != ';') << c.name;
        expected += "\r\n[" + key + "]\r\n" + c.lines;
    }
    ASSERT_TRUE(undoReg.Ok() && reg.starts_with("\xFF\xFE"));
    EXPECT_EQ(scratch::Utf8(std::wstring_view(reinterpret_cast<const wchar_t*>(reg.data() + 2),
                                              reg.size() / 2 - 1)),
              expected);

    // What an installer added; since then "Full" has gained a file of the user's, and an added
    // file's path has become a folder.
    ScratchTree tree("undo");
    const std::string locked = tree.AddFile("locked.dll"), odd = tree.AddFile("100% & (x) ^!.txt");
    const std::string outer = tree.AddFolder("Outer"), inner = tree.AddFolder("Outer\\Inner");
    const std::string full = tree.AddFolder("Full"), kept = tree.AddFile("Full\\kept.txt");
    const std::string becameFolder = tree.AddFolder("was a file");
    const std::string inside = tree.AddFile("was a file\\x");
    ASSERT_TRUE(tree.SetAttributes("locked.dll", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(GetFileAttributesW(scratch::Utf16(locked).c_str()) & FILE_ATTRIBUTE_READONLY,
              DWORD{FILE_ATTRIBUTE_READONLY});
    std::string script;
    UndoScriptWriter undo([&](std::string_view bytes) {
        script += bytes;
        return true;
    });
    undo.Comment("Undo of 100%");
    for (const std::string& file : {locked, odd, becameFolder}) undo.DeleteFile(file);
    std::vector<std::string> folders = {outer + "\\", full, inner};
    OrderFoldersForRemoval(folders);
    for (const std::string& folder : folders) undo.RemoveFolder(folder);
    undo.ImportUndoReg("Quorvane_Undo.reg");
    const std::string scriptPath = tree.Path("Quorvane_Undo.cmd");
    ASSERT_TRUE(undo.Ok() && scratch::WriteWholeFile(scriptPath, script) &&
                scratch::WriteWholeFile(tree.Path("Quorvane_Undo.reg"), reg));
    std::wstring command = L"cmd.exe /c \"" + scratch::Utf16(scriptPath) + L"\"";
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    for (const std::string& gone : {locked, odd, inner, outer}) {
        EXPECT_FALSE(scratch::PathExists(gone)) << gone;
    }
    EXPECT_TRUE(scratch::PathExists(kept) && scratch::PathExists(inside));
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(scratch.Key(), L"Old", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_NE(RegOpenKeyExW(scratch.Key(), L"Injected", 0, KEY_READ, &key), ERROR_SUCCESS);
    for (const wchar_t* name : {L"", L"q\"\\"}) {
        EXPECT_NE(RegQueryValueExW(scratch.Key(), name, nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
    }
    for (std::size_t i = 0; i < std::size(kNotations); ++i) {
        const NotationCase& c = kNotations[i];
        ASSERT_EQ(
            RegOpenKeyExW(scratch.Key(), (std::to_wstring(i) + L"] ").c_str(), 0, KEY_READ, &key),
            ERROR_SUCCESS);
        DWORD type = 0, size = 1024;
        Bytes data(size);
        const LSTATUS status = RegQueryValueExW(key, scratch::Utf16(c.name).c_str(), nullptr, &type,
                                                data.data(), &size);
        RegCloseKey(key);
        data.resize(size);
        EXPECT_EQ(status == ERROR_SUCCESS, c.lines[0] != ';') << c.name;
        if (status == ERROR_SUCCESS) {
            EXPECT_EQ(std::make_pair(type, data), std::make_pair(c.type, c.data)) << c.name;
        }
    }
}

TEST(RegFile, DataFromValueTextGivesBackWhatTheBaselineRendered) {
    // A text starting "hex" is given as the hex form. What is good renders back as the text.
    const struct {
        DWORD type;
        std::vector<std::string> good, bad;
    } cases[] = {
        {REG_SZ,
         {"a\xE2\x82\xAC\xF0\x9F\x98\x80", "", "hex(1):41,00,00,00,42,00", "hex(1):00,d8"},
         {"\xC3", std::string("\0", 1), "hex(1):41,00"}},
        {REG_EXPAND_SZ, {"%A%", "hex(2):41,00,00,00,00,00"}, {"hex(2):41,00"}},
        {REG_DWORD,
         {"-1", "0", "", "2147483647", "-2147483648", "hex(4):01,02,03"},
         {"2147483648", "-2147483649", "4294967295", "+1", "007", "-0", "1 ",
          "hex(4):01,02,03,04"}},
        {REG_BINARY,
         {"hex:00,ff,7a", ""},
         {"00,ff", "hex(3):00", "hex:FF", "hex:0", "hex:0g", "hex:01,", "hex:01;02", "hex:"}},
        {REG_MULTI_SZ, {"hex(7):61,00,00,00"}, {"hex(07):61,00", "hex:61,00"}},
        {REG_QWORD, {"hex(b):01,00,00,00,00,00,00,00"}, {"hex(B):01", "1"}},
        {REG_NONE, {"hex(0):ab"}, {}},
        {0xFFFFFFFFu, {"hex(ffffffff):01"}, {}},
    };
    for (const auto& c : cases) {
        for (const auto& [texts, ok] : {std::pair(c.good, true), std::pair(c.bad, false)}) {
            for (const std::string& text : texts) {
                Bytes data{9};
                EXPECT_EQ(DataFromValueText(c.type, text, text.starts_with("hex"), data), ok)
                    << text;
                std::string rendered;
                ReadRegistryValueText(c.type, data.data(), data.size(), rendered);
                EXPECT_EQ(rendered, ok ? text : "") << text;
            }
        }
    }
    // Strings are UTF-16 with one terminator, which their rendering does not show.
    Bytes data;
    EXPECT_TRUE(DataFromValueText(REG_SZ, "\xE2\x82\xAC\xF0\x9F\x98\x80", false, data));
    EXPECT_EQ(data, (Bytes{0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}));
}

}  // namespace
