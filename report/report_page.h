#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The report page of Step #2: one self-contained HTML5 file in UTF-8, readable without scripts.
// It is written as the data comes, a piece at a time, never built whole in memory. Plain C++:
// the caller gives every text (times already formatted) and takes the pieces through a sink.
//
// Every name and text from the scanned system is escaped: it can add no markup. Control
// characters show as their Unicode control pictures and bytes that are not UTF-8 as \xNN, each
// in a marked span, so nothing is dropped.

// Appends text to html, escaped as above.
void AppendEscaped(std::string& html, std::string_view text);

// One row of the table of counts: an area compared.
struct ReportArea {
    std::string name;           // "Files", "HKEY_CLASSES_ROOT", ...
    std::string places;         // what was compared: the drive list, or the root
    std::string baselineTime;   // when its baseline was written
    bool files = false;         // files have new folders; registry roots do not
    unsigned long added = 0, modified = 0, removed = 0, newFolders = 0;
    unsigned long noise = 0;       // how many of the row's items are likely noise
    unsigned long unreadable = 0;  // keys or folders that could not be read: no removals below
};

class ReportPage {
public:
    using Sink = std::function<bool(std::string_view piece)>;
    explicit ReportPage(Sink sink) : sink_(std::move(sink)) {}

    // The page up to the start of the sections: title, run, computer, areas and counts.
    void Head(std::string_view runTime, std::string_view computer,
              const std::vector<ReportArea>& areas);

    // A collapsible section (open) holding count entries, then its entries, then its end.
    void BeginSection(std::string_view title, unsigned long count);
    void AddedFile(std::string_view path, std::uint64_t size);
    void ModifiedFile(std::string_view path, std::uint64_t oldSize, std::uint64_t newSize,
                      std::string_view changeTime);
    void RemovedFile(std::string_view path, std::uint64_t size);
    void Folder(std::string_view path);
    void Key(std::string_view path);
    // A value: keyPath, name ("" for the default value) and text.
    void Value(std::string_view keyPath, std::string_view name, std::string_view text);
    void ChangedValue(std::string_view keyPath, std::string_view name, std::string_view oldText,
                      std::string_view newText);
    // A removed registry entry as its baseline line: a line cannot always tell where a key path
    // ends and a value name begins.
    void RemovedEntry(std::string_view line);
    // A removed registry line whose key path and value name are known exactly.
    void RemovedKey(std::string_view path);
    void RemovedValue(std::string_view keyPath, std::string_view name, std::string_view text);
    void EndSection();

    // The filter script and the end of the page.
    void Tail();

    // False once the sink refused a piece.
    bool Ok() const { return ok_; }

private:
    void ValueStart(std::string_view keyPath, std::string_view name);
    void Emit();

    Sink sink_;
    std::string piece_;
    bool ok_ = true;
};
