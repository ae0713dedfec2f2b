#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The record of a registry baseline's lines that Step #1 writes beside it. A value's text may
// hold CR LF and its name may hold "\" and "=", so the baseline's text alone cannot always tell
// where a line ends or where a key path and a value name end. The record tells, line by line
// and in order: its length, whether it is a key's or a value's line, where the key path and the
// name end, and the value's type and how its text stands for its data. Plain C++.
//
// Form: the 8 bytes "QvLines1", then for each line unsigned LEB128 numbers: the line's length
// without its CR LF; a tag, 0 for a key's line, else 1 + (type << 2 | exact << 1 | hexForm);
// and for a value the length of its key's line and of its name.

struct RegistryLine {
    std::size_t length = 0;      // bytes, without the CR LF that ends the line
    bool value = false;          // a value's line "key\name=text"; else a key's line
    std::size_t keyEnd = 0;      // values: where the "\" before the name stands
    std::size_t nameLength = 0;  // values: bytes of the name, between that "\" and the "="
    std::uint32_t type = 0;      // values: REG_SZ, REG_DWORD, ...
    bool hexForm = false;        // values: the text is the hex form of the data
    bool exact = false;          // values: the text and the name give the value back exactly

    // Values: the length of "key\name=", where the text begins.
    std::size_t NameEnd() const { return keyEnd + nameLength + 2; }
};

inline constexpr std::string_view kRegistryLinesHeader = "QvLines1";

// Appends the entry of one line to a record; a record starts with kRegistryLinesHeader.
void AppendRegistryLine(std::string& record, const RegistryLine& line);

// Reads a record's entries in order.
class RegistryLineReader {
public:
    // record: the whole record, header included.
    explicit RegistryLineReader(std::string_view record);

    // The next entry. False at the end of the record, and at an entry cut short or out of
    // bounds (then Damaged()).
    bool Next(RegistryLine& line);
    bool Damaged() const { return damaged_; }

private:
    bool ReadNumber(std::uint64_t& number);

    std::string_view record_;
    std::size_t at_ = 0;
    bool damaged_ = false;
};

// Whether record describes text, the baseline of the root whose lines start with rootPrefix:
// every line of the record in the text one after another, each ended by CR LF, the lengths
// adding up to the text's size, every line starting with rootPrefix and every value's "\" and
// "=" where the record puts them. When it does, joins receives the positions of the CR LF
// pairs that stand inside lines (value texts that hold line breaks), in text order.
bool MatchRegistryLines(std::string_view record, std::string_view text,
                        std::string_view rootPrefix, std::vector<std::size_t>& joins);

// Follows a record through a text that it matches, to tell the entry of a line by its offset.
// Offsets must be asked for in increasing order.
class RegistryLineCursor {
public:
    explicit RegistryLineCursor(std::string_view record) : reader_(record) {}
    // The entry of the line that starts at offset; false when no line starts there.
    bool At(std::size_t offset, RegistryLine& line);

private:
    RegistryLineReader reader_;
    RegistryLine current_;
    std::size_t start_ = 0;   // of current_
    bool started_ = false;
};
