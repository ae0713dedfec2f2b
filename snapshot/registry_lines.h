#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "snapshot/baseline_state.h"

// The record of a registry baseline's lines that Step #1 writes beside it. A value's text may
// hold CR LF and its name may hold "\" and "=", so the baseline's text alone cannot always tell
// where a line ends or where a key path and a value name end. The record tells, line by line
// and in order: its length, whether it is a key's or a value's line, where the key path and the
// name end, the value's type and how its text stands for its data, and whether the names came
// through exactly. It also holds the keys the pass could not read, and ends with an entry that
// only a pass that ran to its end writes. Plain C++.
//
// Form: the 8 bytes "QvLines2", then entries of unsigned LEB128 numbers, each led by its tag:
//   0 or 1     a key's line, then its length; 1 when its path did not come through exactly
//   2          a key that could not be read, then the length of its key line and the line
//   3          the end: the number of lines, then the baseline's size in bytes
//   4 + bits   a value's line, bits = type << 3 | nameExact << 2 | exact << 1 | hexForm, then
//              its length, the length of its key's line and of its name
// A record of an earlier build starts "QvLines1" and holds, for each line, its length, then 0
// for a key or 1 + (type << 2 | exact << 1 | hexForm) for a value, then for a value the two
// lengths. It has no end and tells nothing of what could not be read.

struct RegistryLine {
    std::size_t length = 0;      // bytes, without the CR LF that ends the line
    bool value = false;          // a value's line "key\name=text"; else a key's line
    std::size_t keyEnd = 0;      // values: where the "\" before the name stands
    std::size_t nameLength = 0;  // values: bytes of the name, between that "\" and the "="
    std::uint32_t type = 0;      // values: REG_SZ, REG_DWORD, ...
    bool hexForm = false;        // values: the text is the hex form of the data
    bool exact = false;          // values: the text and the names give the value back exactly
    // The key path (and a value's name) came through to text exactly: no surrogate that pairs
    // with nothing. An earlier build's record does not tell: true.
    bool nameExact = true;

    // Values: the length of "key\name=", where the text begins.
    std::size_t NameEnd() const { return keyEnd + nameLength + 2; }
};

inline constexpr std::string_view kRegistryLinesHeader = "QvLines2";
inline constexpr std::string_view kEarlierRegistryLinesHeader = "QvLines1";

// Appends the entry of one line to a record; a record starts with kRegistryLinesHeader.
void AppendRegistryLine(std::string& record, const RegistryLine& line);
// Appends a key that could not be opened or listed to its end, by its key line.
void AppendUnreadableKey(std::string& record, std::string_view keyLine);
// Appends the end of a record: lines, and the bytes of the baseline it describes.
void AppendRecordEnd(std::string& record, std::uint64_t lines, std::uint64_t baselineBytes);

// Reads a record's lines in order, of either form; the keys that could not be read and the end
// are gathered on the way.
class RegistryLineReader {
public:
    // record: the whole record, header included.
    explicit RegistryLineReader(std::string_view record);

    // The next line's entry. False at the end of the record, and at an entry cut short or out
    // of bounds (then Damaged()).
    bool Next(RegistryLine& line);
    bool Damaged() const { return damaged_; }

    // An earlier build's record: no end, no unreadable keys, names not told exact.
    bool Earlier() const { return earlier_; }
    // The keys met so far that the pass could not read, as their key lines.
    const std::vector<std::string_view>& Unreadable() const { return unreadable_; }
    // Whether the end was met, with what it tells. Nothing may follow it.
    bool Ended() const { return ended_; }
    std::uint64_t EndLines() const { return endLines_; }
    std::uint64_t EndBytes() const { return endBytes_; }

private:
    bool ReadNumber(std::uint64_t& number);
    bool NextEarlier(RegistryLine& line);

    std::string_view record_;
    std::size_t at_ = 0;
    bool damaged_ = false;
    bool earlier_ = false;
    bool ended_ = false;
    std::uint64_t endLines_ = 0, endBytes_ = 0;
    std::vector<std::string_view> unreadable_;
};

// Whether a record is this build's and says that its pass ran to its end over a baseline of
// baselineBytes: read whole, undamaged, its end's counts those of its lines and of the baseline.
BaselineState RegistryRecordState(std::string_view record, std::uint64_t baselineBytes);

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
