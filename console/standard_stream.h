#pragma once

#include <windows.h>

#include <string_view>

// Standard output or standard error as QuorvaneCmd writes to them: a console gets UTF-16
// through WriteConsoleW, so that every character shows whatever the console's code page; a
// file or pipe gets UTF-8 bytes, so that a script reads exactly what was meant.
class StandardStream {
public:
    explicit StandardStream(DWORD which);  // STD_OUTPUT_HANDLE or STD_ERROR_HANDLE

    bool IsConsole() const { return console_; }
    // Writes text (UTF-8) with every line feed made CR LF. False when it could not be written.
    bool Write(std::string_view text);
    // Writes text exactly as it is, to a console only.
    void WriteToConsole(std::wstring_view text);
    // Columns of the console's window; 0 when the stream is not a console.
    int Columns() const;

private:
    HANDLE handle_;
    bool console_ = false;
};
