// The report page: whatever names the scanned system holds, they add no markup and lose nothing.

#include "report/report_page.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Escaped(std::string_view text) {
    std::string html;
    AppendEscaped(html, text);
    return html;
}

TEST(ReportEscaping, MarkupQuotesAndAmpersandsBecomeText) {
    EXPECT_EQ(Escaped("<script>alert('x')</script>"),
              "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;");
    EXPECT_EQ(Escaped("a \"b\" & c &amp;"), "a &quot;b&quot; &amp; c &amp;amp;");
    EXPECT_EQ(Escaped("日本語 ok"), "日本語 ok");
}

TEST(ReportEscaping, ControlCharactersAndBadBytesShowInMarkedSpans) {
    EXPECT_EQ(Escaped("a\r\nb"),
              "a<span class=\"ctl\">\xE2\x90\x8D</span><span class=\"ctl\">\xE2\x90\x8A</span>b");
    EXPECT_EQ(Escaped(std::string("\0\x7F", 2)),
              "<span class=\"ctl\">\xE2\x90\x80</span><span class=\"ctl\">\xE2\x90\xA1</span>");
    // A lone continuation byte, a cut sequence, an overlong form and a surrogate: byte by byte.
    EXPECT_EQ(Escaped("x\x80y"), "x<span class=\"bad\">\\x80</span>y");
    EXPECT_EQ(Escaped("\xE6\x97"),
              "<span class=\"bad\">\\xE6</span><span class=\"bad\">\\x97</span>");
    EXPECT_EQ(Escaped("\xC0\xAF").find("\xC0"), std::string::npos);
    EXPECT_EQ(Escaped("\xED\xA0\x80").find("\xED"), std::string::npos);
    EXPECT_EQ(Escaped("\xF0\x9F\x98\x80"), "\xF0\x9F\x98\x80");
}

TEST(ReportPage, EntriesKeepEveryByteOfLongHostileNames) {
    std::string page;
    ReportPage report([&](std::string_view piece) {
        page += piece;
        return true;
    });
    const std::string longName(100000, 'n');
    report.Head("2026-12-09 08:00:00", "PC<1>", {{"Files", "C: D:", "then", true, 1, 0, 0, 0}});
    report.BeginSection("Files: added", 1);
    report.AddedFile("C:\\" + longName + "<img src=x>", 7);
    report.EndSection();
    report.BeginSection("HKEY_USERS: changed", 1);
    report.ChangedValue("HKEY_USERS\\K", "", "old</li>", "new");
    report.EndSection();
    report.Tail();
    EXPECT_TRUE(report.Ok());
    EXPECT_NE(page.find(longName + "&lt;img src=x&gt;</span> <span class=\"size\">7 bytes"),
              std::string::npos);
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_NE(page.find("PC&lt;1&gt;"), std::string::npos);
    EXPECT_NE(page.find("<span class=\"name\">(Default)</span>"), std::string::npos);
    EXPECT_NE(page.find("old&lt;/li&gt;"), std::string::npos);
    EXPECT_EQ(page.rfind("</html>\r\n"), page.size() - 9);
}

TEST(ReportPage, ARefusingSinkIsReported) {
    ReportPage report([](std::string_view) { return false; });
    report.BeginSection("x", 0);
    EXPECT_FALSE(report.Ok());
}

}  // namespace
