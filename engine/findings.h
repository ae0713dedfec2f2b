#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/reported_item.h"
#include "report/finding.h"

// The things a change set up, took away or changed, as people name them: a service, a Run entry,
// a file type, a COM class, ... Each gathers the reported entries that make it (the keys and
// values below a service's key, a file type's extension and its program ID), with one line of
// facts read from them and the files it starts or loads. Entries no kind claims stay highlights
// of their own. Plain C++: what the system tells of a file comes in through SystemFacts.

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
    // A shortcut's facts read from the link file: "target", "arguments", "folder" (the working
    // folder); none when the file cannot be read as a link.
    virtual std::vector<std::pair<std::string_view, std::string>> Shortcut(
        std::string_view path) const = 0;
    // A scheduled task's facts read from its task file (XML, UTF-16): "command" (the first
    // <Exec> element's Command and Arguments, as one command line), "author"; none when the
    // file cannot be read as a task.
    virtual std::vector<std::pair<std::string_view, std::string>> Task(
        std::string_view path) const = 0;
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
    // in the report. True when a finding takes the item in: it is no highlight of its own.
    bool Add(const ReportedItem& item, std::size_t itemIndex, std::string_view anchor);
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
