// SearchPatternsFromDriveList against the reference. Input: the drive list.

#include <cstddef>
#include <cstdint>

#include "fuzz/reference.h"
#include "text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view list(reinterpret_cast<const char*>(data), size);
    FUZZ_CHECK(SearchPatternsFromDriveList(list) == reference::DrivePatterns(list));
    return 0;
}
