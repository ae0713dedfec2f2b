#include "engine/baseline_records.h"

#include <windows.h>

#include "snapshot/folder_record.h"
#include "snapshot/registry_lines.h"
#include "win32/unique_handle.h"

namespace {

bool IsFileArea(const SnapshotArea& area) { return area.root == nullptr; }

std::string ReadFailureText(const char* name, BaselineLoad load, DWORD error) {
    if (load == BaselineLoad::NoMemory) {
        return "Not enough memory to read \"" + std::string(name) + "\".\n\nThe scan was stopped.";
    }
    return "Could not read \"" + std::string(name) + "\".\n\n" + SystemErrorText(error) +
           "\n\nThe scan was stopped.";
}

}  // namespace

BaselineCheck CheckBaseline(const SnapshotArea& area) {
    UniqueFile file(CreateFileA(area.baselineName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size)) return BaselineCheck::Missing;
    BaselineText record;
    DWORD error = ERROR_SUCCESS;
    // No record: a baseline of an earlier build. One that cannot be read now is reported by
    // the pass, which reads it again.
    if (LoadBaselineFile(area.recordName, record, error) != BaselineLoad::Loaded) {
        return BaselineCheck::Usable;
    }
    const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
    const BaselineState state = IsFileArea(area) ? FolderRecordState(record.View(), bytes)
                                                 : RegistryRecordState(record.View(), bytes);
    return state == BaselineState::Incomplete ? BaselineCheck::Incomplete : BaselineCheck::Usable;
}

bool LoadBaselineRecords(const SnapshotArea& area, std::string_view baseline,
                         BaselineRecords& records, std::string& failure) {
    BaselineText record;
    DWORD error = ERROR_SUCCESS;
    if (area.recordName == nullptr) return true;
    const BaselineLoad load = LoadBaselineFile(area.recordName, record, error);
    if (load == BaselineLoad::CannotOpen) return true;
    if (load != BaselineLoad::Loaded) {
        failure = ReadFailureText(area.recordName, load, error);
        return false;
    }
    if (IsFileArea(area)) {
        AddUnlistedFolders(record.View(), records.unreadAtBaseline);
        if (!records.folders.Build(record.View(), BaselineIndex::Kind::Records)) {
            failure = ReadFailureText(area.recordName, BaselineLoad::NoMemory, ERROR_SUCCESS);
            return false;
        }
        records.folderRecord = std::move(record);
        return true;
    }
    const std::string rootPrefix = std::string(area.rootName) + "\\";
    const bool agrees = MatchRegistryLines(record.View(), baseline, rootPrefix, records.joins);
    RegistryLineReader reader(record.View());
    std::size_t start = 0;
    for (RegistryLine line; reader.Next(line); start += line.length + 2) {
        if (!line.nameExact) records.inexactLines.push_back(start);
    }
    for (std::string_view key : reader.Unreadable()) records.unreadAtBaseline.Add(key);
    if (agrees) {
        records.lineRecord.assign(record.View());
        records.namesTold = !reader.Earlier();
    } else {
        // Read as earlier builds wrote it, as well as its text allows.
        records.joins.clear();
        records.inexactLines.clear();
    }
    return true;
}
