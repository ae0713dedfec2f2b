#include "report/reg_file.h"

#include "text/text.h"

#include "report/writer_text.h"

namespace {

// The value types of the registry, as numbers: this file needs no Windows header.
constexpr std::uint32_t kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4,
                        kRegMultiSz = 7;

// The types with a notation of their own, where their data fits it; every other value is hex.
enum class Notation { Hex, PlainString, Dword };
constexpr struct {
    std::uint32_t type;
    Notation notation;
} kOwnNotations[] = {
    {kRegSz, Notation::PlainString},  // when the data is text and one terminator
    {kRegDword, Notation::Dword},     // when the data is 4 bytes
};

Notation NotationOf(std::uint32_t type) {
    for (const auto& row : kOwnNotations) {
        if (row.type == type) return row.notation;
    }
    return Notation::Hex;
}

// String types whose data reg import ends with a zero character when it does not end in one
// (and whose single byte it fails on): only data that is empty or so ended comes back exactly.
constexpr std::uint32_t kTerminatedOnImport[] = {kRegSz, kRegExpandSz, kRegMultiSz};

constexpr char kHexDigits[] = "0123456789abcdef";

// regedit wraps a hex line once it reaches this many characters after a comma, so that with
// the "\" a line holds at most 80; the next line starts with two blanks.
constexpr std::size_t kWrapColumn = 77;

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

std::string TypeInHex(std::uint32_t type) {
    std::string digits;
    do {
        digits.insert(digits.begin(), kHexDigits[type & 0xF]);
        type >>= 4;
    } while (type != 0);
    return digits;
}

// "hex:" or "hex(N):" as the type's hex form begins: binary data alone goes without its type.
std::string HexTag(std::uint32_t type) {
    return type == kRegBinary ? std::string("hex:") : "hex(" + TypeInHex(type) + "):";
}

char16_t UnitAt(std::span<const std::uint8_t> data, std::size_t i) {
    return static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Whether the data reads back from "text": well-formed UTF-16 without line breaks or zeros,
// then one zero.
bool IsPlainString(std::span<const std::uint8_t> data) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    const std::size_t units = data.size() / 2;
    if (UnitAt(data, units - 1) != 0) return false;
    for (std::size_t i = 0; i + 1 < units; ++i) {
        const char16_t unit = UnitAt(data, i);
        if (unit == 0 || unit == u'\r' || unit == u'\n' || IsLowSurrogate(unit)) return false;
        if (IsHighSurrogate(unit)) {
            if (i + 2 >= units || !IsLowSurrogate(UnitAt(data, i + 1))) return false;
            ++i;
        }
    }
    return true;
}

bool HoldsAny(std::string_view text, std::string_view bytes) {
    return text.find_first_of(bytes) != std::string_view::npos;
}

bool HexDigit(char c, unsigned& value) {
    if (c >= '0' && c <= '9') {
        value = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
        value = static_cast<unsigned>(c - 'a' + 10);
    } else {
        return false;
    }
    return true;
}

bool DataFromHexText(std::uint32_t type, std::string_view text, std::vector<std::uint8_t>& data) {
    // No data at all is the empty text, of any type.
    if (text.empty()) return true;
    const std::string tag = HexTag(type);
    if (!text.starts_with(tag)) return false;
    text.remove_prefix(tag.size());
    // "xx" and then ",xx" for each further byte.
    if (text.size() % 3 != 2) return false;
    data.reserve(text.size() / 3 + 1);
    for (std::size_t i = 0; i < text.size(); i += 3) {
        unsigned high, low;
        if (!HexDigit(text[i], high) || !HexDigit(text[i + 1], low)) return false;
        if (i + 2 < text.size() && text[i + 2] != ',') return false;
        data.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    // A 4-byte number shows as decimal, and a string as text unless that would lose data.
    if (type == kRegSz || type == kRegExpandSz) return StringTextLosesData(data.data(), data.size());
    return type != kRegDword || data.size() != 4;
}

bool DataFromDecimal(std::string_view text, std::vector<std::uint8_t>& data) {
    const bool negative = text.starts_with('-');
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 10 || (text[0] == '0' && (text.size() > 1 || negative))) {
        return false;
    }
    std::int64_t magnitude = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
    }
    if (magnitude > (negative ? 0x80000000LL : 0x7FFFFFFFLL)) return false;
    const auto value = static_cast<std::uint32_t>(negative ? -magnitude : magnitude);
    for (int shift = 0; shift < 32; shift += 8) {
        data.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return true;
}

bool DataFromString(std::string_view text, std::vector<std::uint8_t>& data) {
    const auto unit = [&](char16_t u) {
        data.push_back(static_cast<std::uint8_t>(u & 0xFF));
        data.push_back(static_cast<std::uint8_t>(u >> 8));
    };
    for (std::size_t i = 0; i < text.size();) {
        const Utf8Char c = DecodeUtf8(text, i);
        if (c.length == 0 || c.codePoint == 0) return false;
        PutUtf16(c.codePoint, unit);
        i += c.length;
    }
    unit(0);
    return true;
}

}  // namespace

bool RegFileCanHoldKey(std::string_view path) {
    return !path.empty() && !HoldsAny(path, std::string_view("\r\n\0", 3));
}

bool RegFileCanHoldValueName(std::string_view name) {
    return name.find('\0') == std::string_view::npos;
}

bool RegFileCanHoldValueData(std::uint32_t type, std::span<const std::uint8_t> data) {
    for (const std::uint32_t terminated : kTerminatedOnImport) {
        if (type == terminated && !data.empty()) {
            return data.size() % 2 == 0 && UnitAt(data, data.size() / 2 - 1) == 0;
        }
    }
    return true;
}

RegFileWriter::RegFileWriter(ByteSink sink) : PieceWriter(std::move(sink)) {
    piece_ = "\xFF\xFE";
    PutAscii(kHeader);
    EndLine();
    Emit();
}

void RegFileWriter::PutUnit(char16_t unit) {
    piece_ += static_cast<char>(unit & 0xFF);
    piece_ += static_cast<char>(unit >> 8);
    ++lineUnits_;
}

void RegFileWriter::PutAscii(std::string_view text) {
    for (const char c : text) PutUnit(static_cast<char16_t>(c));
}

void RegFileWriter::PutText(std::string_view utf8, bool escape) {
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Char c = DecodeUtf8(utf8, i);
        i += c.length == 0 ? 1 : c.length;
        const char32_t code =
            c.length == 0 || c.codePoint == 0 ? kReplacementCharacter : c.codePoint;
        if (escape) {
            switch (code) {
                case U'\\': PutAscii("\\\\"); continue;
                case U'"': PutAscii("\\\""); continue;
                case U'\r': PutAscii("\\r"); continue;
                case U'\n': PutAscii("\\n"); continue;
                default: break;
            }
        }
        PutUtf16(code, [&](char16_t unit) { PutUnit(unit); });
    }
}

void RegFileWriter::EndLine() {
    PutAscii("\r\n");
    lineUnits_ = 0;
}

void RegFileWriter::Comment(std::string_view text) {
    ForEachLine(text, [&](std::string_view line) {
        PutAscii(line.empty() ? ";" : "; ");
        PutText(line, false);
        EndLine();
    });
    Emit();
}

bool RegFileWriter::Section(std::string_view path, bool remove) {
    if (!RegFileCanHoldKey(path)) {
        skipping_ = true;
        Comment(std::string(remove ? "Key not deleted" : "Key left out with its values") +
                " (no section can name a key path with a line break):\n" + std::string(path));
        return false;
    }
    skipping_ = false;
    EndLine();
    PutAscii(remove ? "[-" : "[");
    PutText(path, false);
    PutAscii("]");
    EndLine();
    return Emit();
}

bool RegFileWriter::Key(std::string_view path) { return Section(path, false); }

bool RegFileWriter::DeleteKey(std::string_view path) { return Section(path, true); }

void RegFileWriter::PutName(std::string_view name) {
    if (name.empty()) {
        PutAscii("@=");
        return;
    }
    PutAscii("\"");
    PutText(name, true);
    PutAscii("\"=");
}

void RegFileWriter::PutByte(std::uint8_t byte) {
    PutUnit(static_cast<char16_t>(kHexDigits[byte >> 4]));
    PutUnit(static_cast<char16_t>(kHexDigits[byte & 0xF]));
}

void RegFileWriter::PutHex(std::uint32_t type, std::span<const std::uint8_t> data) {
    PutAscii(HexTag(type));
    for (std::size_t i = 0; i < data.size(); ++i) {
        PutByte(data[i]);
        if (i + 1 == data.size()) break;
        PutUnit(u',');
        if (lineUnits_ >= kWrapColumn) {
            PutUnit(u'\\');
            EndLine();
            PutAscii("  ");
        }
    }
}

bool RegFileWriter::Value(std::string_view name, std::uint32_t type,
                          std::span<const std::uint8_t> data) {
    if (skipping_ || !Ok()) return false;
    if (!RegFileCanHoldValueName(name)) {
        Comment("Value left out (a value name cannot hold a zero character):\n" +
                std::string(name));
        return false;
    }
    if (!RegFileCanHoldValueData(type, data)) {
        Comment("Value left out (reg import would add a zero character to its data):\n" +
                std::string(name));
        return false;
    }
    PutName(name);
    const Notation notation = NotationOf(type);
    if (notation == Notation::PlainString && IsPlainString(data)) {
        PutUnit(u'"');
        for (std::size_t i = 0; i + 1 < data.size() / 2; ++i) {
            const char16_t unit = UnitAt(data, i);
            if (unit == u'\\' || unit == u'"') PutUnit(u'\\');
            PutUnit(unit);
        }
        PutUnit(u'"');
    } else if (notation == Notation::Dword && data.size() == 4) {
        PutAscii("dword:");
        for (std::size_t i = 4; i-- > 0;) PutByte(data[i]);
    } else {
        PutHex(type, data);
    }
    EndLine();
    return Emit();
}

bool RegFileWriter::DeleteValue(std::string_view name) {
    if (skipping_ || !Ok()) return false;
    if (!RegFileCanHoldValueName(name)) {
        Comment("Value not deleted (a value name cannot hold a zero character):\n" +
                std::string(name));
        return false;
    }
    PutName(name);
    PutAscii("-");
    EndLine();
    return Emit();
}

bool DataFromValueText(std::uint32_t type, std::string_view text, bool hexForm,
                       std::vector<std::uint8_t>& data) {
    data.clear();
    bool ok;
    if (hexForm) {
        ok = DataFromHexText(type, text, data);
    } else if (type == kRegSz || type == kRegExpandSz) {
        ok = DataFromString(text, data);
    } else if (text.empty()) {
        ok = true;
    } else {
        ok = type == kRegDword && DataFromDecimal(text, data);
    }
    if (!ok) data.clear();
    return ok;
}
