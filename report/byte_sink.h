#pragma once

#include <functional>
#include <string_view>

// Where a writer of Step #2's files puts its bytes, a piece at a time: false once they could not
// be taken (a full disk), after which the writer sends nothing more.
using ByteSink = std::function<bool(std::string_view bytes)>;
