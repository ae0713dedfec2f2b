#pragma once

#include <cstdint>
#include <string_view>

#include "snapshot/baseline_index.h"

// The baseline index before its hash was seeded, for the index benchmark's comparison: Build,
// Contains and Size as BaselineIndex had them.
class OldBaselineIndex {
public:
    using Kind = BaselineIndex::Kind;

    OldBaselineIndex() = default;
    OldBaselineIndex(const OldBaselineIndex&) = delete;
    OldBaselineIndex& operator=(const OldBaselineIndex&) = delete;
    ~OldBaselineIndex();

    bool Build(std::string_view text, Kind kind);
    bool Contains(std::string_view key) const;
    std::size_t Size() const;

private:
    struct Impl;
    Impl* impl_ = nullptr;
};

// The old hash itself, so that the benchmark can check the names it makes to collide.
std::uint64_t OldHashKey(std::string_view key);
