#include "app/step_commands.h"

#include <windows.h>

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "app/resource.h"
#include "app/scan_progress.h"
#include "app/scan_session.h"
#include "snapshot/baseline_index.h"
#include "snapshot/file_walker.h"
#include "snapshot/registry_walker.h"
#include "snapshot/snapshot_files.h"
#include "text/text.h"

namespace {

// The check box of each registry area of kSnapshotAreas, in table order after the files.
constexpr int kRootCheckBoxes[] = {IDC_ROOT_HKCR, IDC_ROOT_HKLM, IDC_ROOT_HKCU, IDC_ROOT_HKU};
static_assert(std::size(kRootCheckBoxes) + 1 == std::size(kSnapshotAreas));

constexpr int kDriveListLimit = 259;  // 258 characters and the terminator
constexpr int kMaxDriveTokens = 26;

bool IsFileArea(const SnapshotArea& area) { return area.root == nullptr; }

bool IsAreaChosen(std::size_t index) {
    if (index == 0) return IsChecked(IDC_SCAN_FILES);
    return IsChecked(IDC_SCAN_REGISTRY) && IsChecked(kRootCheckBoxes[index - 1]);
}

std::string ReadDriveList() {
    char text[kDriveListLimit] = "";
    GetDlgItemTextA(g_app.dialog, IDC_DRIVE_LIST, text, kDriveListLimit);
    return text;
}

std::string WriteFailureText(const SnapshotWriter& file) {
    return "Could not write \"" + file.Name() + "\".\n\n" + SystemErrorText(file.Error()) +
           "\n\nThe scan was stopped.";
}

std::string NoMemoryText(const char* name, unsigned long long size) {
    return "Not enough memory to compare against \"" + std::string(name) + "\" (" +
           std::to_string(size) + " bytes).\n\nThe scan was stopped.";
}

// Walks every place of the drive list into output. Returns the lines written.
long ScanDriveList(SnapshotWriter& output, const BaselineIndex* baseline, bool copyNewFiles,
                   ScanObserver& observer) {
    long lines = 0;
    for (const std::string& pattern : SearchPatternsFromDriveList(ReadDriveList())) {
        lines += ScanDirectoryTree(pattern, output, baseline, copyNewFiles, observer);
        if (output.Failed()) break;
    }
    return lines;
}

// Writes one area's baseline. Returns the lines written; failure names what went wrong.
long WriteBaseline(const SnapshotArea& area, ScanObserver& observer, std::string& failure) {
    SnapshotWriter output;
    long lines = 0;
    if (output.Create(area.baselineName)) {
        lines = IsFileArea(area) ? ScanDriveList(output, nullptr, false, observer)
                                 : ScanRegistryKey(area.root, "", &output, nullptr, observer);
    }
    if (!output.Close()) failure = WriteFailureText(output);
    return lines;
}

enum class PassOutcome { Done, MissingBaseline, Failed };

// Compares one area against its baseline into its change list.
PassOutcome CompareArea(const SnapshotArea& area, DialogScanObserver& observer, long& lines,
                        std::string& failure) {
    BaselineText baseline;
    DWORD error = ERROR_SUCCESS;
    switch (LoadBaselineFile(area.baselineName, baseline, error)) {
        case BaselineLoad::Loaded: break;
        case BaselineLoad::CannotOpen: return PassOutcome::MissingBaseline;
        case BaselineLoad::NoMemory:
            failure = NoMemoryText(area.baselineName, GetFileSizeByName(area.baselineName));
            return PassOutcome::Failed;
        case BaselineLoad::ReadFailed:
            failure = "Could not read \"" + std::string(area.baselineName) + "\".\n\n" +
                      SystemErrorText(error) + "\n\nThe scan was stopped.";
            return PassOutcome::Failed;
    }
    // Without its index a pass would take every item for new: it must not run at all.
    BaselineIndex index;
    if (!index.Build(baseline.View(), IsFileArea(area) ? BaselineIndex::Kind::FilePaths
                                                       : BaselineIndex::Kind::Records)) {
        failure = NoMemoryText(area.baselineName, baseline.size);
        return PassOutcome::Failed;
    }
    g_app.counters.baselineLines = static_cast<std::uint32_t>(CountLineFeeds(baseline.View()));
    ResetScanProgress();

    SnapshotWriter output;
    if (output.Create(area.changeListName)) {
        if (IsFileArea(area)) {
            const bool copy = IsChecked(IDC_COPY_FILES);
            if (copy) {
                DeleteFileA(kErrorLogName);
                CreateDirectoryA(kCopyFolder, nullptr);  // it may exist from an earlier run
            }
            lines = ScanDriveList(output, &index, copy, observer);
        } else {
            lines = ScanRegistryKey(area.root, "", &output, &index, observer);
        }
    }
    observer.FinishPass();
    if (!output.Close()) {
        failure = WriteFailureText(output);
        return PassOutcome::Failed;
    }
    return PassOutcome::Done;
}

void RemoveEmptyChangeLists() {
    for (const SnapshotArea& area : kSnapshotAreas) {
        if (FileExistsByName(area.changeListName) && GetFileSizeByName(area.changeListName) == 0) {
            DeleteFileA(area.changeListName);
        }
    }
}

}  // namespace

std::vector<std::string> SearchPatternsFromDriveList(std::string_view driveList) {
    const std::string_view separator =
        driveList.find(',') != std::string_view::npos ? std::string_view(",") : " ";
    std::vector<std::string> patterns;
    for (int position = 0; position < kMaxDriveTokens; ++position) {
        std::string token = GetToken(driveList, separator, position);
        if (token.empty()) continue;
        // A path after the drive letter still means the whole drive.
        if (const auto colon = token.find(':'); colon != std::string::npos) token.resize(colon + 1);
        patterns.push_back(token + "\\*.*");
    }
    return patterns;
}

std::string Step1Summary(bool aborted, bool filesScanned, long fileCount,
                         unsigned long entryCount) {
    if (aborted) return "Scan aborted";
    const std::string files = "Saved a list of " + std::to_string(fileCount) + " files";
    const std::string entries =
        "Saved a list of " + std::to_string(entryCount) + " registry entries";
    if (fileCount != 0 && entryCount != 0) return files + "\n\n" + entries;
    if (fileCount != 0) return files;
    if (entryCount != 0) return entries;
    return filesScanned ? "Nothing was saved.\n\nThe drive list names no place that holds files, "
                          "and no registry entries were listed."
                        : "Nothing was saved.\n\nNo registry root is ticked.";
}

std::string Step2Summary(bool aborted, long fileCount, unsigned long entryCount,
                         const std::vector<std::string>& registryChangeLists) {
    if (aborted) return "Scan aborted";
    if (fileCount != 0 && entryCount != 0) {
        return "Found " + std::to_string(fileCount) + " file(s) that were new\n\nFound " +
               std::to_string(entryCount) + " registry entries that were new";
    }
    if (fileCount != 0) {
        return "Found " + std::to_string(fileCount) + " new file" + (fileCount == 1 ? "" : "s") +
               ", listed in \"" + kFilesChangeListName + "\"";
    }
    if (entryCount != 0) {
        std::string names;
        for (const std::string& name : registryChangeLists) {
            if (!names.empty()) names += "\", \"";
            names += name;
        }
        return "Found " + std::to_string(entryCount) + " new registry entr" +
               (entryCount == 1 ? "y" : "ies") + ", listed in \"" + names + "\"";
    }
    return "0 new files and registry keys found on the system.\n\nNothing changed!";
}

void RunStep1() {
    if (!BeginStepCommand()) return;
    SetWindowTextA(g_app.statusLine, " ");
    SetWindowTextA(g_app.changesLine, " ");
    EnterScanSession();
    ShowWindow(g_app.progressBar, SW_HIDE);

    DialogScanObserver observer;
    std::string failure;
    long fileCount = 0;
    const bool filesChosen = IsAreaChosen(0);
    if (filesChosen) fileCount = WriteBaseline(kSnapshotAreas[0], observer, failure);
    if (failure.empty() && IsChecked(IDC_SCAN_REGISTRY)) {
        g_app.counters.registryEntries = 0;
        for (std::size_t i = 1; i < std::size(kSnapshotAreas) && failure.empty(); ++i) {
            if (!IsAreaChosen(i)) continue;
            g_app.counters.registryEntries += WriteBaseline(kSnapshotAreas[i], observer, failure);
        }
    }

    LeaveScanSession();
    SetWindowTextA(g_app.statusLine, " ");
    ShowInfoMessage(failure.empty() ? Step1Summary(g_app.abort != 0, filesChosen, fileCount,
                                                   g_app.counters.registryEntries)
                                          .c_str()
                                    : failure.c_str(),
                    "Quorvane");
    EnableActionButtons();
    ShowWindow(g_app.progressBar, SW_SHOW);
}

void RunStep2() {
    if (!BeginStepCommand()) return;
    ShowLineNow(g_app.statusLine, " ");
    ShowLineNow(g_app.changesLine, "Changes Found: 0");
    EnterScanSession();

    DialogScanObserver observer;
    std::string failure;
    long fileCount = 0;
    std::vector<std::string> registryChangeLists;  // those that received lines
    for (std::size_t i = 0; i < std::size(kSnapshotAreas) && failure.empty(); ++i) {
        if (!IsAreaChosen(i)) continue;
        const SnapshotArea& area = kSnapshotAreas[i];
        long lines = 0;
        if (CompareArea(area, observer, lines, failure) == PassOutcome::MissingBaseline) {
            ShowInfoMessage("Could not open the snapshot file.\n\nPlease run Step #1.",
                            area.baselineName);
            EnableActionButtons();
            LeaveScanSession();
            return;
        }
        if (IsFileArea(area)) {
            fileCount += lines;
        } else if (lines != 0) {
            registryChangeLists.push_back(area.changeListName);
        }
    }

    LeaveScanSession();
    RemoveEmptyChangeLists();
    const std::string summary =
        failure.empty() ? Step2Summary(g_app.abort != 0, fileCount, g_app.counters.registryEntries,
                                       registryChangeLists)
                        : failure;
    ShowInfoMessage(summary.c_str(), "Quorvane");
    EnableActionButtons();
}
