// Writes a large report page as Step #2 would, for report_harness.html to time in a browser:
// entries with paths and values as installers leave them, over the sections of the files and
// of two registry roots, some of them likely noise and some highlights.
//
//   report_bench [--entries N] [--out FILE]
//
// --entries  entries of the page (default 200,000)
// --out      where the page goes (default report_bench.html)
//
// Plain C++ without Windows calls: tools/bench --only report builds and runs it natively.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "bench/native_support.h"
#include "report/report_page.h"

namespace {

using bench::Now;
using bench::Random;

constexpr std::string_view kFileRoots[] = {
    "C:\\Program Files\\", "C:\\Program Files (x86)\\", "C:\\ProgramData\\",
    "C:\\Users\\alex\\AppData\\Local\\", "C:\\Users\\alex\\AppData\\Roaming\\"};
constexpr std::string_view kVendors[] = {"Contoso", "Fabrikam", "Northwind Traders", "Adatum",
                                         "Litware", "Tailspin Toys", "Woodgrove", "Proseware"};
constexpr std::string_view kProducts[] = {"Studio 2026", "Agent", "Update", "Runtime\\8.0.4",
                                          "Media Suite", "Sync Client", "SDK\\10.2"};
constexpr std::string_view kFolders[] = {"bin", "lib", "plugins", "resources", "locales", "x64",
                                         "data", "help", "themes", "fonts", "modules", "cache"};
constexpr std::string_view kStems[] = {"core", "render", "net", "ui", "codec", "sqlite", "crash",
                                       "telemetry", "update", "shell", "d3d", "icu", "license"};
constexpr std::string_view kExtensions[] = {".dll", ".exe", ".json", ".pak", ".png", ".xml",
                                            ".mui", ".cat", ".manifest", ".txt", ".js", ".dat"};
constexpr std::string_view kValueNames[] = {"DisplayName", "DisplayVersion", "InstallLocation",
                                            "Publisher", "ThreadingModel", "Version", "Enabled",
                                            "LastCheck", "Flags", "Path", "Language", "Data"};

void AppendNumber(std::string& text, std::size_t value, int digits) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%0*zu", digits, value);
    text += buffer;
}

std::string Guid(Random& random) {
    char text[48];
    const std::uint64_t a = random.Next(), b = random.Next();
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}",
                  static_cast<unsigned>(a >> 32), static_cast<unsigned>(a >> 16) & 0xFFFF,
                  static_cast<unsigned>(a) & 0xFFFF, static_cast<unsigned>(b >> 48),
                  static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
    return text;
}

std::string FilePath(Random& random, std::size_t i) {
    std::string path;
    const std::size_t place = random.Below(2000);
    if (place == 0) {
        path = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\";
    } else if (place < 160) {
        path = "C:\\Users\\alex\\AppData\\Local\\Temp\\";
    } else {
        path = random.Pick(kFileRoots);
    }
    path += random.Pick(kVendors);
    path += '\\';
    path += random.Pick(kProducts);
    for (std::size_t depth = random.Below(4); depth != 0; --depth) {
        path += '\\';
        path += random.Pick(kFolders);
    }
    path += '\\';
    path += random.Pick(kStems);
    path += '_';
    AppendNumber(path, i, 5);
    path += random.Pick(kExtensions);
    return path;
}

std::string FolderPath(Random& random, std::size_t i) {
    std::string path(random.Pick(kFileRoots));
    path += random.Pick(kVendors);
    path += '\\';
    path += random.Pick(kFolders);
    path += '_';
    AppendNumber(path, i, 5);
    path += '\\';
    return path;
}

std::string KeyPath(Random& random, std::string_view root) {
    std::string path(root);
    const std::size_t place = random.Below(1000);
    if (place == 0) {
        path += "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    } else if (place == 1) {
        path += "\\SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\Root\\Certificates\\";
        path += Guid(random);
    } else if (place < 150 && root == "HKEY_CURRENT_USER") {
        path += "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\";
        path += Guid(random);
        path += "\\Count";
    } else if (place < 300) {
        path += "\\SOFTWARE\\Classes\\CLSID\\";
        path += Guid(random);
        path += random.Below(2) != 0 ? "\\InprocServer32" : "\\ProgID";
    } else if (place < 500) {
        path += "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
        path += Guid(random);
    } else {
        path += "\\SOFTWARE\\";
        path += random.Pick(kVendors);
        path += '\\';
        path += random.Pick(kProducts);
        path += '\\';
        path += random.Pick(kFolders);
    }
    return path;
}

std::string ValueText(Random& random, std::size_t i) {
    switch (random.Below(4)) {
        case 0: return std::to_string(static_cast<int>(random.Below(200000)) - 1000);
        case 1: return FilePath(random, i);
        case 2: {
            std::string text = "hex:";
            for (std::size_t n = 8 + random.Below(24); n != 0; --n) {
                char byte[4];
                std::snprintf(byte, sizeof byte, "%02x,", static_cast<unsigned>(random.Below(256)));
                text += byte;
            }
            text.pop_back();
            return text;
        }
        default: {
            std::string text(random.Pick(kVendors));
            text += ' ';
            text += random.Pick(kProducts);
            text += " 8.";
            AppendNumber(text, random.Below(100), 1);
            return text;
        }
    }
}

// What an entry means, told by a piece of its path, as the program's rules might tell it.
struct Rule {
    std::string_view piece;
    ChangeCategory category;
    std::string_view meaning;
};
constexpr Rule kRules[] = {
    {"\\StartUp\\", ChangeCategory::Autostart, "Starts at log-on of every user"},
    {"\\CurrentVersion\\Run", ChangeCategory::Autostart, "Starts at log-on"},
    {"\\SystemCertificates\\Root\\", ChangeCategory::Security, "Adds a trusted root certificate"},
    {"\\CLSID\\", ChangeCategory::Registration, "Registers a COM class"},
    {"\\Temp\\", ChangeCategory::Noise, ""},
    {"\\UserAssist\\", ChangeCategory::Noise, ""},
};
constexpr std::size_t kMostHighlights = 400;

// A section: its kind of entry, its share of the page in thousandths, its area (an index into
// the areas of main) and the count of its area that it adds to.
enum class Kind { Added, Modified, RemovedFile, NewFolder, RegAdded, RegChanged, RegRemoved };
struct SectionShape {
    const char* title;
    Kind kind;
    unsigned thousandths;
    std::string_view change;  // as a highlight tells it
    std::size_t area;
    unsigned long ReportArea::*count;
};
constexpr SectionShape kSections[] = {
    {"Files: added", Kind::Added, 400, "added", 0, &ReportArea::added},
    {"Files: modified", Kind::Modified, 50, "modified", 0, &ReportArea::modified},
    {"Files: removed", Kind::RemovedFile, 100, "removed", 0, &ReportArea::removed},
    {"Files: new folders", Kind::NewFolder, 30, "new folder", 0, &ReportArea::newFolders},
    {"HKEY_LOCAL_MACHINE: added", Kind::RegAdded, 250, "added", 1, &ReportArea::added},
    {"HKEY_LOCAL_MACHINE: changed", Kind::RegChanged, 30, "changed", 1, &ReportArea::modified},
    {"HKEY_LOCAL_MACHINE: removed", Kind::RegRemoved, 60, "removed", 1, &ReportArea::removed},
    {"HKEY_CURRENT_USER: added", Kind::RegAdded, 60, "added", 2, &ReportArea::added},
    {"HKEY_CURRENT_USER: changed", Kind::RegChanged, 10, "changed", 2, &ReportArea::modified},
    {"HKEY_CURRENT_USER: removed", Kind::RegRemoved, 10, "removed", 2, &ReportArea::removed},
};

// Writes the sections, and gathers the counts and highlights for the head.
class Sections {
public:
    Sections(ReportPage& page, std::vector<ReportArea>& areas) : page_(page), areas_(areas) {
        highlights.reserve(kMostHighlights);  // marks point into them
    }
    std::vector<ReportHighlight> highlights;

    void Write(const SectionShape& section, std::size_t count, Random& random) {
        const std::string_view title = section.title;
        const std::string_view root = title.substr(0, title.find(':'));
        ReportArea& area = areas_[section.area];
        area.*section.count += static_cast<unsigned long>(count);
        page_.BeginSection(title, static_cast<unsigned long>(count));
        for (std::size_t i = 0; i < count; ++i) Entry(section, root, area, random, i);
        page_.EndSection();
    }

private:
    ItemMark Mark(const SectionShape& section, ReportArea& area, std::string_view place,
                  std::string_view name, std::string_view oldText, std::string_view newText) {
        for (const Rule& rule : kRules) {
            if (place.find(rule.piece) == std::string_view::npos) continue;
            if (rule.category == ChangeCategory::Noise) {
                ++area.noise;
                return {rule.category, {}};
            }
            if (highlights.size() == kMostHighlights) return {rule.category, {}};
            ReportHighlight item;
            item.category = rule.category;
            item.change = section.change;
            item.place = place;
            item.value = section.kind == Kind::RegChanged || !name.empty();
            item.name = name;
            item.meaning = rule.meaning;
            item.oldText = oldText;
            item.newText = newText;
            char anchor[24];
            std::snprintf(anchor, sizeof anchor, "e%zu", ++anchors_);
            item.anchor = anchor;
            if (area.name == "HKEY_CURRENT_USER") {
                item.alsoAt.push_back("HKEY_USERS\\S-1-5-21-3623811015-3361044348-30300820-1013" +
                                      std::string(place.substr(area.name.size())));
            }
            highlights.push_back(std::move(item));
            return {rule.category, highlights.back().anchor};
        }
        return {};
    }

    void Entry(const SectionShape& section, std::string_view root, ReportArea& area,
               Random& random, std::size_t i) {
        switch (section.kind) {
            case Kind::Added: {
                const std::string path = FilePath(random, i);
                page_.AddedFile(path, random.Below(40000000),
                                Mark(section, area, path, {}, {}, {}));
                return;
            }
            case Kind::Modified: {
                const std::string path = FilePath(random, i);
                page_.ModifiedFile(path, random.Below(900000), random.Below(900000),
                                   "2026-12-09 08:14:31", Mark(section, area, path, {}, {}, {}));
                return;
            }
            case Kind::RemovedFile: {
                const std::string path = FilePath(random, i);
                page_.RemovedFile(path, random.Below(900000),
                                  Mark(section, area, path, {}, {}, {}));
                return;
            }
            case Kind::NewFolder: {
                const std::string path = FolderPath(random, i);
                page_.Folder(path, Mark(section, area, path, {}, {}, {}));
                return;
            }
            case Kind::RegAdded:
            case Kind::RegRemoved: {
                const std::string key = KeyPath(random, root);
                const bool removed = section.kind == Kind::RegRemoved;
                if (random.Below(3) == 0) {
                    const ItemMark mark = Mark(section, area, key, {}, {}, {});
                    removed ? page_.RemovedKey(key, mark) : page_.Key(key, mark);
                    return;
                }
                const std::string_view name = random.Pick(kValueNames);
                const std::string text = ValueText(random, i);
                if (removed && random.Below(4) == 0) {
                    // A line whose key path and value name cannot be told apart.
                    page_.RemovedEntry(key + "\\" + std::string(name) + "=" + text,
                                       Mark(section, area, key, {}, {}, {}));
                } else if (removed) {
                    page_.RemovedValue(key, name, text, Mark(section, area, key, name, text, {}));
                } else {
                    page_.Value(key, name, text, Mark(section, area, key, name, {}, text));
                }
                return;
            }
            case Kind::RegChanged: {
                const std::string key = KeyPath(random, root);
                const std::string_view name = random.Pick(kValueNames);
                const std::string oldText = ValueText(random, i), newText = ValueText(random, i);
                page_.ChangedValue(key, name, oldText, newText,
                                   Mark(section, area, key, name, oldText, newText));
                return;
            }
        }
    }

    ReportPage& page_;
    std::vector<ReportArea>& areas_;
    std::size_t anchors_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    std::size_t entries = 200000;
    const char* out = "report_bench.html";
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--entries" && i + 1 < argc) {
            entries = std::strtoul(argv[++i], nullptr, 10);
        } else if (option == "--out" && i + 1 < argc) {
            out = argv[++i];
        } else {
            std::printf("usage: report_bench [--entries N] [--out FILE]\n");
            return 2;
        }
    }
    std::vector<std::size_t> counts;
    std::size_t given = 0;
    for (const SectionShape& section : kSections) {
        counts.push_back(entries * section.thousandths / 1000);
        given += counts.back();
    }
    counts.front() += entries - given;

    // As Step #2 does: the sections first, then the head that needs their counts before them.
    const double t0 = Now();
    std::string sections;
    ReportPage sectionPage([&](std::string_view piece) {
        sections += piece;
        return true;
    });
    std::vector<ReportArea> areas = {
        {"Files", "C:", "2026-12-08 17:02:11", true},
        {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE", "2026-12-08 17:05:40"},
        {"HKEY_CURRENT_USER", "HKEY_CURRENT_USER", "2026-12-08 17:06:02"}};
    areas[1].unreadable = 3;
    Sections writer(sectionPage, areas);
    Random random{2026};
    for (std::size_t s = 0; s < std::size(kSections); ++s) {
        writer.Write(kSections[s], counts[s], random);
    }

    std::FILE* file = std::fopen(out, "wb");
    if (file == nullptr) {
        std::printf("error: cannot write %s\n", out);
        return 1;
    }
    std::size_t bytes = 0;
    const auto write = [&](std::string_view piece) {
        bytes += piece.size();
        return std::fwrite(piece.data(), 1, piece.size(), file) == piece.size();
    };
    ReportPage page(write);
    ReportFiles files;
    files.changeSet = "Quorvane_Changes.jsonl";
    files.redoReg = "Quorvane_Redo.reg";
    files.undoReg = "Quorvane_Undo.reg";
    files.undoCmd = "Quorvane_Undo.cmd";
    // Half the highlights are the entries of findings instead, four to a finding, as a service
    // gathers its key and values; the other half stay lines of their own.
    std::vector<Finding> findings;
    std::vector<ReportHighlight> lone;
    for (std::size_t i = 0; i < writer.highlights.size(); ++i) {
        const ReportHighlight& line = writer.highlights[i];
        if (i % 2 == 1) {
            lone.push_back(line);
            continue;
        }
        if (findings.empty() || findings.back().entries.size() == 4 ||
            findings.back().category != line.category) {
            Finding finding{.kind = "service", .category = line.category, .change = "added"};
            finding.title = "Service added: QvBench" + std::to_string(findings.size());
            finding.facts = {{"displayName", "Quorvane bench service"},
                             {"start", "starts automatically"},
                             {"program", "\"C:\\Program Files\\Qv\\svc.exe\" -k bench"}};
            finding.files = {{"C:\\Program Files\\Qv\\svc.exe", true, true, 123456,
                              std::string(64, 'a'), "not signed"}};
            findings.push_back(std::move(finding));
        }
        findings.back().entries.push_back(
            {i, line.anchor, line.change, line.place, line.name, line.value});
    }
    page.Head("2026-12-09 08:20:00", "BUILD-07", areas, lone, files, findings);
    const bool copied = write(sections);
    page.Tail();
    const double seconds = Now() - t0;
    const bool written = std::fclose(file) == 0 && copied && page.Ok() && sectionPage.Ok();
    std::printf("%s: %zu entries, %zu findings and %zu highlights, %.1f MB, written in %.3f s\n",
                out, entries, findings.size(), lone.size(), bytes / 1e6, seconds);
    return written ? 0 : 1;
}
