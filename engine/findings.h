#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/reported_item.h"

// The things a change set up, took away or changed, as people name them: a service, a Run entry,
// a file type, a COM class, ... Each gathers the reported entries that make it (the keys and
// values below a service's key, a file type's extension and its program ID), with one line of
// facts read from them and the files it starts or loads. Entries no kind claims stay highlights
// of their own. Plain C++: what the system tells of a file comes in through SystemFacts.

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

struct Finding {
    std::string_view kind;  // "service", "run", "uninstall", "filetype", "comclass", ...
    ChangeCategory category = ChangeCategory::None;
    std::string_view change;                                      // "added", "removed", "changed"
    std::string title;                                            // "Service added: QvSvc"
    std::vector<std::pair<std::string_view, std::string>> facts;  // by name, in the kind's order
    std::vector<std::size_t> items;    // the change set's item lines it gathers, 0-based
    std::vector<std::string> anchors;  // the ids of its entries in the report that have one
    std::vector<FindingFile> files;    // what it starts or loads
};

// What the system tells: the engine asks Windows, tests give their own answers.
class SystemFacts {
public:
    virtual ~SystemFacts() = default;
    // %NAME% references expanded as the system expands them.
    virtual std::string ExpandEnvironment(std::string_view text) const = 0;
    // Whether a file is there: an unquoted command is resolved by trying its blanks in turn.
    virtual bool FileExists(std::string_view path) const = 0;
    // Size, hash and signature of a file; path and isNew are the caller's.
    virtual FindingFile Inspect(std::string_view path) const = 0;
    // A certificate's facts from its store's Blob value: subject and expiry by name.
    virtual std::vector<std::pair<std::string_view, std::string>> Certificate(
        std::string_view blob) const = 0;
};

// The file a command line starts or loads, as Windows resolves it: "\??\" and "\SystemRoot\"
// forms, environment references, a quoted program or the first run of words that names a file,
// a bare name in System32, and rundll32's DLL. Empty when the command names no file.
std::string ProgramOfCommand(std::string_view command, const SystemFacts& system,
                             std::string_view systemRoot);

class Findings {
public:
    // userSid: HKEY_USERS\<userSid> is HKEY_CURRENT_USER; systemRoot: the Windows folder.
    Findings(std::string_view userSid, std::string_view systemRoot);
    ~Findings();
    Findings(const Findings&) = delete;
    Findings& operator=(const Findings&) = delete;

    // Each reported item, in the order of the change set's item lines; anchor: its entry's id
    // in the report, when it has one.
    void Add(const ReportedItem& item, std::size_t itemIndex, std::string_view anchor);
    // The findings, in the order their first entries came, with their facts and files.
    std::vector<Finding> Finish(const SystemFacts& system);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

// The summary's count of what is worth a look, by category: "1 starts by itself, 2 change what
// is trusted, 5 register programs"; empty when there is nothing.
std::string WorthALook(const std::vector<Finding>& findings, std::size_t loneAutostart,
                       std::size_t loneSecurity, std::size_t loneRegistration);
