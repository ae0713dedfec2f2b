// The change set: one JSON object a line, every text escaped, nothing dropped.

#include "report/change_set.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(ChangeSet, RunLineThenItemsInKeyOrderEscapedAndMarkedWhenLossy) {
    const std::vector<ChangeSetArea> areas = {
        {"Files", "C: D:", "2026-12-09T08:00:00Z", true, 1, 2, 3, 4, 5},
        {"HKEY_USERS", "HKEY_USERS", "2026-12-09T08:01:00Z", false, 6, 7, 8, 99, 9},
    };
    std::string lines;
    ChangeSetWriter writer([&](std::string_view bytes) {
        lines += bytes;
        return true;
    });
    writer.Run("1.07", "2026-12-09T13:41:30Z", "PC\x80", areas);
    // Every field, in key order; control characters, DEL, C1 and the line separator escaped.
    writer.Item({.area = "HKEY_USERS",
                 .change = "changed",
                 .item = "value",
                 .path = "C:\\a \"b\"",
                 .name = "",
                 .text = "t",
                 .oldText = std::string_view("a\r\n\t\0", 5),
                 .newText = "\x01\x1F\x7F\xC2\x85\xE2\x80\xA8\xE6\x97\xA5\xF0\x9F\x98\x80/<",
                 .size = 1,
                 .oldSize = 0,
                 .newSize = 18446744073709551615u,
                 .changeTime = "2026-12-09T13:00:00Z",
                 .category = ChangeCategory::Autostart,
                 .meaning = "runs at logon"});
    // Bytes that are no UTF-8 (a lone continuation byte, a cut sequence, an overlong form, a
    // surrogate): U+FFFD a byte, and the line is marked; the next line is not.
    writer.Item({.area = "Files",
                 .change = "removed",
                 .item = "entry",
                 .path = "K\\\x80",
                 .text = "\xE6\x97=\xC0\xAF\xED\xA0\x80"});
    writer.Item({.area = "Files",
                 .change = "newFolder",
                 .item = "folder",
                 .path = "C:\\N",
                 .category = ChangeCategory::Noise});
    // A finding after the items: its facts as an object, its items, each file's fields that
    // apply (a missing file has neither size, hash nor signature).
    Finding finding = {.kind = "run", .category = ChangeCategory::Autostart, .change = "added",
                       .title = "Run entry added: \"Qv\"",
                       .facts = {{"command", "\"C:\\q.exe\" /s"}},
                       .entries = {{0, "c1"}, {2, "c2"}}};
    finding.files = {{"C:\\q.exe", true, true, 7, "ab", "not valid", "CN=Q", "bad digest"},
                     {"C:\\gone.exe", false, false, 0, "", "", "", "not there"}};
    writer.FindingLine(finding);
    EXPECT_TRUE(writer.Ok());
    EXPECT_EQ(
        lines,
        "{\"type\":\"run\",\"version\":\"1.07\",\"time\":\"2026-12-09T13:41:30Z\","
        "\"computer\":\"PC\xEF\xBF\xBD\",\"areas\":[{\"area\":\"Files\",\"compared\":\"C: D:\","
        "\"baselineTime\":\"2026-12-09T08:00:00Z\",\"added\":1,\"modified\":2,\"removed\":3,"
        "\"newFolders\":4,\"noise\":5},{\"area\":\"HKEY_USERS\",\"compared\":\"HKEY_USERS\","
        "\"baselineTime\":\"2026-12-09T08:01:00Z\",\"added\":6,\"modified\":7,\"removed\":8,"
        "\"noise\":9}],\"lossy\":true}\n"
        "{\"type\":\"item\",\"area\":\"HKEY_USERS\",\"change\":\"changed\",\"item\":\"value\","
        "\"path\":\"C:\\\\a \\\"b\\\"\",\"name\":\"\",\"text\":\"t\",\"old\":\"a\\r\\n\\t"
        "\\u0000\",\"new\":\"\\u0001\\u001f\\u007f\\u0085\\u2028\xE6\x97\xA5\xF0\x9F\x98\x80"
        "/<\",\"size\":1,\"oldSize\":0,\"newSize\":18446744073709551615,\"changeTime\":"
        "\"2026-12-09T13:00:00Z\",\"category\":\"autostart\",\"meaning\":\"runs at logon\"}\n"
        "{\"type\":\"item\",\"area\":\"Files\",\"change\":\"removed\",\"item\":\"entry\","
        "\"path\":\"K\\\\\xEF\xBF\xBD\",\"text\":\"\xEF\xBF\xBD\xEF\xBF\xBD=\xEF\xBF\xBD"
        "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\",\"category\":null,\"lossy\":true}\n"
        "{\"type\":\"item\",\"area\":\"Files\",\"change\":\"newFolder\",\"item\":\"folder\","
        "\"path\":\"C:\\\\N\",\"category\":\"noise\"}\n"
        "{\"type\":\"finding\",\"kind\":\"run\",\"category\":\"autostart\",\"change\":"
        "\"added\",\"title\":\"Run entry added: \\\"Qv\\\"\",\"facts\":{\"command\":\"\\\"C:"
        "\\\\q.exe\\\" /s\"},\"items\":[0,2],\"files\":[{\"path\":\"C:\\\\q.exe\",\"exists\":"
        "true,\"new\":true,\"size\":7,\"sha256\":\"ab\",\"signature\":\"not valid\",\"signer\":"
        "\"CN=Q\",\"reason\":\"bad digest\"},{\"path\":\"C:\\\\gone.exe\",\"exists\":false,"
        "\"new\":false}]}\n");

    ChangeSetWriter refused([](std::string_view) { return false; });
    refused.Item({});
    EXPECT_FALSE(refused.Ok());
}

TEST(ChangeSet, FileTimesAsIso8601AgreeWithTheSystem) {
    EXPECT_EQ(Iso8601FromFileTime(0), "");
    // Times spread over every year the system converts.
    for (std::uint64_t step = 1; step < 20000; ++step) {
        const std::uint64_t fileTime = step * (0x7FFFFFFFFFFFFFFFull / 20000) + step * 7919;
        const FILETIME time{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
        SYSTEMTIME system;
        ASSERT_TRUE(FileTimeToSystemTime(&time, &system));
        char expected[40];
        std::snprintf(expected, sizeof expected, "%04u-%02u-%02uT%02u:%02u:%02uZ", system.wYear,
                      system.wMonth, system.wDay, system.wHour, system.wMinute, system.wSecond);
        ASSERT_EQ(Iso8601FromFileTime(fileTime), expected) << fileTime;
    }
}

}  // namespace
