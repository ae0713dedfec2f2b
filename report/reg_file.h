#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "report/piece_writer.h"

// Registry files in regedit's notation, for regedit or "reg import" on any machine: UTF-16 LE
// with a byte order mark, CR LF line ends, "Windows Registry Editor Version 5.00" and a blank
// line, then sections [key path] each followed by its values. Plain C++: texts come in UTF-8
// (a byte that is no UTF-8 becomes U+FFFD), and each call hands its bytes to the sink at once.
//
// Value names and strings are escaped as reg import reads them back: \ as \\, " as \", and a
// line break as \r or \n. A key path has no escapes (the section ends at its last "]", so a "]"
// in a key name is fine), and a value name cannot hold a zero character: what no notation can
// bring back is refused, see below.

// Whether a section can name this key: not when the path holds a line break or a zero
// character, or is empty.
bool RegFileCanHoldKey(std::string_view path);
// Whether a value of this name can be written: not when the name holds a zero character.
bool RegFileCanHoldValueName(std::string_view name);
// Whether reg import brings back this data exactly: not for a string, expandable string or
// multi-string whose data is not empty and does not end in a zero character (two zero bytes
// at an even offset), since reg import adds one (and fails on a single byte).
bool RegFileCanHoldValueData(std::uint32_t type, std::span<const std::uint8_t> data);

// Its pieces are UTF-16 LE bytes.
class RegFileWriter : public PieceWriter {
public:
    explicit RegFileWriter(ByteSink sink);  // writes the byte order mark and the header

    // One "; ..." line per line of text.
    void Comment(std::string_view text);
    // A blank line, then [path] (values follow) or [-path] (the key and all below it go). A
    // path that RegFileCanHoldKey refuses is written as a comment instead, and the values
    // that follow are left out up to the next section: false.
    bool Key(std::string_view path);
    bool DeleteKey(std::string_view path);
    // "name"= (@= for the default value, name "") and the data in regedit's notation: a plain
    // string for a REG_SZ whose data is well-formed UTF-16 text, one terminating zero and no
    // line break; dword: for a REG_DWORD of 4 bytes; hex: for REG_BINARY; else hex(N): with N
    // the type in lower-case hex, wrapped as regedit wraps it (at most 80 characters a line,
    // unless the name alone is longer). False when nothing was written: a name or data that
    // RegFileCanHoldValueName or RegFileCanHoldValueData refuses (written as a comment), a value of
    // a refused key, or a refusing sink.
    bool Value(std::string_view name, std::uint32_t type, std::span<const std::uint8_t> data);
    // "name"=-   (@=- for the default value)
    bool DeleteValue(std::string_view name);

private:
    void PutAscii(std::string_view text);
    void PutUnit(char16_t unit);
    void PutText(std::string_view utf8, bool escape);
    void PutName(std::string_view name);
    void PutByte(std::uint8_t byte);  // two lower-case hex digits
    void PutHex(std::uint32_t type, std::span<const std::uint8_t> data);
    void EndLine();
    bool Section(std::string_view path, bool remove);

    std::size_t lineUnits_ = 0;
    bool skipping_ = false;  // in the section of a refused key
};

// The data that a baseline line's value text stands for, when the text gives it back exactly:
// hexForm: "hex:..." (REG_BINARY) or "hex(N):..." with N the type in lower-case hex, two hex
// digits a byte separated by commas; otherwise by type: REG_SZ and REG_EXPAND_SZ are the text
// (UTF-8) as UTF-16 LE with one terminating zero character, REG_DWORD is signed decimal
// ("-1" = ff,ff,ff,ff) as 4 bytes little-endian. False when the text cannot be such data
// (bad hex, wrong N, a number out of range, invalid UTF-8, a type not rendered as text).
//
// Exactly means: the baseline renders the data as this very text. So the forms the baseline
// never writes are refused too: upper-case or missing hex digits, "hex(1):" and "hex(2):" of
// a string that text shows whole, a 4-byte "hex(4):" (rendered as a number), "+1", "007",
// "-0", a text holding a zero character. An empty text is no data of any type (for strings in
// text form: the terminator alone).
bool DataFromValueText(std::uint32_t type, std::string_view text, bool hexForm,
                       std::vector<std::uint8_t>& data);
