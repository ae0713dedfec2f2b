#include "text/case_fold.h"

namespace {
char Up(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Up(a[i]) != Up(b[i])) return false;
    }
    return true;
}

void AppendFolded(std::string& out, std::string_view utf8) {
    for (char c : utf8) out += Up(c);
}
