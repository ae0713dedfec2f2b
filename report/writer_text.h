#pragma once

#include <string_view>

#include "text/utf8.h"

// Text routines the writers of Step #2's files share, beside the UTF-8 of text/utf8.h.

// Hands each a line of text: CR LF, CR and LF each end one; an empty text is one empty line.
template <typename Each>
void ForEachLine(std::string_view text, Each each) {
    for (;;) {
        const std::size_t end = text.find_first_of("\r\n");
        each(text.substr(0, end));
        if (end == std::string_view::npos) return;
        text.remove_prefix(end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1));
    }
}
