#pragma once

#include <string_view>

// Words that follow a count, for one and for many.
struct CountNouns {
    std::string_view one, many;
};

// The places of an area that Step #1 could not read, as Step #2's summary and the report's head
// name them after their count: nothing below them is compared.
inline constexpr CountNouns kUnlistedAtBaselineNouns = {
    "folder that Step #1 could not list: nothing below it is reported.",
    "folders that Step #1 could not list: nothing below them is reported."};
inline constexpr CountNouns kUnreadAtBaselineNouns = {
    "key that Step #1 could not read: nothing below it is reported.",
    "keys that Step #1 could not read: nothing below them is reported."};
