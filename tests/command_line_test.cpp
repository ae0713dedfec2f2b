// How QuorvaneCmd reads its command line, and the exit code a step's result gives.

#include <gtest/gtest.h>

#include "console/command_line.h"

namespace {

using Arguments = std::vector<std::string>;
using Roots = std::array<bool, kRegistryAreaCount>;

TEST(CommandLine, StepsTakeDriveListsAndRootsInEveryForm) {
    // Short and long names in any case, blanks and empty items ignored, order irrelevant; the
    // drive list is kept as given, to be split as the dialog's.
    ConsoleCommand c = ParseCommandLine(
        {"STEP2", "--Registry", " hku , HKEY_local_MACHINE,,", "--copy", "--files=資料,E:"});
    EXPECT_EQ(c.action, ConsoleAction::Step2);
    EXPECT_TRUE(c.request.scanFiles && c.request.scanRegistry && c.request.copyNewFiles);
    EXPECT_EQ(c.request.roots, (Roots{false, true, false, true}));
    EXPECT_EQ(c.request.driveList, "資料,E:");

    c = ParseCommandLine({"step1", "--registry", "HKCR,HKEY_CURRENT_USER"});
    EXPECT_EQ(c.action, ConsoleAction::Step1);
    EXPECT_FALSE(c.request.scanFiles);
    EXPECT_EQ(c.request.roots, (Roots{true, false, true, false}));

    for (const Arguments& help : {Arguments{"/?"}, Arguments{"step1", "--files", "C:", "-H"}}) {
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
        {{"step1", "--files", "C:", "-x"}, "QuorvaneCmd: unknown option \"-x\""},
        {{"step1", "--files", "C:", "D:"}, "QuorvaneCmd: unexpected argument \"D:\""},
        {{"step1", "--registry", "HKLM,HKXX"},
         "QuorvaneCmd: unknown root \"HKXX\" (use HKCR, HKLM, HKCU, HKU or their long names)"},
        {{"step1", "--registry", " , "}, "QuorvaneCmd: --registry \" , \" names no root"},
        {{"step1", "--files", "--registry", "HKLM"}, "QuorvaneCmd: --files needs a value"},
        {{"step1", "--files", "   "}, "QuorvaneCmd: --files \"   \" names no drive letter"},
        {{"step1", "--files="}, "QuorvaneCmd: --files \"\" names no drive letter"},
        {{"step1", "--files", " , "}, "QuorvaneCmd: --files \" , \" names no drive letter"},
        {{"step2", "--files", "-D:"}, "QuorvaneCmd: --files \"-D:\" names no drive letter"},
        {{"step1", "--files=C"}, "QuorvaneCmd: --files \"C\" names no drive letter"},
        {{"step2", "--registry", "HKLM", "--REGISTRY", "HKCU"},
         "QuorvaneCmd: --REGISTRY is given twice"},
        {{"step2", "--files", "C:", "--copy=yes"}, "QuorvaneCmd: --copy takes no value"},
        {{"step2", "--copy", "--registry", "HKLM"},
         "QuorvaneCmd: --copy copies new files: it needs --files"},
        {{"cleanup", "--registry", "HKLM"}, "QuorvaneCmd: cleanup takes no options"},
        {{"step1"}, std::string(kNothingToDoText) + "\n\nQuorvaneCmd: name what to scan"},
    };
    for (const auto& c : cases) {
        const ConsoleCommand command = ParseCommandLine(c.arguments);
        EXPECT_EQ(command.action, ConsoleAction::Invalid) << c.error;
        EXPECT_EQ(command.error.substr(0, c.error.size()), c.error);
    }
}

TEST(ExitCodes, OnlyAFinishedStep2WithChangesEndsWith1) {
    StepResult saved;
    saved.fileCount = 3;  // Step #1 counts what it saved
    EXPECT_EQ(StepExitCode(saved, false), kExitDone);
    StepResult onlyRemoved;
    onlyRemoved.wholeChange.removedFiles = 1;
    EXPECT_EQ(StepExitCode(onlyRemoved, true), kExitChangesFound);
    EXPECT_EQ(StepExitCode(StepResult{}, true), kExitDone);
}

}  // namespace
