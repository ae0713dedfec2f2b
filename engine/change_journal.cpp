#include "engine/change_journal.h"

#include "text/leb128.h"

namespace {

void AppendBytes(std::string& out, std::string_view bytes) {
    AppendLeb128(out, bytes.size());
    out += bytes;
}

enum Flag : std::uint8_t { kNoise = 1, kExactName = 2, kNewDataExact = 4 };
constexpr std::uint8_t kLastKind = static_cast<std::uint8_t>(JournalKind::RenamedFolder);
constexpr std::uint8_t kLastOld = static_cast<std::uint8_t>(OldData::NotExact);

// Reads from the front of bytes; false when they run out or a number runs past 64 bits.
class Cursor {
public:
    explicit Cursor(std::string_view bytes) : bytes_(bytes) {}

    bool Byte(std::uint8_t& byte) {
        if (at_ == bytes_.size()) return false;
        byte = static_cast<std::uint8_t>(bytes_[at_++]);
        return true;
    }
    bool Number(std::uint64_t& number, bool& tooLong) {
        const Leb128Read read = ReadLeb128(bytes_, at_, number);
        tooLong |= read == Leb128Read::TooLong;
        return read == Leb128Read::Done;
    }
    bool Bytes(std::string& out, bool& tooLong) {
        std::uint64_t size = 0;
        if (!Number(size, tooLong) || size > bytes_.size() - at_) return false;
        out.assign(bytes_.substr(at_, static_cast<std::size_t>(size)));
        at_ += static_cast<std::size_t>(size);
        return true;
    }
    std::size_t Used() const { return at_; }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

}  // namespace

void AppendJournalEntry(std::string& journal, const JournalEntry& entry) {
    journal += static_cast<char>(entry.kind);
    journal += static_cast<char>((entry.noise ? kNoise : 0) | (entry.exactName ? kExactName : 0) |
                                 (entry.newDataExact ? kNewDataExact : 0));
    journal += static_cast<char>(entry.old);
    AppendBytes(journal, entry.path);
    AppendBytes(journal, entry.name);
    AppendLeb128(journal, entry.newType);
    AppendBytes(journal, entry.newData);
    AppendLeb128(journal, entry.oldType);
    AppendBytes(journal, entry.oldData);
    AppendBytes(journal, entry.oldSpelling);
}

bool JournalParser::Next(std::string_view& bytes, JournalEntry& entry) {
    if (damaged_) return false;
    Cursor cursor(bytes);
    std::uint8_t kind = 0, flags = 0, old = 0;
    std::uint64_t newType = 0, oldType = 0;
    bool tooLong = false;
    const bool whole = cursor.Byte(kind) && cursor.Byte(flags) && cursor.Byte(old) &&
                       cursor.Bytes(entry.path, tooLong) && cursor.Bytes(entry.name, tooLong) &&
                       cursor.Number(newType, tooLong) && cursor.Bytes(entry.newData, tooLong) &&
                       cursor.Number(oldType, tooLong) && cursor.Bytes(entry.oldData, tooLong) &&
                       cursor.Bytes(entry.oldSpelling, tooLong);
    if (tooLong || (cursor.Used() >= 3 && (kind > kLastKind || old > kLastOld))) {
        damaged_ = true;
        return false;
    }
    if (!whole) return false;
    if (newType > 0xFFFFFFFFu || oldType > 0xFFFFFFFFu) {
        damaged_ = true;
        return false;
    }
    entry.kind = static_cast<JournalKind>(kind);
    entry.noise = (flags & kNoise) != 0;
    entry.exactName = (flags & kExactName) != 0;
    entry.newDataExact = (flags & kNewDataExact) != 0;
    entry.old = static_cast<OldData>(old);
    entry.newType = static_cast<std::uint32_t>(newType);
    entry.oldType = static_cast<std::uint32_t>(oldType);
    bytes.remove_prefix(cursor.Used());
    return true;
}
