#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "snapshot/file_hash.h"

class BaselineIndex;
class ScanObserver;
class SnapshotWriter;
class PlaceSet;

// What a comparison of files finds besides new paths. The caller sets the baseline time; the
// walker adds what it meets, walk after walk. Found files are marked seen in the baseline index,
// so the records left unmarked afterwards are the files that are gone.
struct FileComparison {
    // When the baseline was written (FILETIME): a file changed later is modified.
    std::uint64_t baselineTime = 0;
    // The record of the baseline's folders (folder_record.h), indexed: a folder is new when it
    // does not hold it. Null for a baseline of an earlier build, which has none: then a folder
    // is new when it was created after the baseline.
    BaselineIndex* baselineFolders = nullptr;
    // Folders Step #1 could not list: never entered, so nothing below them is new. May be null.
    const PlaceSet* unreadAtBaseline = nullptr;
    // The SHA-256 of each new and each modified file is taken as the walk meets it, right after
    // its copy when new files are copied.
    bool hashContents = false;

    struct Modified {
        std::size_t record;  // offset of the file's record in the baseline text
        std::string path;
        std::uint64_t oldSize, newSize;
        std::uint64_t changeTime;
        FileHash hash;  // when hashContents
    };
    struct Folder {
        std::string path;  // with its final "\"
        std::uint64_t creationTime;
        bool holdsOldFile;  // a file of the baseline was found below it
        bool exact = true;  // its path came through to text exactly
    };

    struct NewFile {
        std::size_t length;  // of its line, without CR LF
        std::uint64_t size;
        bool exact = true;   // its path came through to text exactly: no lone surrogate
        FileHash hash;       // when hashContents
    };
    // A file or folder whose own name the baseline spells otherwise, in letter case only: one
    // item as Windows takes names, so neither new nor gone.
    struct Renamed {
        std::string oldPath, newPath;  // a folder's with its final "\"
        bool folder;
    };
    std::vector<NewFile> newFiles;  // one for each line written, in order
    std::vector<Renamed> renamed;   // in walk order
    std::vector<Modified> modified;
    std::vector<Folder> newFolders;        // created after the baseline, in walk order
    std::vector<std::string> unlisted;     // folders below a place that could not be listed
    std::vector<std::string> places;       // the folder part of each pattern whose top listed
};

// Lists the tree of pattern (a drive "D:\*.*", a folder "C:\Data\*.*" or a relative "Temp\*.*")
// depth first. Without a baseline every file gets a line "path,size", and with folders each
// folder a line in that record of the baseline's folders (folder_record.h); with one only the files
// whose path the baseline does not hold get a line "path", and with copyNewFiles each is also
// copied into the copy folder; with comparison, modified files and new folders are noted too,
// and with its hashContents the SHA-256 of the new and the modified files.
// Paths of any length the platform allows are listed; lines show them as the user knows them,
// without the extended-length prefix. Linked folders (junctions, directory symbolic links,
// mount points) are listed as nothing and not entered.
// Stops when the observer says so or a write fails. Returns the number of lines written.
long ScanDirectoryTree(std::string_view pattern, SnapshotWriter& output, BaselineIndex* baseline,
                       bool copyNewFiles, ScanObserver& observer,
                       FileComparison* comparison = nullptr, SnapshotWriter* folders = nullptr);

// The size a file record of the baseline gives ("path,size" from offset record on, the path
// pathLength long), as a comparison must read it: sizes that older builds wrote as signed 32-bit
// numbers (negative ones, and small ones of files of 4 GiB and more) compare on the low 32 bits.
bool SameRecordedSize(std::string_view baseline, std::size_t record, std::size_t pathLength,
                      std::uint64_t size);
// The recorded size as written (a negative one as its low 32 bits).
std::uint64_t RecordedSize(std::string_view baseline, std::size_t record, std::size_t pathLength);
