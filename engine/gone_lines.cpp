#include "engine/gone_lines.h"

#include "report/reg_file.h"
#include "snapshot/baseline_index.h"
#include "snapshot/path_identity.h"
#include "snapshot/place_set.h"
#include "snapshot/registry_walker.h"

namespace {

// A removed registry line runs over the records that follow its first one up to the next
// record that starts with the root's name: a value text can hold CR LF.
std::size_t LineLength(std::string_view text, std::size_t offset, std::string_view rootPrefix) {
    std::size_t end = offset;
    for (;;) {
        end = text.find("\r\n", end);
        if (end == std::string_view::npos) return text.size() - offset;
        if (end + 2 >= text.size() || text.substr(end + 2).starts_with(rootPrefix)) {
            return end - offset;
        }
        end += 2;
    }
}

// Without a record only the text tells: a line that holds "\<name>=" may be such a value's.
bool MayBeNeverReported(std::string_view line) {
    static const std::vector<std::string> patterns = [] {
        std::vector<std::string> all;
        for (std::string_view name : kNeverReportedValues) {
            std::string pattern(1, '\\');
            pattern.append(name).push_back('=');
            all.push_back(std::move(pattern));
        }
        return all;
    }();
    for (const std::string& pattern : patterns) {
        if (line.find(pattern) != std::string_view::npos) return true;
    }
    return false;
}

std::string StartIdentity(std::string_view start, bool exact) {
    return PathIdentity(start) + (exact ? '+' : '-');
}

}  // namespace

std::vector<GoneLine> GoneLines(const BaselineIndex& baseline, std::string_view lineRecord,
                                std::string_view rootPrefix, const PlaceSet& unknown) {
    const std::string_view text = baseline.Text();
    std::vector<GoneLine> gone;
    if (!lineRecord.empty()) {
        RegistryLineCursor cursor(lineRecord);
        baseline.ForEachUnseen([&](std::size_t offset, std::string_view line) {
            GoneLine item{line, {}, true};
            if (!cursor.At(offset, item.entry) || unknown.Covers(line)) return;
            if (item.entry.value &&
                IsNeverReportedValue(line.substr(item.entry.keyEnd + 1, item.entry.nameLength))) {
                return;
            }
            gone.push_back(item);
        });
        return gone;
    }
    baseline.ForEachUnseen([&](std::size_t offset, std::string_view record) {
        if (!record.starts_with(rootPrefix)) return;  // a later piece of a value text
        if (MayBeNeverReported(record)) return;
        const std::string_view line = text.substr(offset, LineLength(text, offset, rootPrefix));
        if (!unknown.Covers(line)) gone.push_back({line, {}, false});
    });
    return gone;
}

ValuePairing::ValuePairing(const std::vector<GoneLine>& gone, bool recorded)
    : taken_(gone.size(), false) {
    if (!recorded) {
        std::vector<std::string_view> lines;
        lines.reserve(gone.size());
        for (const GoneLine& item : gone) lines.push_back(item.line);
        guess_.emplace(std::move(lines));
        return;
    }
    for (std::size_t i = 0; i < gone.size(); ++i) {
        const RegistryLine& entry = gone[i].entry;
        if (entry.value) {
            byStart_.emplace(StartIdentity(gone[i].line.substr(0, entry.NameEnd()), entry.nameExact),
                             i);
        }
    }
}

std::size_t ValuePairing::Pair(std::string_view start, bool exact) {
    if (guess_) return guess_->Pair(start);
    const auto found = byStart_.find(StartIdentity(start, exact));
    if (found == byStart_.end() || taken_[found->second]) return ChangedValueMatcher::kNone;
    taken_[found->second] = true;
    return found->second;
}

void TakeOldData(const GoneLine& gone, bool recorded, OldData& old, std::uint32_t& type,
                 std::string& data) {
    old = OldData::TypeUnknown;
    if (!recorded || !gone.entry.value) return;
    old = OldData::NotExact;
    std::vector<std::uint8_t> bytes;
    if (!gone.entry.exact ||
        !DataFromValueText(gone.entry.type, gone.line.substr(gone.entry.NameEnd()),
                           gone.entry.hexForm, bytes)) {
        return;
    }
    old = OldData::Exact;
    type = gone.entry.type;
    data.assign(bytes.begin(), bytes.end());
}
