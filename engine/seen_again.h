#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "snapshot/registry_lines.h"
#include "snapshot/registry_walker.h"

// What a registry comparison met again of its baseline, read against the record of the
// baseline's lines once the walk is done: only the record tells a value's old type, and where
// a name the walk spelled anew begins and ends in the baseline's line. Plain C++.

// A value whose line is in the baseline but whose type is not the one the record holds: the
// same text, so no line of the change list shows it.
struct Retyped {
    std::string_view line;  // the baseline's line, which is also the line now
    RegistryLine old;       // its entry in the record
    std::uint32_t newType;
    bool newExact, newHexForm;  // how the text stands for the data now
};

// A key or value whose own name the baseline spells otherwise in letter case only.
struct Renamed {
    bool value = false;
    std::string_view oldSpelling;  // the key's line, or the value's name, as the baseline has it
    std::string path;              // the key's line now, or the value's key path now
    std::string name;              // a value's name now
    std::string text;              // a value's text
};

// Reads seen and respelled (sorted here by their lines' offsets) against lineRecord, the record
// of baseline's lines. Lines the record does not tell are passed over.
void ReadSeenAgain(std::string_view baseline, std::string_view lineRecord,
                   std::vector<RegistryComparison::SeenValue>& seen,
                   std::vector<RegistryComparison::Respelled>& respelled,
                   std::vector<Retyped>& retyped, std::vector<Renamed>& renamed);

// A registry type by its name ("REG_EXPAND_SZ"), or as a number for a type of its own
// ("0x00012345").
std::string RegistryTypeName(std::uint32_t type);
