#include "snapshot/changed_values.h"

#include <algorithm>
#include <functional>

ChangedValueMatcher::ChangedValueMatcher(std::vector<std::string_view> gone)
    : gone_(std::move(gone)), taken_(gone_.size(), false) {
    const std::hash<std::string_view> hash;
    for (std::size_t i = 0; i < gone_.size(); ++i) {
        const std::string_view line = gone_[i];
        for (std::size_t at = line.find('='); at != std::string_view::npos;
             at = line.find('=', at + 1)) {
            starts_.emplace_back(hash(line.substr(0, at + 1)), i);
        }
    }
    // By hash, then in baseline order.
    std::sort(starts_.begin(), starts_.end());
}

std::size_t ChangedValueMatcher::Pair(std::string_view start) {
    const std::size_t key = std::hash<std::string_view>()(start);
    auto candidate = std::lower_bound(starts_.begin(), starts_.end(),
                                      std::pair<std::size_t, std::size_t>(key, 0));
    for (; candidate != starts_.end() && candidate->first == key; ++candidate) {
        const std::size_t line = candidate->second;
        if (!taken_[line] && gone_[line].substr(0, start.size()) == start) {
            taken_[line] = true;
            ++takenCount_;
            return line;
        }
    }
    return kNone;
}
