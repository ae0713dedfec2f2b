#include "text/text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/case_fold.h"

namespace {

TEST(FindNoCase, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(FindNoCase("C:\\Program Files\\Common Files", "FILES"), 11u);
    EXPECT_EQ(FindNoCase("c:\\windows", "C:\\"), 0u);
    EXPECT_EQ(FindNoCase("abcabc", "CA"), 2u);
    // '[' and '{' differ only in the bit that folds letters.
    EXPECT_EQ(FindNoCase("a[b", "{"), kNotFound);
    EXPECT_EQ(FindNoCase("a@b", "`"), kNotFound);
    // UTF-8 bytes compare exactly: É (C3 89) is not é (C3 A9).
    EXPECT_EQ(FindNoCase("D:\\\xC3\x89t\xC3\xA9", "\xC3\xA9t"), kNotFound);
    EXPECT_EQ(FindNoCase("D:\\\xC3\x89t\xC3\xA9", "\xC3\x89T"), 3u);
}

TEST(FindNoCase, FindsNothingInEmptyOrShortText) {
    EXPECT_EQ(FindNoCase("Program Files", ""), kNotFound);
    EXPECT_EQ(FindNoCase("", "a"), kNotFound);
    EXPECT_EQ(FindNoCase("", ""), kNotFound);
    EXPECT_EQ(FindNoCase("abc", "abcd"), kNotFound);
    // A match may not run past the end of the text.
    EXPECT_EQ(FindNoCase("xab", "abc"), kNotFound);
    EXPECT_EQ(FindNoCase("xabc", "ABC"), 1u);
}

TEST(GetToken, SplitsTheDriveList) {
    EXPECT_EQ(GetToken("C: D:", " ", 0), "C:");
    EXPECT_EQ(GetToken("C: D:", " ", 1), "D:");
    EXPECT_EQ(GetToken("C: D:", " ", 2), "");
    EXPECT_EQ(GetToken("C: D:", " ", 25), "");
    EXPECT_EQ(GetToken("C: D:", " ", -1), "");
    EXPECT_EQ(GetToken("", " ", 0), "");
    // The last token runs to the end, blanks and all, when the separator is a comma.
    EXPECT_EQ(GetToken("C:,D:\\Data Files", ",", 1), "D:\\Data Files");
    EXPECT_EQ(GetToken("C: D:", ",", 0), "C: D:");
}

TEST(GetToken, EmptyTokens) {
    EXPECT_EQ(GetToken("C:,,D:", ",", 0), "C:");
    EXPECT_EQ(GetToken("C:,,D:", ",", 1), "");
    EXPECT_EQ(GetToken("C:,,D:", ",", 2), "D:");
    EXPECT_EQ(GetToken(",C:", ",", 0), "");
    EXPECT_EQ(GetToken(",C:", ",", 1), "C:");
    EXPECT_EQ(GetToken("C: ", " ", 1), "");
    EXPECT_EQ(GetToken("C: ", " ", 2), "");
    EXPECT_EQ(GetToken("C: D:", "", 0), "");
}

TEST(GetToken, SeparatorsOfSeveralCharactersAndAnyCase) {
    EXPECT_EQ(GetToken("C:--D:--E:", "--", 1), "D:");
    EXPECT_EQ(GetToken("C:--D:--E:", "--", 2), "E:");
    EXPECT_EQ(GetToken("C:-D:--E:", "--", 0), "C:-D:");
    EXPECT_EQ(GetToken("C:andD:ANDE:", "And", 1), "D:");
    EXPECT_EQ(GetToken("C:andD:ANDE:", "And", 2), "E:");
}

TEST(GetToken, KeepsNonAsciiNamesWhole) {
    EXPECT_EQ(GetToken("C:\\B\xC3\xBC"
                       "cher D:\\\xE6\x96\x87\xE4\xBB\xB6",
                       " ", 0),
              "C:\\B\xC3\xBC"
              "cher");
    EXPECT_EQ(GetToken("C:\\B\xC3\xBC"
                       "cher D:\\\xE6\x96\x87\xE4\xBB\xB6",
                       " ", 1),
              "D:\\\xE6\x96\x87\xE4\xBB\xB6");
}

// A token ends where the search that skips to the next one finds the separator: bytes that
// another comparison would take for the separator stay in the token.
TEST(GetToken, EndsWhereTheSeparatorIsFound) {
    // É and é fold alike only for the system's comparison, not for FindNoCase.
    const std::string text =
        "a\xC3\x89"
        "b\xC3\xA9"
        "c";
    EXPECT_EQ(GetToken(text, "\xC3\xA9", 0),
              "a\xC3\x89"
              "b");
    EXPECT_EQ(GetToken(text, "\xC3\xA9", 1), "c");
    // A zero byte in the separator is part of it, not its end.
    EXPECT_EQ(GetToken("ax", std::string_view("x\0", 2), 0), "ax");
    EXPECT_EQ(GetToken(std::string_view("ax\0b", 4), std::string_view("x\0", 2), 1), "b");
    // Long tokens and separators compare whole, beyond any length limit.
    const std::string longSeparator = std::string(300, '-') + "|";
    const std::string longText = "C:" + std::string(300, '-') + "D:" + longSeparator + "E:";
    EXPECT_EQ(GetToken(longText, longSeparator, 0), "C:" + std::string(300, '-') + "D:");
    EXPECT_EQ(GetToken(longText, longSeparator, 1), "E:");
}

TEST(DriveList, DriveLettersAreUpperCaseAndEachPlaceComesOnce) {
    const struct {
        const char* list;
        std::vector<std::string> patterns;
    } cases[] = {
        {"c: D: d:\\Data", {"C:\\*.*", "D:\\*.*"}},
        {"d:,,e:\\x:y,E:", {"D:\\*.*", "E:\\*.*"}},
        // Only one ASCII letter and a colon make a drive letter; relative names keep their case.
        {"-d: ab: \xC3\xA9: Temp temp TEMP\\Sub",
         {"-d:\\*.*", "ab:\\*.*", "\xC3\xA9:\\*.*", "Temp\\*.*", "TEMP\\Sub\\*.*"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SearchPatternsFromDriveList(c.list), c.patterns) << c.list;
    }
    // A baseline of an earlier build: only a drive letter that starts a line changes.
    std::string baseline = "c:\\a\\c:\\,1\r\ntemp\\x,2\r\n1:\\,3\r\nz:\\";
    UpperCaseDriveLetters(baseline.data(), baseline.size());
    EXPECT_EQ(baseline, "C:\\a\\c:\\,1\r\ntemp\\x,2\r\n1:\\,3\r\nZ:\\");
}

TEST(ReplaceOccurrence, DoublesEveryPercentSign) {
    std::string text = "Software\\100%\\50%";
    ReplaceOccurrence(text, "%", "%%", 0);
    EXPECT_EQ(text, "Software\\100%%\\50%%");

    text = "%%";
    ReplaceOccurrence(text, "%", "%%", 0);
    EXPECT_EQ(text, "%%%%");

    text = std::string(40000, '%');
    ReplaceOccurrence(text, "%", "%%", 0);
    EXPECT_EQ(text, std::string(80000, '%'));
}

TEST(ReplaceOccurrence, MapsOnlyTheFirstDriveRootIntoTheCopyFolder) {
    const std::string copyFolder = "C:\\_Quorvane_COPY\\";
    std::string text = "C:\\Data\\C:\\x.txt";
    ReplaceOccurrence(text, "C:\\", copyFolder, 1);
    EXPECT_EQ(text, "C:\\_Quorvane_COPY\\Data\\C:\\x.txt");

    text = "c:\\Data\\c:\\x.txt";
    ReplaceOccurrence(text, "C:\\", copyFolder, 1);
    EXPECT_EQ(text, "C:\\_Quorvane_COPY\\Data\\c:\\x.txt");
}

TEST(ReplaceOccurrence, CountPicksOneOccurrence) {
    std::string text = "a.b.c.d";
    ReplaceOccurrence(text, ".", "::", 2);
    EXPECT_EQ(text, "a.b::c.d");
    ReplaceOccurrence(text, ".", "::", 3);
    EXPECT_EQ(text, "a.b::c.d");
    ReplaceOccurrence(text, ".", "::", -1);
    EXPECT_EQ(text, "a.b::c.d");
    ReplaceOccurrence(text, ".", "", 0);
    EXPECT_EQ(text, "ab::cd");
    ReplaceOccurrence(text, "", "x", 0);
    EXPECT_EQ(text, "ab::cd");
    // Occurrences do not overlap.
    text = "aaaa";
    ReplaceOccurrence(text, "AA", "b", 2);
    EXPECT_EQ(text, "aab");

    text.clear();
    ReplaceOccurrence(text, "%", "%%", 0);
    EXPECT_EQ(text, "");
}

TEST(CompareNoCasePrefix, ComparesTheFirstCharactersIgnoringCase) {
    EXPECT_EQ(CompareNoCasePrefix("Program Files", "PROGRAM FILES", 13), 0);
    EXPECT_EQ(CompareNoCasePrefix("abcX", "ABCy", 3), 0);
    EXPECT_LT(CompareNoCasePrefix("abcX", "ABCy", 4), 0);
    EXPECT_GT(CompareNoCasePrefix("b", "A", 1), 0);
    EXPECT_EQ(CompareNoCasePrefix("ab", "AB", 100), 0);
    EXPECT_NE(CompareNoCasePrefix("ab", "abc", 100), 0);
    EXPECT_EQ(CompareNoCasePrefix("", "", 0), 0);
    EXPECT_EQ(CompareNoCasePrefix("anything", "else", 0), 0);
    // The system's comparison folds beyond ASCII, unlike FindNoCase: É against é.
    EXPECT_EQ(CompareNoCasePrefix("\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", 5), 0);
}

TEST(CompareNoCasePrefix, LooksAtMost254Characters) {
    const std::string left = std::string(300, 'a') + "x";
    const std::string right = std::string(300, 'A') + "y";
    EXPECT_EQ(CompareNoCasePrefix(left, right, 1000), 0);
    EXPECT_NE(CompareNoCasePrefix(std::string(253, 'a') + "x", std::string(253, 'a') + "y", 1000),
              0);
}

// Names as the system compares them, beyond ASCII: each row's name, its folded form, and another
// name that is the same name or not. Rows of valid UTF-8 are also put to the system itself.
TEST(CaseFold, NamesCompareAsTheSystemComparesThem) {
    struct Row {
        const char* name;
        const char* folded;
        const char* other;
        bool same;
    };
    const Row rows[] = {
        {"D:\\Docs\\a.txt", "D:\\DOCS\\A.TXT", "d:\\DOCS\\A.txt", true},
        {"\xC3\x84rger.txt", "\xC3\x84RGER.TXT", "\xC3\x84RGER.txt", true},  // Ärger, Latin-1
        {"\xC3\xBF", "\xC5\xB8", "\xC5\xB8", true},                          // ÿ and Ÿ U+0178
        {"\xCF\x89.txt", "\xCE\xA9.TXT", "\xCE\xA9.txt", true},              // ω and Ω
        {"\xD0\xB6\xD1\x91", "\xD0\x96\xD0\x81", "\xD0\x96\xD0\x81", true},  // жё, ЖЁ
        // Turkish i: dotless ı and dotted İ stay themselves, as Windows has them.
        {"\xC4\xB1", "\xC4\xB1", "I", false},
        {"\xC4\xB0", "\xC4\xB0", "i", false},
        {"i", "I", "\xC4\xB0", false},
        // ß has no upper case of one character; ẞ U+1E9E is a letter of its own.
        {"Gru\xC3\x9F", "GRU\xC3\x9F", "GRUSS", false},
        {"\xC3\x9F", "\xC3\x9F", "\xE1\xBA\x9E", false},
        // Folds that change the length in UTF-8: ɐ (2 bytes) to Ɐ (3), ⱥ (3) to Ⱥ (2).
        {"\xC9\x90x", "\xE2\xB1\xAFX", "\xE2\xB1\xAFx", true},
        {"\xE2\xB1\xA5x", "\xC8\xBAX", "\xC8\xBAx", true},
        // Beyond the BMP a character is a surrogate pair, compared exactly: Deseret 𐐨 and 𐐀.
        {"\xF0\x90\x90\xA8", "\xF0\x90\x90\xA8", "\xF0\x90\x90\x80", false},
        // A byte that is not UTF-8 is itself, byte for byte: ANSI é and É differ; the letter
        // after it folds.
        {"caf\xE9", "CAF\xE9", "CAF\xC9", false},
        {"\xC3z", "\xC3Z", "\xC3Z", true},
        {"\xC3", "\xC3", "\xC3\xA9", false},
    };
    for (const Row& row : rows) {
        std::string folded = "kept:";
        AppendFolded(folded, row.name);
        EXPECT_EQ(folded, std::string("kept:") + row.folded) << row.name;
        EXPECT_EQ(EqualNoCase(row.name, row.other), row.same) << row.name << " " << row.other;
        EXPECT_EQ(EqualNoCase(row.other, row.name), row.same) << row.name << " " << row.other;
        EXPECT_TRUE(EqualNoCase(row.name, row.folded)) << row.name;
        const std::wstring name = WidenText(row.name), other = WidenText(row.other);
        if (name.find(L'\uFFFD') == std::wstring::npos &&
            other.find(L'\uFFFD') == std::wstring::npos) {
            EXPECT_EQ(CompareStringOrdinal(name.data(), static_cast<int>(name.size()), other.data(),
                                           static_cast<int>(other.size()), TRUE) == CSTR_EQUAL,
                      row.same)
                << row.name << " " << row.other;
        }
    }
}

// The table against the system for every code unit of the BMP: each compares equal to its
// folded form; and sorted by their folded forms each compares with the next equal exactly where
// the two folded forms are equal and less everywhere else, so the folding makes the system's
// classes, no more, no fewer. A surrogate has no UTF-8 form of its own and stays itself.
TEST(CaseFold, EveryCodeUnitFoldsAsCompareStringOrdinalIgnoringCase) {
    std::vector<std::pair<wchar_t, wchar_t>> folds;  // folded, code unit
    for (unsigned u = 0; u < 0x10000; ++u) {
        const wchar_t unit = static_cast<wchar_t>(u);
        wchar_t folded = unit;
        if (u < 0xD800 || u > 0xDFFF) {
            std::string bytes;
            AppendFolded(bytes, NarrowText(std::wstring(1, unit)));
            const std::wstring wide = WidenText(bytes);
            ASSERT_EQ(wide.size(), 1u) << std::hex << u;
            folded = wide[0];
            ASSERT_EQ(CompareStringOrdinal(&unit, 1, &folded, 1, TRUE), CSTR_EQUAL)
                << std::hex << u;
        }
        folds.emplace_back(folded, unit);
    }
    std::sort(folds.begin(), folds.end());
    for (std::size_t i = 1; i < folds.size(); ++i) {
        const auto& [beforeFolded, before] = folds[i - 1];
        const auto& [folded, unit] = folds[i];
        ASSERT_EQ(CompareStringOrdinal(&before, 1, &unit, 1, TRUE),
                  beforeFolded == folded ? CSTR_EQUAL : CSTR_LESS_THAN)
            << std::hex << unsigned(before) << " " << unsigned(unit);
    }
}

TEST(WideText, ProcessCodePageIsUtf8) {
    // Everything below assumes the manifest's code page; a missing manifest shows up here.
    EXPECT_EQ(GetACP(), 65001u);
}

TEST(WideText, EmptyStaysEmpty) {
    EXPECT_EQ(WidenText(""), L"");
    EXPECT_EQ(NarrowText(L""), "");
}

TEST(WideText, NamesInSeveralScriptsRoundTrip) {
    struct Name {
        const char* narrow;
        const wchar_t* wide;
    };
    const Name names[] = {
        {"C:\\Users\\Gr\xC3\xBC\xC3\x9F"
         "e.txt",
         L"C:\\Users\\Gr\u00FC\u00DFe.txt"},
        {"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC",
         L"\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC"},
        {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",
         L"\u041F\u0440\u0438\u0432\u0435\u0442"},
        {"\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D", L"\u05E9\u05DC\u05D5\u05DD"},
        {"\xE7\xB9\x81\xE9\xAB\x94\xE4\xB8\xAD\xE6\x96\x87", L"\u7E41\u9AD4\u4E2D\u6587"},
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.doc", L"\u65E5\u672C\u8A9E.doc"},
        {"smile \xF0\x9F\x98\x80", L"smile \U0001F600"},
    };
    for (const Name& name : names) {
        EXPECT_EQ(WidenText(name.narrow), name.wide) << name.narrow;
        EXPECT_EQ(NarrowText(name.wide), name.narrow) << name.narrow;
    }
}

TEST(WideText, LongPathRoundTrips) {
    // An extended-length path beyond 32,767 characters, with multi-byte names in it.
    std::string narrow = "\\\\?\\C:";
    std::wstring wide = L"\\\\?\\C:";
    while (wide.size() <= 32767) {
        narrow += "\\\xE7\x9B\xAE\xE5\xBD\x95-dir";
        wide += L"\\\u76EE\u5F55-dir";
    }
    EXPECT_EQ(WidenText(narrow), wide);
    EXPECT_EQ(NarrowText(wide), narrow);
}

// Converts text in pieces of at most limit, as WidenText does with its far larger pieces.
std::wstring WidenInPieces(std::string_view text, std::size_t limit) {
    std::wstring wide;
    while (!text.empty()) {
        const std::size_t piece = NextNarrowPiece(text, limit);
        wide += WidenText(text.substr(0, piece));
        text.remove_prefix(piece);
    }
    return wide;
}

std::string NarrowInPieces(std::wstring_view text, std::size_t limit) {
    std::string narrow;
    while (!text.empty()) {
        const std::size_t piece = NextWidePiece(text, limit);
        narrow += NarrowText(text.substr(0, piece));
        text.remove_prefix(piece);
    }
    return narrow;
}

TEST(WideText, PiecesConvertAsTheWholeText) {
    const std::string sun = "\xE6\x97\xA5";  // 日
    const std::string stray = "\x80\x80";
    // A character whose stray continuation bytes run across the mark stays whole: the mark
    // falls on them, not on the character. Converted whole: 日 and two U+FFFD.
    const std::string text = std::string(12, 'x') + sun + stray;
    ASSERT_EQ(WidenText(text), std::wstring(12, L'x') + L"\u65E5\uFFFD\uFFFD");
    for (std::size_t limit = 4; limit <= text.size(); ++limit) {
        EXPECT_EQ(WidenInPieces(text, limit), WidenText(text)) << limit;
    }
    EXPECT_EQ(NextNarrowPiece(text, 16), 16u);  // after the character, before the strays
    EXPECT_EQ(NextNarrowPiece(text, 14), 12u);  // before the character
    EXPECT_EQ(NextNarrowPiece(text, 40), text.size());

    // Characters of every length at every offset from the mark, between valid and broken ones.
    const std::string mixed = "a\xC3\xA9" + sun + "\xF0\x9F\x98\x80" + stray + "\xE6\x97" + "b" +
                              "\xF0\x9F\x98" + sun + "\xC3";
    for (std::size_t limit = 4; limit <= mixed.size(); ++limit) {
        EXPECT_EQ(WidenInPieces(mixed, limit), WidenText(mixed)) << limit;
    }

    const std::wstring wide = L"a\U0001F600b\U0001F600\U0001F600" +
                              std::wstring(1, wchar_t(0xD800)) + L"c" +
                              std::wstring(1, wchar_t(0xDC00));
    for (std::size_t limit = 2; limit <= wide.size(); ++limit) {
        EXPECT_EQ(NarrowInPieces(wide, limit), NarrowText(wide)) << limit;
    }
}

TEST(WideText, InvalidInputIsReplacedNotLost) {
    EXPECT_EQ(WidenText("a\xFF"
                        "b"),
              L"a\uFFFD"
              "b");
    // A lone surrogate has no UTF-8 form.
    EXPECT_EQ(NarrowText(std::wstring{L'a', wchar_t(0xD800), L'b'}),
              "a\xEF\xBF\xBD"
              "b");
}

}  // namespace
