#pragma once

#include <string>
#include <string_view>
#include <vector>

// Small string routines for the drive list, path rewriting and registry paths. Only A-Z fold
// to a-z; every other byte compares exactly, so UTF-8 names pass through untouched.

inline constexpr std::size_t kNotFound = std::string_view::npos;

// Position of the first occurrence of pattern in text, ignoring ASCII letter case, or
// kNotFound. An empty text or pattern finds nothing.
std::size_t FindNoCase(std::string_view text, std::string_view pattern);

// Token number index (0-based) of text split at separator; empty when there is none. The
// separator is found as FindNoCase finds it, both to skip to a token and to end it, so the
// tokens and separators together are the whole text. Two separators in a row give an empty
// token; the last token runs to the end of the text. With an empty separator every token is
// empty.
std::string GetToken(std::string_view text, std::string_view separator, int index);

// Replaces occurrences of find (ignoring ASCII case) in text: every one when count is 0, else
// only the count-th (occurrences do not overlap; a negative count changes nothing). The search
// goes on behind each inserted replacement, so a replacement that holds the search text is not
// searched again.
void ReplaceOccurrence(std::string& text, std::string_view find, std::string_view replacement,
                       int count);

// A place of a drive list that is a drive letter: one ASCII letter and a colon ("c:").
bool IsDriveLetter(std::string_view place);

// The search patterns of a drive list: "," separates when the list holds one, else " "; of
// token positions 0 to 25, empty ones are skipped and each is cut after its first colon, then
// "\*.*" is appended ("C:,D:\Data" gives C:\*.* and D:\*.*). A drive letter is written upper
// case ("d:" gives D:\*.*), and a place named again, in any ASCII letter case, is left out:
// each place is walked once, where it is first named.
std::vector<std::string> SearchPatternsFromDriveList(std::string_view driveList);

// Turns the drive letter of every line of text that starts with one ("c:\...") to upper case,
// as the drive list now writes it: baselines of earlier builds hold it as it was typed. Lines
// end at '\n'; nothing else changes.
void UpperCaseDriveLetters(char* text, std::size_t size);

// Case-insensitive comparison (the system's) of the first n characters of a and b; 0 when equal.
// At most 254 characters take part, and a zero byte ends either text.
int CompareNoCasePrefix(std::string_view a, std::string_view b, std::size_t n);

// Conversions between the process code page (UTF-8 through the manifest) and UTF-16 for the
// wide Windows functions. Invalid input never fails: unconvertible characters are replaced.
// Only running out of memory can throw (std::bad_alloc).
std::wstring WidenText(std::string_view text);
std::string NarrowText(std::wstring_view text);

// The system converts at most an int's worth at a time, so long texts go in pieces that each
// convert as they would within the whole text. These give the length of the first piece, at
// most limit long (and all of text when it fits):
// - NextNarrowPiece ends it before the lead byte of a UTF-8 sequence that would cross the
//   limit, and at the limit otherwise (stray continuation bytes are cut anywhere). A limit
//   below 4 may still cut a character; the piece is never empty.
// - NextWidePiece never splits a surrogate pair, given a limit of at least 2.
std::size_t NextNarrowPiece(std::string_view text, std::size_t limit);
std::size_t NextWidePiece(std::wstring_view text, std::size_t limit);

// Whether UTF-16 units (a name, say) convert to UTF-8 and back unchanged: no surrogate that
// pairs with nothing.
bool IsWholeUtf16(std::u16string_view units);

// Whether the data of a string value (REG_SZ, REG_EXPAND_SZ: little-endian UTF-16) would lose
// something as text: data that runs on past the first zero character, an odd last byte that
// is not zero, or a surrogate that pairs with nothing. A string with one zero character at its
// end, none, or one lone zero byte after it loses nothing.
bool StringTextLosesData(const unsigned char* bytes, std::size_t size);
