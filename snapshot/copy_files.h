#pragma once

#include <string>
#include <string_view>

class ScanObserver;

// Copying of new files into the copy folder "C:\_Quorvane_COPY\" under their own paths. All
// paths are as the user knows them (UTF-8, no extended-length prefix) and may be of any length
// the platform allows.

// Where a new file is copied: its path with the first "C:\" (any case) turned into the copy
// folder. A path without "C:\" comes back unchanged.
std::string CopyTargetPath(std::string_view source);

// Copies one new file found by the walker and logs a failure in the error log. A file whose
// target would be the file itself is logged and never handed to the copy routine.
void CopyNewFile(std::string_view source, ScanObserver& observer);

// Copies source to target, overwriting it, after creating the target's folders. Nonzero on
// success. Refuses (0) when both name the same file.
int CopyChangedFile(std::string_view source, std::string_view target);

// 1 when the directory exists afterwards (created with every missing parent), else 0; 0 when
// something that is not a directory stands in the way.
int CreateDirectoryPath(std::string_view path);

// 1 when path names an existing directory, else 0.
int IsDirectoryPath(std::string_view path);

// Appends "Error copying file <source>" to the error log in the current directory.
void LogCopyFailure(std::string_view source);
