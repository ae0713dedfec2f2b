#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A function the compiler must not inline, for a test that measures its frame.
#if defined(_MSC_VER)
#define QUORVANE_NOINLINE __declspec(noinline)
#else
#define QUORVANE_NOINLINE __attribute__((noinline))
#endif

// A folder of files made for one test and removed with everything below it afterwards.
// Paths are UTF-8 as the program shows them (no extended-length prefix) and may be of any
// length the platform allows; relative paths use "\" between levels.
class ScratchTree {
public:
    // A new folder with a unique name under parent, by default the temp folder. The name holds
    // label, so a test can tell its own trees apart; neither holds the product word.
    explicit ScratchTree(std::string_view label = "tree", std::string_view parent = {});
    // Uses folder (made when missing) as root and only empties it at the end.
    static ScratchTree InFolder(std::string_view folder);
    // Uses a whole drive ("D:") as root, emptied at the end: only one that the environment
    // variable QUORVANE_SCRATCH_DRIVES names ("D: F:"), which tools/test sets for the drives it
    // maps to scratch folders. Any other drive may be a real one with the user's files on it:
    // throws std::runtime_error instead.
    static ScratchTree OnScratchDrive(std::string_view drive);

    ScratchTree(ScratchTree&& other) noexcept;
    ScratchTree& operator=(ScratchTree&&) = delete;
    ScratchTree(const ScratchTree&) = delete;
    ScratchTree& operator=(const ScratchTree&) = delete;
    ~ScratchTree();

    // The root without a final backslash ("D:" for a drive root).
    const std::string& Root() const { return root_; }
    // Root + "\" + relative.
    std::string Path(std::string_view relative) const;
    // The search pattern of the whole tree: Root() + "\*.*".
    std::string Pattern() const { return root_ + "\\*.*"; }

    // Each makes the missing folders above it and returns the full path; an empty result
    // means the system refused (the caller's assertion then names the path).
    std::string AddFile(std::string_view relative, std::string_view content = {});
    // A file of size bytes that takes no room (sparse where the file system allows).
    std::string AddFileOfSize(std::string_view relative, std::uint64_t size);
    std::string AddFolder(std::string_view relative);
    // A symbolic link to a folder (a Unix one under Wine, which the system shows as a
    // directory reparse point). Empty when links cannot be made here.
    std::string AddFolderLink(std::string_view relative, std::string_view target);

    // Turns on FILE_ATTRIBUTE_HIDDEN / SYSTEM bits of an existing entry.
    bool SetAttributes(std::string_view relative, unsigned long attributes);

private:
    struct AdoptTag {};
    ScratchTree(AdoptTag, std::string root);

    std::string root_;
    bool ownsRoot_ = true;
};

namespace scratch {

// UTF-8 and UTF-16, whatever the process code page, for the wide functions the tests use.
std::wstring Utf16(std::string_view text);
std::string Utf8(std::wstring_view text);

// A relative path of folders named after stem, ending in file name leaf, so that
// base + "\" + result is exactly totalLength characters (bytes of ASCII stem). Levels are at
// most 200 characters. Empty when totalLength is too short for base and leaf.
std::string RelativePathOfLength(std::string_view base, std::size_t totalLength,
                                 std::string_view leaf, char stem = 'x');

// Names in several scripts (Chinese, Cyrillic, Greek, Arabic, emoji, accented Latin), UTF-8.
extern const std::vector<std::string> kScriptSampleNames;

// Whole content of a file, or nothing when it cannot be read (ok tells which).
std::string ReadWholeFile(std::string_view path, bool* ok = nullptr);
bool WriteWholeFile(std::string_view path, std::string_view content);
bool PathExists(std::string_view path);
// Removes a file or a folder with everything below it; links are removed, not followed.
bool RemoveTree(std::string_view path);
// Splits CR LF-ended text into lines (a last line without CR LF counts too).
std::vector<std::string> SplitLines(std::string_view text);

// Makes folder the current directory while it lives.
class CurrentDirectory {
public:
    explicit CurrentDirectory(std::string_view folder);
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;
    ~CurrentDirectory();

private:
    std::wstring previous_;
};

// A named pipe that a writer can open by name and whose reading end goes away on Break():
// every write after that fails, on any system and without a full disk.
class DeadEndPipe {
public:
    DeadEndPipe();
    DeadEndPipe(const DeadEndPipe&) = delete;
    DeadEndPipe& operator=(const DeadEndPipe&) = delete;
    ~DeadEndPipe() { Break(); }

    const std::string& Name() const { return name_; }
    void Break();

private:
    std::string name_;
    std::vector<void*> servers_;
};

}  // namespace scratch
