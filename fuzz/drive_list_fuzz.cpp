// SearchPatternsFromDriveList and UpperCaseDriveLetters against the reference. Input: the drive
// list, and the same bytes as a baseline's text.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/reference.h"
#include "text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view list(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(SearchPatternsFromDriveList(list) == reference::DrivePatterns(list));
    std::string baseline(list);
    UpperCaseDriveLetters(baseline.data(), baseline.size());
    FUZZ_CHECK(baseline == reference::UpperDriveLetters(list));
    return 0;
}
