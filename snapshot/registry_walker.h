#pragma once

#include <windows.h>

#include <string_view>

class BaselineIndex;
class ScanObserver;
class SnapshotWriter;

// Lists the key subkeyPath of root ("" for the root itself) and, depth first, every key below
// it: for each value a line "root\path\name=text", for each subkey a line "root\path". Without
// a baseline every line is written; with one only lines the baseline does not hold, reported to
// the observer as they are found. output may be null: the walk then visits but writes nothing.
// Stops when the observer says so or a write fails. Returns the number of lines written.
long ScanRegistryKey(HKEY root, std::string_view subkeyPath, SnapshotWriter* output,
                     const BaselineIndex* baseline, ScanObserver& observer);
