// How QuorvaneCmd reads its command line, and the exit code a step's result gives.

#include <gtest/gtest.h>

#include "console/command_line.h"

namespace {

using Arguments = std::vector<std::string>;
using Roots = std::array<bool, kRegistryAreaCount>;

TEST(CommandLine, StepsTakeDriveListsAndRootsInEveryForm) {
    ConsoleCommand c = ParseCommandLine({"step1", "--files", "C: D:\\Data"});
    EXPECT_EQ(c.action, ConsoleAction::Step1);
    EXPECT_TRUE(c.request.scanFiles);
    EXPECT_EQ(c.request.driveList, "C: D:\\Data");  // split later, as the dialog's list
    EXPECT_FALSE(c.request.scanRegistry);
    EXPECT_FALSE(c.request.copyNewFiles);

    // Short and long names in any case, blanks and empty items ignored, order irrelevant.
    c = ParseCommandLine(
        {"STEP2", "--Registry", " hku , HKEY_local_MACHINE,,", "--copy", "--files=資料,E:"});
    EXPECT_EQ(c.action, ConsoleAction::Step2);
    EXPECT_TRUE(c.request.scanRegistry);
    EXPECT_EQ(c.request.roots, (Roots{false, true, false, true}));
    EXPECT_EQ(c.request.driveList, "資料,E:");
    EXPECT_TRUE(c.request.copyNewFiles);

    c = ParseCommandLine({"step1", "--registry=HKCR,HKEY_CURRENT_USER,HKEY_USERS"});
    EXPECT_FALSE(c.request.scanFiles);
    EXPECT_EQ(c.request.roots, (Roots{true, false, true, true}));

    EXPECT_EQ(ParseCommandLine({"Cleanup"}).action, ConsoleAction::Cleanup);
    EXPECT_EQ(ParseCommandLine({"--version"}).action, ConsoleAction::Version);
    for (const Arguments& help :
         {Arguments{"-h"}, Arguments{"/?"}, Arguments{"--HELP"},
          Arguments{"step1", "--files", "C:", "--help"}, Arguments{"nonsense", "-h"}}) {
        EXPECT_EQ(ParseCommandLine(help).action, ConsoleAction::Help) << help.back();
    }
}

TEST(CommandLine, BadInputNamesWhatIsWrong) {
    const struct {
        Arguments arguments;
        std::string error;
    } cases[] = {
        {{}, "QuorvaneCmd: no command given"},
        {{"step3"}, "QuorvaneCmd: unknown command \"step3\" (use step1, step2 or cleanup)"},
        {{"--files", "C:", "step1"}, "QuorvaneCmd: unknown command \"--files\""},
        {{"step1", "--files", "C:", "-x"}, "QuorvaneCmd: unknown option \"-x\""},
        {{"step1", "--file=C:"}, "QuorvaneCmd: unknown option \"--file\""},
        {{"step1", "--files", "C:", "D:"}, "QuorvaneCmd: unexpected argument \"D:\""},
        {{"step1", "--registry", "HKLM,HKXX"},
         "QuorvaneCmd: unknown root \"HKXX\" (use HKCR, HKLM, HKCU, HKU or their long names)"},
        {{"step1", "--registry", "HKEY_LOCAL"}, "QuorvaneCmd: unknown root \"HKEY_LOCAL\""},
        {{"step1", "--registry", " , "}, "QuorvaneCmd: --registry \" , \" names no root"},
        {{"step1", "--files"}, "QuorvaneCmd: --files needs a value, such as \"C: D:\""},
        {{"step1", "--files", "--registry", "HKLM"}, "QuorvaneCmd: --files needs a value"},
        {{"step1", "--registry"}, "QuorvaneCmd: --registry needs a value, such as HKLM,HKCU"},
        {{"step1", "--files", "   "}, "QuorvaneCmd: --files \"   \" names no drive"},
        {{"step1", "--files="}, "QuorvaneCmd: --files \"\" names no drive"},
        {{"step2", "--registry", "HKLM", "--REGISTRY", "HKCU"},
         "QuorvaneCmd: --REGISTRY is given twice"},
        {{"step2", "--files", "C:", "--copy", "--copy"}, "QuorvaneCmd: --copy is given twice"},
        {{"step2", "--files", "C:", "--copy=yes"}, "QuorvaneCmd: --copy takes no value"},
        {{"step1", "--copy", "--files", "C:"}, "QuorvaneCmd: --copy belongs to step2"},
        {{"step2", "--copy", "--registry", "HKLM"},
         "QuorvaneCmd: --copy copies new files: it needs --files"},
        {{"cleanup", "--registry", "HKLM"}, "QuorvaneCmd: cleanup takes no options"},
        {{"--version", "step1"}, "QuorvaneCmd: --version takes nothing after it"},
        {{"step1"}, std::string(kNothingToDoText) + "\n\nQuorvaneCmd: name what to scan"},
    };
    for (const auto& c : cases) {
        const ConsoleCommand command = ParseCommandLine(c.arguments);
        EXPECT_EQ(command.action, ConsoleAction::Invalid) << c.error;
        EXPECT_EQ(command.error.substr(0, c.error.size()), c.error);
    }
}

TEST(ExitCodes, OnlyAFinishedStep2WithChangesEndsWith1) {
    StepResult result;
    result.fileCount = 3;
    result.entryCount = 4;
    EXPECT_EQ(StepExitCode(result, false), kExitDone);  // Step #1 counts what it saved
    EXPECT_EQ(StepExitCode(result, true), kExitChangesFound);

    StepResult onlyRemoved;
    onlyRemoved.wholeChange.removedFiles = 1;
    EXPECT_EQ(StepExitCode(onlyRemoved, true), kExitChangesFound);
    EXPECT_EQ(StepExitCode(StepResult{}, true), kExitDone);

    result.outcome = StepResult::Outcome::Aborted;
    EXPECT_EQ(StepExitCode(result, true), kExitAborted);
    result.outcome = StepResult::Outcome::MissingBaseline;
    EXPECT_EQ(StepExitCode(result, true), kExitMissingBaseline);
    result.outcome = StepResult::Outcome::Failed;
    EXPECT_EQ(StepExitCode(result, false), kExitFailed);
}

}  // namespace
