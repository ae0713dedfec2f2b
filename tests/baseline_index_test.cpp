#include "snapshot/baseline_index.h"
#include "snapshot/changed_values.h"
#include "snapshot/registry_lines.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

using Kind = BaselineIndex::Kind;

// The rule written the slow, obvious way: split at every CR LF, then take keys.
std::set<std::string> ReferenceKeys(const std::string& text, Kind kind) {
    std::vector<std::string> records;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        records.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) {
        records.push_back(text.substr(start));
    }
    std::set<std::string> keys;
    for (const std::string& record : records) {
        if (kind == Kind::Records) {
            keys.insert(record);
            continue;
        }
        const std::size_t comma = record.rfind(',');
        if (comma == std::string::npos) {
            continue;
        }
        std::string number = record.substr(comma + 1);
        if (!number.empty() && number[0] == '-') {
            number.erase(0, 1);
        }
        if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos) {
            keys.insert(record.substr(0, comma));
        }
    }
    return keys;
}

TEST(BaselineIndexFiles, OldExactlyWhenThePathIsListed) {
    const std::string text = "C:\\ab.txt,5\r\nC:\\a.txt.bak,12\r\nC:\\Windows\\notepad.exe,0\r\n";
    BaselineIndex index;
    ASSERT_TRUE(index.Build(text, Kind::FilePaths));
    EXPECT_EQ(index.Size(), 3u);
    EXPECT_TRUE(index.Contains("C:\\ab.txt"));
    EXPECT_TRUE(index.Contains("C:\\Windows\\notepad.exe"));
    // A path inside a longer listed path is a different file.
    EXPECT_FALSE(index.Contains("C:\\a"));
    EXPECT_FALSE(index.Contains("C:\\a.txt"));
    EXPECT_FALSE(index.Contains("C:\\Windows"));
    EXPECT_FALSE(index.Contains("C:\\ab.txt,5"));
    EXPECT_FALSE(index.Contains("ab.txt"));
    // As Windows names go, another letter case is the same name.
    EXPECT_TRUE(index.Contains("C:\\AB.TXT"));
    EXPECT_TRUE(index.Contains("c:\\ab.txt"));
}

TEST(BaselineIndexFiles, NamesBeyondAsciiAreOneNameAsWindowsHasThem) {
    const std::string text =
        "C:\\Users\\\xC3\x84rger.txt,1\r\n"                         // Ärger
        "C:\\\xC9\x90\\a name longer than a word or two.txt,2\r\n"  // ɐ: its upper case is longer
        "C:\\Gru\xC3\x9F,3\r\n"                                     // ß
        "C:\\\xF0\x90\x90\xA8,4\r\n"                                // 𐐨, beyond the BMP
        "C:\\USERS\\\xC3\xA4RGER.TXT,5\r\n";                        // Ärger again
    BaselineIndex index;
    ASSERT_TRUE(index.Build(text, Kind::FilePaths));
    EXPECT_EQ(index.Size(), 4u);
    BaselineIndex::Match match;
    ASSERT_TRUE(index.Find("c:\\users\\\xC3\xA4rger.TXT", 0, match));
    EXPECT_EQ(match.record, 0u);
    EXPECT_FALSE(match.sameBytes);
    ASSERT_TRUE(index.Find("C:\\\xE2\xB1\xAF\\A NAME LONGER THAN A WORD OR TWO.TXT", 0, match));
    EXPECT_EQ(match.record, text.find("C:\\\xC9\x90"));
    EXPECT_TRUE(index.Contains("C:\\GRU\xC3\x9F"));
    EXPECT_FALSE(index.Contains("C:\\GRUSS"));
    EXPECT_FALSE(index.Contains("C:\\\xF0\x90\x90\x80"));
}

TEST(BaselineIndexFiles, KeyIsThePathBeforeTheLastCommaAndNumber) {
    const std::string text =
        "C:\\a,b.txt,12\r\n"           // comma in the name
        "C:\\big.iso,-1294967296\r\n"  // size of 3 GiB printed as signed 32-bit
        "C:\\many,,1,2,3\r\n"
        "C:\\no size\r\n"  // not file records: no key of any kind
        "C:\\empty size,\r\n"
        "C:\\letters,12a\r\n"
        "C:\\minus only,-\r\n"
        "C:\\plus,+5\r\n"
        "C:\\space,5 \r\n"
        "C:\\two minus,--5\r\n";
    BaselineIndex index;
    ASSERT_TRUE(index.Build(text, Kind::FilePaths));
    EXPECT_EQ(index.Size(), 3u);
    EXPECT_TRUE(index.Contains("C:\\a,b.txt"));
    EXPECT_FALSE(index.Contains("C:\\a"));
    EXPECT_TRUE(index.Contains("C:\\big.iso"));
    EXPECT_TRUE(index.Contains("C:\\many,,1,2"));
    EXPECT_FALSE(index.Contains("C:\\many"));
    for (const char* notAFile : {"C:\\no size", "C:\\empty size", "C:\\letters", "C:\\minus only",
                                 "C:\\plus", "C:\\space", "C:\\two minus", "C:\\two minus,-"}) {
        EXPECT_FALSE(index.Contains(notAFile)) << notAFile;
    }
}

TEST(BaselineIndexFiles, DecimalsTheHeaderPromises) {
    const std::string text =
        "C:\\zeros,007\r\n"
        "C:\\minus zero,-0\r\n"
        ",5\r\n"  // an empty path is a key like any other
        "C:\\space before, 5\r\n"
        "C:\\tab,5\t\r\n"
        "C:\\minus after,5-\r\n";
    BaselineIndex index;
    ASSERT_TRUE(index.Build(text, Kind::FilePaths));
    EXPECT_EQ(index.Size(), 3u);
    EXPECT_TRUE(index.Contains("C:\\zeros"));
    EXPECT_TRUE(index.Contains("C:\\minus zero"));
    EXPECT_TRUE(index.Contains(""));
    EXPECT_FALSE(index.Contains("C:\\space before"));
    EXPECT_FALSE(index.Contains("C:\\tab"));
    EXPECT_FALSE(index.Contains("C:\\minus after"));
}

TEST(BaselineIndexRecords, OldOnlyWhenTheWholeLineIsListed) {
    const std::string text =
        "HKEY_CURRENT_USER\\Software\r\n"
        "HKEY_CURRENT_USER\\Software\\Vendor\\Count=10\r\n"
        "HKEY_CURRENT_USER\\Software\\Vendor\\Name=Quorvane\r\n"
        "HKEY_CURRENT_USER\\\\Direct=1\r\n";
    BaselineIndex index;
    ASSERT_TRUE(index.Build(text, Kind::Records));
    EXPECT_EQ(index.Size(), 4u);
    EXPECT_TRUE(index.Contains("HKEY_CURRENT_USER\\Software"));
    EXPECT_TRUE(index.Contains("HKEY_CURRENT_USER\\Software\\Vendor\\Count=10"));
    EXPECT_TRUE(index.Contains("HKEY_CURRENT_USER\\\\Direct=1"));
    // A changed value text is new both ways: shorter and longer.
    EXPECT_FALSE(index.Contains("HKEY_CURRENT_USER\\Software\\Vendor\\Count=1"));
    EXPECT_FALSE(index.Contains("HKEY_CURRENT_USER\\Software\\Vendor\\Count=100"));
    EXPECT_FALSE(index.Contains("HKEY_CURRENT_USER\\Software\\Vendor\\Count="));
    // Names fold, texts do not.
    EXPECT_FALSE(index.Contains("HKEY_CURRENT_USER\\Software\\Vendor\\Name=quorvane", 8));
    EXPECT_TRUE(index.Contains("HKEY_CURRENT_USER\\SOFTWARE\\vendor\\NAME=Quorvane", 8));
    // A key that only appears inside its values' lines was not listed.
    EXPECT_FALSE(index.Contains("HKEY_CURRENT_USER\\Software\\Vendor"));
    EXPECT_FALSE(index.Contains("HKEY_CURRENT_USER\\Direct=1"));
    EXPECT_FALSE(index.Contains(""));
}

TEST(BaselineIndexRecords, LoneCrAndLfStayInsideARecord) {
    const std::string text =
        "HKCU\\A=one\rtwo\r\nHKCU\\B=one\ntwo\r\nHKCU\\C=end\r\r\n\nHKCU\\D\r\n";
    BaselineIndex index;
    ASSERT_TRUE(index.Build(text, Kind::Records));
    EXPECT_EQ(index.Size(), 4u);
    EXPECT_TRUE(index.Contains("HKCU\\A=one\rtwo"));
    EXPECT_TRUE(index.Contains("HKCU\\B=one\ntwo"));
    EXPECT_TRUE(index.Contains("HKCU\\C=end\r"));
    EXPECT_TRUE(index.Contains("\nHKCU\\D"));
    for (const char* piece : {"HKCU\\A=one", "two", "HKCU\\B=one", "HKCU\\C=end", "HKCU\\D"}) {
        EXPECT_FALSE(index.Contains(piece)) << piece;
    }
    // A line holding CR LF spans two records and matches neither.
    EXPECT_FALSE(index.Contains("HKCU\\A=one\rtwo\r\nHKCU\\B=one\ntwo"));
}

TEST(BaselineIndexRecords, FramingOfTheText) {
    BaselineIndex index;
    ASSERT_TRUE(index.Build("", Kind::Records));
    EXPECT_EQ(index.Size(), 0u);
    EXPECT_FALSE(index.Contains(""));
    EXPECT_FALSE(index.Contains("HKEY_USERS\\S-1-5-18"));

    // A file cut short keeps its last record, even one ending in a lone CR.
    ASSERT_TRUE(index.Build("HKEY_USERS\\A\r\nHKEY_USERS\\B", Kind::Records));
    EXPECT_EQ(index.Size(), 2u);
    EXPECT_TRUE(index.Contains("HKEY_USERS\\B"));
    ASSERT_TRUE(index.Build("HKEY_USERS\\A\r\nHKEY_USERS\\B\r", Kind::Records));
    EXPECT_TRUE(index.Contains("HKEY_USERS\\B\r"));
    EXPECT_FALSE(index.Contains("HKEY_USERS\\B"));

    // Duplicates count once; blank lines are (empty) records.
    ASSERT_TRUE(index.Build("X\r\nX\r\n\r\nX\r\n\r\n", Kind::Records));
    EXPECT_EQ(index.Size(), 2u);
    EXPECT_TRUE(index.Contains("X"));
    EXPECT_TRUE(index.Contains(""));

    ASSERT_TRUE(index.Build("C:\\a,1\r\nC:\\a,2\r\nC:\\b,3", Kind::FilePaths));
    EXPECT_EQ(index.Size(), 2u);
    EXPECT_TRUE(index.Contains("C:\\b"));

    // A new build forgets the old text.
    ASSERT_TRUE(index.Build("C:\\c,4\r\n", Kind::FilePaths));
    EXPECT_EQ(index.Size(), 1u);
    EXPECT_FALSE(index.Contains("C:\\a"));
    EXPECT_TRUE(index.Contains("C:\\c"));
}

TEST(BaselineIndexRecords, UnbuiltIndexHoldsNothing) {
    const BaselineIndex index;
    EXPECT_EQ(index.Size(), 0u);
    EXPECT_FALSE(index.Contains(""));
    EXPECT_FALSE(index.Contains("C:\\a"));
}

// Random records over a few bytes that matter to the framing and to the file-record rule,
// so that CR LF forms by chance, records repeat and keys collide; checked against the
// reference for every key and for many near-miss queries.
TEST(BaselineIndexRandom, AgreesWithTheReference) {
    const std::string alphabet = "ab,,-019\r\n\\";
    std::mt19937 random(20240611);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    auto randomText = [&](std::size_t length) {
        std::string s;
        for (std::size_t i = 0; i < length; ++i) {
            s += alphabet[pick(alphabet.size())];
        }
        return s;
    };

    for (int round = 0; round < 40; ++round) {
        const Kind kind = round % 2 == 0 ? Kind::FilePaths : Kind::Records;
        // Some rounds with chain limits so low that builds start over and keep their last try.
        const std::size_t maxProbes = round % 4 == 1 ? 2 : BaselineIndex::kMaxProbes;
        std::string text;
        const std::size_t records = 1 + pick(round < 10 ? 20 : 3000);
        std::vector<std::string> written;
        for (std::size_t r = 0; r < records; ++r) {
            std::string record = randomText(pick(12));
            if (kind == Kind::FilePaths && pick(3) != 0) {
                record += pick(2) ? ",-" : ",";
                record += std::to_string(pick(1000));
            }
            written.push_back(record);
            text += record;
            if (r + 1 < records || pick(2) == 0) {
                text += "\r\n";
            }
        }

        const std::set<std::string> expected = ReferenceKeys(text, kind);
        BaselineIndex index(maxProbes);
        ASSERT_TRUE(index.Build(text, kind));
        ASSERT_EQ(index.Size(), expected.size()) << "round " << round;
        for (const std::string& key : expected) {
            ASSERT_TRUE(index.Contains(key))
                << "round " << round << " key " << testing::PrintToString(key);
        }

        std::vector<std::string> queries;
        for (const std::string& record : written) {
            queries.push_back(record);
            for (int i = 0; i < 3; ++i) {
                const std::size_t from = pick(record.size() + 1);
                queries.push_back(record.substr(from, pick(record.size() + 1)));
            }
            queries.push_back(record + alphabet[pick(alphabet.size())]);
        }
        for (int i = 0; i < 2000; ++i) {
            queries.push_back(randomText(pick(10)));
            const std::size_t from = pick(text.size() + 1);
            queries.push_back(text.substr(from, pick(16)));
        }
        for (const std::string& query : queries) {
            ASSERT_EQ(index.Contains(query), expected.count(query) == 1)
                << "round " << round << " query " << testing::PrintToString(query);
        }
    }
}

// The unseeded hash that the index once had gave every 24-byte key with these bytes at 16 to 23
// the same hash; anyone who could name files could make a build take hours.
std::string OldHashFlood(std::size_t keys) {
    const std::string collider = "\x6B\x2A\xED\x8A\x62\x51\xE1\xB7";
    std::string text;
    for (std::size_t i = 0; i < keys; ++i) {
        const std::string number = std::to_string(i);
        text +=
            "C:\\F\\" + std::string(9 - number.size(), '0') + number + ".x" + collider + ",1\r\n";
    }
    return text;
}

TEST(BaselineIndexSeeds, NamesCollidingUnderTheOldHashKeepChainsShort) {
    const std::string text = OldHashFlood(40000);
    BaselineIndex index;
    ASSERT_TRUE(index.Build(text, Kind::FilePaths));
    EXPECT_EQ(index.Size(), 40000u);
    const BaselineIndex::Shape shape = index.TableShape();
    EXPECT_EQ(shape.seeds, 1);
    // Chance gives chains of a few dozen in a table this size; the old hash gave one of 40,000.
    EXPECT_LT(shape.longestChain, 200u);
    for (std::size_t at = 0; at < text.size(); at += 28 * 997) {
        EXPECT_TRUE(index.Contains(std::string_view(text).substr(at, 24))) << at;
    }
}

TEST(BaselineIndexSeeds, BuildsPastTheChainLimitStartOverAndKeepTheLast) {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "HKCU\\Key" + std::to_string(i) + "\r\n";
    text += "HKCU\\Key7\r\n";

    BaselineIndex index(3);  // 3000 keys always form some chain longer than 3
    ASSERT_TRUE(index.Build(text, Kind::Records));
    EXPECT_EQ(index.TableShape().seeds, BaselineIndex::kMaxSeeds);
    EXPECT_GT(index.TableShape().longestChain, 3u);
    EXPECT_EQ(index.Size(), 3000u);  // a start over forgets the keys of the try before
    std::size_t first = 0;
    ASSERT_TRUE(index.MarkSeen("HKCU\\Key7", &first));
    EXPECT_EQ(first, text.find("HKCU\\Key7\r\n"));
    EXPECT_FALSE(index.Contains("HKCU\\Key3000"));

    BaselineIndex ordinary;
    ASSERT_TRUE(ordinary.Build(text, Kind::Records));
    EXPECT_EQ(ordinary.TableShape().seeds, 1);
    EXPECT_LE(ordinary.TableShape().longestChain, BaselineIndex::kMaxProbes);
}

TEST(CountLineFeeds, CountsEveryLineFeedByte) {
    EXPECT_EQ(CountLineFeeds(""), 0u);
    EXPECT_EQ(CountLineFeeds("no line end"), 0u);
    EXPECT_EQ(CountLineFeeds("a\r\nb\nc\rd\r\n"), 3u);
    EXPECT_EQ(CountLineFeeds("\n\0\n"s), 2u);
}

}  // namespace

// Step #2 marks what its walk meets; what stays unmarked is what was removed.
TEST(BaselineIndexMarks, UnseenRecordsInTextOrderOncePerKey) {
    const std::string text =
        "C:\\b.txt,1\r\nC:\\a.txt,2\r\nno size\r\nC:\\c.txt,-3\r\nC:\\b.txt,9\r\nC:\\d.txt,4";
    BaselineIndex index;
    ASSERT_TRUE(index.Build(text, Kind::FilePaths));
    std::size_t first = 0;
    ASSERT_TRUE(index.MarkSeen("C:\\a.txt", &first));
    EXPECT_EQ(text.substr(first, 10), "C:\\a.txt,2");
    EXPECT_FALSE(index.MarkSeen("C:\\x.txt"));
    EXPECT_TRUE(index.Contains("C:\\a.txt"));  // a mark changes no answer

    std::vector<std::string> unseen;
    index.ForEachUnseen([&](std::size_t offset, std::string_view record) {
        EXPECT_EQ(text.substr(offset, record.size()), record);
        unseen.emplace_back(record);
    });
    EXPECT_EQ(unseen, (std::vector<std::string>{"C:\\b.txt,1", "C:\\c.txt,-3", "C:\\d.txt,4"}));

    // Marking every key leaves nothing, whatever the tags of the slots.
    for (const char* key : {"C:\\b.txt", "C:\\c.txt", "C:\\d.txt"})
        EXPECT_TRUE(index.MarkSeen(key));
    index.ForEachUnseen([](std::size_t, std::string_view record) { ADD_FAILURE() << record; });
}

// A registry value's text may hold CR LF: its line is known only as a whole line of the
// baseline, never from pieces that stand elsewhere or from the start of a longer line.
TEST(BaselineIndexMarks, ALineIsKnownOnlyAsAWholeLine) {
    const std::string text =
        "R\\K\\A=one\r\ntwo\r\nR\\K\\B=two\r\nR\\K\\C=one\r\nR\\K\\D=x\r\ny\r\nR\\K";
    BaselineIndex index;
    ASSERT_TRUE(index.Build(text, Kind::Records));
    EXPECT_TRUE(index.MarkSeenLine("R\\K\\A=one\r\ntwo", "R\\"));
    // "R\K\B=two" and "R\K\C=one" are records, but not the pieces of one line in a row.
    EXPECT_FALSE(index.MarkSeenLine("R\\K\\C=one\r\nR\\K\\B=two", "R\\"));
    EXPECT_FALSE(index.MarkSeenLine("R\\K\\A=one", "R\\"));  // the start of a longer line
    EXPECT_FALSE(index.MarkSeenLine("R\\K\\D=x\r\ny\r\nR\\K\r\nz", "R\\"));
    EXPECT_TRUE(index.MarkSeenLine("R\\K", "R\\"));  // the last line, without CR LF
    std::vector<std::string> unseen;
    index.ForEachUnseen([&](std::size_t, std::string_view record) { unseen.emplace_back(record); });
    // "two" was marked with the line it belongs to; the failed tries marked nothing.
    EXPECT_EQ(unseen, (std::vector<std::string>{"R\\K\\B=two", "R\\K\\C=one", "R\\K\\D=x", "y"}));
}

// A new value changes the first gone line, in baseline order, with its key line and name.
TEST(ChangedValues, PairWithTheFirstLineOfTheSameKeyAndNameOnce) {
    ChangedValueMatcher matcher({"R\\K\\a=b=1", "R\\K\\a=2", "R\\K\\a=b=3", "R\\K\\ab=4", "R\\K"});
    // Name "a=b": the first and the third line start so; the first is taken, then the third.
    EXPECT_EQ(matcher.Pair("R\\K\\a=b="), 0u);
    EXPECT_EQ(matcher.Pair("R\\K\\a=b="), 2u);
    EXPECT_EQ(matcher.Pair("R\\K\\a=b="), ChangedValueMatcher::kNone);
    // Name "a": the first line would do, but it is taken; the second is next.
    EXPECT_EQ(matcher.Pair("R\\K\\a="), 1u);
    EXPECT_EQ(matcher.Pair("R\\K\\a"), ChangedValueMatcher::kNone);  // no "=": not a value's start
    EXPECT_EQ(matcher.Pair("R\\K\\x="), ChangedValueMatcher::kNone);
    EXPECT_EQ(matcher.TakenCount(), 3u);
    EXPECT_FALSE(matcher.Taken(3));
    EXPECT_FALSE(matcher.Taken(4));
}

// Lines as their record tells: a line may hold CR LF and look like other lines, and is known
// only whole; the record must agree with the text in every length and split.
TEST(RegistryLineRecord, LinesAreKnownWholeWhereTheRecordAgrees) {
    const std::string text = "R\\K\r\nR\\K\\a=x\r\nR\\K\\b=1\r\nR\\K\\b=1\r\nR\\K\\c\r\n=2\r\n";
    auto key = [](std::size_t length) { return RegistryLine{length}; };
    auto value = [](std::size_t length, std::size_t nameLength, std::uint32_t type) {
        RegistryLine line{length, true, 3, nameLength, type};
        line.exact = true;
        return line;
    };
    auto record = [](std::initializer_list<RegistryLine> lines) {
        std::string bytes(kRegistryLinesHeader);
        for (const RegistryLine& line : lines) AppendRegistryLine(bytes, line);
        return bytes;
    };
    // R\K, then value a = "x\r\nR\K\b=1", value b = "1", value "c\r\n" = "2".
    const std::string good = record({key(3), value(16, 1, 1), value(7, 1, 4), value(9, 3, 0x7fffffff)});
    std::vector<std::size_t> joins;
    ASSERT_TRUE(MatchRegistryLines(good, text, "R\\", joins));
    EXPECT_EQ(joins, (std::vector<std::size_t>{12, 37}));

    const struct {
        const char* what;
        std::string record;
        std::string_view root;
    } wrong[] = {
        {"lengths short of the text", record({key(3), value(16, 1, 1), value(7, 1, 4)}), "R\\"},
        {"a line that does not end in CR LF", record({key(4), value(16, 1, 1), value(7, 1, 4), value(9, 3, 0)}), "R\\"},
        {"no \"=\" after the name", record({key(3), value(16, 2, 1), value(7, 1, 4), value(9, 3, 0)}), "R\\"},
        {"another root", good, "S\\"},
        {"cut in an entry", good.substr(0, good.size() - 1), "R\\"},
        {"no header", good.substr(1), "R\\"},
    };
    for (const auto& c : wrong) {
        EXPECT_FALSE(MatchRegistryLines(c.record, text, c.root, joins)) << c.what;
    }

    RegistryLineReader reader(good);
    std::vector<RegistryLine> entries(5);
    for (RegistryLine& entry : entries) reader.Next(entry);
    EXPECT_EQ(entries[2].type, 4u);
    EXPECT_EQ(entries[3].type, 0x7fffffffu);
    EXPECT_TRUE(entries[3].exact && !entries[3].hexForm && !entries[0].value);
    EXPECT_EQ(entries[1].NameEnd(), 6u);
    EXPECT_FALSE(reader.Next(entries[4]) || reader.Damaged());

    BaselineIndex index;
    ASSERT_TRUE(MatchRegistryLines(good, text, "R\\", joins));
    ASSERT_TRUE(index.Build(text, Kind::Lines, joins));
    EXPECT_EQ(index.Size(), 4u);
    EXPECT_FALSE(index.Contains("R\\K\\a=x"));  // the start of a longer line
    EXPECT_FALSE(index.Contains("R\\K\\a=x\r\nR\\K\\b=1\r\nR\\K\\b=1"));  // runs into the next
    EXPECT_TRUE(index.MarkSeenLine("R\\K\\b=1", "R\\"));  // the line, not the piece inside a
    EXPECT_TRUE(index.MarkSeenLine("R\\K\\c\r\n=2", "R\\"));
    std::vector<std::size_t> unseen;
    RegistryLineCursor cursor(good);
    index.ForEachUnseen([&](std::size_t offset, std::string_view line) {
        RegistryLine entry;
        ASSERT_TRUE(cursor.At(offset, entry));
        EXPECT_EQ(entry.length, line.size());
        unseen.push_back(offset);
    });
    EXPECT_EQ(unseen, (std::vector<std::size_t>{0, 5}));
}
