#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "snapshot/baseline_index.h"
#include "snapshot/registry_access.h"
#include "snapshot/registry_walker.h"
#include "snapshot/snapshot_files.h"
#include "tests/support/recording_observer.h"
#include "tests/support/scratch_registry.h"

namespace {

std::string Render(DWORD type, std::initializer_list<unsigned char> bytes) {
    const std::vector<unsigned char> data(bytes);
    std::string text = "left over";
    ReadRegistryValueText(type, data.data(), data.size(), text);
    return text;
}

TEST(RegistryValueText, DwordIsSignedDecimal) {
    EXPECT_EQ(Render(REG_DWORD, {0xff, 0xff, 0xff, 0xff}), "-1");
    EXPECT_EQ(Render(REG_DWORD, {0, 0, 0, 0}), "0");
    EXPECT_EQ(Render(REG_DWORD, {0x2a, 0x01, 0, 0}), "298");
    EXPECT_EQ(Render(REG_DWORD, {0xff, 0xff, 0xff, 0x7f}), "2147483647");
    EXPECT_EQ(Render(REG_DWORD, {0, 0, 0, 0x80}), "-2147483648");
}

TEST(RegistryValueText, DwordOfOtherLengthKeepsEveryByte) {
    EXPECT_EQ(Render(REG_DWORD, {0x01, 0x02, 0x03}), "hex(4):01,02,03");
    EXPECT_EQ(Render(REG_DWORD, {1, 0, 0, 0, 0xab}), "hex(4):01,00,00,00,ab");
}

TEST(RegistryValueText, OtherTypesAreHexBytesAsInExportFiles) {
    EXPECT_EQ(Render(REG_BINARY, {0x00, 0xff, 0x10}), "hex:00,ff,10");
    EXPECT_EQ(Render(REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}),
              "hex(7):61,00,00,00,62,00,00,00,00,00");
    EXPECT_EQ(Render(REG_QWORD, {8, 7, 6, 5, 4, 3, 2, 1}), "hex(b):08,07,06,05,04,03,02,01");
    EXPECT_EQ(Render(REG_DWORD_BIG_ENDIAN, {0, 0, 1, 0}), "hex(5):00,00,01,00");
    EXPECT_EQ(Render(REG_NONE, {0xa0}), "hex(0):a0");
    EXPECT_EQ(Render(REG_LINK, {'\r', '\n', '='}), "hex(6):0d,0a,3d");
    EXPECT_EQ(Render(0x1f2e, {0xc3}), "hex(1f2e):c3");
    EXPECT_EQ(Render(0xffffffff, {1}), "hex(ffffffff):01");
}

// A string shows as text only when the text loses nothing of its data; only a string with
// exactly one terminator is given back exactly from its text.
TEST(RegistryValueText, StringsAsTextOnlyWhenTheTextShowsAllTheirData) {
    const std::wstring_view path = L"C:\\Temp\\a=b";
    const struct {
        DWORD type;
        std::wstring_view chars;
        std::size_t bytes;
        std::string text;
        bool hex, exact;
    } cases[] = {
        {REG_SZ, path, (path.size() + 1) * 2, "C:\\Temp\\a=b", false, true},
        {REG_SZ, path, path.size() * 2, "C:\\Temp\\a=b", false, false},  // no terminator
        {REG_EXPAND_SZ, L"%SystemRoot%\\x", 30, "%SystemRoot%\\x", false, true},
        {REG_SZ, L"Gr\u00fc\u00dfe \u540d", 16, "Gr\xc3\xbc\xc3\x9f" "e \xe5\x90\x8d", false, true},
        {REG_SZ, L"", 2, "", false, true},
        {REG_SZ, std::wstring_view(L"ab\0", 3), 5, "ab", false, false},  // a lone zero byte more
        // A half character, data past the terminator, or a surrogate that pairs with nothing
        // would be lost or blurred: the hex form keeps every byte.
        {REG_SZ, path, 5, "hex(1):43,00,3a,00,5c", true, true},
        {REG_SZ, std::wstring_view(L"ab\0cd", 5), 10, "hex(1):61,00,62,00,00,00,63,00,64,00", true, true},
        {REG_SZ, std::wstring_view(L"\0x", 2), 4, "hex(1):00,00,78,00", true, true},
        {REG_EXPAND_SZ, std::wstring_view(L"a\0\0", 3), 6, "hex(2):61,00,00,00,00,00", true, true},
        {REG_SZ, std::wstring_view(L"\xd800z", 2), 4, "hex(1):00,d8,7a,00", true, true},
        {REG_SZ, L"\U0001F600", 4, "\xf0\x9f\x98\x80", false, false},
    };
    for (const auto& c : cases) {
        std::string text = "left over";
        const ValueTextForm form = ReadRegistryValueText(c.type, c.chars.data(), c.bytes, text);
        EXPECT_EQ(text, c.text) << c.text;
        EXPECT_EQ(form.hex, c.hex) << c.text;
        EXPECT_EQ(form.exact, c.exact) << c.text;
    }
}

TEST(RegistryValueText, NoDataOfAnyTypeIsEmpty) {
    for (DWORD type :
         {REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_BINARY, REG_MULTI_SZ, REG_QWORD, REG_NONE}) {
        EXPECT_EQ(Render(type, {}), "") << "type " << type;
    }
}

// --- Walks over a scratch tree ---------------------------------------------------------------

const std::string kHkcu = "HKEY_CURRENT_USER\\";

std::string ReadFileBytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file in the temp folder, unique to this process and tag, removed when done.
class TempFile {
public:
    explicit TempFile(const std::string& tag) {
        char folder[MAX_PATH + 1] = {};
        GetTempPathA(MAX_PATH + 1, folder);
        name_ = std::string(folder) + "qv-registry-" + tag + "-" +
                std::to_string(GetCurrentProcessId()) + ".txt";
        DeleteFileA(name_.c_str());
    }
    ~TempFile() { DeleteFileA(name_.c_str()); }
    const std::string& Name() const { return name_; }

private:
    std::string name_;
};

struct WalkResult {
    long written = 0;
    std::string bytes;
};

WalkResult WalkInto(const TempFile& file, HKEY root, std::string_view path,
                    BaselineIndex* baseline, RecordingObserver& observer) {
    SnapshotWriter writer;
    EXPECT_TRUE(writer.Create(file.Name()));
    WalkResult result;
    result.written = ScanRegistryKey(root, path, &writer, baseline, observer);
    EXPECT_TRUE(writer.Close());
    result.bytes = ReadFileBytes(file.Name());
    return result;
}

// A baseline as the compare step holds it: a snapshot walk's file, loaded and indexed.
struct Baseline {
    explicit Baseline(const TempFile& file) {
        DWORD error = 0;
        loaded = LoadBaselineFile(file.Name().c_str(), text, error) == BaselineLoad::Loaded &&
                 index.Build(text.View(), BaselineIndex::Kind::Records);
    }
    BaselineText text;
    BaselineIndex index;
    bool loaded = false;
};

std::string Lines(std::initializer_list<std::string> lines) {
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\r\n";
    return bytes;
}

// Names are created in the order Wine keeps them (sorted, ignoring case), which is also the
// creation order Windows enumerates values in, so the expected order holds on both.
TEST(RegistryWalk, SnapshotListsEveryValueThenEachSubkeyDepthFirst) {
    ScratchRegistry scratch(L"Snapshot");
    ASSERT_TRUE(scratch.Ok());
    const unsigned char bigEndian[] = {0, 0, 1, 0};
    const unsigned char binary[] = {0x00, 0xff, 0x10};
    const wchar_t multi[] = L"a\0b\0";  // with the array's own zero: a, b, empty end
    const unsigned long long qword = 0x0102030405060708ull;
    const unsigned char none[] = {1, 2};
    ASSERT_TRUE(scratch.SetString(L"", L"", L"default text"));
    ASSERT_TRUE(scratch.SetString(L"", L"100%", L"full"));
    ASSERT_TRUE(scratch.SetValue(L"", L"BigEndian", REG_DWORD_BIG_ENDIAN, bigEndian, 4));
    ASSERT_TRUE(scratch.SetValue(L"", L"Binary", REG_BINARY, binary, sizeof binary));
    ASSERT_TRUE(scratch.SetDword(L"", L"C:\\Temp\\file.txt", 0xFFFFFFFF));
    ASSERT_TRUE(scratch.SetValue(L"", L"EmptyDword", REG_DWORD, nullptr, 0));
    ASSERT_TRUE(scratch.SetValue(L"", L"EmptyMulti", REG_MULTI_SZ, nullptr, 0));
    ASSERT_TRUE(scratch.SetValue(L"", L"EmptyString", REG_SZ, nullptr, 0));
    ASSERT_TRUE(scratch.SetString(L"", L"Expand", L"%SystemRoot%\\x", REG_EXPAND_SZ));
    ASSERT_TRUE(scratch.SetValue(L"", L"Multi", REG_MULTI_SZ, multi, sizeof multi));
    ASSERT_TRUE(scratch.SetValue(L"", L"None", REG_NONE, none, sizeof none));
    ASSERT_TRUE(scratch.SetValue(L"", L"Qword", REG_QWORD, &qword, sizeof qword));
    ASSERT_TRUE(scratch.SetValue(L"", L"Unterminated", REG_SZ, L"abc", 6));
    ASSERT_TRUE(scratch.SetString(L"", L"\u00dcml\u00e4ut\u540d", L"Gr\u00fc\u00dfe"));
    ASSERT_TRUE(scratch.SetString(L"Alpha", L"x", L"1"));
    ASSERT_TRUE(scratch.SetValue(L"Alpha\\Deep", L"y", REG_BINARY, binary, 2));
    ASSERT_TRUE(scratch.CreateKey(L"Beta\\Gamma"));

    const std::string key = kHkcu + scratch.Path();
    const std::string unicodeName = "\xc3\x9cml\xc3\xa4ut\xe5\x90\x8d";
    const std::vector<std::pair<std::string, std::string>> expected = {
        // line, name (values only)
        {key + "\\=default text", ""},
        {key + "\\100%=full", "100%"},
        {key + "\\BigEndian=hex(5):00,00,01,00", "BigEndian"},
        {key + "\\Binary=hex:00,ff,10", "Binary"},
        {key + "\\C:\\Temp\\file.txt=-1", "C:\\Temp\\file.txt"},
        {key + "\\EmptyDword=", "EmptyDword"},
        {key + "\\EmptyMulti=", "EmptyMulti"},
        {key + "\\EmptyString=", "EmptyString"},
        {key + "\\Expand=%SystemRoot%\\x", "Expand"},
        {key + "\\Multi=hex(7):61,00,00,00,62,00,00,00,00,00", "Multi"},
        {key + "\\None=hex(0):01,02", "None"},
        {key + "\\Qword=hex(b):08,07,06,05,04,03,02,01", "Qword"},
        {key + "\\Unterminated=abc", "Unterminated"},
        {key + "\\" + unicodeName +
             "=Gr\xc3\xbc\xc3\x9f"
             "e",
         unicodeName},
        {key + "\\Alpha", {}},
        {key + "\\Alpha\\x=1", "x"},
        {key + "\\Alpha\\Deep", {}},
        {key + "\\Alpha\\Deep\\y=hex:00,ff", "y"},
        {key + "\\Beta", {}},
        {key + "\\Beta\\Gamma", {}},
    };
    const std::size_t keyLines = 4;

    TempFile file("snapshot");
    RecordingObserver observer;
    const WalkResult result = WalkInto(file, HKEY_CURRENT_USER, scratch.Path(), nullptr, observer);

    std::string bytes;
    std::vector<std::string> visited;
    for (const auto& [line, name] : expected) {
        bytes += line + "\r\n";
        const bool isValue = line.find('=') != std::string::npos;
        visited.push_back(isValue ? line + "\n" + name : line);
    }
    EXPECT_EQ(result.bytes, bytes);
    EXPECT_EQ(result.written, static_cast<long>(expected.size()));
    EXPECT_EQ(observer.visited, visited);
    EXPECT_EQ(observer.newRegistryValues + observer.newRegistryKeys, 0)
        << "nothing is new in a snapshot";
    // Asked before each subkey and once more when a key has no further one, and once at the start.
    EXPECT_EQ(observer.stopQuestions, 1 + static_cast<int>(keyLines) + 5);
}

TEST(RegistryWalk, EnumerationGrowsItsBuffersForLongNamesAndData) {
    ScratchRegistry scratch(L"Grow");
    ASSERT_TRUE(scratch.Ok());
    const std::wstring longName(16383, L'N');
    const std::wstring bigText = std::wstring(100000, L'b') + L"END";
    ASSERT_TRUE(scratch.SetString(L"", L"", L"d"));
    ASSERT_TRUE(scratch.SetString(L"", longName, bigText));

    // No PrepareRegistryEntry: the smallest buffers must grow on the way.
    RegistryEntryBuffer entry;
    EXPECT_EQ(EnumRegistryEntry(scratch.Key(), RegistryEntryKind::Values, 0, entry),
              RegistryEnumResult::Found);
    EXPECT_EQ(entry.Name(), L"");
    EXPECT_EQ(entry.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(entry.dataSize, 4u);
    ASSERT_EQ(EnumRegistryEntry(scratch.Key(), RegistryEntryKind::Values, 1, entry),
              RegistryEnumResult::Found);
    EXPECT_EQ(entry.Name(), longName);
    EXPECT_EQ(entry.dataSize, (bigText.size() + 1) * 2);
    std::string text;
    ReadRegistryValueText(entry.type, entry.data.data(), entry.dataSize, text);
    EXPECT_EQ(text.size(), bigText.size());
    EXPECT_EQ(text.substr(text.size() - 4), "bEND");
    EXPECT_EQ(EnumRegistryEntry(scratch.Key(), RegistryEntryKind::Values, 2, entry),
              RegistryEnumResult::NoMoreItems);
    EXPECT_EQ(EnumRegistryEntry(scratch.Key(), RegistryEntryKind::Subkeys, 0, entry),
              RegistryEnumResult::NoMoreItems);
}

// One value as a system may enumerate it that tells less than Wine: the key's sizes cannot be
// read, and the data size is reported only once the name fits, or never. With growth set, the
// value is rewritten larger before every call that sees it.
struct ReticentValue {
    std::wstring name;
    std::vector<BYTE> data;
    bool reportsData = true;
    std::size_t growth = 0;
    int calls = 0;
};
ReticentValue g_reticent;

LSTATUS WINAPI ReticentEnumValue(HKEY, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD,
                                 LPDWORD type, LPBYTE data, LPDWORD dataBytes) {
    ++g_reticent.calls;
    if (index > 0) return ERROR_NO_MORE_ITEMS;
    g_reticent.data.resize(g_reticent.data.size() + g_reticent.growth, 0x5a);
    const DWORD size = static_cast<DWORD>(g_reticent.data.size());
    if (*nameChars <= g_reticent.name.size()) return ERROR_MORE_DATA;
    if (*dataBytes < size) {
        if (g_reticent.reportsData) *dataBytes = size;
        return ERROR_MORE_DATA;
    }
    std::copy(g_reticent.name.begin(), g_reticent.name.end(), name);
    name[g_reticent.name.size()] = L'\0';
    *nameChars = static_cast<DWORD>(g_reticent.name.size());
    std::copy(g_reticent.data.begin(), g_reticent.data.end(), data);
    *dataBytes = size;
    *type = REG_BINARY;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI UnreadableKeySizes(HKEY, LPWSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD, LPDWORD,
                                  LPDWORD, LPDWORD, LPDWORD, LPDWORD, PFILETIME) {
    return ERROR_ACCESS_DENIED;
}

TEST(RegistryWalk, EnumerationGrowsWhereNothingTellsTheSizes) {
    RegistryEnumCalls calls;
    calls.enumValue = ReticentEnumValue;
    calls.queryInfoKey = UnreadableKeySizes;
    for (const bool reportsData : {true, false}) {
        g_reticent = {std::wstring(16383, L'N'), std::vector<BYTE>(65352, 0xa5), reportsData};
        RegistryEntryBuffer entry;
        ASSERT_EQ(EnumRegistryEntry(nullptr, RegistryEntryKind::Values, 0, entry, calls),
                  RegistryEnumResult::Found)
            << "data size reported: " << reportsData;
        EXPECT_EQ(entry.Name(), g_reticent.name);
        ASSERT_EQ(entry.dataSize, g_reticent.data.size());
        EXPECT_TRUE(std::equal(g_reticent.data.begin(), g_reticent.data.end(), entry.data.begin()));
        // The name grows to its largest at once, and the data does not creep up a byte a call.
        EXPECT_LE(g_reticent.calls, reportsData ? 3 : 10);
        EXPECT_EQ(EnumRegistryEntry(nullptr, RegistryEntryKind::Values, 1, entry, calls),
                  RegistryEnumResult::NoMoreItems);
    }

    // A value that outgrows every size it reports is given up, not chased for ever.
    g_reticent = {L"Growing", std::vector<BYTE>(300), true, 1000};
    RegistryEntryBuffer entry;
    EXPECT_EQ(EnumRegistryEntry(nullptr, RegistryEntryKind::Values, 0, entry, calls),
              RegistryEnumResult::Failed);
    EXPECT_LE(g_reticent.calls, 12);
}

TEST(RegistryWalk, ValueDirectlyUnderARootHasTwoBackslashes) {
    const std::string name = "QvRegTestRoot" + std::to_string(GetCurrentProcessId());
    const std::string valueLine = kHkcu + "\\" + name + "=bar";

    TempFile baselineFile("root-baseline");
    RecordingObserver first;
    const WalkResult snapshot = WalkInto(baselineFile, HKEY_CURRENT_USER, "", nullptr, first);
    EXPECT_EQ(snapshot.bytes.find(valueLine), std::string::npos);
    EXPECT_NE(snapshot.bytes.find("\r\n" + kHkcu + "Software\r\n"), std::string::npos)
        << "a subkey of the root follows one backslash";
    Baseline baseline(baselineFile);
    ASSERT_TRUE(baseline.loaded);

    const ScratchRootValue value(std::wstring(name.begin(), name.end()), L"bar");
    ASSERT_TRUE(value.Ok());
    TempFile changes("root-changes");
    RecordingObserver second;
    const WalkResult compare = WalkInto(changes, HKEY_CURRENT_USER, "", &baseline.index, second);
    // Other tests may change their own keys meanwhile, so only this line is certain.
    EXPECT_NE(compare.bytes.find(valueLine + "\r\n"), std::string::npos) << compare.bytes;
    EXPECT_GE(second.newRegistryValues, 1);
}

// The scratch tree that the comparison tests start from.
void FillCompareBaseline(ScratchRegistry& scratch) {
    ASSERT_TRUE(scratch.SetDword(L"", L"Changed", 1));
    ASSERT_TRUE(scratch.SetString(L"", L"StartMenuInit", L"a"));
    ASSERT_TRUE(scratch.SetString(L"", L"StartMenuLogoff", L"a"));
    ASSERT_TRUE(scratch.SetString(L"", L"StartMenuRun", L"a"));
    ASSERT_TRUE(scratch.SetString(L"", L"Unchanged", L"same"));
    ASSERT_TRUE(scratch.SetString(L"Known", L"Kept", L"1"));
    for (int i = 0; i < 2100; ++i) {
        const std::wstring number = std::to_wstring(10000 + i).substr(1);
        ASSERT_TRUE(scratch.CreateKey(L"Many\\S" + number));
    }
    ASSERT_TRUE(scratch.SetString(L"Other", L"startmenurun", L"a"));
}

TEST(RegistryWalk, CompareWritesOnlyNewAndChangedLines) {
    ScratchRegistry scratch(L"Compare");
    ASSERT_TRUE(scratch.Ok());
    ASSERT_NO_FATAL_FAILURE(FillCompareBaseline(scratch));
    const std::string key = kHkcu + scratch.Path();

    TempFile baselineFile("compare-baseline");
    RecordingObserver snapshotObserver;
    const WalkResult snapshot =
        WalkInto(baselineFile, HKEY_CURRENT_USER, scratch.Path(), nullptr, snapshotObserver);
    EXPECT_EQ(snapshot.written, 5 + 2 + 1 + 2100 + 2);
    EXPECT_NE(snapshot.bytes.find(key + "\\StartMenuRun=a\r\n"), std::string::npos)
        << "a snapshot lists the values a comparison leaves out";
    EXPECT_NE(snapshot.bytes.find(key + "\\Many\\S2099\r\n"), std::string::npos);
    Baseline baseline(baselineFile);
    ASSERT_TRUE(baseline.loaded);

    TempFile changes("compare-changes");
    {
        RecordingObserver observer;
        const WalkResult same =
            WalkInto(changes, HKEY_CURRENT_USER, scratch.Path(), &baseline.index, observer);
        EXPECT_EQ(same.written, 0);
        EXPECT_EQ(same.bytes, "");
        EXPECT_EQ(observer.visited.size(), snapshotObserver.visited.size());
    }

    ASSERT_TRUE(scratch.SetDword(L"", L"Changed", 2));
    ASSERT_TRUE(scratch.SetString(L"", L"StartMenuInit", L"b"));
    ASSERT_TRUE(scratch.SetString(L"", L"StartMenuLogoff", L"b"));
    ASSERT_TRUE(scratch.SetString(L"", L"StartMenuRun", L"b"));
    ASSERT_TRUE(scratch.SetString(L"Known", L"Added", L"new"));
    ASSERT_TRUE(scratch.SetString(L"Many\\Zz_New", L"v", L"1"));
    ASSERT_TRUE(scratch.SetString(L"NewKey", L"v", L"1"));
    ASSERT_TRUE(scratch.SetString(L"NewKey\\Sub", L"", L"d"));
    ASSERT_TRUE(scratch.SetString(L"Other", L"startmenurun", L"b"));

    RecordingObserver observer;
    const WalkResult result =
        WalkInto(changes, HKEY_CURRENT_USER, scratch.Path(), &baseline.index, observer);
    EXPECT_EQ(result.bytes, Lines({
                                key + "\\Changed=2",
                                key + "\\Known\\Added=new",
                                key + "\\Many\\Zz_New",
                                key + "\\Many\\Zz_New\\v=1",
                                key + "\\NewKey",
                                key + "\\NewKey\\v=1",
                                key + "\\NewKey\\Sub",
                                key + "\\NewKey\\Sub\\=d",
                                key + "\\Other\\startmenurun=b",
                            }));
    EXPECT_EQ(result.written, 9);
    EXPECT_EQ(observer.newRegistryValues, 6);
    EXPECT_EQ(observer.newRegistryKeys, 3);
}

TEST(RegistryWalk, LongNamesTextsAndDeepKeysAreWholeInBothModes) {
    ScratchRegistry scratch(L"Long");
    ASSERT_TRUE(scratch.Ok());
    const std::wstring name300(300, L'n');
    const std::wstring name16383(16383, L'L');
    const std::wstring bigText = std::wstring(100000, L'b') + L"END";
    ASSERT_TRUE(scratch.SetString(L"", L"Big", bigText));
    ASSERT_TRUE(scratch.SetString(L"", name16383, L"long name"));
    ASSERT_TRUE(scratch.SetString(L"", name300, L"x"));
    // Keys nest up to 512 levels; the scratch key itself sits at level 3.
    std::wstring deepPath;
    std::string deepLine = kHkcu + scratch.Path();
    for (int level = 4; level <= 512; ++level) {
        if (!deepPath.empty()) deepPath += L'\\';
        deepPath += L"Lv" + std::to_wstring(level);
        deepLine += "\\Lv" + std::to_string(level);
    }
    ASSERT_TRUE(scratch.CreateKey(deepPath));

    const std::string key = kHkcu + scratch.Path();
    const std::string bigLine = key + "\\Big=" + std::string(100000, 'b') + "END";
    const std::string line16383 = key + "\\" + std::string(16383, 'L') + "=long name";
    const std::string line300 = key + "\\" + std::string(300, 'n') + "=x";

    TempFile baselineFile("long-baseline");
    RecordingObserver snapshotObserver;
    const WalkResult snapshot =
        WalkInto(baselineFile, HKEY_CURRENT_USER, scratch.Path(), nullptr, snapshotObserver);
    EXPECT_EQ(snapshot.written, 3 + 509);
    for (const std::string& line : {bigLine, line16383, line300, deepLine}) {
        EXPECT_NE(("\r\n" + snapshot.bytes).find("\r\n" + line + "\r\n"), std::string::npos)
            << line.substr(0, 80);
    }
    Baseline baseline(baselineFile);
    ASSERT_TRUE(baseline.loaded);

    // Changes far behind the lengths that once cut lines.
    ASSERT_TRUE(scratch.SetString(L"", L"Big", std::wstring(100000, L'b') + L"FIN"));
    ASSERT_TRUE(scratch.SetString(L"", name16383, L"long name!"));
    ASSERT_TRUE(scratch.SetString(deepPath, L"deep", L"1"));
    TempFile changes("long-changes");
    RecordingObserver observer;
    const WalkResult result =
        WalkInto(changes, HKEY_CURRENT_USER, scratch.Path(), &baseline.index, observer);
    EXPECT_EQ(result.bytes, Lines({key + "\\Big=" + std::string(100000, 'b') + "FIN",
                                   line16383 + "!", deepLine + "\\deep=1"}));
}

TEST(RegistryWalk, TextsWithLineBreaksCompareEqualWhenUnchanged) {
    ScratchRegistry scratch(L"LineBreaks");
    ASSERT_TRUE(scratch.Ok());
    ASSERT_TRUE(scratch.SetString(L"", L"EndsInBreak", L"text\r\n"));
    ASSERT_TRUE(scratch.SetString(L"", L"LoneBreaks", L"a\rb\nc"));
    ASSERT_TRUE(scratch.SetString(L"", L"OnlyBreak", L"\r\n"));
    ASSERT_TRUE(scratch.SetString(L"", L"TwoLines", L"first\r\nsecond"));
    const std::string key = kHkcu + scratch.Path();

    TempFile baselineFile("breaks-baseline");
    RecordingObserver snapshotObserver;
    const WalkResult snapshot =
        WalkInto(baselineFile, HKEY_CURRENT_USER, scratch.Path(), nullptr, snapshotObserver);
    EXPECT_EQ(snapshot.bytes,
              Lines({key + "\\EndsInBreak=text\r\n", key + "\\LoneBreaks=a\rb\nc",
                     key + "\\OnlyBreak=\r\n", key + "\\TwoLines=first\r\nsecond"}));
    Baseline baseline(baselineFile);
    ASSERT_TRUE(baseline.loaded);

    TempFile changes("breaks-changes");
    RecordingObserver same;
    EXPECT_EQ(WalkInto(changes, HKEY_CURRENT_USER, scratch.Path(), &baseline.index, same).bytes,
              "");
    ASSERT_TRUE(scratch.SetString(L"", L"TwoLines", L"first\r\nSECOND"));
    RecordingObserver changed;
    EXPECT_EQ(WalkInto(changes, HKEY_CURRENT_USER, scratch.Path(), &baseline.index, changed).bytes,
              Lines({key + "\\TwoLines=first\r\nSECOND"}));
}

// A tree whose walk order is known: R holds a, b and K1 (x, y and K1a with z), then K2 (w).
void FillAbortTree(ScratchRegistry& scratch) {
    ASSERT_TRUE(scratch.SetString(L"", L"a", L"1"));
    ASSERT_TRUE(scratch.SetString(L"", L"b", L"1"));
    ASSERT_TRUE(scratch.SetString(L"K1", L"x", L"1"));
    ASSERT_TRUE(scratch.SetString(L"K1", L"y", L"1"));
    ASSERT_TRUE(scratch.SetString(L"K1\\K1a", L"z", L"1"));
    ASSERT_TRUE(scratch.SetString(L"K2", L"w", L"1"));
}

TEST(RegistryWalk, StopEndsTheWalkAfterTheValuesOfTheKeyInHand) {
    ScratchRegistry scratch(L"Abort");
    ASSERT_TRUE(scratch.Ok());
    ASSERT_NO_FATAL_FAILURE(FillAbortTree(scratch));
    const std::string key = kHkcu + scratch.Path();

    // The stop comes while K1's values are listed: they are finished, nothing after them.
    TempFile file("abort");
    RecordingObserver observer;
    observer.stopAfterItems = 4;
    const WalkResult result = WalkInto(file, HKEY_CURRENT_USER, scratch.Path(), nullptr, observer);
    EXPECT_EQ(result.bytes, Lines({key + "\\a=1", key + "\\b=1", key + "\\K1", key + "\\K1\\x=1",
                                   key + "\\K1\\y=1"}));
    EXPECT_EQ(result.written, 5);
    EXPECT_EQ(observer.visited.size(), 5u);

    // A walk that is to stop from the start reads nothing.
    RecordingObserver stopped;
    stopped.stopAfterItems = 1;
    stopped.visited.push_back("earlier");
    EXPECT_EQ(WalkInto(file, HKEY_CURRENT_USER, scratch.Path(), nullptr, stopped).bytes, "");
    EXPECT_EQ(stopped.visited.size(), 1u);
}

TEST(RegistryWalk, WithoutOutputEverythingIsVisitedAndNothingCounted) {
    ScratchRegistry scratch(L"NoOutput");
    ASSERT_TRUE(scratch.Ok());
    ASSERT_NO_FATAL_FAILURE(FillAbortTree(scratch));

    TempFile file("no-output");
    RecordingObserver snapshotObserver;
    const WalkResult snapshot =
        WalkInto(file, HKEY_CURRENT_USER, scratch.Path(), nullptr, snapshotObserver);
    ASSERT_EQ(snapshot.written, 9);

    RecordingObserver bare;
    EXPECT_EQ(ScanRegistryKey(HKEY_CURRENT_USER, scratch.Path(), nullptr, nullptr, bare), 0);
    EXPECT_EQ(bare.visited, snapshotObserver.visited);

    // In a comparison against an empty baseline everything would be new; still nothing counts.
    BaselineIndex empty;
    ASSERT_TRUE(empty.Build("", BaselineIndex::Kind::Records));
    RecordingObserver compare;
    EXPECT_EQ(ScanRegistryKey(HKEY_CURRENT_USER, scratch.Path(), nullptr, &empty, compare), 0);
    EXPECT_EQ(compare.visited, snapshotObserver.visited);
    EXPECT_EQ(compare.newRegistryValues + compare.newRegistryKeys, 0);
}

TEST(RegistryWalk, MissingKeyGivesNothing) {
    ScratchRegistry scratch(L"Missing");
    ASSERT_TRUE(scratch.Ok());
    RecordingObserver observer;
    TempFile file("missing");
    const WalkResult result =
        WalkInto(file, HKEY_CURRENT_USER, scratch.Path() + "\\Absent", nullptr, observer);
    EXPECT_EQ(result.written, 0);
    EXPECT_EQ(result.bytes, "");
    EXPECT_TRUE(observer.visited.empty());
    EXPECT_FALSE(
        OpenRegistryKey(HKEY_CURRENT_USER, L"Software\\QvRegTest\\Missing\\Absent").valid());
}

}  // namespace
