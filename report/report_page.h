#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "report/change_category.h"
#include "report/finding.h"
#include "report/piece_writer.h"

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
    unsigned long unreadable = 0;  // keys not opened or folders not listed: no removals below
    unsigned long unreadAtBaseline = 0;  // such places of Step #1's: nothing below is reported
    bool newFoldersByTime = false;  // files: no record of the baseline's folders to tell by
    bool typesUnknown = false;  // registry: no record of the baseline's lines, so of its types
};

// How an entry of an area section is marked.
struct ItemMark {
    ChangeCategory category = ChangeCategory::None;
    std::string_view anchor;  // the entry's id, for a highlight's link; empty: no id
};

// A change that the head shows among the findings though no finding takes it in, grouped by
// category (autostart, security, registration); noise is never a highlight.
struct ReportHighlight {
    ChangeCategory category = ChangeCategory::None;
    std::string change;   // "added", "modified", "removed", "changed", "new folder"
    std::string place;    // the file or folder path, the key path, or a value as key path and name
    std::string name;     // a value's name ("" for the default value); empty for other items
    bool value = false;   // place and name are a value's key path and name
    std::vector<std::string> alsoAt;  // the same change seen at other places (HKEY_USERS\<SID>)
    std::string meaning;  // plain words: "Starts at log-on of every user", ...
    std::string oldText, newText;  // a changed value's texts; newText alone for an added value
    std::string anchor;   // id of its entry in its area section
};

// A file's content hash as its entry shows it: the SHA-256 as 64 hex digits, or why the file
// could not be read; both empty where no hash was taken.
struct ContentHash {
    std::string_view sha256, error;
};

// The files written beside the report; an empty name was not written.
struct ReportFiles {
    std::string changeSet;  // "Quorvane_Changes.jsonl"
    // "Quorvane_Redo.reg", "Quorvane_Undo.reg", "Quorvane_Undo.cmd"
    std::string redoReg, undoReg, undoCmd;
    unsigned long notRestoredTypeUnknown = 0, notRestoredDataNotExact = 0;
};

class ReportPage : public PieceWriter {
public:
    explicit ReportPage(ByteSink sink) : PieceWriter(std::move(sink)) {}

    // The page up to the start of the sections: title, run, computer, areas and counts, what
    // could not be read, the findings with the highlights no finding took in, and the files
    // written beside the report.
    void Head(std::string_view runTime, std::string_view computer,
              const std::vector<ReportArea>& areas,
              const std::vector<ReportHighlight>& highlights = {}, const ReportFiles& files = {},
              const std::vector<Finding>& findings = {});

    // A collapsible section holding count entries (one line when it holds none), then its
    // entries, then its end.
    void BeginSection(std::string_view title, unsigned long count);
    void AddedFile(std::string_view path, std::uint64_t size, const ItemMark& mark = {},
                   const ContentHash& hash = {});
    void ModifiedFile(std::string_view path, std::uint64_t oldSize, std::uint64_t newSize,
                      std::string_view changeTime, const ItemMark& mark = {},
                      const ContentHash& hash = {});
    void RemovedFile(std::string_view path, std::uint64_t size, const ItemMark& mark = {});
    void Folder(std::string_view path, const ItemMark& mark = {});
    void Key(std::string_view path, const ItemMark& mark = {});
    // A value: keyPath, name ("" for the default value) and text.
    void Value(std::string_view keyPath, std::string_view name, std::string_view text,
               const ItemMark& mark = {});
    void ChangedValue(std::string_view keyPath, std::string_view name, std::string_view oldText,
                      std::string_view newText, const ItemMark& mark = {});
    // A value whose type changed though its text did not.
    void RetypedValue(std::string_view keyPath, std::string_view name, std::string_view text,
                      std::string_view oldType, std::string_view newType,
                      const ItemMark& mark = {});
    // A removed key, and a removed value whose key path and name are known exactly.
    void RemovedKey(std::string_view path, const ItemMark& mark = {});
    void RemovedValue(std::string_view keyPath, std::string_view name, std::string_view text,
                      const ItemMark& mark = {});
    // A removed registry entry as its baseline line: a line cannot always tell where a key path
    // ends and a value name begins.
    void RemovedEntry(std::string_view line, const ItemMark& mark = {});
    // A file, folder or key whose own name is spelled anew in letter case only, and a value
    // whose name is: one item to Windows, shown with both spellings.
    void RenamedPath(std::string_view oldPath, std::string_view newPath, const ItemMark& mark = {});
    void RenamedValue(std::string_view keyPath, std::string_view oldName, std::string_view newName,
                      const ItemMark& mark = {});
    void EndSection();

    // The filter script and the end of the page.
    void Tail();

private:
    void BeginItem(const ItemMark& mark);
    void EndItem(const ItemMark& mark);
    void ValueStart(std::string_view keyPath, std::string_view name, const ItemMark& mark);
    // The entries of a section go in lists of a bounded length (see report_page.cpp).
    unsigned long sectionCount_ = 0, sectionItems_ = 0;
};
