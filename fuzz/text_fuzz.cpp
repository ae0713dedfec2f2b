// FindNoCase, GetToken, ReplaceOccurrence, AppendFolded and EqualNoCase against the reference.
//
// Input: a byte that picks a count or token index (as a signed byte), then the text, the
// pattern or separator, and the replacement, fields cut at byte 0xFE.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fuzz/reference.h"
#include "text/case_fold.h"
#include "text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int number = static_cast<signed char>(data[0]);
    std::vector<std::string> fields =
        reference::Fields({reinterpret_cast<const char*>(data) + 1, size - 1});
    fields.resize(std::max<std::size_t>(fields.size(), 3));
    const std::string& text = fields[0];
    const std::string& pattern = fields[1];
    const std::string& replacement = fields[2];

    FUZZ_CHECK(FindNoCase(text, pattern) == reference::Find(text, pattern));

    const std::vector<std::string> tokens = reference::Tokens(text, pattern);
    for (int i = -1; i <= static_cast<int>(tokens.size()) && i < 64; ++i) {
        const std::string expected = i >= 0 && i < static_cast<int>(tokens.size()) ? tokens[i] : "";
        const std::string token = GetToken(text, pattern, i);
        if (token != expected) {
            std::fprintf(stderr, "token %d: \"%s\", expected \"%s\"\n", i,
                         reference::Printable(token).c_str(),
                         reference::Printable(expected).c_str());
        }
        FUZZ_CHECK(token == expected);
    }
    FUZZ_CHECK(GetToken(text, pattern, number) ==
               (number >= 0 && number < static_cast<int>(tokens.size()) ? tokens[number] : ""));

    // Names as the system compares them: the folded form, and equality exactly where the folded
    // forms are equal, also of a text and its own folded form, which may differ in length.
    const std::string folded = reference::Folded(text);
    std::string appended = "\xC3";  // what was there stays, a byte of no character included
    AppendFolded(appended, text);
    FUZZ_CHECK(appended == "\xC3" + folded);
    FUZZ_CHECK(EqualNoCase(text, pattern) == (folded == reference::Folded(pattern)));
    FUZZ_CHECK(EqualNoCase(folded, text) == (reference::Folded(folded) == folded));
    FUZZ_CHECK(EqualNoCase(pattern + text, replacement + folded) ==
               (reference::Folded(pattern + text) == reference::Folded(replacement + folded)));

    std::string replaced = text;
    ReplaceOccurrence(replaced, pattern, replacement, number);
    FUZZ_CHECK(replaced == reference::Replace(text, pattern, replacement, number));
    return 0;
}
