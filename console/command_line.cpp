#include "console/command_line.h"

#include <algorithm>
#include <string_view>

#include "text/text.h"

const char kUsageText[] =
    "Usage:\n"
    "  QuorvaneCmd step1 [--files \"C: D:\"] [--registry HKCR,HKLM,HKCU,HKU]\n"
    "  QuorvaneCmd step2 [--files \"C: D:\"] [--registry HKCR,HKLM,HKCU,HKU] [--copy]\n"
    "  QuorvaneCmd cleanup\n"
    "  QuorvaneCmd --help | -h | /?\n"
    "  QuorvaneCmd --version\n";

const char kHelpText[] =
    "step1 lists the named drives and registry roots into baseline files in the current\n"
    "folder; step2 compares them with those files and lists what is new; cleanup removes the\n"
    "program's text files, all in the current folder. The summary, the text the dialog shows\n"
    "at the end, goes to standard output; errors, and in a console a progress line, go to\n"
    "standard error.\n"
    "\n"
    "  --files LIST      drives to list, as in the dialog's drive list: \"C: D:\" or \"C:,D:\";\n"
    "                    a path after a drive letter means the whole drive. Without it no\n"
    "                    file is listed; a list that names no drive letter is an error.\n"
    "  --registry ROOTS  registry roots, comma-separated, short (HKLM) or long\n"
    "                    (HKEY_LOCAL_MACHINE) names in any letter case, always walked in the\n"
    "                    order HKCR, HKLM, HKCU, HKU. Without it no registry root is listed.\n"
    "  --copy            step2 only, with --files: copies each new file into\n"
    "                    C:\\_Quorvane_COPY\\.\n"
    "Each option may be given once; --name=value equals --name value.\n"
    "\n"
    "Exit codes: 0 done and (step2) nothing changed, 1 step2 found changes, 2 usage error or\n"
    "nothing to do, 3 a baseline is missing or incomplete, 4 a file could not be written or\n"
    "read or memory ran out, 130 aborted (Ctrl+C, Ctrl+Break or the console closing).\n";

namespace {

constexpr const char kProgram[] = "QuorvaneCmd: ";

// Names a root may go by, in the order of StepRequest::roots; the long names are those that
// start the registry lines.
constexpr const char* kShortRootNames[] = {"HKCR", "HKLM", "HKCU", "HKU"};
static_assert(std::size(kShortRootNames) == kRegistryAreaCount);

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && (a.empty() || FindNoCase(a, b) == 0);
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Index into StepRequest::roots of a root's name, or -1.
int RootIndex(std::string_view name) {
    for (std::size_t i = 0; i < kRegistryAreaCount; ++i) {
        if (SameNoCase(name, kShortRootNames[i]) ||
            SameNoCase(name, kSnapshotAreas[i + 1].rootName)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

ConsoleCommand Invalid(std::string error) {
    ConsoleCommand command;
    command.error = std::move(error);
    return command;
}

std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    quoted += text;
    quoted += '"';
    return quoted;
}

// Reads the options after a step's or clean-up's name into command.
class OptionReader {
public:
    OptionReader(const std::vector<std::string>& arguments, ConsoleCommand& command)
        : arguments_(arguments), command_(command) {}

    // False with command_.error set when an argument is wrong.
    bool ReadAll() {
        for (next_ = 1; next_ < arguments_.size();) {
            if (!ReadOne()) return false;
        }
        return true;
    }

private:
    bool Fail(std::string error) {
        command_.error = kProgram + std::move(error);
        return false;
    }

    bool ReadOne() {
        std::string_view argument = arguments_[next_++];
        std::string_view name = argument;
        std::string_view inlineValue;
        bool hasInlineValue = false;
        if (argument.substr(0, 2) == "--") {
            if (const auto equals = argument.find('='); equals != std::string_view::npos) {
                name = argument.substr(0, equals);
                inlineValue = argument.substr(equals + 1);
                hasInlineValue = true;
            }
        }
        const bool isFiles = SameNoCase(name, "--files");
        const bool isRegistry = SameNoCase(name, "--registry");
        const bool isCopy = SameNoCase(name, "--copy");
        if (!isFiles && !isRegistry && !isCopy) {
            if (argument.substr(0, 1) == "-" || argument.substr(0, 1) == "/") {
                return Fail("unknown option " + Quoted(name));
            }
            return Fail("unexpected argument " + Quoted(argument));
        }
        if (command_.action == ConsoleAction::Cleanup) {
            return Fail("cleanup takes no options, but " + Quoted(name) + " was given");
        }
        bool& seen = isFiles ? filesSeen_ : isRegistry ? registrySeen_ : copySeen_;
        if (seen) return Fail(std::string(name) + " is given twice");
        seen = true;

        if (isCopy) {
            if (hasInlineValue) return Fail("--copy takes no value");
            if (command_.action != ConsoleAction::Step2) {
                return Fail("--copy belongs to step2: step1 copies nothing");
            }
            command_.request.copyNewFiles = true;
            return true;
        }
        std::string_view value = inlineValue;
        if (!hasInlineValue) {
            // An option's name where its value should be means the value was left out.
            if (next_ == arguments_.size() || arguments_[next_].substr(0, 2) == "--") {
                return Fail(std::string(name) + " needs a value, such as " +
                            (isFiles ? "\"C: D:\"" : "HKLM,HKCU"));
            }
            value = arguments_[next_++];
        }
        return isFiles ? TakeDriveList(value) : TakeRoots(value);
    }

    bool TakeDriveList(std::string_view value) {
        // Such a list most likely comes from an unset variable or a typing slip in a script:
        // listing nothing would make a baseline that hides every file, and let the script go on.
        const std::vector<std::string> places = SearchPatternsFromDriveList(value);
        if (std::none_of(places.begin(), places.end(), [](std::string_view pattern) {
                return IsDriveLetter(pattern.substr(0, pattern.rfind('\\')));
            })) {
            return Fail("--files " + Quoted(value) + " names no drive letter, such as C:");
        }
        command_.request.scanFiles = true;
        command_.request.driveList = value;
        return true;
    }

    bool TakeRoots(std::string_view value) {
        bool any = false;
        for (std::string_view rest = value;;) {
            const std::size_t comma = rest.find(',');
            const std::string_view name = TrimBlanks(rest.substr(0, comma));
            if (!name.empty()) {
                const int root = RootIndex(name);
                if (root < 0) {
                    return Fail("unknown root " + Quoted(name) +
                                " (use HKCR, HKLM, HKCU, HKU or their long names)");
                }
                command_.request.roots[static_cast<std::size_t>(root)] = true;
                any = true;
            }
            if (comma == std::string_view::npos) break;
            rest.remove_prefix(comma + 1);
        }
        if (!any) return Fail("--registry " + Quoted(value) + " names no root");
        command_.request.scanRegistry = true;
        return true;
    }

    const std::vector<std::string>& arguments_;
    ConsoleCommand& command_;
    std::size_t next_ = 1;
    bool filesSeen_ = false;
    bool registrySeen_ = false;
    bool copySeen_ = false;
};

}  // namespace

ConsoleCommand ParseCommandLine(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return Invalid(std::string(kProgram) + "no command given");
    for (const std::string& argument : arguments) {
        if (SameNoCase(argument, "--help") || SameNoCase(argument, "-h") || argument == "/?") {
            ConsoleCommand help;
            help.action = ConsoleAction::Help;
            return help;
        }
    }

    const std::string_view first = arguments.front();
    ConsoleCommand command;
    if (SameNoCase(first, "step1")) {
        command.action = ConsoleAction::Step1;
    } else if (SameNoCase(first, "step2")) {
        command.action = ConsoleAction::Step2;
    } else if (SameNoCase(first, "cleanup")) {
        command.action = ConsoleAction::Cleanup;
    } else if (SameNoCase(first, "--version")) {
        if (arguments.size() > 1) {
            return Invalid(kProgram + std::string("--version takes nothing after it"));
        }
        command.action = ConsoleAction::Version;
        return command;
    } else {
        return Invalid(kProgram + std::string("unknown command ") + Quoted(first) +
                       " (use step1, step2 or cleanup)");
    }

    if (!OptionReader(arguments, command).ReadAll()) {
        command.action = ConsoleAction::Invalid;
        return command;
    }
    if (command.action != ConsoleAction::Cleanup && command.request.NothingToDo()) {
        return Invalid(std::string(kNothingToDoText) + "\n\n" + kProgram +
                       "name what to scan with --files and/or --registry");
    }
    if (command.request.copyNewFiles && !command.request.scanFiles) {
        return Invalid(kProgram + std::string("--copy copies new files: it needs --files"));
    }
    return command;
}

ExitCode StepExitCode(const StepResult& result, bool comparing) {
    switch (result.outcome) {
        case StepResult::Outcome::Done:
            return comparing && result.FoundChanges() ? kExitChangesFound : kExitDone;
        case StepResult::Outcome::Aborted: return kExitAborted;
        case StepResult::Outcome::MissingBaseline:
        case StepResult::Outcome::IncompleteBaseline: return kExitMissingBaseline;
        case StepResult::Outcome::Failed: return kExitFailed;
    }
    return kExitFailed;
}
