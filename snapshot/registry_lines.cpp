#include "snapshot/registry_lines.h"

#include <cstring>

#include "text/leb128.h"

namespace {

bool At(std::string_view text, std::size_t offset, std::string_view part) {
    return offset <= text.size() && text.size() - offset >= part.size() &&
           std::memcmp(text.data() + offset, part.data(), part.size()) == 0;
}

}  // namespace

namespace {

constexpr std::uint64_t kKeyTag = 0, kInexactKeyTag = 1, kUnreadableTag = 2, kEndTag = 3,
                        kValueTag = 4;

}  // namespace

void AppendRegistryLine(std::string& record, const RegistryLine& line) {
    if (!line.value) {
        AppendLeb128(record, line.nameExact ? kKeyTag : kInexactKeyTag);
        AppendLeb128(record, line.length);
        return;
    }
    AppendLeb128(record, kValueTag + ((std::uint64_t{line.type} << 3) | (line.nameExact ? 4u : 0u) |
                                      (line.exact ? 2u : 0u) | (line.hexForm ? 1u : 0u)));
    AppendLeb128(record, line.length);
    AppendLeb128(record, line.keyEnd);
    AppendLeb128(record, line.nameLength);
}

void AppendUnreadableKey(std::string& record, std::string_view keyLine) {
    AppendLeb128(record, kUnreadableTag);
    AppendLeb128(record, keyLine.size());
    record.append(keyLine);
}

void AppendRecordEnd(std::string& record, std::uint64_t lines, std::uint64_t baselineBytes) {
    AppendLeb128(record, kEndTag);
    AppendLeb128(record, lines);
    AppendLeb128(record, baselineBytes);
}

RegistryLineReader::RegistryLineReader(std::string_view record) : record_(record) {
    const std::string_view header = record_.substr(0, kRegistryLinesHeader.size());
    earlier_ = header == kEarlierRegistryLinesHeader;
    if (header == kRegistryLinesHeader || earlier_) {
        at_ = kRegistryLinesHeader.size();
    } else {
        damaged_ = true;
        at_ = record_.size();
    }
}

bool RegistryLineReader::ReadNumber(std::uint64_t& number) {
    if (ReadLeb128(record_, at_, number) == Leb128Read::Done) return true;
    damaged_ = true;
    return false;
}

bool RegistryLineReader::NextEarlier(RegistryLine& line) {
    std::uint64_t length = 0, tag = 0;
    if (!ReadNumber(length) || !ReadNumber(tag)) return false;
    line = RegistryLine{};
    line.length = static_cast<std::size_t>(length);
    if (tag == 0) return true;
    const std::uint64_t bits = tag - 1;
    std::uint64_t keyEnd = 0, nameLength = 0;
    if ((bits >> 2) > 0xFFFFFFFFu || !ReadNumber(keyEnd) || !ReadNumber(nameLength) ||
        keyEnd >= length || nameLength >= length - keyEnd - 1) {
        damaged_ = true;
        return false;
    }
    line.value = true;
    line.type = static_cast<std::uint32_t>(bits >> 2);
    line.exact = (bits & 2) != 0;
    line.hexForm = (bits & 1) != 0;
    line.keyEnd = static_cast<std::size_t>(keyEnd);
    line.nameLength = static_cast<std::size_t>(nameLength);
    return true;
}

bool RegistryLineReader::Next(RegistryLine& line) {
    if (damaged_ || at_ == record_.size()) return false;
    if (earlier_) return NextEarlier(line);
    for (;;) {
        std::uint64_t tag = 0, length = 0;
        // Nothing follows the end.
        if (ended_ || !ReadNumber(tag) || !ReadNumber(length)) {
            damaged_ = true;
            return false;
        }
        if (tag == kUnreadableTag) {
            if (length > record_.size() - at_) {
                damaged_ = true;
                return false;
            }
            unreadable_.push_back(record_.substr(at_, static_cast<std::size_t>(length)));
            at_ += static_cast<std::size_t>(length);
        } else if (tag == kEndTag) {
            endLines_ = length;
            if (!ReadNumber(endBytes_)) return false;
            ended_ = true;
        } else {
            line = RegistryLine{};
            line.length = static_cast<std::size_t>(length);
            if (tag < kValueTag) {
                line.nameExact = tag == kKeyTag;
                return true;
            }
            const std::uint64_t bits = tag - kValueTag;
            std::uint64_t keyEnd = 0, nameLength = 0;
            if ((bits >> 3) > 0xFFFFFFFFu || !ReadNumber(keyEnd) || !ReadNumber(nameLength) ||
                keyEnd >= length || nameLength >= length - keyEnd - 1) {
                damaged_ = true;
                return false;
            }
            line.value = true;
            line.type = static_cast<std::uint32_t>(bits >> 3);
            line.nameExact = (bits & 4) != 0;
            line.exact = (bits & 2) != 0;
            line.hexForm = (bits & 1) != 0;
            line.keyEnd = static_cast<std::size_t>(keyEnd);
            line.nameLength = static_cast<std::size_t>(nameLength);
            return true;
        }
        if (at_ == record_.size()) return false;
    }
}

BaselineState RegistryRecordState(std::string_view record, std::uint64_t baselineBytes) {
    RegistryLineReader reader(record);
    if (reader.Earlier()) return BaselineState::Earlier;
    RegistryLine line;
    std::uint64_t lines = 0;
    while (reader.Next(line)) ++lines;
    return !reader.Damaged() && reader.Ended() && reader.EndLines() == lines &&
                   reader.EndBytes() == baselineBytes
               ? BaselineState::Whole
               : BaselineState::Incomplete;
}

bool MatchRegistryLines(std::string_view record, std::string_view text,
                        std::string_view rootPrefix, std::vector<std::size_t>& joins) {
    joins.clear();
    RegistryLineReader reader(record);
    RegistryLine line;
    std::size_t start = 0;
    while (reader.Next(line)) {
        if (line.length > text.size() - start || text.size() - start - line.length < 2) {
            return false;
        }
        const std::size_t end = start + line.length;
        if (!At(text, end, "\r\n") || !At(text, start, rootPrefix)) return false;
        if (line.value && (text[start + line.keyEnd] != '\\' ||
                           text[start + line.NameEnd() - 1] != '=')) {
            return false;
        }
        // CR LF inside the line: a value's text or name holds a line break.
        for (std::size_t at = start; at + 1 < end;) {
            const void* cr = std::memchr(text.data() + at, '\r', end - 1 - at);
            if (cr == nullptr) break;
            at = static_cast<std::size_t>(static_cast<const char*>(cr) - text.data());
            if (text[at + 1] == '\n') joins.push_back(at);
            ++at;
        }
        start = end + 2;
    }
    return !reader.Damaged() && start == text.size();
}

bool RegistryLineCursor::At(std::size_t offset, RegistryLine& line) {
    if (!started_) {
        if (!reader_.Next(current_)) return false;
        started_ = true;
    }
    while (start_ < offset) {
        start_ += current_.length + 2;
        if (!reader_.Next(current_)) return false;
    }
    if (start_ != offset) return false;
    line = current_;
    return true;
}
