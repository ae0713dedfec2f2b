// The report page: whatever names the scanned system holds, they add no markup and lose nothing.

#include "report/report_page.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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
    // Bidirectional controls would reorder what follows them: each shows as its short name.
    EXPECT_EQ(Escaped("invoice_\xE2\x80\xAE" "fdp.exe \xD8\x9C\xE2\x81\xA9\xE2\x80\x8E"),
              "invoice_<span class=\"ctl\">RLO</span>fdp.exe <span class=\"ctl\">ALM</span>"
              "<span class=\"ctl\">PDI</span><span class=\"ctl\">LRM</span>");
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

// One page with every piece, written as Step #2 writes it: the sections first, then the head
// that counts them. Saved where QUORVANE_REPORT_SAMPLE names, it is the large page that
// report_in_browser.sh works in a browser: 30,001 files, every fifth likely noise.
constexpr const char kAbcSha256[] =
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(ReportPage, MarksListsCountsHighlightsAndFilesShowAsMeant) {
    constexpr unsigned long kFiles = 30001;
    std::string sections, page, bare;
    const auto into = [](std::string& text) {
        return [&text](std::string_view piece) {
            text += piece;
            return true;
        };
    };
    ReportPage sectionPage(into(sections));
    sectionPage.BeginSection("Files: added", kFiles);
    for (unsigned long i = 0; i < kFiles; ++i) {
        char path[32];
        const bool noise = i % 5 == 0;
        std::snprintf(path, sizeof path,
                      noise ? "C:\\Temp\\tmp_%05lu.tmp" : "C:\\App\\file_%05lu.dll", i);
        ItemMark mark;
        if (noise) mark.category = ChangeCategory::Noise;
        if (i == 0) mark.anchor = "n\"0<";
        if (i == 1) mark = {ChangeCategory::Autostart, "e1"};
        // One entry shows its content's hash, which the filter finds (report_in_browser.sh).
        sectionPage.AddedFile(path, i, mark, {i == 2 ? kAbcSha256 : ""});
    }
    sectionPage.EndSection();
    sectionPage.BeginSection("Files: removed", 0);
    sectionPage.EndSection();
    sectionPage.BeginSection("HKEY_USERS: removed", 2);
    sectionPage.RemovedKey("HKEY_USERS\\K", {ChangeCategory::Registration, "r1"});
    sectionPage.RemovedValue("HKEY_USERS\\K", "", "<1>");
    sectionPage.EndSection();

    std::vector<ReportArea> areas = {{"Files", "C:", "then", true, kFiles, 0, 0, 1, 6001, 1},
                                     {"HKEY_LOCAL_MACHINE", "", "", false, 0, 0, 0, 0, 0, 3},
                                     {"HKEY_CURRENT_USER", "", "", false, 0, 0, 0, 0, 3, 0}};
    const ReportHighlight run = {.category = ChangeCategory::Autostart, .change = "changed",
                                 .place = "HKEY_CURRENT_USER\\Run", .name = "Up<d>", .value = true,
                                 .alsoAt = {"HKEY_USERS\\S-1\\Run", "HKEY_USERS\\S-2\\Run"},
                                 .meaning = "Starts at log-on & more", .oldText = "a.exe",
                                 .newText = "b.exe\r", .anchor = "e1"};
    const ReportHighlight root = {.category = ChangeCategory::Security, .change = "added",
                                  .place = "HKEY_USERS\\K", .value = true, .newText = "1",
                                  .anchor = "r1"};
    const ReportHighlight folder = {ChangeCategory::Registration, "new folder", "C:\\App\\"};
    const ReportHighlight noisy = {ChangeCategory::Noise, "added", "C:\\Temp\\noisy"};
    const ReportFiles files = {.undoReg = "Quorvane_Undo.reg", .undoCmd = "Quorvane_Undo.cmd",
                               .notRestoredTypeUnknown = 1, .notRestoredDataNotExact = 3};
    const ReportFiles changeSetOnly = {.changeSet = "Quorvane_Changes.jsonl",
                                       .notRestoredDataNotExact = 2};
    Finding service = {.kind = "service", .category = ChangeCategory::Autostart,
                       .change = "added", .title = "Service added: Qv<Svc>",
                       .facts = {{"displayName", "Qv & co"}, {"serviceDll", "C:\\Qv\\s.dll"}},
                       .entries = {{0, "e1", "added", "HKEY_LOCAL_MACHINE\\S", "Start", true}}};
    service.files = {{"C:\\Qv\\s.dll", true, true, 3, kAbcSha256, "valid", "CN=Qv <Test>"},
                     {"C:\\Qv\\t.dll", true, false, 1, "", "not valid", "CN=Qv", "changed"},
                     {"C:\\Qv\\u.dll", true, false, 0, "", "not signed", "", "locked"},
                     {"C:\\Qv\\gone.exe"}};
    ReportPage report(into(page));
    report.Head("now", "PC", areas, {folder, noisy, root, run}, files, {service});
    page += sections;
    report.Tail();
    for (ReportArea& area : areas) area.unreadable = 0;
    ReportPage(into(bare)).Head("now", "PC", areas, {}, changeSetOnly);

    const struct {
        const std::string& page;
        std::string text;
        bool present;
    } expected[] = {
        {page, "<li class=\"noise\" id=\"n&quot;0&lt;\"><span class=\"path\">C:\\Temp\\", true},
        {page, "<span class=\"mark\">likely noise</span></li>", true},
        {page, "<li class=\"autostart\" id=\"e1\"><span class=\"path\">C:\\App\\file_00001", true},
        {page, "<span class=\"mark\">autostart</span></li>\r\n<li><span class=\"path\">", true},
        {page, "file_00002.dll</span> <span class=\"size\">2 bytes</span> <span class=\"hash\">"
               "SHA-256 " + std::string(kAbcSha256) + "</span></li>", true},
        {page, "<summary>Files: added (30001)</summary>\r\n<ol class=\"entries\">\r\n<li", true},
        {page, "</ol>\r\n<ol class=\"entries\" start=\"201\">\r\n<li", true},
        {page, "</ol>\r\n<ol class=\"entries\" start=\"30001\" style=\"--n:1\">\r\n<li", true},
        {page, "<details open><summary>Files: removed (0)</summary>\r\n</details>", true},
        {page, "<li class=\"registration\" id=\"r1\"><span class=\"kind\">key</span> <span", true},
        {page, "class=\"name\">(Default)</span> = <span class=\"text\">&lt;1&gt;</span>", true},
        {page, "<th>New folders</th><th>Likely noise</th>", true},
        {page, "<td class=\"n\">1</td><td class=\"n\">6001</td></tr>", true},
        {page, "<td class=\"n\">6004</td></tr>\r\n</tbody>", true},
        {page, "Files: 1 folder could not be listed; nothing below it is reported removed. "
               "HKEY_LOCAL_MACHINE: 3 keys could not be read; nothing below them is", true},
        {page, "<h3>Autostart: starts programs (2)</h3>\r\n<ul class=\"findings autostart\">"
               "\r\n<li class=\"finding\" data-kind=\"service\"><span class=\"title\">Service "
               "added: Qv&lt;Svc&gt;</span><div class=\"facts\"><span class=\"fact\"><b>display "
               "name:</b> <span class=\"text\">Qv &amp; co</span></span> <span class=\"fact\"><b>"
               "service DLL:</b>", true},
        {page, "<div class=\"runs\">Runs <span class=\"path\">C:\\Qv\\s.dll</span>: new in this "
               "change, <span class=\"size\">3 bytes</span> <span class=\"hash\">SHA-256 " +
               std::string(kAbcSha256) + "</span>, <span class=\"sig valid\">signed by CN=Qv "
               "&lt;Test&gt;</span></div>", true},
        {page, "t.dll</span>: already there, <span class=\"size\">1 byte</span> <span class=\"hash "
               "unread\">no SHA-256: changed</span>, <span class=\"sig invalid\">signed by CN=Qv but "
               "not valid: changed</span></div>", true},
        {page, "locked</span>, <span class=\"sig unsigned\">not signed</span></div><div class=\"runs"
               "\">Runs <span class=\"path\">C:\\Qv\\gone.exe</span> <span class=\"missing\">missing"
               "</span></div><details class=\"entries\"><summary>1 entry</summary><ul><li><a href="
               "\"#e1\"><span class=\"change\">added</span> <span class=\"path\">HKEY_LOCAL_MACHINE"
               "\\S</span> <span class=\"name\">Start</span></a></li></ul></details></li>", true},
        {page, "Up&lt;d&gt;</span>: <span class=\"old\">a.exe</span> \xE2\x86\x92 <span class="
               "\"new\">b.exe<span class=\"ctl\">\xE2\x90\x8D</span></span> <a href=\"#e1\">",
         true},
        {page, "<div class=\"meaning\">Starts at log-on &amp; more</div><div class=\"also\">Also "
               "at <span class=\"path\">HKEY_USERS\\S-1\\Run</span>, <span class=\"path\">HKEY_"
               "USERS\\S-2\\Run</span></div></li>\r\n</ul>\r\n<h3>Security", true},
        {page, "<span class=\"text\">1</span> <a href=\"#r1\">in the list</a></li>\r\n</ul>\r\n"
               "<h3>Registration: registers programs (1)</h3>", true},
        {page, "C:\\Temp\\noisy", false},
        {page, "<code>Quorvane_Undo.reg</code> takes the registry change back. It cannot restore 1 "
               "value whose type the baseline, taken by an earlier version, does not record and 3 "
               "values whose data the baseline's text cannot give back exactly.", true},
        {page, "<code>Quorvane_Undo.cmd</code> deletes the added files and new folders, then "
               "imports Quorvane_Undo.reg.", true},
        {page, "Read them before you use them: Quorvane never runs them.", true},
        {page, "No change starts", false},
        {page, "Quorvane_Changes", false},
        {bare, "No change starts a program, changes what is trusted or registers a program.", true},
        {bare, "<code>Quorvane_Changes.jsonl</code> holds every change for scripts: one JSON "
               "object a line.", true},
        {bare, "class=\"unreadable\"", false},
        {bare, "cannot restore", false},
    };
    for (const auto& item : expected) {
        EXPECT_EQ(item.page.find(item.text) != std::string::npos, item.present) << item.text;
    }

    if (const char* sample = std::getenv("QUORVANE_REPORT_SAMPLE")) {
        std::FILE* file = std::fopen(sample, "wb");
        ASSERT_NE(file, nullptr) << sample;
        const bool written = std::fwrite(page.data(), 1, page.size(), file) == page.size();
        EXPECT_TRUE(std::fclose(file) == 0 && written) << sample;
    }
}

TEST(ReportPage, ARefusingSinkIsReported) {
    ReportPage report([](std::string_view) { return false; });
    report.BeginSection("x", 0);
    EXPECT_FALSE(report.Ok());
}

}  // namespace
