// How the step commands read the drive list and word their summaries.

#include <gtest/gtest.h>

#include "app/step_commands.h"

namespace {

using Patterns = std::vector<std::string>;

TEST(DriveList, BlanksSeparateUnlessTheListHoldsAComma) {
    EXPECT_EQ(SearchPatternsFromDriveList("C: D:"), (Patterns{"C:\\*.*", "D:\\*.*"}));
    EXPECT_EQ(SearchPatternsFromDriveList("C:,D:\\Data"), (Patterns{"C:\\*.*", "D:\\*.*"}));
    // With a comma present, blanks belong to the tokens.
    EXPECT_EQ(SearchPatternsFromDriveList("C:, D:"), (Patterns{"C:\\*.*", " D:\\*.*"}));
    EXPECT_EQ(SearchPatternsFromDriveList("C:  D:"), (Patterns{"C:\\*.*", "D:\\*.*"}));
    EXPECT_EQ(SearchPatternsFromDriveList(""), Patterns{});
}

TEST(DriveList, ATokenIsCutAfterItsFirstColonOrKeptRelative) {
    EXPECT_EQ(SearchPatternsFromDriveList("D:\\Data\\x:y"), (Patterns{"D:\\*.*"}));
    EXPECT_EQ(SearchPatternsFromDriveList("Temp"), (Patterns{"Temp\\*.*"}));
}

TEST(DriveList, OnlyTheFirstTwentySixPositionsCount) {
    std::string list;
    for (int i = 0; i < 30; ++i) list += std::string(1, char('A' + i % 26)) + ": ";
    const Patterns patterns = SearchPatternsFromDriveList(list);
    ASSERT_EQ(patterns.size(), 26u);
    EXPECT_EQ(patterns.front(), "A:\\*.*");
    EXPECT_EQ(patterns.back(), "Z:\\*.*");
    // Empty positions count as positions.
    EXPECT_EQ(SearchPatternsFromDriveList(std::string(25, ' ') + "C: D:"), (Patterns{"C:\\*.*"}));
}

TEST(Summaries, Step1SaysWhatWasSaved) {
    EXPECT_EQ(Step1Summary(true, true, 5, 7), "Scan aborted");
    EXPECT_EQ(Step1Summary(false, true, 5, 7),
              "Saved a list of 5 files\n\nSaved a list of 7 registry entries");
    EXPECT_EQ(Step1Summary(false, true, 1, 0), "Saved a list of 1 files");
    EXPECT_EQ(Step1Summary(false, false, 0, 1), "Saved a list of 1 registry entries");
    EXPECT_NE(Step1Summary(false, true, 0, 0).find("Nothing was saved"), std::string::npos);
    EXPECT_NE(Step1Summary(false, false, 0, 0).find("No registry root is ticked"),
              std::string::npos);
}

TEST(Summaries, Step2NamesCountsAndChangeLists) {
    const std::vector<std::string> none;
    const std::vector<std::string> hkcu = {"Quorvane_Snapshot2_Registry_HKCU.TXT"};
    EXPECT_EQ(Step2Summary(true, 3, 4, hkcu), "Scan aborted");
    EXPECT_EQ(Step2Summary(false, 3, 4, hkcu),
              "Found 3 file(s) that were new\n\nFound 4 registry entries that were new");
    EXPECT_EQ(Step2Summary(false, 1, 0, none),
              "Found 1 new file, listed in \"Quorvane_Snapshot2_Files.TXT\"");
    EXPECT_EQ(Step2Summary(false, 2, 0, none),
              "Found 2 new files, listed in \"Quorvane_Snapshot2_Files.TXT\"");
    EXPECT_EQ(Step2Summary(false, 0, 1, hkcu),
              "Found 1 new registry entry, listed in \"Quorvane_Snapshot2_Registry_HKCU.TXT\"");
    EXPECT_EQ(Step2Summary(
                  false, 0, 2,
                  {"Quorvane_Snapshot2_Registry_HKLM.TXT", "Quorvane_Snapshot2_Registry_HKU.TXT"}),
              "Found 2 new registry entries, listed in \"Quorvane_Snapshot2_Registry_HKLM.TXT\", "
              "\"Quorvane_Snapshot2_Registry_HKU.TXT\"");
    EXPECT_EQ(Step2Summary(false, 0, 0, none),
              "0 new files and registry keys found on the system.\n\nNothing changed!");
}

}  // namespace
