#include "fuzz/reference.h"

namespace reference {

std::vector<std::string> Fields(std::string_view input) {
    std::vector<std::string> fields(1);
    for (char c : input) {
        if (static_cast<unsigned char>(c) == 0xFE) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string Printable(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            out += escape;
        }
    }
    return out;
}

namespace {

// Each byte's folded form, from the two alphabets: every byte but A-Z stays itself.
struct FoldTable {
    char folded[256];
    FoldTable() {
        for (int b = 0; b < 256; ++b) folded[b] = static_cast<char>(b);
        const std::string_view upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        const std::string_view lower = "abcdefghijklmnopqrstuvwxyz";
        for (std::size_t i = 0; i < upper.size(); ++i) {
            folded[static_cast<unsigned char>(upper[i])] = lower[i];
        }
    }
};

char Lower(char c) {
    static const FoldTable table;
    return table.folded[static_cast<unsigned char>(c)];
}

bool MatchesAt(std::string_view text, std::size_t at, std::string_view pattern) {
    if (at + pattern.size() > text.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (Lower(text[at + i]) != Lower(pattern[i])) return false;
    }
    return true;
}

}  // namespace

std::size_t Find(std::string_view text, std::string_view pattern) {
    if (text.empty() || pattern.empty()) return std::string_view::npos;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (MatchesAt(text, at, pattern)) return at;
    }
    return std::string_view::npos;
}

std::vector<std::string> Tokens(std::string_view text, std::string_view separator) {
    std::vector<std::string> tokens;
    if (text.empty() || separator.empty()) return tokens;
    std::string token;
    for (std::size_t at = 0; at < text.size();) {
        if (MatchesAt(text, at, separator)) {
            tokens.push_back(token);
            token.clear();
            at += separator.size();
        } else {
            token += text[at++];
        }
    }
    tokens.push_back(token);
    return tokens;
}

std::string Replace(std::string text, std::string_view find, std::string_view replacement,
                    int count) {
    if (text.empty() || find.empty() || count < 0) return text;
    std::string result;
    int occurrence = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (MatchesAt(text, at, find)) {
            ++occurrence;
            if (count == 0 || occurrence == count) {
                result += replacement;
            } else {
                result.append(text, at, find.size());
            }
            at += find.size();
        } else {
            result += text[at++];
        }
    }
    return result;
}

std::vector<std::string> DrivePatterns(std::string_view list) {
    const std::string separator = list.find(',') != std::string_view::npos ? "," : " ";
    const std::vector<std::string> tokens = Tokens(list, separator);
    std::vector<std::string> patterns;
    for (std::size_t position = 0; position < 26 && position < tokens.size(); ++position) {
        std::string token = tokens[position];
        if (token.empty()) continue;
        const std::size_t colon = token.find(':');
        if (colon != std::string::npos) token.erase(colon + 1);
        const char upper = static_cast<char>(Lower(token[0]) - 'a' + 'A');
        if (token.size() == 2 && token[1] == ':' && upper >= 'A' && upper <= 'Z') token[0] = upper;
        bool named = false;
        for (const std::string& earlier : patterns) {
            named = named || (earlier.size() == token.size() + 4 && MatchesAt(earlier, 0, token));
        }
        if (!named) patterns.push_back(token + "\\*.*");
    }
    return patterns;
}

Baseline IndexBaseline(std::string_view text, bool filePaths) {
    Baseline baseline;
    auto add = [&](std::size_t offset, std::string_view record) {
        Record r{offset, std::string(record), true, std::string(record)};
        if (filePaths) {
            const std::size_t comma = record.rfind(',');
            std::string_view number =
                comma == std::string_view::npos ? std::string_view() : record.substr(comma + 1);
            if (!number.empty() && number[0] == '-') number.remove_prefix(1);
            r.hasKey =
                !number.empty() && number.find_first_not_of("0123456789") == std::string_view::npos;
            r.key = r.hasKey ? std::string(record.substr(0, comma)) : std::string();
        }
        if (r.hasKey) baseline.firstOffset.emplace(Folded(r.key), offset);
        baseline.records.push_back(std::move(r));
    };
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string_view::npos;
         start = end + 2) {
        add(start, text.substr(start, end - start));
    }
    if (start < text.size()) add(start, text.substr(start));
    return baseline;
}

namespace {

// Which bytes may follow a lead byte at each place of its sequence (Unicode's table of
// well-formed UTF-8): the second byte's range depends on the lead, later ones are 80..BF.
struct Lead {
    int length;
    unsigned char secondLow, secondHigh;
};

Lead LeadOf(unsigned char b) {
    if (b < 0x80) return {1, 0, 0};
    if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
    if (b == 0xE0) return {3, 0xA0, 0xBF};
    if (b == 0xED) return {3, 0x80, 0x9F};
    if (b >= 0xE1 && b <= 0xEF) return {3, 0x80, 0xBF};
    if (b == 0xF0) return {4, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
    if (b == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};  // never starts a sequence
}

// How many bytes from at form the longest well-formed start of a sequence (0 for a byte that
// starts none), the bits they carry, and whether they are the whole sequence.
std::size_t StartOfSequence(std::string_view text, std::size_t at, char32_t& c, bool& whole) {
    const unsigned char b = static_cast<unsigned char>(text[at]);
    const Lead lead = LeadOf(b);
    std::size_t good = lead.length == 0 ? 0 : 1;
    c = lead.length == 1   ? b
        : lead.length == 2 ? (b & 0x1F)
        : lead.length == 3 ? (b & 0x0F)
                           : (b & 0x07);
    while (good > 0 && good < static_cast<std::size_t>(lead.length) && at + good < text.size()) {
        const unsigned char next = static_cast<unsigned char>(text[at + good]);
        const unsigned char low = good == 1 ? lead.secondLow : 0x80;
        const unsigned char high = good == 1 ? lead.secondHigh : 0xBF;
        if (next < low || next > high) break;
        c = (c << 6) | (next & 0x3F);
        ++good;
    }
    whole = good > 0 && good == static_cast<std::size_t>(lead.length);
    return good;
}

void PutCodePoint(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out += static_cast<char16_t>(c);
    } else {
        c -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (c >> 10));
        out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text, Replacement replacement) {
    std::u16string out;
    std::size_t at = 0;
    while (at < text.size()) {
        char32_t c = 0;
        bool whole = false;
        const std::size_t good = StartOfSequence(text, at, c, whole);
        if (whole) {
            PutCodePoint(out, c);
            at += good;
        } else {
            out += u'\uFFFD';
            at += replacement == Replacement::MaximalPart && good > 0 ? good : 1;
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view units) {
    std::string out;
    auto put = [&](char32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        const bool high = u >= 0xD800 && u <= 0xDBFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            put(0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{units[i + 1]} - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            put(0xFFFD);
        } else {
            put(u);
        }
    }
    return out;
}

namespace {

// The system's upper case of every code unit, read from the rows of text/case_table.inc as its
// header describes them.
struct UpperCase {
    char16_t of[0x10000];
    UpperCase() {
        struct Row {
            unsigned first, count, delta, stride;
        };
        static constexpr Row rows[] = {
#include "text/case_table.inc"
        };
        for (unsigned u = 0; u < 0x10000; ++u) of[u] = static_cast<char16_t>(u);
        for (const Row& row : rows) {
            for (unsigned i = 0; i < row.count; ++i) {
                const unsigned u = row.first + i * row.stride;
                of[u] = static_cast<char16_t>((u + row.delta) % 0x10000);
            }
        }
    }
};

}  // namespace

std::string Folded(std::string_view text) {
    static const UpperCase upper;
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        // The well-formed sequence at this byte, if there is one: as Utf8ToUtf16 reads it.
        char32_t c = 0;
        bool whole = false;
        const std::size_t good = StartOfSequence(text, at, c, whole);
        if (!whole) {
            out += text[at++];  // a byte of no character: itself
        } else if (c < 0x10000) {
            out += Utf16ToUtf8(std::u16string(1, upper.of[c]));
            at += good;
        } else {
            out += text.substr(at, good);  // beyond the BMP: itself
            at += good;
        }
    }
    return out;
}

}  // namespace reference
