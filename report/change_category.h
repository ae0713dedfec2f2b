#pragma once

#include <string_view>

// What a reported change means, as the rule table tells it: at most one category an item.
// Autostart, security and registration changes are the report's highlights; noise is marked
// as likely background activity, never hidden from the lists.
enum class ChangeCategory { None, Autostart, Security, Registration, Noise };

// The category's name in the report and the change set: "autostart", "security",
// "registration", "noise"; empty for None.
constexpr std::string_view CategoryName(ChangeCategory category) {
    switch (category) {
        case ChangeCategory::Autostart: return "autostart";
        case ChangeCategory::Security: return "security";
        case ChangeCategory::Registration: return "registration";
        case ChangeCategory::Noise: return "noise";
        case ChangeCategory::None: break;
    }
    return {};
}
