#pragma once

#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

// Tells which new registry values of a comparison are old values changed: a new value changes a
// baseline line that the walk did not produce and that starts with the same key line, "\", name
// and "=". A line cannot always tell where its name ends (names may hold "=" and "\"), so every
// "=" of a gone line may end it; of several such lines a value takes the first in baseline
// order. Each gone line is taken once. Plain C++.
class ChangedValueMatcher {
public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    // gone: the lines that the walk did not produce, in baseline order; they must outlive this.
    explicit ChangedValueMatcher(std::vector<std::string_view> gone);

    // The gone line that the new value whose line starts with start changes, now taken; kNone
    // when it changes none.
    std::size_t Pair(std::string_view start);
    bool Taken(std::size_t line) const { return taken_[line]; }
    std::size_t TakenCount() const { return takenCount_; }

private:
    std::vector<std::string_view> gone_;
    std::vector<bool> taken_;
    std::size_t takenCount_ = 0;
    std::vector<std::pair<std::size_t, std::size_t>> starts_;  // hash of a start, gone line
};
