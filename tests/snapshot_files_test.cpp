#include "snapshot/snapshot_files.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/scratch_tree.h"

namespace {

using scratch::ReadWholeFile;

TEST(RegistryRootName, NamesTheFourRootsAndNothingElse) {
    EXPECT_STREQ(RegistryRootName(HKEY_CLASSES_ROOT), "HKEY_CLASSES_ROOT");
    EXPECT_STREQ(RegistryRootName(HKEY_LOCAL_MACHINE), "HKEY_LOCAL_MACHINE");
    EXPECT_STREQ(RegistryRootName(HKEY_CURRENT_USER), "HKEY_CURRENT_USER");
    EXPECT_STREQ(RegistryRootName(HKEY_USERS), "HKEY_USERS");
    EXPECT_STREQ(RegistryRootName(HKEY_CURRENT_CONFIG), "");
    EXPECT_STREQ(RegistryRootName(nullptr), "");
}

class SnapshotWriterTest : public ::testing::Test {
protected:
    ScratchTree tree{"writer"};
    std::string name = tree.Path("out.TXT");
};

TEST_F(SnapshotWriterTest, WritesExactlyTheLinesWithCrLfAcrossBufferBlocks) {
    // Lines of every length around the block size, one longer than a block, and lines that
    // carry lone CR and LF as registry value texts can.
    std::string expected;
    SnapshotWriter writer;
    ASSERT_TRUE(writer.Create(name));
    for (int i = 0; i < 3000; ++i) {
        std::string line = "C:\\dir\\file" + std::to_string(i) + "," + std::string(i % 97, 'x');
        if (i == 1500) line = std::string(200000, 'L');
        if (i == 10) line = "value=a\rb\nc";
        if (i == 11) line.clear();
        ASSERT_TRUE(writer.WriteLine(line));
        expected += line + "\r\n";
    }
    EXPECT_TRUE(writer.Close());
    EXPECT_FALSE(writer.Failed());
    EXPECT_EQ(ReadWholeFile(name), expected);
}

TEST_F(SnapshotWriterTest, AReaderSeesTheFileGrowWhileItIsWritten) {
    SnapshotWriter writer;
    ASSERT_TRUE(writer.Create(name));
    ASSERT_TRUE(writer.WriteLine("first"));
    // A lone line after a quiet second goes out at once: a sparse change list stays current.
    Sleep(1100);
    ASSERT_TRUE(writer.WriteLine("second"));
    EXPECT_EQ(ReadWholeFile(name), "first\r\nsecond\r\n");
    for (int i = 0; i < 10000; ++i) ASSERT_TRUE(writer.WriteLine(std::string(60, 'p')));
    // A dense listing reaches the file block by block, not only at the end.
    EXPECT_GT(ReadWholeFile(name).size(), 64u * 1024);
    EXPECT_TRUE(writer.Close());
    EXPECT_EQ(ReadWholeFile(name).size(), 15u + 10000u * 62u);
}

TEST_F(SnapshotWriterTest, TruncatesAnOldFileThatCannotBeDeleted) {
    ASSERT_TRUE(scratch::WriteWholeFile(name, "stale line one\r\nstale line two\r\n"));
    // Held open without delete sharing, so the delete fails and the old lines would stay.
    HANDLE holder = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    SnapshotWriter writer;
    ASSERT_TRUE(writer.Create(name));
    ASSERT_TRUE(writer.WriteLine("new"));
    EXPECT_TRUE(writer.Close());
    CloseHandle(holder);
    EXPECT_EQ(ReadWholeFile(name), "new\r\n");
}

TEST_F(SnapshotWriterTest, ACreateFailureIsKeptAndReported) {
    SnapshotWriter writer;
    const std::string missing = tree.Path("no such folder\\out.TXT");
    EXPECT_FALSE(writer.Create(missing));
    EXPECT_TRUE(writer.Failed());
    EXPECT_EQ(writer.Error(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(writer.Name(), missing);
    EXPECT_FALSE(writer.WriteLine("lost"));
    EXPECT_FALSE(writer.Close());
    // A later Create starts afresh.
    EXPECT_TRUE(writer.Create(name));
    EXPECT_TRUE(writer.WriteLine("kept"));
    EXPECT_TRUE(writer.Close());
    EXPECT_EQ(ReadWholeFile(name), "kept\r\n");
}

TEST_F(SnapshotWriterTest, AWriteFailureIsKeptAndLaterWritesDoNothing) {
    // The reading end of a pipe goes away: every write after that fails.
    scratch::DeadEndPipe pipe;
    SnapshotWriter writer;
    ASSERT_TRUE(writer.Create(pipe.Name()));
    pipe.Break();
    bool accepted = true;
    for (int i = 0; i < 2000 && accepted; ++i) accepted = writer.WriteLine(std::string(100, 'w'));
    EXPECT_FALSE(accepted);
    EXPECT_TRUE(writer.Failed());
    const DWORD first = writer.Error();
    EXPECT_NE(first, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(writer.WriteLine("more"));
    EXPECT_FALSE(writer.Close());
    EXPECT_EQ(writer.Error(), first);
    EXPECT_EQ(writer.Name(), pipe.Name());
}

TEST_F(SnapshotWriterTest, AFullDiskIsReportedByCloseEvenForTheLastBlock) {
    if (GetFileAttributesA("F:\\") == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "drive F: (a tiny file system, mounted by tools/test as root) is missing";
    }
    const std::string full = "F:\\qv-writer-" + std::to_string(GetCurrentProcessId()) + ".TXT";
    SnapshotWriter writer;
    ASSERT_TRUE(writer.Create(full));
    // The lines overfill the drive; whether a block or the final flush fails, Close says so.
    bool accepted = true;
    for (int i = 0; i < 600 && accepted; ++i) accepted = writer.WriteLine(std::string(1000, 'f'));
    const bool closed = writer.Close();
    DeleteFileA(full.c_str());
    EXPECT_FALSE(closed);
    EXPECT_EQ(writer.Error(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_NE(SystemErrorText(writer.Error()), "Error 112");
}

TEST(LoadBaselineFile, ReadsTheWholeFileZeroTerminated) {
    ScratchTree tree("load");
    const std::string content = std::string("C:\\a,1\r\nC:\\b,2\r\n") + '\0' + "tail";
    const std::string name = tree.AddFile("base.TXT", content);
    BaselineText text;
    DWORD error = 1;
    ASSERT_EQ(LoadBaselineFile(name.c_str(), text, error), BaselineLoad::Loaded);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(text.View(), content);
    EXPECT_EQ(text.data[text.size], '\0');

    const std::string empty = tree.AddFile("empty.TXT");
    ASSERT_EQ(LoadBaselineFile(empty.c_str(), text, error), BaselineLoad::Loaded);
    EXPECT_EQ(text.size, 0u);
    ASSERT_NE(text.data, nullptr);  // an empty baseline is still a baseline
    EXPECT_EQ(text.data[0], '\0');
}

TEST(LoadBaselineFile, AMissingFileCannotBeOpened) {
    ScratchTree tree("load");
    BaselineText text;
    DWORD error = 0;
    EXPECT_EQ(LoadBaselineFile(tree.Path("missing.TXT").c_str(), text, error),
              BaselineLoad::CannotOpen);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(text.data, nullptr);
}

// Points this program's import of a system function elsewhere for the object's lifetime, so
// that a test can make a call fail in a way no real file does.
class ImportPatch {
public:
    template <typename Function>
    ImportPatch(const char* module, const char* function, Function* replacement) {
        const FARPROC original = GetProcAddress(GetModuleHandleA(module), function);
        auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        auto* from =
            reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
        for (; original != nullptr && from->Name != 0 && slot_ == nullptr; ++from) {
            for (auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + from->FirstThunk);
                 thunk->u1.Function != 0; ++thunk) {
                if (thunk->u1.Function == reinterpret_cast<ULONG_PTR>(original)) {
                    slot_ = &thunk->u1.Function;
                    break;
                }
            }
        }
        if (slot_ != nullptr) original_ = Swap(reinterpret_cast<ULONG_PTR>(replacement));
    }
    ~ImportPatch() {
        if (slot_ != nullptr) Swap(original_);
    }
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Ok() const { return slot_ != nullptr; }

private:
    ULONG_PTR Swap(ULONG_PTR value) {
        DWORD protection = 0;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection);
        const ULONG_PTR old = *slot_;
        *slot_ = value;
        VirtualProtect(slot_, sizeof *slot_, protection, &protection);
        return old;
    }

    decltype(IMAGE_THUNK_DATA::u1.Function)* slot_ = nullptr;
    ULONG_PTR original_ = 0;
};

BOOL WINAPI ReadFailingWithoutCode(HANDLE, LPVOID, DWORD, LPDWORD read, LPOVERLAPPED) {
    if (read != nullptr) *read = 0;
    SetLastError(ERROR_SUCCESS);
    return FALSE;
}

TEST(LoadBaselineFile, AReadFailureWithoutACodeIsAReadFault) {
    ScratchTree tree("load");
    const std::string name = tree.AddFile("base.TXT", "C:\\a,1\r\n");
    BaselineText text;
    DWORD error = 0;
    {
        const ImportPatch patch("kernel32.dll", "ReadFile", &ReadFailingWithoutCode);
        ASSERT_TRUE(patch.Ok());
        EXPECT_EQ(LoadBaselineFile(name.c_str(), text, error), BaselineLoad::ReadFailed);
    }
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_READ_FAULT));
    EXPECT_NE(SystemErrorText(error), SystemErrorText(ERROR_SUCCESS));
}

TEST(LoadBaselineFile, ReadsBeyondFourGibibytes) {
    // Under Wine the host's memory file system reads a sparse file fastest.
    const bool shm = GetFileAttributesA("Z:\\dev\\shm") != INVALID_FILE_ATTRIBUTES;
    ScratchTree tree("load", shm ? "Z:\\dev\\shm" : "");
    const unsigned long long size = (1ull << 32) + 5;
    const std::string name = tree.AddFileOfSize("big.TXT", size);
    ASSERT_FALSE(name.empty());
    {
        // Marks at both ends, the last beyond what a 32-bit size would reach.
        HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, "head", 4, &written, nullptr);
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(size - 4);
        SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
        WriteFile(file, "tail", 4, &written, nullptr);
        CloseHandle(file);
    }
    BaselineText text;
    DWORD error = 0;
    ASSERT_EQ(LoadBaselineFile(name.c_str(), text, error), BaselineLoad::Loaded);
    ASSERT_EQ(text.size, size);
    EXPECT_EQ(text.View().substr(0, 4), "head");
    EXPECT_EQ(text.View().substr(size - 4), "tail");
    EXPECT_EQ(text.data[size], '\0');
}

TEST(LoadBaselineFile, ReportsMissingMemoryInsteadOfThrowing) {
    // Only a file system with huge sparse files can hold a baseline no memory can: Wine's
    // view of the host's /dev/shm.
    const char folder[] = "Z:\\dev\\shm";
    if (GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "no file system for a 256 TiB sparse file (Wine's Z:\\dev\\shm)";
    }
    ScratchTree tree("memory", folder);
    const std::string name = tree.AddFileOfSize("huge.TXT", 256ull << 40);
    if (name.empty()) GTEST_SKIP() << "cannot make a 256 TiB sparse file here";
    BaselineText text;
    DWORD error = 0;
    EXPECT_EQ(LoadBaselineFile(name.c_str(), text, error), BaselineLoad::NoMemory);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(text.data, nullptr);
}

TEST(FileQueries, ExistenceAndFullSize) {
    ScratchTree tree("query");
    const std::string file = tree.AddFile("a.TXT", "12345");
    const std::string big = tree.AddFileOfSize("big.bin", 5ull << 30);
    ASSERT_FALSE(big.empty());
    EXPECT_EQ(FileExistsByName(file.c_str()), 1);
    EXPECT_EQ(FileExistsByName(tree.Root().c_str()), 1);
    EXPECT_EQ(FileExistsByName("C:\\"), 1);  // a drive root no search matches
    EXPECT_EQ(FileExistsByName(tree.Path("missing").c_str()), 0);

    EXPECT_EQ(GetFileSizeByName(file.c_str()), 5u);
    EXPECT_EQ(GetFileSizeByName(big.c_str()), 5ull << 30);
    EXPECT_EQ(GetFileSizeByName(tree.Path("missing").c_str()), 0u);
    EXPECT_EQ(GetFileSizeByName(tree.AddFile("empty.TXT").c_str()), 0u);
}

TEST(SystemErrorText, GivesTheSystemTextWithoutLineBreakOrANumber) {
    const std::string text = SystemErrorText(ERROR_ACCESS_DENIED);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
    EXPECT_NE(text, "Error 5");
    EXPECT_NE(text.back(), ' ');
    EXPECT_EQ(SystemErrorText(0x2FFFFFFF), "Error 805306367");
}

TEST(ExtendedLengthPath, PrefixesFullPathsAndKeepsNamesAsTheyAre) {
    // Trailing dots and blanks are parts of real names and must not be normalised away.
    EXPECT_EQ(ExtendedLengthPath("D:\\dir. \\file."), L"\\\\?\\D:\\dir. \\file.");
    EXPECT_EQ(ExtendedLengthPath("c:\\"), L"\\\\?\\c:\\");
    EXPECT_EQ(ExtendedLengthPath("C:\\a\\..\\b"), L"\\\\?\\C:\\b");
    EXPECT_EQ(ExtendedLengthPath("\\\\server\\share\\x"), L"\\\\?\\UNC\\server\\share\\x");
    EXPECT_EQ(ExtendedLengthPath("\\\\?\\C:\\x"), L"\\\\?\\C:\\x");
    EXPECT_EQ(ExtendedLengthPath("中文\\😀"), [] {
        std::wstring current(GetCurrentDirectoryW(0, nullptr), L'\0');
        current.resize(GetCurrentDirectoryW(DWORD(current.size()), current.data()));
        if (current.back() != L'\\') current += L'\\';
        return L"\\\\?\\" + current + L"\u4e2d\u6587\\\U0001F600";
    }());
}

}  // namespace
