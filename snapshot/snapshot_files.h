#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "win32/unique_handle.h"

// The program's own files, all in the current directory except the copy folder.

inline constexpr const char kFilesBaselineName[] = "Quorvane_Snapshot1_Files.TXT";
inline constexpr const char kFilesChangeListName[] = "Quorvane_Snapshot2_Files.TXT";
inline constexpr const char kErrorLogName[] = "Quorvane_Errors.txt";
inline constexpr const char kReportName[] = "Quorvane_Report.html";
inline constexpr const char kChangeSetName[] = "Quorvane_Changes.jsonl";
inline constexpr const char kRedoRegName[] = "Quorvane_Redo.reg";
inline constexpr const char kUndoRegName[] = "Quorvane_Undo.reg";
inline constexpr const char kUndoCmdName[] = "Quorvane_Undo.cmd";
inline constexpr const char kCopyFolder[] = "C:\\_Quorvane_COPY\\";

// What Step #2 writes besides the change lists, in the order it removes them when it starts.
inline constexpr const char* kStepTwoOutputNames[] = {kReportName, kChangeSetName, kRedoRegName,
                                                      kUndoRegName, kUndoCmdName};
// The scratch files Step #2 writes them through: the report's sections, the change set's items,
// the journal the undo and redo files are made from, and a registry pass's new values' data.
inline constexpr const char kSectionsScratchName[] = "Quorvane_Report.tmp";
inline constexpr const char kItemsScratchName[] = "Quorvane_Changes.tmp";
inline constexpr const char kJournalScratchName[] = "Quorvane_Undo.tmp";
inline constexpr const char kNewDataScratchName[] = "Quorvane_Values.tmp";
inline constexpr const char* kScratchNames[] = {kSectionsScratchName, kItemsScratchName,
                                                kJournalScratchName, kNewDataScratchName};

// One scanned area: the file system or one registry root. The table order is the order of
// the passes of both steps.
struct SnapshotArea {
    const char* baselineName;
    const char* changeListName;
    HKEY root;             // nullptr for the file system
    const char* rootName;  // as written into registry lines; nullptr for the file system
    // The record Step #1 writes beside the baseline: for a registry root the record of its
    // lines (registry_lines.h), for the file system the record of its folders
    // (folder_record.h). Either also tells whether the pass ran to its end.
    const char* recordName = nullptr;
};

inline const SnapshotArea kSnapshotAreas[] = {
    {kFilesBaselineName, kFilesChangeListName, nullptr, nullptr,
     "Quorvane_Snapshot1_Files.FOLDERS"},
    {"Quorvane_Snapshot1_Registry_HKCR.TXT", "Quorvane_Snapshot2_Registry_HKCR.TXT",
     HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", "Quorvane_Snapshot1_Registry_HKCR.LINES"},
    {"Quorvane_Snapshot1_Registry_HKLM.TXT", "Quorvane_Snapshot2_Registry_HKLM.TXT",
     HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "Quorvane_Snapshot1_Registry_HKLM.LINES"},
    {"Quorvane_Snapshot1_Registry_HKCU.TXT", "Quorvane_Snapshot2_Registry_HKCU.TXT",
     HKEY_CURRENT_USER, "HKEY_CURRENT_USER", "Quorvane_Snapshot1_Registry_HKCU.LINES"},
    {"Quorvane_Snapshot1_Registry_HKU.TXT", "Quorvane_Snapshot2_Registry_HKU.TXT", HKEY_USERS,
     "HKEY_USERS", "Quorvane_Snapshot1_Registry_HKU.LINES"},
};

// Every file of the program's own that the clean-up button removes, in the order it removes
// them: the baselines, the change lists, the error log, the records beside the baselines, what
// Step #2 writes besides the change lists (report, change set, the .reg files and the undo
// script), then the scratch files a step that was killed may have left.
std::vector<const char*> ProgramTextFiles();

// The folder the program writes its files to, the current directory, as the walk shows folders:
// with its final "\". Empty when it cannot be told.
std::string ProgramFolder();
// Whether a walk passes over this as one of the program's own: a file of ProgramTextFiles() by
// its name in the program's folder, or the copy folder with all below it. Names and paths
// compare as Windows compares them; nothing else is ever passed over, whatever it is called.
bool IsProgramFileName(std::string_view name);
bool InCopyFolder(std::string_view folder);  // folder: with its final "\"

// Name of the registry root as written into lines; empty for anything else.
const char* RegistryRootName(HKEY root);

// Appends CR LF-ended lines to a snapshot file or change list. Lines are buffered and reach the
// file in blocks, so a reader sees a long scan's file grow; the bytes on disk after Close are
// exactly those of line-by-line writes. The first failure is kept: later writes do nothing,
// and the caller reports Name() with SystemErrorText(Error()).
class SnapshotWriter {
public:
    SnapshotWriter() = default;
    SnapshotWriter(const SnapshotWriter&) = delete;
    SnapshotWriter& operator=(const SnapshotWriter&) = delete;
    ~SnapshotWriter();  // closes without reporting; call Close() to learn of a failure

    // Deletes the file and creates it empty. False on failure.
    bool Create(std::string_view name);
    // Appends line and CR LF. False once anything failed.
    bool WriteLine(std::string_view line);
    // Appends bytes as they are.
    bool Write(std::string_view bytes);
    // Writes what is buffered and closes. False when anything failed since Create.
    bool Close();

    bool Failed() const { return error_ != ERROR_SUCCESS; }
    DWORD Error() const { return error_; }
    // Bytes handed over since Create: the file's size once Close succeeded.
    std::uint64_t Size() const { return size_; }
    const std::string& Name() const { return name_; }

private:
    bool Append(std::string_view bytes, std::string_view end);
    bool Flush();

    UniqueFile file_;
    std::string name_;
    std::string buffer_;
    DWORD error_ = ERROR_SUCCESS;
    ULONGLONG lastFlushTick_ = 0;
    std::uint64_t size_ = 0;
};

// A whole baseline file in memory.
struct BaselineText {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::string_view View() const { return {data.get(), size}; }
};

// Reads a file from front to back in blocks, for those who read back what they wrote: a
// change list, or a scratch file of a run.
class SequentialReader {
public:
    SequentialReader() = default;
    SequentialReader(const SequentialReader&) = delete;
    SequentialReader& operator=(const SequentialReader&) = delete;
    ~SequentialReader();

    bool Open(const char* name);
    // At least need bytes from the current position on, when the file holds them: false at a
    // short file or a read error. The view lasts until the next call.
    bool Peek(std::size_t need, std::string_view& bytes);
    // Everything buffered from the current position on, read further when it holds nothing;
    // empty at the end of the file.
    std::string_view Available();
    // Moves the current position on by count bytes (at most what Peek or Available gave).
    void Consume(std::size_t count) { start_ += count; }

private:
    bool Fill(std::size_t need);

    UniqueFile file_;
    std::string buffer_;
    std::size_t start_ = 0;
};

enum class BaselineLoad { Loaded, CannotOpen, NoMemory, ReadFailed };

// Reads the named baseline whole, also beyond 4 GiB. On failure error holds the system's code.
BaselineLoad LoadBaselineFile(const char* name, BaselineText& text, DWORD& error);

// 1 when the name exists (file, directory or drive root), else 0.
int FileExistsByName(const char* name);
// Size of the named file, 0 when it cannot be opened. The full 64-bit size.
unsigned long long GetFileSizeByName(const char* name);

// The system's message for an error code, without the trailing line break; never empty.
std::string SystemErrorText(DWORD error);

// What the user is told when a file of the program's could not be written: its name, the
// system's reason, and that the scan was stopped.
std::string WriteFailureText(const SnapshotWriter& file);

// A path as the wide file functions take it at any length: "\\?\" and the full path
// ("\\?\UNC\server\..." for a share). A relative path is resolved against the current
// directory. Empty when the path cannot be resolved.
std::wstring ExtendedLengthPath(std::string_view path);
