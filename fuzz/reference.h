#pragma once

// Reference models for the fuzz targets: each rule written the slow, obvious way from the
// comments of the headers, never from the code it checks.

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// Stops the run as a crash, which libFuzzer records with the input that caused it.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

namespace reference {

// The input cut at every byte 0xFE (a byte that valid UTF-8 never holds): the targets take
// their texts from the fields. There is always at least one field.
std::vector<std::string> Fields(std::string_view input);

// Bytes shown as C escapes, for messages.
std::string Printable(std::string_view bytes);

// FindNoCase: first position where pattern matches with A-Z and a-z alike; npos for an empty
// text or pattern.
std::size_t Find(std::string_view text, std::string_view pattern);

// GetToken: text cut at every separator that Find finds, searching on behind each one.
std::vector<std::string> Tokens(std::string_view text, std::string_view separator);

// ReplaceOccurrence.
std::string Replace(std::string text, std::string_view find, std::string_view replacement,
                    int count);

// SearchPatternsFromDriveList.
std::vector<std::string> DrivePatterns(std::string_view list);

// The baseline index's keys with the offset of each key's first record, keys that fold alike
// (Folded) being one key under their folded form, and every record with its offset and whether
// it gives a key.
struct Record {
    std::size_t offset;
    std::string text;
    bool hasKey;
    std::string key;
};
struct Baseline {
    std::vector<Record> records;
    std::map<std::string, std::size_t> firstOffset;
};
Baseline IndexBaseline(std::string_view text, bool filePaths);

// UTF-8 to UTF-16 units with replacement characters, in either of the two ways a converter may
// replace ill-formed input: one U+FFFD for each maximal part of a sequence that could still
// have become valid (the Unicode standard's advice), or one for each byte that is not part of a
// valid sequence.
enum class Replacement { MaximalPart, EachByte };
std::u16string Utf8ToUtf16(std::string_view text, Replacement replacement);

// UTF-16 units to UTF-8, a lone surrogate becoming U+FFFD.
std::string Utf16ToUtf8(std::u16string_view units);

// AppendFolded: every well-formed UTF-8 sequence of a character of the BMP replaced by the
// UTF-8 of its upper case as text/case_table.inc gives it; every other byte (of a character
// beyond the BMP, or of no character) kept. EqualNoCase: the folded forms are equal.
std::string Folded(std::string_view text);

}  // namespace reference
