#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// What the plain C++ benchmarks share: a clock and a random source that gives the same data on
// every machine.
namespace bench {

inline double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// SplitMix64: fixed seeds give the same sequence everywhere.
struct Random {
    std::uint64_t state;
    std::uint64_t Next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
    template <typename T, std::size_t N>
    const T& Pick(const T (&table)[N]) {
        return table[Below(N)];
    }
};

// A count given on the command line: digits only.
inline bool ParseCount(const char* text, std::size_t& value) {
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0') return false;
    value = static_cast<std::size_t>(v);
    return true;
}

}  // namespace bench
