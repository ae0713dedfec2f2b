#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "report/piece_writer.h"

// The batch file that takes back what Step #2 found added: it deletes the added files and the
// new folders, then imports the registry file that undoes the registry change. UTF-8 without a
// byte order mark (cmd would read the mark as part of the first command), CR LF line ends,
// "chcp 65001" first so that cmd reads the lines after it as UTF-8, delayed expansion off so
// that "!" is plain text. Paths are quoted with their "%" doubled; a path of kLongPathLength
// characters or more, or one that Win32 parsing would turn into another (a name that ends in a
// dot or a blank, a device name such as NUL or aux.txt), takes the exact \\?\ form. Plain C++:
// each call hands its bytes to the sink.

constexpr std::size_t kLongPathLength = 248;  // from here on a path takes the \\?\ form

// Whether path, counted in UTF-16 characters as Windows counts it, is kLongPathLength or
// longer.
bool NeedsLongPathForm(std::string_view path);
// The order a group of paths is run in: paths shorter than kLongPathLength first, in the
// order given, then the long ones (so a shell that fails on them has done everything else).
void PutLongPathsLast(std::vector<std::string>& paths);
// New folders deepest first (more levels first; same depth: the order given), long ones last;
// a short folder that holds a long one of the list goes with the long ones, after it, since
// rd cannot remove it before.
void OrderFoldersForRemoval(std::vector<std::string>& folders);
// Whether a command can name this path exactly: not when it holds a quote, a control
// character or bytes that are no UTF-8 (none of which a Windows name holds), a ":" past the
// drive (a stream) or a wildcard (* ? < >), or is empty.
bool ScriptCanHoldPath(std::string_view path);

// windows.h makes DeleteFile a macro; the member keeps its name whatever a caller included.
#pragma push_macro("DeleteFile")
#undef DeleteFile

class UndoScriptWriter : public PieceWriter {
public:
    explicit UndoScriptWriter(ByteSink sink);  // "@echo off", "chcp 65001 >nul", setlocal

    // A path (or name) that ScriptCanHoldPath refuses is written as a remark instead; the
    // command then returns false, as it does once the sink refused.

    // "rem " lines, one per line of text; "%" doubled, control characters and bytes that are
    // no UTF-8 shown as U+FFFD.
    void Comment(std::string_view text);
    // Clears read-only, hidden and system, then deletes the file; a path that has become a
    // folder is left alone (del would empty it).
    bool DeleteFile(std::string_view path);
    // rd without /s: a folder that holds anything stays. A final "\" is dropped.
    bool RemoveFolder(std::string_view path);
    // reg import "%~dp0<regName>": the registry file beside the script.
    bool ImportUndoReg(std::string_view regName);

    bool DeleteFileA(std::string_view path) { return DeleteFile(path); }
    bool DeleteFileW(std::string_view path) { return DeleteFile(path); }

private:
    bool Refused(std::string_view what, std::string_view path);
};

#pragma pop_macro("DeleteFile")
