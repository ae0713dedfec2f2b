#pragma once

#include <string>
#include <string_view>

// Small string routines for the drive list, path rewriting and registry paths. Only A-Z fold
// to a-z; every other byte compares exactly, so UTF-8 names pass through untouched.

inline constexpr std::size_t kNotFound = std::string_view::npos;

// Position of the first occurrence of pattern in text, ignoring ASCII letter case, or
// kNotFound. An empty text or pattern finds nothing.
std::size_t FindNoCase(std::string_view text, std::string_view pattern);

// Token number index (0-based) of text split at separator; empty when there is none. Two
// separators in a row give an empty token; the last token runs to the end of the text. With
// an empty separator every token is empty.
std::string GetToken(std::string_view text, std::string_view separator, int index);

// Replaces occurrences of find (ignoring ASCII case) in text: every one when count is 0, else
// only the count-th (occurrences do not overlap; a negative count changes nothing). The search
// goes on behind each inserted replacement, so a replacement that holds the search text is not
// searched again.
void ReplaceOccurrence(std::string& text, std::string_view find, std::string_view replacement,
                       int count);

// Case-insensitive comparison (the system's) of the first n characters of a and b; 0 when equal.
// At most 254 characters take part, and a zero byte ends either text.
int CompareNoCasePrefix(std::string_view a, std::string_view b, std::size_t n);

// Conversions between the process code page (UTF-8 through the manifest) and UTF-16 for the
// wide Windows functions. Invalid input never fails: unconvertible characters are replaced.
// Only running out of memory can throw (std::bad_alloc).
std::wstring WidenText(std::string_view text);
std::string NarrowText(std::wstring_view text);
