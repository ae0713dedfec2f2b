#include "snapshot/file_walker.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "snapshot/baseline_index.h"
#include "snapshot/snapshot_files.h"
#include "tests/support/recording_observer.h"
#include "tests/support/scratch_tree.h"

namespace {

using scratch::ReadWholeFile;
using scratch::SplitLines;

std::wstring Utf16(std::string_view text) {
    std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0),
                      L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), int(wide.size()));
    return wide;
}

std::string Utf8(std::wstring_view text) {
    std::string narrow(WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                           nullptr, nullptr),
                       '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), narrow.data(),
                        int(narrow.size()), nullptr, nullptr);
    return narrow;
}

// What a snapshot of folder must hold: every file depth first, each folder entered where its
// listing returns it (Wine lists in the host's order, not sorted).
void ExpectedSnapshot(const std::string& folder, std::string& lines) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((L"\\\\?\\" + Utf16(folder) + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring_view name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::string path = folder + "\\" + Utf8(name);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ExpectedSnapshot(path, lines);
        } else {
            const unsigned long long size =
                (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            lines += path + "," + std::to_string(size) + "\r\n";
        }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

std::string ExpectedSnapshot(const ScratchTree& tree) {
    std::string lines;
    ExpectedSnapshot(tree.Root(), lines);
    return lines;
}

// One pass of either step into a file of the tree's sibling folder.
struct Pass {
    long lines = 0;
    std::string output;
    RecordingObserver observer;
};

class FileWalkerTest : public ::testing::Test {
protected:
    ScratchTree tree{"walk"};
    ScratchTree work{"work"};

    Pass Snapshot(const std::string& pattern, std::size_t stopAfter = 0) {
        Pass pass;
        pass.observer.stopAfterItems = stopAfter;
        SnapshotWriter writer;
        const std::string name = work.Path("snapshot1.TXT");
        EXPECT_TRUE(writer.Create(name));
        pass.lines = ScanDirectoryTree(pattern, writer, nullptr, false, pass.observer);
        EXPECT_TRUE(writer.Close());
        pass.output = ReadWholeFile(name);
        return pass;
    }

    Pass Compare(const std::string& pattern, std::string_view baseline) {
        Pass pass;
        BaselineIndex index;
        EXPECT_TRUE(index.Build(baseline, BaselineIndex::Kind::FilePaths));
        SnapshotWriter writer;
        const std::string name = work.Path("snapshot2.TXT");
        EXPECT_TRUE(writer.Create(name));
        pass.lines = ScanDirectoryTree(pattern, writer, &index, false, pass.observer);
        EXPECT_TRUE(writer.Close());
        pass.output = ReadWholeFile(name);
        return pass;
    }
};

std::set<std::string> LineSet(const std::string& text) {
    const std::vector<std::string> lines = SplitLines(text);
    return {lines.begin(), lines.end()};
}

TEST_F(FileWalkerTest, SnapshotListsEveryFileDepthFirstWithItsSize) {
    tree.AddFile("a.txt", "abc");
    tree.AddFile("empty");
    tree.AddFile("sub\\b.bin", std::string(1000, 'b'));
    tree.AddFile("sub\\deeper\\c", "0123456789");
    tree.AddFile("sub\\deeper\\d.txt", "d");
    tree.AddFile("sub2\\e.txt", "ee");
    tree.AddFolder("empty folder\\empty too");
    tree.AddFile(".hidden", "h");
    tree.AddFile("system.dat", "s");
    ASSERT_TRUE(tree.SetAttributes(".hidden", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(tree.SetAttributes("system.dat", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN));

    const std::string expected = ExpectedSnapshot(tree);
    ASSERT_EQ(SplitLines(expected).size(), 8u);
    ASSERT_NE(expected.find(tree.Path("sub\\deeper\\c,10\r\n")), std::string::npos);

    const Pass pass = Snapshot(tree.Pattern());
    EXPECT_EQ(pass.output, expected);
    EXPECT_EQ(pass.lines, 8);
    // Every visited item is a listed file, reported with its bare path, in listing order.
    std::vector<std::string> paths;
    for (const std::string& line : SplitLines(expected))
        paths.push_back(line.substr(0, line.rfind(',')));
    EXPECT_EQ(pass.observer.visited, paths);
    EXPECT_EQ(pass.observer.newFiles, 0);
    EXPECT_GE(pass.observer.stopQuestions, 8);
}

TEST_F(FileWalkerTest, SizesOfTwoGibibytesAndMoreAreWrittenInFull) {
    ASSERT_FALSE(tree.AddFileOfSize("two.bin", 1ull << 31).empty());
    ASSERT_FALSE(tree.AddFileOfSize("four.bin", 1ull << 32).empty());
    ASSERT_FALSE(tree.AddFileOfSize("five.bin", (5ull << 30) + 7).empty());
    const std::set<std::string> lines = LineSet(Snapshot(tree.Pattern()).output);
    EXPECT_EQ(lines, (std::set<std::string>{tree.Path("two.bin,2147483648"),
                                            tree.Path("four.bin,4294967296"),
                                            tree.Path("five.bin,5368709127")}));
}

TEST_F(FileWalkerTest, CompareReportsOnlyPathsTheBaselineLacks) {
    tree.AddFile("ab.txt", "12345");
    tree.AddFile("keep\\old.txt", "old");
    tree.AddFile("gone.txt", "x");
    const std::string baseline = Snapshot(tree.Pattern()).output;
    ASSERT_EQ(SplitLines(baseline).size(), 3u);

    // A path that is the start of an old one is new; an old file that grew is not.
    const std::string prefix = tree.AddFile("a", "1");
    const std::string added = tree.AddFile("keep\\new.txt");
    const std::string nested = tree.AddFile("new folder\\x\\y.txt", "y");
    tree.AddFile("ab.txt", "grown to another size");
    ASSERT_TRUE(scratch::RemoveTree(tree.Path("gone.txt")));

    const Pass pass = Compare(tree.Pattern(), baseline);
    EXPECT_EQ(LineSet(pass.output), (std::set<std::string>{prefix, added, nested}));
    EXPECT_EQ(pass.output.size(), prefix.size() + added.size() + nested.size() + 6);
    EXPECT_EQ(pass.lines, 3);
    EXPECT_EQ(pass.observer.newFiles, 3);
    EXPECT_EQ(pass.observer.visited.size(), 5u);
    EXPECT_TRUE(pass.observer.copyTargets.empty());
}

TEST_F(FileWalkerTest, AnEmptyBaselineMakesEveryFileNew) {
    tree.AddFile("one");
    tree.AddFile("two\\three");
    const Pass pass = Compare(tree.Pattern(), "");
    EXPECT_EQ(LineSet(pass.output),
              (std::set<std::string>{tree.Path("one"), tree.Path("two\\three")}));
    EXPECT_EQ(pass.observer.newFiles, 2);
}

TEST_F(FileWalkerTest, NamesInEveryScriptRoundTripAsUtf8) {
    std::set<std::string> expected;
    for (const std::string& name : scratch::kScriptSampleNames) {
        ASSERT_FALSE(tree.AddFile(name, "1").empty()) << name;
        ASSERT_FALSE(tree.AddFile(name + " folder\\" + name, "22").empty()) << name;
        expected.insert(tree.Path(name) + ",1");
        expected.insert(tree.Path(name + " folder\\" + name) + ",2");
    }
    const Pass first = Snapshot(tree.Pattern());
    EXPECT_EQ(LineSet(first.output), expected);

    // The same names read back from the baseline match the walk: nothing is new.
    const Pass second = Compare(tree.Pattern(), first.output);
    EXPECT_EQ(second.lines, 0);
    EXPECT_EQ(second.output, "");
    EXPECT_EQ(second.observer.visited.size(), expected.size());
}

TEST_F(FileWalkerTest, PathsBeyondTheOldLimitAreListedAndCompared) {
    const std::string at300 =
        tree.AddFile(scratch::RelativePathOfLength(tree.Root(), 300, "three hundred.txt"), "3");
    const std::string at1000 =
        tree.AddFile(scratch::RelativePathOfLength(tree.Root(), 1000, "thousand.txt"), "10");
    ASSERT_EQ(at300.size(), 300u);
    ASSERT_EQ(at1000.size(), 1000u);
    const Pass first = Snapshot(tree.Pattern());
    EXPECT_EQ(LineSet(first.output), (std::set<std::string>{at300 + ",1", at1000 + ",2"}));

    const std::string added =
        tree.AddFile(scratch::RelativePathOfLength(tree.Root(), 1100, "new.txt", 'n'));
    ASSERT_EQ(added.size(), 1100u);
    const Pass second = Compare(tree.Pattern(), first.output);
    EXPECT_EQ(second.output, added + "\r\n");
}

// Bytes of stack that work used below the caller's frame: the region is marked first (from
// the top down, as the stack guard wants it) and the lowest changed byte is found after.
QUORVANE_NOINLINE std::size_t StackUsedBy(const std::function<void()>& work) {
    constexpr std::size_t kSpan = 512 * 1024;
    volatile char mark = 0;
    volatile char* const top =
        reinterpret_cast<volatile char*>(reinterpret_cast<std::uintptr_t>(&mark) - 4096);
    for (std::size_t i = 0; i < kSpan; ++i) top[-static_cast<std::ptrdiff_t>(i)] = char(0xA5);
    work();
    std::size_t untouched = 0;
    while (untouched < kSpan &&
           top[-static_cast<std::ptrdiff_t>(kSpan - 1 - untouched)] == char(0xA5)) {
        ++untouched;
    }
    return kSpan - untouched;
}

TEST_F(FileWalkerTest, ADeepTreeTakesNoMoreStackThanAShallowOne) {
    std::string deep;
    for (int level = 0; level < 120; ++level) deep += "d\\";
    ASSERT_FALSE(tree.AddFile("shallow\\d\\file.txt").empty());
    ASSERT_FALSE(tree.AddFile("deep\\" + deep + "file.txt").empty());

    Pass shallow, deeper;
    const std::size_t shallowUse =
        StackUsedBy([&] { shallow = Snapshot(tree.Path("shallow\\*.*")); });
    const std::size_t deepUse = StackUsedBy([&] { deeper = Snapshot(tree.Path("deep\\*.*")); });
    EXPECT_EQ(shallow.lines, 1);
    EXPECT_EQ(deeper.output, tree.Path("deep\\" + deep + "file.txt,0\r\n"));
    // A walk that recursed would need at least a find record (592 bytes) a level.
    EXPECT_LT(deepUse, shallowUse + 8 * 1024) << shallowUse << " vs " << deepUse;
}

// Only the program's own files are passed over: its files by name in the folder it runs in, and
// the copy folder. A name or folder that merely holds the program's name is listed, or any
// program could hide from it.
TEST_F(FileWalkerTest, OnlyTheProgramsOwnFilesAreNeverListedOrCounted) {
    scratch::CurrentDirectory here(tree.Root());
    tree.AddFile("Quorvane_Snapshot1_Files.TXT", "own");
    tree.AddFile("quorvane_errors.TXT", "own, as Windows names go");
    const std::set<std::string> listed = {
        tree.AddFile("sub\\Quorvane_Snapshot1_Files.TXT", "1") + ",1",
        tree.AddFile("sub\\notes-Quorvane.txt", "1") + ",1",
        tree.AddFile("QuorvaneHelper.dll", "1") + ",1",
        tree.AddFile("Quorvane Tools\\agent.exe", "1") + ",1",
        tree.AddFile("_Quorvane_COPY\\users\\x.txt", "1") + ",1",  // not the copy folder
    };
    const Pass pass = Snapshot(tree.Pattern());
    EXPECT_EQ(LineSet(pass.output), listed);
    EXPECT_EQ(pass.observer.visited.size(), listed.size());
    EXPECT_EQ(Compare(tree.Pattern(), "").observer.newFiles, static_cast<int>(listed.size()));

    // The copy folder and all below it, however it is spelled and wherever the walk starts.
    ScratchTree copies = ScratchTree::InFolder("C:\\_Quorvane_COPY\\walker-test");
    copies.AddFile("sub\\copied.txt", "c");
    for (const char* pattern : {"C:\\_Quorvane_COPY\\*.*", "C:\\_QUORVANE_copy\\walker-test\\*.*"}) {
        EXPECT_EQ(Snapshot(pattern).lines, 0) << pattern;
    }
}

TEST_F(FileWalkerTest, LinkedFoldersAreNotEntered) {
    ScratchTree elsewhere("elsewhere");
    elsewhere.AddFile("outside.txt", "o");
    tree.AddFile("sub\\inside.txt", "i");
    // A link back up makes a cycle; a link out would list another tree under this one.
    const std::string up = tree.AddFolderLink("sub\\up", tree.Root());
    if (up.empty()) GTEST_SKIP() << "this system cannot make folder links here";
    ASSERT_FALSE(tree.AddFolderLink("out", elsewhere.Root()).empty());
    ASSERT_TRUE(scratch::PathExists(up + "\\sub\\inside.txt"));  // the cycle is real

    const Pass pass = Snapshot(tree.Pattern());
    EXPECT_EQ(pass.output, tree.Path("sub\\inside.txt") + ",1\r\n");
    EXPECT_EQ(pass.observer.visited.size(), 1u);
}

TEST_F(FileWalkerTest, StopsWhenAskedAndKeepsWhatItWrote) {
    for (const char* n : {"0", "1", "2", "3"}) {
        tree.AddFile(std::string("f") + n, "x");
        tree.AddFile(std::string("d") + n + "\\g" + n, "yy");
        tree.AddFile(std::string("d") + n + "\\e\\h" + n, "zzz");
    }
    const std::vector<std::string> all = SplitLines(ExpectedSnapshot(tree));
    ASSERT_EQ(all.size(), 12u);
    for (std::size_t stop : {1u, 5u, 11u}) {
        const Pass pass = Snapshot(tree.Pattern(), stop);
        EXPECT_EQ(pass.lines, long(stop));
        EXPECT_EQ(pass.observer.visited.size(), stop);
        EXPECT_EQ(SplitLines(pass.output),
                  std::vector<std::string>(all.begin(), all.begin() + stop));
    }
}

TEST_F(FileWalkerTest, AFailedWriteEndsTheWalk) {
    for (int i = 0; i < 600; ++i) {
        tree.AddFile("folder " + std::to_string(i % 7) + "\\" + std::to_string(i) +
                     std::string(150, 'n'));
    }
    scratch::DeadEndPipe pipe;
    SnapshotWriter writer;
    ASSERT_TRUE(writer.Create(pipe.Name()));
    pipe.Break();  // nothing reads: every write fails

    RecordingObserver observer;
    const long lines = ScanDirectoryTree(tree.Pattern(), writer, nullptr, false, observer);
    EXPECT_TRUE(writer.Failed());
    EXPECT_LT(lines, 600);
    EXPECT_LT(observer.visited.size(), 600u);
    EXPECT_FALSE(writer.Close());
}

TEST_F(FileWalkerTest, PatternsKeepTheirOwnPrefix) {
    tree.AddFile("rel\\one.txt", "1");
    tree.AddFile("rel\\sub\\two.txt", "22");
    scratch::CurrentDirectory here(tree.Root());
    EXPECT_EQ(LineSet(Snapshot("rel\\*.*").output),
              (std::set<std::string>{"rel\\one.txt,1", "rel\\sub\\two.txt,2"}));
    {
        scratch::CurrentDirectory inside(tree.Path("rel"));
        // Without a backslash the names are written bare.
        EXPECT_EQ(LineSet(Snapshot("*.*").output),
                  (std::set<std::string>{"one.txt,1", "sub\\two.txt,2"}));
    }
    // A lower-case drive stays as typed.
    std::string lowered = tree.Root();
    lowered[0] = char(tolower(lowered[0]));
    EXPECT_EQ(LineSet(Snapshot(lowered + "\\rel\\sub\\*.*").output),
              (std::set<std::string>{lowered + "\\rel\\sub\\two.txt,2"}));

    const Pass missing = Snapshot(tree.Path("no such folder\\*.*"));
    EXPECT_EQ(missing.lines, 0);
    EXPECT_EQ(missing.output, "");
    EXPECT_TRUE(missing.observer.visited.empty());
}

}  // namespace

// Baselines of older builds hold the low 32 bits of a size as a signed number.
TEST(RecordedSizes, OldSignedSizesCompareOnTheirLowBits) {
    const std::string_view text = "C:\\big,-1294967296\r\nC:\\huge,1073741824\r\nC:\\now,5368709120";
    EXPECT_TRUE(SameRecordedSize(text, 0, 6, 3000000000u));
    EXPECT_FALSE(SameRecordedSize(text, 0, 6, 3000000001u));
    EXPECT_EQ(RecordedSize(text, 0, 6), 3000000000u);
    const std::size_t huge = text.find("C:\\huge");
    EXPECT_TRUE(SameRecordedSize(text, huge, 7, 5368709120u));   // 5 GiB, written by an old build
    EXPECT_FALSE(SameRecordedSize(text, huge, 7, 1073741825u));
    const std::size_t now = text.find("C:\\now");
    EXPECT_TRUE(SameRecordedSize(text, now, 6, 5368709120u));
    EXPECT_FALSE(SameRecordedSize(text, now, 6, 1073741824u));
}
