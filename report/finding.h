#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "report/change_category.h"

// A thing a change set up, took away or changed, as the report and the change set show it: a
// service, a Run entry, a file type, ... with one line of facts, the entries that make it and
// the files it starts or loads (engine/findings.h finds them).

// A file that a finding starts or loads, as the system finds it.
struct FindingFile {
    std::string path;  // resolved from the command as Windows resolves it
    bool exists = false;
    bool isNew = false;  // added by this change
    std::uint64_t size = 0;
    std::string sha256;     // lower-case hex; empty when not read
    std::string signature;  // "valid", "not valid" or "not signed"; empty when not checked
    std::string signer;     // the signing certificate's subject, when signed
    std::string why;        // why the file could not be read or checked, or why not valid
};

// One of the entries a finding gathers, as its list in the report names it.
struct FindingEntry {
    std::size_t item = 0;     // its line among the change set's items, 0-based
    std::string anchor;       // its entry's id in the report's sections
    std::string_view change;  // "added", "removed", "changed", ...
    std::string path;         // a key's path, or a file's
    std::string name;         // a value's name
    bool value = false;
};

struct Finding {
    std::string_view kind;  // "service", "run", "uninstall", "filetype", "comclass", ...
    ChangeCategory category = ChangeCategory::None;
    std::string_view change;                                      // "added", "removed", "changed"
    std::string title;                                            // "Service added: QvSvc"
    std::vector<std::pair<std::string_view, std::string>> facts;  // by name, in the kind's order
    std::vector<FindingEntry> entries;  // the entries it gathers, in the change set's order
    std::vector<FindingFile> files;     // what it starts or loads
};
