#pragma once

#include <cstddef>
#include <string_view>

#include "snapshot/snapshot_files.h"

// Readers of what a pass wrote for the report to read back once the pass is done.

// A change list, line by line; the caller knows how long each line is, since a value's text
// may hold CR LF.
class ChangeListReader {
public:
    bool Open(const char* name) { return reader_.Open(name); }
    // The next line, length bytes long; its CR LF is passed over. False at a short file.
    bool Next(std::size_t length, std::string_view& line);

private:
    SequentialReader reader_;
};

// The new values' data as the walk read them, one after another (kNewDataScratchName).
class NewDataReader {
public:
    bool Open() { return reader_.Open(kNewDataScratchName); }
    // The next data, size bytes; empty when the file falls short.
    std::string_view Next(std::size_t size);

private:
    SequentialReader reader_;
};

// Appends the whole of the named file to output.
bool AppendFile(const char* name, SnapshotWriter& output);
