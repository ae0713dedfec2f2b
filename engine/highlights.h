#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/reported_item.h"
#include "report/report_page.h"

// The changes the report's head shows first, those that start, trust or register something:
// one for each change, however many of the places that show it a pass saw it at (the user's
// own HKEY_USERS\<SID> is HKEY_CURRENT_USER).
class Highlights {
public:
    explicit Highlights(std::string_view userSid) : userSid_(userSid) {}

    // Adds item, whose entry in its section has the id anchor, or names its place at the
    // highlight of the same change.
    void Add(const ReportedItem& item, std::string_view anchor);
    const std::vector<ReportHighlight>& All() const { return highlights_; }

private:
    std::string userSid_;
    std::vector<ReportHighlight> highlights_;
    std::unordered_map<std::string, std::size_t> at_;  // by the change's portable place
};

// Whether a change of this category is among the highlights: noise never is.
inline bool IsHighlight(ChangeCategory category) {
    return category != ChangeCategory::None && category != ChangeCategory::Noise;
}
