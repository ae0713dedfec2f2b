#pragma once

#include <string>
#include <vector>

#include "engine/step_engine.h"

// QuorvaneCmd's command line: what to do, and the exit codes that tell a script how it went.

enum class ConsoleAction { Step1, Step2, Cleanup, Help, Version, Invalid };

struct ConsoleCommand {
    ConsoleAction action = ConsoleAction::Invalid;
    StepRequest request;  // Step1 and Step2
    std::string error;    // Invalid: what is wrong, ready for standard error ("\n" ends lines)
};

// Reads the arguments after the program name, UTF-8. Commands, options and root names are
// matched in any letter case; each option may be given once; "--name=value" equals
// "--name value".
ConsoleCommand ParseCommandLine(const std::vector<std::string>& arguments);

// The forms of the command line, shown after every usage error; "\n" ends lines.
extern const char kUsageText[];
// What --help shows after the usage: the options and the exit codes.
extern const char kHelpText[];

enum ExitCode : int {
    kExitDone = 0,             // ran to its end; Step #2 found nothing new, modified or removed
    kExitChangesFound = 1,     // Step #2 found changes
    kExitUsage = 2,            // bad command line, or nothing to do
    kExitMissingBaseline = 3,  // Step #2 could not open a baseline, or Step #1 did not finish it
    kExitFailed = 4,           // a file could not be written or read, or memory ran out
    kExitAborted = 130,        // Ctrl+C, Ctrl+Break or the console closing
};

// The exit code of a step that ran; comparing tells Step #2 from Step #1.
ExitCode StepExitCode(const StepResult& result, bool comparing);
