#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/change_category.h"
#include "report/finding.h"
#include "report/piece_writer.h"

// The change set for scripts (Quorvane_Changes.jsonl): JSON Lines, one object a line, UTF-8,
// each line ended by LF. The first line is the run with its areas, then one line an item:
//   {"type":"run","version":"1.07","time":"...","computer":"...","areas":[{"area":"Files",
//    "compared":"C: D:","baselineTime":"...","added":N,"modified":N,"removed":N,
//    "newFolders":N,"noise":N,"renamed":N},...]} ("renamed" only where there are any)
//   {"type":"item","area":...,"change":...,"item":...,"path":...,"oldPath":...,"name":...,
//    "oldName":...,"text":...,"old":...,"new":...,"oldType":...,"newType":...,"size":N,"oldSize":N,"newSize":N,
//    "changeTime":...,"sha256":...,"sha256Error":...,"category":...,"meaning":...}
// in this key order, then one line a finding:
//   {"type":"finding","kind":...,"category":...,"change":...,"title":...,"facts":{...},
//    "items":[N,...],"files":[{"path":...,"exists":B,"new":B,"size":N,"sha256":...,
//    "sha256Error":...,"signature":...,"signer":...,"reason":...},...]}
// where items are the 0-based indexes of the item lines it gathers, signature is "valid",
// "not valid" or "not signed", and reason why a signature is not valid. Fields that do not apply are left out, but "category" is always there
// (null when there is none). Text that is not valid UTF-8 is written with U+FFFD for each bad
// byte and the line gains "lossy":true; control characters are escaped (\n, \r, \t, \u00XX),
// and so are U+2028 and U+2029, which end a line for some readers.

struct ChangeSetArea {
    std::string area, compared, baselineTime;
    bool files = false;  // only the files area counts new folders
    unsigned long added = 0, modified = 0, removed = 0, newFolders = 0, noise = 0;
    unsigned long renamed = 0;  // written only when there are any
};

struct ChangeSetItem {
    std::string_view area;    // "Files" or the root's full name
    std::string_view change;  // "added", "modified", "removed", "changed", "newFolder", "renamed"
    std::string_view item;    // "file", "folder", "key", "value", "entry"
    std::string_view path;
    std::optional<std::string_view> oldPath;  // renamed files, folders and keys: the old spelling
    std::optional<std::string_view> name, oldName, text, oldText, newText;
    std::optional<std::string_view> oldType, newType;  // a value changed in type: "REG_SZ", ...
    std::optional<std::uint64_t> size, oldSize, newSize;
    std::string_view changeTime;  // ISO 8601 UTC; empty: unknown
    // Added and modified files: their content's SHA-256 as 64 lower-case hex digits, or why the
    // file could not be read; both empty where no hash was taken.
    std::string_view sha256, sha256Error;
    ChangeCategory category = ChangeCategory::None;
    std::string_view meaning;  // empty: none
    // The path or name did not come through exactly (a surrogate that pairs with nothing shows
    // as U+FFFD): the line gains "lossy":true, as for text that is not valid UTF-8.
    bool exactName = true;
};

// Its pieces are whole lines.
class ChangeSetWriter : public PieceWriter {
public:
    explicit ChangeSetWriter(ByteSink sink) : PieceWriter(std::move(sink)) {}
    void Run(std::string_view version, std::string_view time, std::string_view computer,
             const std::vector<ChangeSetArea>& areas);
    void Item(const ChangeSetItem& item);
    void FindingLine(const Finding& finding);

private:
    void File(const FindingFile& file);
    void Key(std::string_view key);  // the comma before it when needed, and "key":
    void Field(std::string_view key, std::string_view text);
    void Field(std::string_view key, std::uint64_t number);
    void EndLine();

    bool lossy_ = false;
};

// FILETIME (100 ns since 1601-01-01 UTC) as "2026-12-09T13:41:30Z"; "" for 0.
std::string Iso8601FromFileTime(std::uint64_t fileTime);
