#include "console/standard_stream.h"

#include <algorithm>
#include <string>

#include "text/text.h"

namespace {

// Line feeds as CR LF; a CR LF that is already there stays as it is.
std::string WithLineEnds(std::string_view text) {
    std::string result;
    result.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) result += '\r';
        result += text[i];
    }
    return result;
}

}  // namespace

StandardStream::StandardStream(DWORD which) : handle_(GetStdHandle(which)) {
    DWORD mode = 0;
    console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE &&
               GetConsoleMode(handle_, &mode) != FALSE;
}

bool StandardStream::Write(std::string_view text) {
    if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) return false;
    const std::string bytes = WithLineEnds(text);
    if (console_) {
        WriteToConsole(WidenText(bytes));
        return true;
    }
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(handle_, rest.data(), piece, &written, nullptr) || written == 0) {
            return false;
        }
        rest.remove_prefix(written);
    }
    return true;
}

void StandardStream::WriteToConsole(std::wstring_view text) {
    if (!console_) return;
    // Old consoles refuse long writes: a few thousand characters at a time.
    while (!text.empty()) {
        std::size_t piece = std::min<std::size_t>(text.size(), 4096);
        if (piece < text.size() && IS_HIGH_SURROGATE(text[piece - 1])) --piece;
        DWORD written = 0;
        if (!WriteConsoleW(handle_, text.data(), static_cast<DWORD>(piece), &written, nullptr) ||
            written == 0) {
            return;
        }
        text.remove_prefix(written);
    }
}

int StandardStream::Columns() const {
    if (!console_) return 0;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(handle_, &info)) return 80;
    const int window = info.srWindow.Right - info.srWindow.Left + 1;
    return window > 0 ? window : std::max<int>(info.dwSize.X, 1);
}
