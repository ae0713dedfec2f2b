#include "report/undo_script.h"

#include <algorithm>
#include <set>

#include "report/writer_text.h"
#include "text/ascii.h"

namespace {

constexpr std::string_view kHeader =
    "@echo off\r\n"
    "chcp 65001 >nul\r\n"
    "setlocal EnableExtensions DisableDelayedExpansion\r\n";

// How a long path is written, by how it begins; a drive path ("C:\...") takes \\?\ in front.
constexpr struct {
    std::string_view start, longStart;
} kLongForms[] = {
    {"\\\\?\\", "\\\\?\\"},    // already in the long form
    {"\\\\.\\", "\\\\.\\"},    // a device path: no other form
    {"\\\\", "\\\\?\\UNC\\"},  // \\server\share\...
};

bool IsDrivePath(std::string_view path) {
    return path.size() >= 3 &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
           path[1] == ':' && path[2] == '\\';
}

std::string LongForm(std::string_view path) {
    for (const auto& row : kLongForms) {
        if (path.starts_with(row.start)) {
            return std::string(row.longStart) + std::string(path.substr(row.start.size()));
        }
    }
    return IsDrivePath(path) ? "\\\\?\\" + std::string(path) : std::string(path);
}

// A folder path without its final "\", unless that would turn a drive's root into the drive's
// current folder.
std::string_view WithoutFinalSeparator(std::string_view path) {
    while (path.size() > 1 && path.back() == '\\' && !(path.size() == 3 && IsDrivePath(path))) {
        path.remove_suffix(1);
    }
    return path;
}

std::string DoublePercent(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '%') out += '%';
        out += c;
    }
    return out;
}

// Where the names begin: after "C:\" or "\\server\share\"; npos for a path that is exact as it
// stands (the \\?\ and \\.\ forms) or of no form a command can be sure of.
std::size_t NamesStart(std::string_view path) {
    if (IsDrivePath(path)) return 3;
    if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\") || !path.starts_with("\\\\")) {
        return std::string_view::npos;
    }
    const std::size_t share = path.find('\\', 2);
    const std::size_t names = share == std::string_view::npos ? share : path.find('\\', share + 1);
    return names == std::string_view::npos ? path.size() : names + 1;
}

// CON, PRN, AUX, NUL, COM0-9 and LPT0-9 (and the superscript digits ¹²³ after COM or LPT),
// CONIN$ and CONOUT$: Win32 takes a name whose stem is one of them for the device.
bool IsDeviceStem(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (EqualAsciiNoCase(stem, device)) return true;
    }
    if (stem.size() < 4 || !(EqualAsciiNoCase(stem.substr(0, 3), "COM") ||
                             EqualAsciiNoCase(stem.substr(0, 3), "LPT"))) {
        return false;
    }
    const std::string_view digit = stem.substr(3);
    return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" ||
           digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

// Whether Win32 path parsing would turn this path into another: a name that ends in a dot or a
// blank (the parser drops them), a name of dots, or a device name.
bool ParsingAlters(std::string_view path) {
    const std::size_t start = NamesStart(path);
    if (start == std::string_view::npos) return false;
    for (std::size_t at = start; at < path.size();) {
        const std::size_t end = std::min(path.find('\\', at), path.size());
        const std::string_view name = path.substr(at, end - at);
        if (!name.empty() && (name.back() == '.' || name.back() == ' ' || IsDeviceStem(name))) {
            return true;
        }
        at = end + 1;
    }
    return false;
}

// A path as a command names it: in the exact \\?\ form when it is long or Win32 parsing would
// alter it, "%" doubled.
std::string CommandPath(std::string_view path) {
    return DoublePercent(NeedsLongPathForm(path) || ParsingAlters(path) ? LongForm(path)
                                                                        : std::string(path));
}

std::size_t Levels(std::string_view folder) {
    return static_cast<std::size_t>(std::count(folder.begin(), folder.end(), '\\'));
}

// Text for a rem line: "%" doubled, no control characters and no broken UTF-8; a final "^"
// gets a blank after it, so that it cannot carry the next line into the remark.
void AppendRemText(std::string& out, std::string_view line) {
    for (std::size_t i = 0; i < line.size();) {
        // Printable ASCII but "%" goes as it is, a run at a time.
        std::size_t run = i;
        while (run < line.size() && line[run] >= 0x20 && line[run] < 0x7F && line[run] != '%') {
            ++run;
        }
        out.append(line.data() + i, run - i);
        if (run == line.size()) break;
        i = run;
        const Utf8Char c = DecodeUtf8(line, i);
        i += c.length == 0 ? 1 : c.length;
        if (c.length == 0 || (c.codePoint < 0x20 && c.codePoint != '\t') || c.codePoint == 0x7F) {
            AppendUtf8(out, kReplacementCharacter);
        } else {
            if (c.codePoint == '%') out += '%';
            AppendUtf8(out, c.codePoint);
        }
    }
    if (!line.empty() && line.back() == '^') out += ' ';
}

}  // namespace

bool NeedsLongPathForm(std::string_view path) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < path.size() && units < kLongPathLength;) {
        const Utf8Char c = DecodeUtf8(path, i);
        i += c.length == 0 ? 1 : c.length;
        units += c.codePoint >= 0x10000 ? 2 : 1;
    }
    return units >= kLongPathLength;
}

void PutLongPathsLast(std::vector<std::string>& paths) {
    std::stable_partition(paths.begin(), paths.end(),
                          [](const std::string& path) { return !NeedsLongPathForm(path); });
}

void OrderFoldersForRemoval(std::vector<std::string>& folders) {
    std::stable_sort(folders.begin(), folders.end(),
                     [](const std::string& a, const std::string& b) {
                         return Levels(WithoutFinalSeparator(a)) > Levels(WithoutFinalSeparator(b));
                     });
    // Every folder above a long one: none of them can go before it.
    std::set<std::string_view, std::less<>> aboveLong;
    for (const std::string& folder : folders) {
        const std::string_view path = WithoutFinalSeparator(folder);
        if (!NeedsLongPathForm(path)) continue;
        for (std::size_t at = path.find('\\'); at != std::string_view::npos;
             at = path.find('\\', at + 1)) {
            aboveLong.insert(path.substr(0, at));
        }
    }
    std::stable_partition(folders.begin(), folders.end(), [&](const std::string& folder) {
        const std::string_view path = WithoutFinalSeparator(folder);
        return !NeedsLongPathForm(path) && !aboveLong.contains(path);
    });
}

bool ScriptCanHoldPath(std::string_view path) {
    if (path.empty()) return false;
    for (std::size_t i = 0; i < path.size();) {
        const Utf8Char c = DecodeUtf8(path, i);
        if (c.length == 0 || c.codePoint < 0x20 || c.codePoint == '"') return false;
        i += c.length;
    }
    // Past the drive, a ":" names a stream of a file, and a wildcard many files (del expands
    // it even in the \\?\ form).
    std::string_view names = path;
    if (names.starts_with("\\\\?\\") || names.starts_with("\\\\.\\")) names.remove_prefix(4);
    if (names.size() >= 2 && names[1] == ':') names.remove_prefix(2);
    return names.find_first_of(":*?<>") == std::string_view::npos;
}

UndoScriptWriter::UndoScriptWriter(ByteSink sink) : PieceWriter(std::move(sink)) {
    piece_ = kHeader;
    Emit();
}

void UndoScriptWriter::Comment(std::string_view text) {
    ForEachLine(text, [&](std::string_view line) {
        piece_ += line.empty() ? "rem" : "rem ";
        AppendRemText(piece_, line);
        piece_ += "\r\n";
    });
    Emit();
}

bool UndoScriptWriter::Refused(std::string_view what, std::string_view path) {
    Comment(std::string(what) + " (a batch file cannot name this path exactly):\n" +
            std::string(path));
    return false;
}

bool UndoScriptWriter::DeleteFile(std::string_view path) {
    if (!ScriptCanHoldPath(path)) return Refused("Not deleted", path);
    const std::string file = CommandPath(path);
    // "P\*" exists only when P is a folder, which del would empty.
    piece_ += "if not exist \"" + file + "\\*\" (attrib -r -h -s \"" + file +
              "\" >nul 2>&1 & del /f /q /a \"" + file + "\")\r\n";
    return Emit();
}

bool UndoScriptWriter::RemoveFolder(std::string_view path) {
    if (!ScriptCanHoldPath(path)) return Refused("Not removed", path);
    piece_ += "rd \"" + CommandPath(WithoutFinalSeparator(path)) + "\"\r\n";
    return Emit();
}

bool UndoScriptWriter::ImportUndoReg(std::string_view regName) {
    if (!ScriptCanHoldPath(regName)) return Refused("Not imported", regName);
    piece_ += "reg import \"%~dp0" + DoublePercent(regName) + "\"\r\n";
    return Emit();
}
