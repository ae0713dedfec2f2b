// QuorvaneCmd: the two steps for scripts and build pipelines, with the dialog's engine, files
// and summaries, and an exit code that tells how the step went.

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <new>
#include <string>
#include <vector>

#include "console/command_line.h"
#include "console/console_observer.h"
#include "console/standard_stream.h"
#include "res/build_stamp.h"
#include "res/version.h"
#include "win32/unique_handle.h"
#include "text/text.h"

namespace {

// Set by the control handler, read by the walk between entries: the console's Abort button.
std::atomic<bool> g_abort{false};
// Signalled except while a step runs.
UniqueEvent g_stepIdle;

// Windows ends a process five seconds after its console was closed; the step gets most of
// that to stop at its next entry and close its files.
constexpr DWORD kCloseWaitMs = 4000;

BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: g_abort = true; return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            g_abort = true;
            // The process ends as soon as this returns: what was written must be on disk.
            if (g_stepIdle.valid()) WaitForSingleObject(g_stepIdle.get(), kCloseWaitMs);
            return TRUE;
        default: return FALSE;
    }
}

// The arguments after the program name, as UTF-8 (the manifest makes the ANSI code page
// UTF-8, which NarrowText converts to), so that drive lists outside ASCII survive.
std::vector<std::string> CommandLineArguments() {
    std::vector<std::string> arguments;
    int count = 0;
    const UniqueLocal<LPWSTR*> wide(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!wide) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(NarrowText(wide.get()[i]));
    return arguments;
}

int RunStep(const ConsoleCommand& command, StandardStream& out, StandardStream& err) {
    const bool comparing = command.action == ConsoleAction::Step2;
    ConsoleScanObserver observer(g_abort, err);
    ResetEvent(g_stepIdle.get());
    const StepResult result = comparing ? RunCompareStep(command.request, observer)
                                        : RunBaselineStep(command.request, observer);
    SetEvent(g_stepIdle.get());
    observer.ClearProgress();

    switch (result.outcome) {
        case StepResult::Outcome::MissingBaseline:
            err.Write("QuorvaneCmd: could not open the snapshot file \"" + result.baselineName +
                      "\".\nPlease run step1 first.\n");
            break;
        case StepResult::Outcome::IncompleteBaseline:
            err.Write("QuorvaneCmd: step1 did not finish writing the snapshot file \"" +
                      result.baselineName + "\".\nPlease run step1 again.\n");
            break;
        case StepResult::Outcome::Failed: err.Write(result.message + "\n"); break;
        case StepResult::Outcome::Done:
        case StepResult::Outcome::Aborted: out.Write(result.message + "\n"); break;
    }
    return StepExitCode(result, comparing);
}

int Run(StandardStream& out, StandardStream& err) {
    const ConsoleCommand command = ParseCommandLine(CommandLineArguments());
    switch (command.action) {
        case ConsoleAction::Invalid:
            err.Write(command.error + "\n\n" + kUsageText +
                      "Run \"QuorvaneCmd --help\" for the options and the exit codes.\n");
            return kExitUsage;
        case ConsoleAction::Help:
            out.Write(std::string(kUsageText) + "\n" + kHelpText);
            return kExitDone;
        case ConsoleAction::Version:
            out.Write(std::string("Quorvane version " QUORVANE_VERSION_TEXT "\n") +
                      BuildStampText() + "\n");
            return kExitDone;
        case ConsoleAction::Cleanup:
            RemoveProgramFiles();
            out.Write(std::string(kProgramFilesRemovedText) + "\n");
            return kExitDone;
        case ConsoleAction::Step1:
        case ConsoleAction::Step2: return RunStep(command, out, err);
    }
    return kExitUsage;
}

}  // namespace

int main() {
    g_stepIdle.reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    StandardStream out(STD_OUTPUT_HANDLE);
    StandardStream err(STD_ERROR_HANDLE);
    try {
        return Run(out, err);
    } catch (const std::bad_alloc&) {
        SetEvent(g_stepIdle.get());
        err.Write(std::string(kNoMemoryText) + "\n");
        return kExitFailed;
    }
}
