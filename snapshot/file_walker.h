#pragma once

#include <string_view>

class BaselineIndex;
class ScanObserver;
class SnapshotWriter;

// Lists the tree of pattern (a drive "D:\*.*", a folder "C:\Data\*.*" or a relative "Temp\*.*")
// depth first. Without a baseline every file gets a line "path,size"; with one only the files
// whose path the baseline does not hold get a line "path", and with copyNewFiles each is also
// copied into the copy folder. Paths of any length the platform allows are listed; lines show
// them as the user knows them, without the extended-length prefix. Linked folders (junctions,
// directory symbolic links, mount points) are listed as nothing and not entered.
// Stops when the observer says so or a write fails. Returns the number of lines written.
long ScanDirectoryTree(std::string_view pattern, SnapshotWriter& output,
                       const BaselineIndex* baseline, bool copyNewFiles, ScanObserver& observer);
