#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "snapshot/scan_observer.h"
#include "snapshot/snapshot_files.h"
#include "text/text.h"  // SearchPatternsFromDriveList

// The two steps without a front end: what to scan comes in a request, progress goes to an
// observer, and the outcome comes back as a result. The dialog and the console program are two
// faces of this one engine, so both write and read the same files with the same bytes.

inline constexpr std::size_t kRegistryAreaCount = std::size(kSnapshotAreas) - 1;

struct StepRequest {
    bool scanFiles = false;
    std::string driveList;  // as the dialog's drive list: "C: D:", "C:,D:\Data", ...
    bool scanRegistry = false;
    // The roots in the order of kSnapshotAreas after the files: HKCR, HKLM, HKCU, HKU.
    std::array<bool, kRegistryAreaCount> roots{};
    bool copyNewFiles = false;  // Step #2 only

    // Neither the file system nor the registry is asked for: the step does nothing.
    bool NothingToDo() const { return !scanFiles && !scanRegistry; }
    bool AreaChosen(std::size_t area) const;  // index into kSnapshotAreas
};

// The walkers' observer, told also where each pass starts and ends.
class StepObserver : public ScanObserver {
public:
    // A pass over area begins: a comparison (Step #2) with baselineLines line feeds in its
    // baseline, or a snapshot (Step #1).
    virtual void PassStarting(const SnapshotArea& area, bool comparing,
                              std::uint32_t baselineLines) = 0;
    // The pass's walk has ended (also when it was stopped).
    virtual void PassFinished() = 0;

protected:
    ~StepObserver() = default;
};

// What Step #2 found besides new lines.
struct WholeChangeCounts {
    unsigned long modifiedFiles = 0;
    unsigned long removedFiles = 0;
    unsigned long newFolders = 0;
    unsigned long removedRegistryEntries = 0;
    // Values whose new line the change lists hold as new, paired with their old line: counted
    // among the new registry entries too, so not part of Any().
    unsigned long changedRegistryValues = 0;
    // Places Step #1 could not read: nothing below them is reported. Not changes, so not part
    // of Any(), but the summary names them.
    unsigned long unreadAtBaseline = 0;    // registry keys
    unsigned long unlistedAtBaseline = 0;  // folders

    // Files, folders, keys and values whose own names are spelled anew in letter case only.
    unsigned long renamed = 0;
    // Values whose type changed though their text did not: no change list shows them.
    unsigned long retypedValues = 0;
    // What is worth a look, by category: "Worth a look: 1 starts by itself, ..."; empty when
    // nothing starts, trusts or registers anything.
    std::string worthALook;

    bool Any() const {
        return modifiedFiles != 0 || removedFiles != 0 || newFolders != 0 ||
               removedRegistryEntries != 0 || renamed != 0 || retypedValues != 0;
    }
};

struct StepResult {
    enum class Outcome {
        Done,             // ran to its end
        Aborted,          // the observer asked to stop; what was written stays
        MissingBaseline,     // a baseline could not be opened: baselineName names it
        IncompleteBaseline,  // a baseline's record says Step #1 did not finish it: baselineName
        Failed,           // a file could not be written or read, or memory ran out
    };
    Outcome outcome = Outcome::Done;
    std::string baselineName;
    std::string failure;  // the message for Failed

    long fileCount = 0;              // files saved (Step #1) or new (Step #2)
    unsigned long entryCount = 0;    // registry lines saved (Step #1) or new (Step #2)
    std::vector<std::string> registryChangeLists;  // Step #2: those that received lines
    WholeChangeCounts wholeChange;   // Step #2

    // The text the user is shown at the end: the summary, or the failure. Empty for a
    // missing or incomplete baseline, which the front end reports in its own way.
    std::string message;

    // Step #2 found something new, modified or removed.
    bool FoundChanges() const {
        return fileCount != 0 || entryCount != 0 || wholeChange.Any();
    }
};

// What the user is told when a step ran out of memory, by the dialog and the console alike.
inline constexpr const char kNoMemoryText[] = "Not enough memory.\n\nThe step was stopped.";

// Step #1: writes the baseline of each chosen area.
StepResult RunBaselineStep(const StepRequest& request, StepObserver& observer);
// Step #2: compares each chosen area with its baseline into its change list.
StepResult RunCompareStep(const StepRequest& request, StepObserver& observer);

// Removes every text file of the program from the current directory.
void RemoveProgramFiles();
// What the user is told once RemoveProgramFiles is done.
inline constexpr const char kProgramFilesRemovedText[] =
    "Temporary log files have been removed.\n\n(Note: These files are created to allow "
    "persistent tracking across reboots.)";

// Summaries shown at the end of the steps.
std::string Step1Summary(bool aborted, bool filesScanned, long fileCount, unsigned long entryCount);
std::string Step2Summary(bool aborted, long fileCount, unsigned long entryCount,
                         const std::vector<std::string>& registryChangeLists,
                         const WholeChangeCounts& wholeChange = {});

// What the user is told of a baseline that Step #1 did not finish, with its name as caption.
inline constexpr const char kIncompleteBaselineText[] =
    "Step #1 did not finish writing this snapshot file.\n\nPlease run Step #1 again.";

// The text of the dialog's "Nothing to do!" message.
inline constexpr const char kNothingToDoText[] =
    "Nothing to do!\n\nPlease check \"Scan File System\" and/or \"Scan Registry\"";
