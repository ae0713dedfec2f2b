// The SHA-256 of a file as Step #2 takes it: right at the edges of its read blocks, without
// keeping another program from the file, stopped between blocks, and saying why it has none.

#include "snapshot/file_hash.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "snapshot/snapshot_files.h"
#include "tests/support/scratch_tree.h"

namespace {

TEST(FileHash, SizesAroundTheReadBlockHashAsSha256sumDoes) {
    ScratchTree folder("file-hash");
    // `head -c SIZE /dev/zero | tr '\0' q | sha256sum`
    const struct {
        std::size_t size;
        const char* sha256;
    } files[] = {
        {0, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {1048576, "8e0c97c153d2dfe7cef29787cb318a7934e10e708038d161a0484b97a3490985"},
        {1048577, "b13acf4e33bd2aa31bcf9582dd77667b57225c9a1ccd51e518e24d338ac8ba12"},
    };
    for (const auto& file : files) {
        const std::string path =
            folder.AddFile("q" + std::to_string(file.size), std::string(file.size, 'q'));
        const FileHash hash = Sha256OfFile(ExtendedLengthPath(path));
        EXPECT_TRUE(hash.Hashed()) << file.size << ": " << hash.error;
        EXPECT_EQ(hash.Hex(), file.sha256) << file.size;
    }
    const FileHash missing = Sha256OfFile(ExtendedLengthPath(folder.Path("none")));
    EXPECT_TRUE(!missing.Hashed() && missing.error == SystemErrorText(ERROR_FILE_NOT_FOUND));
}

TEST(FileHash, AnotherProgramMayWriteAndRenameTheFileMeanwhileAndAStopEndsTheRead) {
    ScratchTree folder("file-hash-share");
    const std::wstring path = ExtendedLengthPath(folder.AddFile("big", std::string(3 << 20, 'q')));
    const std::wstring moved = ExtendedLengthPath(folder.Path("moved"));
    int asked = 0;
    bool written = true, renamed = true;
    const FileHash stopped = Sha256OfFile(path, [&] {
        const HANDLE writer =
            CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
        written = written && writer != INVALID_HANDLE_VALUE && CloseHandle(writer);
        renamed = renamed && MoveFileW(path.c_str(), moved.c_str()) &&
                  MoveFileW(moved.c_str(), path.c_str());
        return ++asked == 2;
    });
    EXPECT_EQ(stopped.outcome, FileHash::Outcome::Stopped);
    EXPECT_EQ(asked, 2);  // between blocks, not before the first
    EXPECT_TRUE(written && renamed);
}

}  // namespace
