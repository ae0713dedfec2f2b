#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/change_journal.h"
#include "snapshot/changed_values.h"
#include "snapshot/registry_lines.h"

class BaselineIndex;
class PlaceSet;

// What a registry comparison left of its baseline: the lines the walk did not produce, sorted
// into removed entries and the old lines of changed values.

// A baseline line that the walk did not produce.
struct GoneLine {
    std::string_view line;
    RegistryLine entry;  // as the record tells; without a record, entry.value is false
    bool split = false;  // entry is known: the line splits into key path, name and text
};

// Every line of the baseline that the walk did not produce, but those below keys that a step
// could not read (what the baseline holds there is not known to be gone) and those of values a
// comparison never reports. lineRecord: the record of the baseline's lines, or empty.
std::vector<GoneLine> GoneLines(const BaselineIndex& baseline, std::string_view lineRecord,
                                std::string_view rootPrefix, const PlaceSet& unknown);

// Pairs new values with the gone lines they change: by key path and name, as Windows compares
// them, where the record tells them, else as well as the lines allow (ChangedValueMatcher).
class ValuePairing {
public:
    // recorded: the gone lines are split as their record tells.
    ValuePairing(const std::vector<GoneLine>& gone, bool recorded);

    // The gone line that the new value whose line starts with start ("key\name=") changes,
    // now taken; ChangedValueMatcher::kNone when it changes none. A name that came through
    // exactly never pairs with one that did not.
    std::size_t Pair(std::string_view start, bool exact);
    bool Taken(std::size_t line) const { return guess_ ? guess_->Taken(line) : taken_[line]; }

private:
    std::optional<ChangedValueMatcher> guess_;
    std::unordered_map<std::string, std::size_t> byStart_;
    std::vector<bool> taken_;
};

// A changed or removed value's old type and data, when its baseline gives them back exactly.
void TakeOldData(const GoneLine& gone, bool recorded, OldData& old, std::uint32_t& type,
                 std::string& data);
