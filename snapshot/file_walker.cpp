#include "snapshot/file_walker.h"

#include <windows.h>

#include <charconv>
#include <vector>

#include "snapshot/baseline_index.h"
#include "snapshot/copy_files.h"
#include "snapshot/scan_observer.h"
#include "snapshot/snapshot_files.h"
#include "snapshot/file_listing.h"
#include "snapshot/unique_handle.h"
#include "text/text.h"

namespace {

// Files with this word in their path are the program's own (snapshots, error log, copies).
constexpr std::string_view kProductWord = "Quorvane";

bool HoldsProductWord(std::string_view text) {
    return text.find(kProductWord) != std::string_view::npos;
}

// One open directory of the walk, with the lengths that its own paths end at.
struct OpenDirectory {
    UniqueFindHandle listing;
    std::size_t systemLength;   // of the extended-length path, with its final backslash
    std::size_t displayLength;  // of the path as the user knows it, with its final backslash
};

}  // namespace

long ScanDirectoryTree(std::string_view pattern, SnapshotWriter& output,
                       const BaselineIndex* baseline, bool copyNewFiles, ScanObserver& observer) {
    // The shown paths start with the pattern's own folder part (up to its last backslash, or
    // its drive for "C:*.*"), the listing's with the same folder made absolute.
    std::size_t cut = pattern.rfind('\\');
    if (cut == std::string_view::npos && pattern.size() >= 2 && pattern[1] == ':') cut = 1;
    const std::string_view prefix =
        cut == std::string_view::npos ? std::string_view() : pattern.substr(0, cut + 1);
    std::string_view filter = pattern.substr(prefix.size());
    if (filter.empty()) filter = "*";

    // Nothing under a folder of the program's own would be listed.
    if (HoldsProductWord(prefix)) return 0;

    std::wstring systemPath = ExtendedLengthPath(prefix.empty() ? std::string_view(".") : prefix);
    if (systemPath.empty()) return 0;
    if (systemPath.back() != L'\\') systemPath += L'\\';
    std::string displayPath(prefix);
    // The buffers grow to the deepest path once and are reused for every entry.
    systemPath.reserve(1024);
    displayPath.reserve(1024);

    WIN32_FIND_DATAW entry;
    std::vector<OpenDirectory> open;
    {
        const std::size_t length = systemPath.size();
        systemPath += WidenText(filter);
        UniqueFindHandle listing = OpenListing(systemPath, entry);
        systemPath.resize(length);
        if (!listing.valid()) return 0;
        open.push_back({std::move(listing), length, displayPath.size()});
    }

    long lines = 0;
    bool haveEntry = true;  // the entry that opened the current directory is still unread
    char sizeText[24];
    while (!open.empty()) {
        OpenDirectory& current = open.back();
        if (!haveEntry && !FindNextFileW(current.listing.get(), &entry)) {
            open.pop_back();  // closes the listing
            continue;
        }
        haveEntry = false;
        if (observer.ShouldStop() || output.Failed()) break;
        if (IsDotEntry(entry.cFileName)) continue;

        systemPath.resize(current.systemLength);
        displayPath.resize(current.displayLength);
        systemPath.append(entry.cFileName);
        displayPath.append(NarrowText(entry.cFileName));

        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A linked folder leads into a tree listed under its own path, or back up into
            // this one: never entered.
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            // Every file below would be one of the program's own: not worth listing.
            if (HoldsProductWord(displayPath)) continue;
            systemPath += L'\\';
            displayPath += '\\';
            const std::size_t systemLength = systemPath.size();
            systemPath += L'*';
            UniqueFindHandle listing = OpenListing(systemPath, entry);
            if (listing.valid()) {
                // The listing's first entry is now in entry: read it next.
                open.push_back({std::move(listing), systemLength, displayPath.size()});
                haveEntry = true;
            }
            continue;
        }

        if (HoldsProductWord(std::string_view(displayPath).substr(current.displayLength))) continue;
        observer.ItemVisited(displayPath);

        if (baseline == nullptr) {
            const unsigned long long size =
                (static_cast<unsigned long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            const std::size_t pathLength = displayPath.size();
            sizeText[0] = ',';
            const auto converted = std::to_chars(sizeText + 1, sizeText + sizeof sizeText, size);
            displayPath.append(sizeText, converted.ptr);
            const bool written = output.WriteLine(displayPath);
            displayPath.resize(pathLength);
            if (!written) break;
            ++lines;
        } else if (!baseline->Contains(displayPath)) {
            if (copyNewFiles) CopyNewFile(displayPath, observer);
            if (!output.WriteLine(displayPath)) break;
            ++lines;
            observer.NewFileFound();
        }
    }
    return lines;
}
