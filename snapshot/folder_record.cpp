#include "snapshot/folder_record.h"

#include <charconv>

#include "snapshot/place_set.h"

namespace {

constexpr std::string_view kEndStart = "QvEnd,";

// Calls visit for every line of record, without its CR LF.
template <typename Visit>
void ForEachLine(std::string_view record, Visit visit) {
    while (!record.empty()) {
        const std::size_t end = record.find("\r\n");
        visit(record.substr(0, end));
        if (end == std::string_view::npos) return;
        record.remove_prefix(end + 2);
    }
}

bool ReadNumber(std::string_view& text, std::uint64_t& number) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end == text.data()) return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

}  // namespace

std::string FolderRecordEnd(std::uint64_t files, std::uint64_t baselineBytes) {
    return std::string(kEndStart) + std::to_string(files) + "," + std::to_string(baselineBytes);
}

BaselineState FolderRecordState(std::string_view record, std::uint64_t baselineBytes) {
    const std::string header = std::string(kFolderRecordHeader) + "\r\n";
    if (record.substr(0, header.size()) != header || record.size() < 2 ||
        record.substr(record.size() - 2) != "\r\n") {
        return BaselineState::Incomplete;
    }
    record.remove_suffix(2);
    const std::size_t start = record.rfind("\r\n");
    if (start == std::string_view::npos) return BaselineState::Incomplete;
    std::string_view end = record.substr(start + 2);
    std::uint64_t files = 0, bytes = 0;
    if (end.substr(0, kEndStart.size()) != kEndStart) return BaselineState::Incomplete;
    end.remove_prefix(kEndStart.size());
    if (!ReadNumber(end, files) || end.empty() || end.front() != ',') {
        return BaselineState::Incomplete;
    }
    end.remove_prefix(1);
    if (!ReadNumber(end, bytes) || !end.empty() || bytes != baselineBytes) {
        return BaselineState::Incomplete;
    }
    return BaselineState::Whole;
}

void AddUnlistedFolders(std::string_view record, PlaceSet& places) {
    ForEachLine(record, [&](std::string_view line) {
        if (!line.empty() && line.front() == kUnlistedFolderMark) places.Add(line.substr(1));
    });
}
