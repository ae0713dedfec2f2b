#include "snapshot/copy_files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>

#include "snapshot/baseline_index.h"
#include "snapshot/file_walker.h"
#include "snapshot/snapshot_files.h"
#include "tests/support/recording_observer.h"
#include "tests/support/scratch_tree.h"

namespace {

using scratch::ReadWholeFile;

FILETIME LastWrite(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW((L"\\\\?\\" + std::wstring(path.begin(), path.end())).c_str(),
                         GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

// Sources live on drive C: (the temp folder), so their copies land in the shared copy folder;
// each test removes the copies of its own tree.
class CopyFilesTest : public ::testing::Test {
protected:
    ScratchTree tree{"copy"};
    scratch::CurrentDirectory here{tree.Root()};  // the error log goes here
    std::string errorLog = tree.Path(kErrorLogName);

    void SetUp() override {
        ASSERT_EQ(tree.Root().rfind("C:\\", 0), 0u) << "the temp folder is not on drive C:";
    }
    void TearDown() override {
        std::string copies = CopyTargetPath(tree.Root());
        scratch::RemoveTree(copies);
        // Parents that only this test made go too, up to the copy folder itself; a folder
        // that holds anything else stays.
        while (copies.size() > sizeof kCopyFolder - 2) {
            copies.resize(copies.rfind('\\'));
            RemoveDirectoryA(copies.c_str());
        }
    }
};

TEST(CopyTargetPath, MovesDriveCIntoTheCopyFolderOnce) {
    EXPECT_EQ(CopyTargetPath("C:\\Data\\a.txt"), "C:\\_Quorvane_COPY\\Data\\a.txt");
    EXPECT_EQ(CopyTargetPath("c:\\x\\y.txt"), "C:\\_Quorvane_COPY\\x\\y.txt");
    EXPECT_EQ(CopyTargetPath("D:\\z.txt"), "D:\\z.txt");
    EXPECT_EQ(CopyTargetPath("Temp\\f"), "Temp\\f");
}

TEST_F(CopyFilesTest, ANewFileOnDriveCIsCopiedUnderTheCopyFolder) {
    std::string source = tree.AddFile("x\\y.txt", "content");
    source[0] = 'c';  // as a drive list "c:" gives it
    RecordingObserver observer;
    CopyNewFile(source, observer);
    const std::string target = "C:\\_Quorvane_COPY\\" + source.substr(3);
    ASSERT_EQ(observer.copyTargets, std::vector<std::string>{target});
    EXPECT_EQ(ReadWholeFile(target), "content");
    EXPECT_FALSE(scratch::PathExists(errorLog));
}

TEST_F(CopyFilesTest, AFileThatWouldBeItsOwnTargetIsLoggedAndLeftAlone) {
    const std::string content(100000, 'k');
    tree.AddFile("rel\\new.txt", content);
    tree.AddFile("rel\\other.txt", "o");
    const FILETIME before = LastWrite(tree.Path("rel\\new.txt"));
    RecordingObserver observer;
    // A relative path, like a path on another drive, holds no "C:\".
    CopyNewFile("rel\\new.txt", observer);
    CopyNewFile("rel\\other.txt", observer);
    EXPECT_EQ(observer.copyTargets, (std::vector<std::string>{"rel\\new.txt", "rel\\other.txt"}));
    EXPECT_EQ(ReadWholeFile(errorLog),
              "Error copying file rel\\new.txt\r\nError copying file rel\\other.txt\r\n");
    EXPECT_EQ(ReadWholeFile(tree.Path("rel\\new.txt")), content);
    const FILETIME after = LastWrite(tree.Path("rel\\new.txt"));
    EXPECT_EQ(CompareFileTime(&before, &after), 0);
}

TEST_F(CopyFilesTest, TheCopyRoutineRefusesToCopyAFileOntoItself) {
    const std::string source = tree.AddFile("self.txt", "keep me");
    std::string sameInOtherCase = source;
    for (char& c : sameInOtherCase) c = char(toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(CopyChangedFile(source, sameInOtherCase), 0);
    EXPECT_EQ(CopyChangedFile(source, source), 0);
    EXPECT_EQ(ReadWholeFile(source), "keep me");
}

TEST_F(CopyFilesTest, FoldersAreMadeParentsFirstUnlessAFileIsInTheWay) {
    const std::string deep = tree.Path("a\\b\\c\\d");
    EXPECT_EQ(IsDirectoryPath(deep), 0);
    EXPECT_EQ(CreateDirectoryPath(deep), 1);
    EXPECT_EQ(IsDirectoryPath(tree.Path("a\\b")), 1);
    EXPECT_EQ(IsDirectoryPath(deep), 1);
    EXPECT_EQ(CreateDirectoryPath(deep + "\\"), 1);  // already there

    const std::string blocker = tree.AddFile("blocker", "plain file");
    EXPECT_EQ(IsDirectoryPath(blocker), 0);
    EXPECT_EQ(CreateDirectoryPath(blocker), 0);
    EXPECT_EQ(CreateDirectoryPath(blocker + "\\below\\more"), 0);
    EXPECT_EQ(ReadWholeFile(blocker), "plain file");

    const std::string longFolder =
        tree.Root() + "\\" + scratch::RelativePathOfLength(tree.Root(), 1000, "leaf", 'l');
    EXPECT_EQ(CreateDirectoryPath(longFolder), 1);
    EXPECT_EQ(IsDirectoryPath(longFolder), 1);
    EXPECT_EQ(CreateDirectoryPath("Q:\\qv-missing-drive\\x"), 0);
}

TEST_F(CopyFilesTest, AnOldCopyIsOverwrittenAndAFileInTheWayIsLogged) {
    const std::string source = tree.AddFile("over\\again.txt", "new content");
    const std::string target = CopyTargetPath(source);
    ASSERT_EQ(CreateDirectoryPath(target.substr(0, target.rfind('\\'))), 1);
    ASSERT_TRUE(scratch::WriteWholeFile(target, "copy of an earlier run, longer than the new"));
    RecordingObserver observer;
    CopyNewFile(source, observer);
    EXPECT_EQ(ReadWholeFile(target), "new content");

    const std::string blocked = tree.AddFile("blocked\\file.txt", "b");
    const std::string blockedTarget = CopyTargetPath(blocked);
    ASSERT_TRUE(scratch::WriteWholeFile(blockedTarget.substr(0, blockedTarget.rfind('\\')), "x"));
    CopyNewFile(blocked, observer);
    EXPECT_EQ(ReadWholeFile(errorLog), "Error copying file " + blocked + "\r\n");
}

TEST_F(CopyFilesTest, LongPathsAndNamesInEveryScriptAreCopied) {
    std::vector<std::string> sources;
    sources.push_back(
        tree.AddFile(scratch::RelativePathOfLength(tree.Root(), 1000, "long.txt"), "L"));
    for (const std::string& name : scratch::kScriptSampleNames) {
        sources.push_back(tree.AddFile(name + "\\" + name, name));
    }
    RecordingObserver observer;
    for (const std::string& source : sources) {
        ASSERT_FALSE(source.empty());
        CopyNewFile(source, observer);
        EXPECT_EQ(ReadWholeFile(CopyTargetPath(source)), ReadWholeFile(source)) << source;
    }
    EXPECT_EQ(CopyTargetPath(sources[0]).size(), 1000u + sizeof kCopyFolder - 1 - 3);
    EXPECT_FALSE(scratch::PathExists(errorLog));
}

TEST_F(CopyFilesTest, CompareModeCopiesEachNewFileAndStillListsFailedOnes) {
    const std::string old = tree.AddFile("old.txt", "old");
    const std::string fresh = tree.AddFile("sub\\fresh.txt", "fresh");
    const std::string blocked = tree.AddFile("blocked\\file.txt", "b");
    const std::string blockedTarget = CopyTargetPath(blocked);
    ASSERT_EQ(CreateDirectoryPath(CopyTargetPath(tree.Root())), 1);
    ASSERT_TRUE(scratch::WriteWholeFile(blockedTarget.substr(0, blockedTarget.rfind('\\')), "x"));

    const std::string baseline = old + ",3\r\n";
    BaselineIndex index;
    ASSERT_TRUE(index.Build(baseline, BaselineIndex::Kind::FilePaths));
    ScratchTree work("copy-out");
    SnapshotWriter writer;
    ASSERT_TRUE(writer.Create(work.Path("snapshot2.TXT")));
    RecordingObserver observer;
    const long lines = ScanDirectoryTree(tree.Pattern(), writer, &index, true, observer);
    ASSERT_TRUE(writer.Close());

    EXPECT_EQ(lines, 2);
    EXPECT_EQ(observer.newFiles, 2);
    EXPECT_EQ(std::set<std::string>(observer.copyTargets.begin(), observer.copyTargets.end()),
              (std::set<std::string>{CopyTargetPath(fresh), blockedTarget}));
    EXPECT_EQ(ReadWholeFile(CopyTargetPath(fresh)), "fresh");
    EXPECT_FALSE(scratch::PathExists(CopyTargetPath(old)));
    const std::vector<std::string> listed =
        scratch::SplitLines(ReadWholeFile(work.Path("snapshot2.TXT")));
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()),
              (std::set<std::string>{fresh, blocked}));
    // The error log lies in the walked tree, and is the program's own: not listed.
    EXPECT_EQ(ReadWholeFile(errorLog), "Error copying file " + blocked + "\r\n");
}

}  // namespace
