#pragma once

#include <string>
#include <string_view>

// Paths and names as Windows tells them apart: file paths, registry key paths and value names
// are one item when they differ only in letter case (an ordinal comparison of the characters
// as the system upper-cases them). Value texts and data are never folded. Plain C++.

// The form of path that two paths share exactly when Windows takes them for one: a key for
// maps and sets. Every "\" stays a "\" and no other byte becomes one, though the bytes between
// may change in number (text/case_fold.h), so a prefix of the path up to its n-th "\" gives the
// prefix of its identity up to its n-th "\".
std::string PathIdentity(std::string_view path);

// Whether Windows takes a and b for one path or name.
bool SamePath(std::string_view a, std::string_view b);

// The last level of a path: what follows its last "\" (a folder's final "\" aside).
std::string_view LastSegment(std::string_view path);

// Whether a path the baseline spells as recorded and that now reads as found (one path, as
// Windows takes paths) was renamed in letter case: its own last level is spelled anew. A path
// whose spelling changed only above it was not: a folder or key above it was.
bool RenamedInCase(std::string_view recorded, std::string_view found);
