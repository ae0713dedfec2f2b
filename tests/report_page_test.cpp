// The report page: whatever names the scanned system holds, they add no markup and lose nothing.

#include "report/report_page.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
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

// Each case writes a piece of a page; the page must hold every present text and no absent one.
TEST(ReportPage, MarksSectionsCountsHighlightsAndFilesShowAsMeant) {
    const auto areas = [](unsigned long filesUnreadable, unsigned long keysUnreadable) {
        std::vector<ReportArea> rows = {{"Files", "C:", "then", true, 4, 0, 0, 1},
                                        {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE", "then"},
                                        {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER", "then"}};
        rows[0].noise = 2;
        rows[2].noise = 3;
        rows[0].unreadable = filesUnreadable;
        rows[1].unreadable = keysUnreadable;
        return rows;
    };
    const auto entries = [](unsigned long count) {
        return [count](ReportPage& page) {
            page.BeginSection("Files: added", count);
            for (unsigned long i = 0; i < count; ++i) page.AddedFile("C:\\f", 2);
            page.EndSection();
        };
    };
    ReportHighlight run, root, clsid, noisy;
    run.category = ChangeCategory::Autostart;
    run.change = "changed";
    run.place = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    run.name = "Up<d>";
    run.value = true;
    run.alsoAt = {"HKEY_USERS\\S-1-5-21-1\\Run", "HKEY_USERS\\S-1-5-21-2\\Run"};
    run.meaning = "Starts at log-on & more";
    run.oldText = "a.exe";
    run.newText = "b.exe\r";
    run.anchor = "e7";
    root.category = ChangeCategory::Security;
    root.change = "added";
    root.place = "HKEY_LOCAL_MACHINE\\Policies\\Root";
    root.value = true;
    root.newText = "1";
    clsid.category = ChangeCategory::Registration;
    clsid.change = "new folder";
    clsid.place = "C:\\Program Files\\App\\";
    noisy.category = ChangeCategory::Noise;
    noisy.place = "C:\\Temp\\noisy";
    ReportFiles files;
    files.undoReg = "Quorvane_Undo.reg";
    files.undoCmd = "Quorvane_Undo.cmd";
    files.notRestoredTypeUnknown = 1;
    files.notRestoredDataNotExact = 3;
    ReportFiles onlyChangeSet;
    onlyChangeSet.changeSet = "Quorvane_Changes.jsonl";
    onlyChangeSet.notRestoredDataNotExact = 2;

    const struct {
        const char* what;
        std::function<void(ReportPage&)> write;
        std::vector<std::string> present, absent;
    } cases[] = {
        {"a noise entry with its id, a category's tag, an entry without marks",
         [](ReportPage& page) {
             page.BeginSection("Files: added", 3);
             page.AddedFile("C:\\t.tmp", 1, {ChangeCategory::Noise, "n\"1<"});
             page.Value("HKEY_LOCAL_MACHINE\\Run", "App", "x.exe", {ChangeCategory::Autostart, {}});
             page.Key("HKEY_LOCAL_MACHINE\\K");
             page.EndSection();
         },
         {"<li class=\"noise\" id=\"n&quot;1&lt;\"><span class=\"path\">C:\\t.tmp</span> <span "
          "class=\"size\">1 byte</span> <span class=\"mark\">likely noise</span></li>",
          "<li class=\"autostart\"><span class=\"kind\">value</span> <span class=\"path\">"
          "HKEY_LOCAL_MACHINE\\Run</span> <span class=\"name\">App</span> = <span class=\"text\">"
          "x.exe</span> <span class=\"mark\">autostart</span></li>",
          "<li><span class=\"kind\">key</span> <span class=\"path\">HKEY_LOCAL_MACHINE\\K</span>"
          "</li>"},
         {"<span class=\"mark\">noise", "id=\"\""}},
        {"removed keys and values show as added ones do; a line stays a line",
         [](ReportPage& page) {
             page.BeginSection("HKEY_USERS: removed", 3);
             page.RemovedKey("HKEY_USERS\\K", {ChangeCategory::Registration, "r1"});
             page.RemovedValue("HKEY_USERS\\K", "", "hex:00");
             page.RemovedEntry("HKEY_USERS\\K\\a=b\\c=d");
             page.EndSection();
         },
         {"<li class=\"registration\" id=\"r1\"><span class=\"kind\">key</span> <span "
          "class=\"path\">HKEY_USERS\\K</span> <span class=\"mark\">registration</span></li>",
          "<li><span class=\"kind\">value</span> <span class=\"path\">HKEY_USERS\\K</span> <span "
          "class=\"name\">(Default)</span> = <span class=\"text\">hex:00</span></li>",
          "<li><span class=\"line\">HKEY_USERS\\K\\a=b\\c=d</span></li>"},
         {}},
        {"a section without entries is one line",
         entries(0),
         {"<details open><summary>Files: added (0)</summary>\r\n</details>"},
         {"<ol"}},
        {"a full list is one list",
         entries(200),
         {"<summary>Files: added (200)</summary>\r\n<ol class=\"entries\">\r\n<li>",
          "</li>\r\n</ol>\r\n</details>"},
         {"start=", "--n"}},
        {"a longer section goes on in numbered lists, the last one's height estimated",
         entries(401),
         {"</li>\r\n</ol>\r\n<ol class=\"entries\" start=\"201\">\r\n<li>",
          "</li>\r\n</ol>\r\n<ol class=\"entries\" start=\"401\" style=\"--n:1\">\r\n<li>"},
         {"start=\"601\""}},
        {"the noise column and the areas that could not be read",
         [&](ReportPage& page) { page.Head("now", "PC", areas(1, 3)); },
         {"<th>New folders</th><th>Likely noise</th></tr>",
          "<tr><th>Files</th><td class=\"n\">4</td><td class=\"n\">0</td><td class=\"n\">0</td>"
          "<td class=\"n\">1</td><td class=\"n\">2</td></tr>",
          "<tr><th>HKEY_CURRENT_USER</th><td class=\"n\">0</td><td class=\"n\">0</td><td "
          "class=\"n\">0</td><td></td><td class=\"n\">3</td></tr>",
          "<td class=\"n\">1</td><td class=\"n\">5</td></tr>\r\n</tbody>",
          "<p class=\"unreadable\">Files: 1 folder could not be listed; nothing below it is "
          "reported removed. HKEY_LOCAL_MACHINE: 3 keys could not be read; nothing below them is "
          "reported removed.</p>",
          "No change starts a program, changes what is trusted or registers a program.",
          "<h2 id=\"entries\">"},
         {"HKEY_CURRENT_USER: 0", "<h2>Written beside"}},
        {"nothing unreadable, nothing said",
         [&](ReportPage& page) { page.Head("now", "PC", areas(0, 0)); },
         {"</table>\r\n<section class=\"highlights\">"},
         {"class=\"unreadable\""}},
        {"highlights by category, escaped, with their places, meanings, texts and links",
         [&](ReportPage& page) {
             page.Head("now", "PC", areas(0, 0), {clsid, noisy, root, run}, files);
         },
         {"<h3>Autostart: starts programs (1)</h3>\r\n<ul class=\"highlights autostart\">\r\n"
          "<li><span class=\"change\">changed</span> <span class=\"path\">HKEY_CURRENT_USER\\"
          "Software\\Microsoft\\Windows\\CurrentVersion\\Run</span> <span class=\"name\">"
          "Up&lt;d&gt;</span>: <span class=\"old\">a.exe</span> \xE2\x86\x92 <span class=\"new\">"
          "b.exe<span class=\"ctl\">\xE2\x90\x8D</span></span> <a href=\"#e7\">in the list</a>"
          "<div class=\"meaning\">Starts at log-on &amp; more</div><div class=\"also\">Also at "
          "<span class=\"path\">HKEY_USERS\\S-1-5-21-1\\Run</span>, <span class=\"path\">"
          "HKEY_USERS\\S-1-5-21-2\\Run</span></div></li>\r\n</ul>\r\n<h3>Security",
          "<span class=\"path\">HKEY_LOCAL_MACHINE\\Policies\\Root</span> <span class=\"name\">"
          "(Default)</span> = <span class=\"text\">1</span></li>\r\n</ul>\r\n<h3>Registration",
          "<li><span class=\"change\">new folder</span> <span class=\"path\">C:\\Program Files"
          "\\App\\</span></li>\r\n</ul>\r\n</section>",
          "<p><code>Quorvane_Undo.reg</code> takes the registry change back. It cannot restore 1 "
          "value whose type the baseline, taken by an earlier version, does not record and 3 "
          "values whose data the baseline's text cannot give back exactly.</p>",
          "<p><code>Quorvane_Undo.cmd</code> deletes the added files and new folders, then "
          "imports Quorvane_Undo.reg.</p>",
          "<p>Read them before you use them: Quorvane never runs them.</p>"},
         {"C:\\Temp\\noisy", "No change starts", "Quorvane_Changes.jsonl", "Quorvane_Redo.reg",
          "Up<d>"}},
        {"only the files written are named; what Undo.reg cannot do goes with it",
         [&](ReportPage& page) { page.Head("now", "PC", areas(0, 0), {}, onlyChangeSet); },
         {"<p><code>Quorvane_Changes.jsonl</code> holds every change for scripts: one JSON object "
          "a line.</p>"},
         {"Quorvane_Undo", "Quorvane_Redo", "cannot restore"}},
    };
    for (const auto& test : cases) {
        std::string page;
        ReportPage report([&](std::string_view piece) {
            page += piece;
            return true;
        });
        test.write(report);
        for (const std::string& text : test.present) {
            EXPECT_NE(page.find(text), std::string::npos) << test.what << ": " << text;
        }
        for (const std::string& text : test.absent) {
            EXPECT_EQ(page.find(text), std::string::npos) << test.what << ": " << text;
        }
    }
}

std::size_t Occurrences(std::string_view text, std::string_view piece) {
    std::size_t count = 0;
    for (std::size_t at = text.find(piece); at != std::string_view::npos;
         at = text.find(piece, at + piece.size())) {
        ++count;
    }
    return count;
}

// A large page written as Step #2 writes it: the sections first, the head that counts them
// after. Saved where QUORVANE_REPORT_SAMPLE names, it is what report_in_browser.sh filters:
// every fifth file is likely noise (C:\Temp\tmp_N.tmp), every 997th a highlight.
TEST(ReportPage, ALargeMarkedPageKeepsEveryEntryInClosedLists) {
    constexpr unsigned long kFiles = 25000, kValues = 5000;
    std::string sections, page;
    ReportPage sectionPage([&](std::string_view piece) {
        sections += piece;
        return true;
    });
    std::vector<ReportArea> areas = {{"Files", "C:", "then", true, kFiles},
                                     {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE", "then", false,
                                      kValues}};
    std::vector<ReportHighlight> highlights;
    sectionPage.BeginSection("Files: added", kFiles);
    for (unsigned long i = 0; i < kFiles; ++i) {
        char path[64];
        const bool noise = i % 5 == 0;
        std::snprintf(path, sizeof path,
                      noise ? "C:\\Temp\\tmp_%05lu.tmp" : "C:\\App\\file_%05lu.dll", i);
        ReportHighlight highlight;
        ItemMark mark;
        if (noise) {
            mark.category = ChangeCategory::Noise;
            ++areas[0].noise;
        } else if (i % 997 == 0) {
            highlight.category = mark.category = ChangeCategory::Autostart;
            highlight.change = "added";
            highlight.place = path;
            highlight.anchor = "e" + std::to_string(i);
            mark.anchor = highlight.anchor;
            highlights.push_back(highlight);
        }
        sectionPage.AddedFile(path, i, mark);
    }
    sectionPage.EndSection();
    sectionPage.BeginSection("Files: removed", 0);
    sectionPage.EndSection();
    sectionPage.BeginSection("HKEY_LOCAL_MACHINE: added", kValues);
    for (unsigned long i = 0; i < kValues; ++i) {
        sectionPage.Value("HKEY_LOCAL_MACHINE\\SOFTWARE\\App", std::to_string(i), "<1>");
    }
    sectionPage.EndSection();
    ReportPage report([&](std::string_view piece) {
        page += piece;
        return true;
    });
    report.Head("now", "PC", areas, highlights);
    page += sections;
    report.Tail();
    ASSERT_TRUE(report.Ok() && sectionPage.Ok());

    EXPECT_EQ(Occurrences(sections, "<li"), kFiles + kValues);
    EXPECT_EQ(Occurrences(sections, "</li>"), kFiles + kValues);
    EXPECT_EQ(Occurrences(sections, "<ol class=\"entries\""), (kFiles + 199) / 200 + kValues / 200);
    EXPECT_EQ(Occurrences(sections, "</ol>"), (kFiles + 199) / 200 + kValues / 200);
    EXPECT_EQ(Occurrences(page, "<a href=\"#e"), highlights.size());
    EXPECT_EQ(Occurrences(page, "<li class=\"autostart\" id=\"e"), highlights.size());

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
