#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/change_rules.h"
#include "engine/reported_item.h"

// What a reported change means, as the rule table words it.

// The values of some keys, by key path and name, for the words of what a key's change means:
// a new service's words name its program, which is one of its values.
class KeyValues {
public:
    // Keeps the values of this key from now on.
    void Watch(std::string_view keyPath) { keys_[std::string(keyPath)]; }
    bool Empty() const { return keys_.empty(); }
    // Keeps a value's text when its key is watched.
    void Note(std::string_view keyPath, std::string_view name, std::string_view text);
    // The text of a value of keyPath by its name; empty when the key is not watched.
    std::function<std::optional<std::string_view>(std::string_view)> Of(
        std::string_view keyPath) const;

private:
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> keys_;
};

// A removed line of a baseline of an earlier build, which cannot be split for sure: a value's
// when something after its last "\" holds "=", which is as near as the line can tell.
Classification ClassifyEntryLine(const ChangeClassifier& classifier, std::string_view line);

// Fills in item's meaning from its rule, if it has one.
void DescribeItem(ReportedItem& item, const MeaningContext& context);
