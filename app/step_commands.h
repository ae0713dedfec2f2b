#pragma once

#include <string>
#include <string_view>
#include <vector>

// The command behind the Step #1 button: writes the baseline of the ticked areas.
void RunStep1();
// The command behind the Step #2 button: writes what is new since the baseline.
void RunStep2();

// The search patterns of a drive list: "," separates when the list holds one, else " "; of
// token positions 0 to 25, empty ones are skipped and each is cut after its first colon, then
// "\*.*" is appended ("C:,D:\Data" gives C:\*.* and D:\*.*).
std::vector<std::string> SearchPatternsFromDriveList(std::string_view driveList);

// Summaries shown at the end of the steps.
std::string Step1Summary(bool aborted, bool filesScanned, long fileCount, unsigned long entryCount);
std::string Step2Summary(bool aborted, long fileCount, unsigned long entryCount,
                         const std::vector<std::string>& registryChangeLists);
