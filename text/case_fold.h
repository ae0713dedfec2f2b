#pragma once

#include <string>
#include <string_view>

// Names compared as Windows compares them, without regard to letter case. (ASCII for now.)
bool EqualNoCase(std::string_view a, std::string_view b);
void AppendFolded(std::string& out, std::string_view utf8);
