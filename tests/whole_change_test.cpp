// The whole change without a walk or a window: baselines and walk results made in memory, as the
// passes would leave them, go through WholeChangeReport, and the test reads what reached each
// output: the change set, the report's highlights, the undo and redo files.

#include "engine/whole_change.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <tuple>
#include <vector>

#include "engine/baseline_records.h"
#include "engine/run_facts.h"
#include "snapshot/baseline_index.h"
#include "snapshot/registry_lines.h"
#include "tests/support/scratch_tree.h"

namespace {

using scratch::ReadWholeFile;

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::string RegText(const char* name) {
    const std::string bytes = ReadWholeFile(name);
    return bytes.size() < 2 ? std::string()
                            : scratch::Utf8(std::wstring_view(
                                  reinterpret_cast<const wchar_t*>(bytes.data()) + 1,
                                  bytes.size() / 2 - 1));
}

// A registry line: a key's ("" name and no text) or a string value's.
struct Line {
    std::string key, name, text;
    bool value = true;
    std::string Text() const { return value ? key + "\\" + name + "=" + text : key; }
};
Line Key(std::string key) { return {std::move(key), {}, {}, false}; }

// One registry pass of Step #2 as the walk would leave it: the baseline with its record, the
// lines the walk met again marked seen, the new lines in the change list and their data.
void RegistryPass(WholeChangeReport& report, const SnapshotArea& area,
                  const std::vector<Line>& baseline, const std::vector<Line>& kept,
                  const std::vector<Line>& added) {
    std::string text, record(kRegistryLinesHeader);
    for (const Line& line : baseline) {
        RegistryLine entry;
        entry.length = line.Text().size();
        entry.value = line.value;
        entry.keyEnd = line.key.size();
        entry.nameLength = line.name.size();
        entry.type = REG_SZ;
        entry.exact = true;
        AppendRegistryLine(record, entry);
        text += line.Text() + "\r\n";
    }
    ASSERT_TRUE(scratch::WriteWholeFile(area.baselineName, text));
    ASSERT_TRUE(scratch::WriteWholeFile(area.recordName, record));
    BaselineText loaded;
    DWORD error = 0;
    ASSERT_EQ(LoadBaselineFile(area.baselineName, loaded, error), BaselineLoad::Loaded);
    BaselineRecords records;
    std::string failure;
    ASSERT_TRUE(LoadBaselineRecords(area, loaded.View(), records, failure)) << failure;
    ASSERT_FALSE(records.lineRecord.empty());
    BaselineIndex index;
    ASSERT_TRUE(index.Build(loaded.View(), BaselineIndex::Kind::Lines, records.joins));
    for (const Line& line : kept) {
        ASSERT_TRUE(index.MarkSeenLine(line.Text(), area.rootName, line.value ? line.text.size() : 0));
    }
    RegistryComparison found;
    std::string changes, data;
    for (const Line& line : added) {
        changes += line.Text() + "\r\n";
        const std::wstring wide = scratch::Utf16(line.text) + L'\0';
        const std::string bytes(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
        if (line.value) data += bytes;
        found.newLines.push_back({line.Text().size(), line.value ? line.key.size() : 0,
                                  line.value ? line.key.size() + line.name.size() + 2 : 0, REG_SZ,
                                  line.value ? bytes.size() : 0, true});
    }
    ASSERT_TRUE(scratch::WriteWholeFile(area.changeListName, changes));
    ASSERT_TRUE(scratch::WriteWholeFile(kNewDataScratchName, data));
    report.AddRegistryPass(area, 0, index, records, found);
}

TEST(WholeChange, PairsChangedValuesMergesPlacesOfOneChangeAndWritesClassesAtTheirRealPlace) {
    ScratchTree folder("whole-change");
    scratch::CurrentDirectory current(folder.Root());
    const std::string sid = CurrentUserSid();
    ASSERT_FALSE(sid.empty());
    const std::string run = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string app = "\\Software\\QvCore";
    const Line runKey = Key("HKEY_CURRENT_USER" + run);
    const Line hkuRunKey = Key("HKEY_USERS\\" + sid + run);

    WholeChangeReport report;
    ASSERT_TRUE(report.Begin());
    // HKEY_CLASSES_ROOT shows a class that the HKEY_LOCAL_MACHINE pass sees at its real place.
    RegistryPass(report, kSnapshotAreas[1], {}, {}, {Key("HKEY_CLASSES_ROOT\\.qvcore")});
    RegistryPass(report, kSnapshotAreas[2], {}, {},
                 {Key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.qvcore")});
    // A value changed (its old line gone, its new one added) and a program that now starts at
    // log-on, seen under HKEY_CURRENT_USER and again under this user's HKEY_USERS\<SID>.
    for (const auto& [area, root, runAt] :
         {std::tuple{&kSnapshotAreas[3], std::string("HKEY_CURRENT_USER"), runKey},
          std::tuple{&kSnapshotAreas[4], "HKEY_USERS\\" + sid, hkuRunKey}}) {
        const Line keyLine = Key(root + app);
        RegistryPass(report, *area, {keyLine, {root + app, "Version", "1"}, runAt},
                     {keyLine, runAt},
                     {{root + app, "Version", "2"}, {runAt.key, "QvCore", "D:\\qv.exe"}});
    }
    std::string failure;
    ASSERT_TRUE(report.Finish(failure)) << failure;

    EXPECT_EQ(report.Counts().changedRegistryValues, 2u);
    EXPECT_EQ(report.Counts().removedRegistryEntries, 0u);
    const std::string set = ReadWholeFile(kChangeSetName);
    EXPECT_EQ(Count(set, "\"change\":\"changed\",\"item\":\"value\""), 2u) << set;
    EXPECT_TRUE(Holds(set, "\"name\":\"Version\",\"old\":\"1\",\"new\":\"2\"")) << set;
    EXPECT_FALSE(Holds(set, "\"change\":\"removed\"")) << set;

    // One finding for the new Run value, with both places it was seen at as its entries, and
    // one for the file type seen under HKEY_CLASSES_ROOT and at its real place.
    const std::string page = ReadWholeFile(kReportName);
    const std::string head = page.substr(0, page.find("id=\"entries\""));
    EXPECT_EQ(Count(head, "Run entry added: QvCore</span>"), 1u) << head;
    EXPECT_EQ(Count(head, "File type added: .qvcore</span>"), 1u) << head;
    EXPECT_TRUE(Holds(head, "</span> <span class=\"path\">HKEY_USERS\\" + sid)) << head;
    EXPECT_EQ(Count(set, "\"type\":\"finding\""), 2u) << set;

    // The .reg files write each change once: the user's as HKEY_CURRENT_USER, the class at the
    // real place the machine pass saw it at.
    for (const char* name : {kRedoRegName, kUndoRegName}) {
        const std::string text = RegText(name);
        EXPECT_FALSE(Holds(text, "HKEY_USERS")) << name << text;
        EXPECT_FALSE(Holds(text, "HKEY_CLASSES_ROOT")) << name << text;
        EXPECT_EQ(Count(text, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.qvcore]"), 1u) << name << text;
    }
    EXPECT_EQ(Count(RegText(kRedoRegName), "\"QvCore\"=\"D:\\\\qv.exe\""), 1u);
    EXPECT_EQ(Count(RegText(kUndoRegName), "\"Version\"=\"1\""), 1u);
}

// Abort while the files that findings run are read: no report, no change set, no undo files,
// and no failure to tell (the step says it was aborted).
TEST(WholeChange, AStopWhileTheFindingsAreFinishedWritesNothing) {
    ScratchTree folder("whole-change-stop");
    scratch::CurrentDirectory current(folder.Root());
    WholeChangeReport report;
    ASSERT_TRUE(report.Begin());
    const Line run = Key("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    RegistryPass(report, kSnapshotAreas[3], {run}, {run}, {{run.key, "QvStop", "C:\\qv.exe"}});
    std::string failure;
    EXPECT_FALSE(report.Finish(failure, [] { return true; }));
    EXPECT_EQ(failure, "");
    for (const char* name : kStepTwoOutputNames) EXPECT_FALSE(scratch::PathExists(name)) << name;
    for (const char* name : kScratchNames) EXPECT_FALSE(scratch::PathExists(name)) << name;
}

}  // namespace
