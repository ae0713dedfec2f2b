#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "snapshot/baseline_state.h"

class PlaceSet;

// The record of a file baseline's folders that Step #1 writes beside it: every folder the pass
// listed, every folder it could not list, and, only when the pass ran to its end, an end line
// with the baseline's file count and size. A baseline's text holds only files, so without it an
// old folder that gained its first file could not be told from a new one. Lines of UTF-8 ended
// by CR LF, in walk order:
//   QvFolders1
//   D:\Docs\          a folder listed, with its final "\"
//   ?D:\Deny\         a folder that could not be listed ("?" starts no Windows path)
//   QvEnd,<files>,<bytes>
// Every folder's line ends in "\" and the end line does not, so no folder's line is taken for
// it. Plain C++.

inline constexpr std::string_view kFolderRecordHeader = "QvFolders1";
inline constexpr char kUnlistedFolderMark = '?';

// The end line.
std::string FolderRecordEnd(std::uint64_t files, std::uint64_t baselineBytes);

// Whether record ends as only a pass that ran to its end over a baseline of baselineBytes ends
// it. A record is never an earlier build's: they wrote none.
BaselineState FolderRecordState(std::string_view record, std::uint64_t baselineBytes);

// Adds the folders that the record names as not listed.
void AddUnlistedFolders(std::string_view record, PlaceSet& places);
