#include "snapshot/registry_lines.h"

#include <cstring>

#include "text/leb128.h"

namespace {

bool At(std::string_view text, std::size_t offset, std::string_view part) {
    return offset <= text.size() && text.size() - offset >= part.size() &&
           std::memcmp(text.data() + offset, part.data(), part.size()) == 0;
}

}  // namespace

void AppendRegistryLine(std::string& record, const RegistryLine& line) {
    AppendLeb128(record, line.length);
    if (!line.value) {
        AppendLeb128(record, 0);
        return;
    }
    AppendLeb128(record, 1 + ((std::uint64_t{line.type} << 2) | (line.exact ? 2u : 0u) |
                              (line.hexForm ? 1u : 0u)));
    AppendLeb128(record, line.keyEnd);
    AppendLeb128(record, line.nameLength);
}

RegistryLineReader::RegistryLineReader(std::string_view record) : record_(record) {
    if (record_.substr(0, kRegistryLinesHeader.size()) == kRegistryLinesHeader) {
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

bool RegistryLineReader::Next(RegistryLine& line) {
    if (damaged_ || at_ == record_.size()) return false;
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
