#include "text/text.h"

#include <algorithm>
#include <cstring>

#include "text/ascii.h"

namespace {

// Token positions of a drive list that count: one for each drive letter.
constexpr int kMaxDriveTokens = 26;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Bytes of the UTF-8 sequence that starts with c, as its lead byte announces.
std::size_t SequenceLength(char c) {
    const unsigned char lead = static_cast<unsigned char>(c);
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

}  // namespace

std::size_t FindNoCase(std::string_view text, std::string_view pattern) {
    if (text.empty() || pattern.empty() || pattern.size() > text.size()) {
        return kNotFound;
    }
    const std::size_t last = text.size() - pattern.size();
    for (std::size_t at = 0; at <= last; ++at) {
        std::size_t i = 0;
        while (i < pattern.size() && LowerAscii(text[at + i]) == LowerAscii(pattern[i])) {
            ++i;
        }
        if (i == pattern.size()) {
            return at;
        }
    }
    return kNotFound;
}

std::string GetToken(std::string_view text, std::string_view separator, int index) {
    if (text.empty() || separator.empty() || index < 0) {
        return {};
    }
    std::size_t pos = 0;
    for (int skipped = 0; skipped < index; ++skipped) {
        const std::size_t found = FindNoCase(text.substr(pos), separator);
        if (found == kNotFound) {
            return {};
        }
        pos += found + separator.size();
    }
    // Ended by the same comparison that skipped to it, so that no text falls between tokens.
    const std::string_view rest = text.substr(pos);
    return std::string(rest.substr(0, FindNoCase(rest, separator)));
}

void ReplaceOccurrence(std::string& text, std::string_view find, std::string_view replacement,
                       int count) {
    if (text.empty() || find.empty() || count < 0) {
        return;
    }
    // Built into a new string so that replacing every "%" of a long text stays linear.
    std::string result;
    bool changed = false;
    std::size_t copied = 0;  // text before this is already in result
    std::size_t searchFrom = 0;
    for (int occurrence = 1;; ++occurrence) {
        std::size_t found = FindNoCase(std::string_view(text).substr(searchFrom), find);
        if (found == kNotFound) {
            break;
        }
        found += searchFrom;
        searchFrom = found + find.size();
        if (count == 0 || occurrence == count) {
            result.append(text, copied, found - copied);
            result.append(replacement);
            copied = searchFrom;
            changed = true;
            if (count != 0) {
                break;
            }
        }
    }
    if (changed) {
        result.append(text, copied, std::string::npos);
        text = std::move(result);
    }
}

bool IsDriveLetter(std::string_view place) {
    return place.size() == 2 && place[1] == ':' && IsAsciiLetter(place[0]);
}

std::vector<std::string> SearchPatternsFromDriveList(std::string_view driveList) {
    const std::string_view separator =
        driveList.find(',') != std::string_view::npos ? std::string_view(",") : " ";
    std::vector<std::string> patterns;
    for (int position = 0; position < kMaxDriveTokens; ++position) {
        std::string token = GetToken(driveList, separator, position);
        if (token.empty()) continue;
        // A path after the drive letter still means the whole drive.
        if (const auto colon = token.find(':'); colon != std::string::npos) token.resize(colon + 1);
        // Baselines compare paths exactly: "c:" and "C:" must give the same lines.
        if (IsDriveLetter(token)) token[0] = UpperAscii(token[0]);
        token += "\\*.*";
        const bool named = std::any_of(patterns.begin(), patterns.end(), [&](const auto& seen) {
            return seen.size() == token.size() && FindNoCase(seen, token) == 0;
        });
        if (!named) patterns.push_back(std::move(token));
    }
    return patterns;
}

void UpperCaseDriveLetters(char* text, std::size_t size) {
    for (std::size_t line = 0; line < size;) {
        char* start = text + line;
        if (size - line >= 3 && start[1] == ':' && start[2] == '\\' && IsAsciiLetter(start[0])) {
            start[0] = UpperAscii(start[0]);
        }
        const void* end = std::memchr(start, '\n', size - line);
        if (end == nullptr) break;
        line = static_cast<std::size_t>(static_cast<const char*>(end) - text) + 1;
    }
}

std::size_t NextNarrowPiece(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    if (!IsContinuationByte(text[limit])) {
        return limit;
    }
    // The sequence that the mark interrupts starts at the last byte before it that is not a
    // continuation byte; stray continuation bytes may stand between, and then nothing crosses.
    for (std::size_t back = 1; back <= 3 && back < limit; ++back) {
        const char c = text[limit - back];
        if (!IsContinuationByte(c)) {
            return SequenceLength(c) > back ? limit - back : limit;
        }
    }
    return limit;
}

std::size_t NextWidePiece(std::wstring_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    const wchar_t last = text[limit - 1];
    return limit > 1 && last >= 0xD800 && last <= 0xDBFF ? limit - 1 : limit;
}

bool IsWholeUtf16(std::u16string_view units) {
    const auto high = [](char16_t u) { return u >= 0xD800 && u <= 0xDBFF; };
    const auto low = [](char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (high(units[i]) && i + 1 < units.size() && low(units[i + 1])) {
            ++i;
        } else if (high(units[i]) || low(units[i])) {
            return false;
        }
    }
    return true;
}

bool StringTextLosesData(const unsigned char* bytes, std::size_t size) {
    std::u16string units;
    std::size_t at = 0;
    for (; at + 1 < size; at += 2) {
        const char16_t unit = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8));
        if (unit == u'\0') break;
        units += unit;
    }
    const std::size_t rest = size - at;
    return rest > 2 || (rest == 1 && bytes[at] != 0) || !IsWholeUtf16(units);
}
