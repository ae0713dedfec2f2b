#include "engine/seen_again.h"

#include <algorithm>
#include <cstdio>

#include "snapshot/path_identity.h"

namespace {

constexpr const char* kTypeNames[] = {
    "REG_NONE",      "REG_SZ",   "REG_EXPAND_SZ",        "REG_BINARY",
    "REG_DWORD",     "REG_DWORD_BIG_ENDIAN",             "REG_LINK",
    "REG_MULTI_SZ",  "REG_RESOURCE_LIST",                "REG_FULL_RESOURCE_DESCRIPTOR",
    "REG_RESOURCE_REQUIREMENTS_LIST",                    "REG_QWORD",
};

template <typename Entry>
void SortByRecord(std::vector<Entry>& entries) {
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.record < b.record; });
}

}  // namespace

std::string RegistryTypeName(std::uint32_t type) {
    if (type < std::size(kTypeNames)) return kTypeNames[type];
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(type));
    return text;
}

void ReadSeenAgain(std::string_view baseline, std::string_view lineRecord,
                   std::vector<RegistryComparison::SeenValue>& seen,
                   std::vector<RegistryComparison::Respelled>& respelled,
                   std::vector<Retyped>& retyped, std::vector<Renamed>& renamed) {
    SortByRecord(seen);
    RegistryLineCursor values(lineRecord);
    RegistryLine old;
    for (const RegistryComparison::SeenValue& value : seen) {
        if (!values.At(value.record, old) || !old.value || old.type == value.type) continue;
        retyped.push_back({baseline.substr(value.record, old.length), old, value.type,
                           value.exact, value.hexForm});
    }
    SortByRecord(respelled);
    RegistryLineCursor lines(lineRecord);
    for (const RegistryComparison::Respelled& now : respelled) {
        if (!lines.At(now.record, old) || old.value != (now.nameEnd != 0)) continue;
        const std::string_view was = baseline.substr(now.record, old.length);
        if (!old.value) {
            if (RenamedInCase(was, now.line)) renamed.push_back({false, was, now.line, {}, {}});
            continue;
        }
        const std::string_view oldName = was.substr(old.keyEnd + 1, old.nameLength);
        const std::string_view name =
            std::string_view(now.line).substr(now.keyEnd + 1, now.nameEnd - now.keyEnd - 2);
        if (oldName == name) continue;  // only a key above it was renamed
        renamed.push_back({true, oldName, now.line.substr(0, now.keyEnd), std::string(name),
                           now.line.substr(now.nameEnd)});
    }
}
