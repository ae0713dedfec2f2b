// The undo batch file: quoting, long paths and order. reg_file_test runs one under Wine.

#include "report/undo_script.h"

#include <gtest/gtest.h>

namespace {

const std::string kHeader =
    "@echo off\r\nchcp 65001 >nul\r\nsetlocal EnableExtensions DisableDelayedExpansion\r\n";

std::string PathOfLength(std::size_t length, std::string_view start = "C:\\") {
    return std::string(start) + std::string(length - start.size(), 'p');
}

std::string DeleteLine(const std::string& path) {
    return "if not exist \"" + path + "\\*\" (attrib -r -h -s \"" + path +
           "\" >nul 2>&1 & del /f /q /a \"" + path + "\")\r\n";
}

TEST(UndoScript, CommandsQuotePathsAndDoublePercentSigns) {
    const std::string longPath = PathOfLength(300), longUnc = PathOfLength(300, "\\\\srv\\share\\");
    const std::string refused = " (a batch file cannot name this path exactly):\r\nrem ";
    const struct {
        char call;  // File, Folder, Import, Comment
        std::string input, lines;
    } cases[] = {
        {'F', "C:\\a b\\x.txt", DeleteLine("C:\\a b\\x.txt")},
        {'F', "D:\\100% & (x) ^!.txt", DeleteLine("D:\\100%% & (x) ^!.txt")},
        {'F', PathOfLength(247), DeleteLine(PathOfLength(247))},
        {'F', PathOfLength(248), DeleteLine("\\\\?\\" + PathOfLength(248))},
        {'F', longUnc, DeleteLine("\\\\?\\UNC\\" + longUnc.substr(2))},
        {'F', "\\\\?\\" + longPath, DeleteLine("\\\\?\\" + longPath)},
        {'D', "C:\\New\\", "rd \"C:\\New\"\r\n"},
        {'D', "C:\\%TEMP%", "rd \"C:\\%%TEMP%%\"\r\n"},
        {'D', "C:\\", "rd \"C:\\\"\r\n"},
        {'D', longPath + "\\", "rd \"\\\\?\\" + longPath + "\"\r\n"},
        // Names that Win32 parsing would alter take the exact form.
        {'F', "D:\\keep.txt.", DeleteLine("\\\\?\\D:\\keep.txt.")},
        {'F', "D:\\dir \\x", DeleteLine("\\\\?\\D:\\dir \\x")},
        {'F', "D:\\aux.txt", DeleteLine("\\\\?\\D:\\aux.txt")},
        {'F', "D:\\Com1 .log", DeleteLine("\\\\?\\D:\\Com1 .log")},
        {'F', "D:\\lpt\xC2\xB2", DeleteLine("\\\\?\\D:\\lpt\xC2\xB2")},
        {'F', "\\\\srv\\share\\NUL", DeleteLine("\\\\?\\UNC\\srv\\share\\NUL")},
        {'F', "D:\\console.txt", DeleteLine("D:\\console.txt")},
        {'F', "D:\\com10", DeleteLine("D:\\com10")},
        {'D', "D:\\dir.\\", "rd \"\\\\?\\D:\\dir.\"\r\n"},
        {'I', "Quorvane_Undo.reg", "reg import \"%~dp0Quorvane_Undo.reg\"\r\n"},
        {'C', "50% done\r\nsee %~dp0 ^\n\n\x01\x80",
         "rem 50%% done\r\nrem see %%~dp0 ^ \r\nrem\r\nrem \xEF\xBF\xBD\xEF\xBF\xBD\r\n"},
        // What no command can name exactly becomes a remark, a line each.
        {'F', "C:\\a\"b", "rem Not deleted" + refused + "C:\\a\"b\r\n"},
        {'F', "C:\\a\r\ndel C:\\*", "rem Not deleted" + refused + "C:\\a\r\nrem del C:\\*\r\n"},
        {'D', "C:\\\xC3(", "rem Not removed" + refused + "C:\\\xEF\xBF\xBD(\r\n"},
        {'F', "D:\\a:b", "rem Not deleted" + refused + "D:\\a:b\r\n"},
        {'F', "\\\\?\\D:\\*.txt", "rem Not deleted" + refused + "\\\\?\\D:\\*.txt\r\n"},
    };
    for (const auto& c : cases) {
        std::string script;
        UndoScriptWriter writer([&](std::string_view bytes) {
            script += bytes;
            return true;
        });
        if (c.call == 'F') writer.DeleteFile(c.input);
        if (c.call == 'D') writer.RemoveFolder(c.input);
        if (c.call == 'I') writer.ImportUndoReg(c.input);
        if (c.call == 'C') writer.Comment(c.input);
        EXPECT_TRUE(writer.Ok());
        EXPECT_EQ(script, kHeader + c.lines) << c.input;
    }
    UndoScriptWriter refusing([](std::string_view) { return false; });
    EXPECT_FALSE(refusing.DeleteFile("C:\\x") || refusing.Ok());
}

TEST(UndoScript, LongPathsLastAndFoldersDeepestFirst) {
    // Counted in UTF-16: an emoji is two; "é" is two bytes but one.
    EXPECT_TRUE(NeedsLongPathForm(PathOfLength(246) + "\xF0\x9F\x98\x80"));
    std::string accents = PathOfLength(125);
    for (int i = 0; i < 122; ++i) accents += "\xC3\xA9";
    EXPECT_FALSE(NeedsLongPathForm(accents));

    const std::string longA = PathOfLength(260), longB = PathOfLength(250);
    std::vector<std::string> files = {longA, "C:\\1", longB, "C:\\2"};
    PutLongPathsLast(files);
    EXPECT_EQ(files, (std::vector<std::string>{"C:\\1", "C:\\2", longA, longB}));

    // C:\p is short but holds a long new folder: it goes after it.
    const std::string deepLong = "C:\\p\\" + std::string(250, 'q');
    std::vector<std::string> folders = {"C:\\a",    "C:\\a\\b\\c", "C:\\x\\",  deepLong,
                                        "C:\\a\\b", "C:\\p",       "C:\\y\\z", "C:\\q\\"};
    OrderFoldersForRemoval(folders);
    EXPECT_EQ(folders, (std::vector<std::string>{"C:\\a\\b\\c", "C:\\a\\b", "C:\\y\\z", "C:\\a",
                                                 "C:\\x\\", "C:\\q\\", deepLong, "C:\\p"}));
}

}  // namespace
