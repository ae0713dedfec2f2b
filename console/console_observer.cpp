#include "console/console_observer.h"

#include "text/text.h"

namespace {

// Columns that a character of the console's font takes: two for the East Asian wide and full
// width blocks, one for the rest (combining marks too: a line cut a little short is harmless,
// one that wraps is not).
int ColumnsOf(char32_t c) {
    static constexpr struct {
        char32_t first, last;
    } kWide[] = {
        {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF}, {0x3400, 0x4DBF},
        {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
        {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
        {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
    };
    for (const auto& range : kWide) {
        if (c >= range.first && c <= range.last) return 2;
    }
    return 1;
}

}  // namespace

std::wstring FitToColumns(std::wstring_view text, int columns) {
    const int room = columns - 1;
    std::wstring line;
    int used = 0;
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = text[i];
        std::size_t units = 1;
        if (IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            units = 2;
        }
        const int width = ColumnsOf(c);
        if (used + width > room) break;
        if (c < 0x20 || c == 0x7F) {
            line += L' ';
        } else {
            line.append(text.substr(i, units));
        }
        used += width;
        i += units;
    }
    if (used < room) line.append(static_cast<std::size_t>(room - used), L' ');
    return line;
}

ConsoleScanObserver::ConsoleScanObserver(const std::atomic<bool>& abort, StandardStream& progress)
    : abort_(abort), progress_(progress) {}

void ConsoleScanObserver::PassStarting(const SnapshotArea&, bool comparing, std::uint32_t) {
    comparing_ = comparing;
}

void ConsoleScanObserver::ItemVisited(std::string_view itemText) {
    ++scanned_;
    // A registry value comes as its line and, after a line feed, its name: the line will do.
    Show({}, itemText.substr(0, itemText.find('\n')));
}

void ConsoleScanObserver::CopyingFile(std::string_view targetPath) { Show("Copying ", targetPath); }

void ConsoleScanObserver::Show(std::string_view label, std::string_view item) {
    if (!progress_.IsConsole()) return;
    const ULONGLONG now = GetTickCount64();
    if (shown_ && now - lastShown_ < kConsoleProgressIntervalMs) return;
    lastShown_ = now;
    shown_ = true;

    std::string text = "Scanned: " + std::to_string(scanned_);
    if (comparing_) text += "  New: " + std::to_string(found_);
    text += "  ";
    text += label;
    text += item;
    progress_.WriteToConsole(L"\r" + FitToColumns(WidenText(text), progress_.Columns()));
}

void ConsoleScanObserver::ClearProgress() {
    if (!shown_) return;
    progress_.WriteToConsole(L"\r" + FitToColumns({}, progress_.Columns()) + L"\r");
    shown_ = false;
}
