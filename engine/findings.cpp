#include "engine/findings.h"

#include <algorithm>
#include <deque>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "engine/change_kinds.h"
#include "engine/change_rules.h"
#include "snapshot/path_identity.h"
#include "text/ascii.h"
#include "text/case_fold.h"

namespace {

// A fact of a kind: the value it is read from, below the thing's key ("Parameters\ServiceDll";
// "@" is a key's default value, "*" the thing's own value), and the table that words it.
struct FactRow {
    const char* value;
    const char* fact;
    const char* table = nullptr;
};

// A kind of thing: the key that makes one (lower case, as the kinds see key paths: see
// KeySegments; "*" is any one segment, "x*" any that starts with x), or the key each of whose
// values is one.
struct KindRow {
    const char* kind;
    const char* noun;
    const char* pattern;
    bool eachValue = false;
    const char* valueNames = nullptr;  // eachValue: "|"-separated names that count; null: all
    FactRow facts[6] = {};
    const char* runs = nullptr;  // "|"-separated facts, the first one held names the file
};

constexpr const char* kWinlogonValues = "shell|userinit|taskman|appsetup|vmapplet|gpextensions";

// The most specific row whose pattern fits wins (more segments), then the earlier one.
constexpr FactRow kCommand[] = {{"*", "command"}};
// clang-format off
constexpr KindRow kKinds[] = {
    {"service", "Service", R"(hklm\system\currentcontrolset\services\*)", false, nullptr,
     {{"DisplayName", "displayName"}, {"Start", "start", "start"}, {"Type", "type", "servicetype"},
      {"ObjectName", "account"}, {"ImagePath", "program"}, {"Parameters\\ServiceDll", "serviceDll"}},
     "serviceDll|program"},
    {"run", "Run entry", R"(hklm\software\microsoft\windows\currentversion\run)", true, nullptr,
     {kCommand[0]}, "command"},
    {"run", "Run entry", R"(hkcu\software\microsoft\windows\currentversion\run)", true, nullptr,
     {kCommand[0]}, "command"},
    {"run", "RunOnce entry", R"(hklm\software\microsoft\windows\currentversion\runonce)", true,
     nullptr, {kCommand[0]}, "command"},
    {"run", "RunOnce entry", R"(hkcu\software\microsoft\windows\currentversion\runonce)", true,
     nullptr, {kCommand[0]}, "command"},
    {"run", "Run entry", R"(hklm\software\microsoft\windows\currentversion\policies\explorer\run)",
     true, nullptr, {kCommand[0]}, "command"},
    {"run", "Run entry", R"(hkcu\software\microsoft\windows\currentversion\policies\explorer\run)",
     true, nullptr, {kCommand[0]}, "command"},
    {"run", "Winlogon value", R"(hklm\software\microsoft\windows nt\currentversion\winlogon)", true,
     kWinlogonValues, {kCommand[0]}, "command"},
    {"run", "Winlogon value", R"(hkcu\software\microsoft\windows nt\currentversion\winlogon)", true,
     kWinlogonValues, {kCommand[0]}, "command"},
    {"run", "Windows value", R"(hklm\software\microsoft\windows nt\currentversion\windows)", true,
     "appinit_dlls|load|run", {kCommand[0]}, "command"},
    {"debugger", "Debugger",
     R"(hklm\software\microsoft\windows nt\currentversion\image file execution options\*)", false,
     nullptr, {{"Debugger", "command"}}, "command"},
    {"uninstall", "Uninstall entry", R"(hklm\software\microsoft\windows\currentversion\uninstall\*)",
     false, nullptr, {{"DisplayName", "displayName"}, {"DisplayVersion", "version"},
                      {"Publisher", "publisher"}, {"UninstallString", "uninstall"}}},
    {"uninstall", "Uninstall entry", R"(hkcu\software\microsoft\windows\currentversion\uninstall\*)",
     false, nullptr, {{"DisplayName", "displayName"}, {"DisplayVersion", "version"},
                      {"Publisher", "publisher"}, {"UninstallString", "uninstall"}}},
    {"apppath", "App Path", R"(hklm\software\microsoft\windows\currentversion\app paths\*)", false,
     nullptr, {{"@", "program"}, {"Path", "path"}}, "program"},
    {"apppath", "App Path", R"(hkcu\software\microsoft\windows\currentversion\app paths\*)", false,
     nullptr, {{"@", "program"}, {"Path", "path"}}, "program"},
    {"shareddll", "Shared DLL", R"(hklm\software\microsoft\windows\currentversion\shareddlls)", true,
     nullptr, {{"*", "count"}}},
    {"environment", "Environment variable",
     R"(hklm\system\currentcontrolset\control\session manager\environment)", true, nullptr,
     {{"*", "value"}}},
    {"environment", "Environment variable", R"(hkcu\environment)", true, nullptr, {{"*", "value"}}},
    {"firewall", "Firewall rule",
     R"(hklm\system\currentcontrolset\services\sharedaccess\parameters\firewallpolicy\firewallrules)",
     true},
    {"comclass", "COM class", R"(classes\clsid\*)", false, nullptr,
     {{"@", "name"}, {"InprocServer32\\@", "dll"}, {"InprocServer32\\ThreadingModel", "threading"},
      {"LocalServer32\\@", "server"}}, "dll|server"},
    {"filetype", "File type", R"(classes\.*)", false, nullptr,
     {{"@", "progId"}, {"Content Type", "contentType"}}, "open"},
    // A program ID: joined to the extension that names it, or a protocol or a type of its own.
    {"progid", "File type", R"(classes\*)", false, nullptr,
     {{"@", "name"}, {"shell\\open\\command\\@", "open"}, {"DefaultIcon\\@", "icon"}}, "open"},
    {"shellext", "Shell extension", R"(classes\*\shellex\*\*)", false, nullptr, {{"@", "clsid"}}},
    {"shellext", "Shell extension",
     R"(hklm\software\microsoft\windows\currentversion\shell extensions\approved)", true, nullptr,
     {{"*", "name"}}},
    {"addin", "Browser add-in",
     R"(hklm\software\microsoft\windows\currentversion\explorer\browser helper objects\*)", false,
     nullptr, {{"@", "name"}}},
    {"addin", "Office add-in", R"(hkcu\software\microsoft\office\*\addins\*)", false, nullptr,
     {{"FriendlyName", "name"}, {"Description", "description"}, {"LoadBehavior", "loadBehavior"}}},
    {"addin", "Office add-in", R"(hklm\software\microsoft\office\*\addins\*)", false, nullptr,
     {{"FriendlyName", "name"}, {"Description", "description"}, {"LoadBehavior", "loadBehavior"}}},
    {"certificate", "Certificate", R"(hklm\software\microsoft\systemcertificates\*\certificates\*)"},
    {"certificate", "Certificate", R"(hkcu\software\microsoft\systemcertificates\*\certificates\*)"},
    {"certificate", "Certificate",
     R"(hklm\software\policies\microsoft\systemcertificates\*\certificates\*)"},
    // The task scheduler's own record of a task: its place in the tree of tasks and the keys by
    // its id. Joined to the task's file (JoinTasks).
    {"task", "Scheduled task", R"(hklm\software\microsoft\windows nt\currentversion\schedule\taskcache\*\*)"},
};
// The things that are files: a task file below the Tasks folder, a shortcut.
constexpr KindRow kTaskFile = {"task", "Scheduled task", "", false, nullptr, {}, "command"};
constexpr KindRow kShortcut = {"shortcut", "Shortcut", "", false, nullptr, {}, "target"};
// clang-format on

// Keys of the classes that are no program ID of their own.
constexpr std::string_view kNotProgIds[] = {"clsid",
                                            "interface",
                                            "typelib",
                                            "appid",
                                            "*",
                                            "directory",
                                            "folder",
                                            "drive",
                                            "allfilesystemobjects",
                                            "applications",
                                            "systemfileassociations",
                                            "mime",
                                            "installer",
                                            "local settings",
                                            "record",
                                            "component categories",
                                            "directoryclass",
                                            "unknown"};

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find(separator, at);
        parts.push_back(text.substr(at, end - at));
        if (end == std::string_view::npos) return parts;
        at = end + 1;
    }
}

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = LowerAscii(c);
    return lower;
}

// A key path as the kinds see it, lower case: HKEY_LOCAL_MACHINE as hklm, every user's hive as
// hkcu, the classes of HKEY_CLASSES_ROOT and of each hive's Software\Classes as classes, one
// control set, no Wow6432Node; with the path's own segments beside, and the user whose hive it
// is when that is not this user (a thing of another user's hive is another thing). Its buffers
// are kept from one key to the next: reading one allocates nothing once they have grown.
struct KeySegments {
    std::string text;                     // the path with its ASCII letters in lower case
    std::vector<std::string_view> lower;  // into text, or words of the kinds' own
    std::vector<std::string_view> own;    // into the path
    std::string_view hive;                // into text
};

bool ReadKeyPath(std::string_view path, std::string_view userSid, KeySegments& key) {
    key.text.assign(path);
    for (char& c : key.text) c = LowerAscii(c);
    key.lower.clear();
    key.own.clear();
    key.hive = {};
    const std::string_view text = key.text;
    std::size_t at = 0;
    const auto next = [&](std::string_view& lower, std::string_view& own) {
        if (at > text.size()) return false;
        const std::size_t end = std::min(text.find('\\', at), text.size());
        lower = text.substr(at, end - at);
        own = path.substr(at, end - at);
        at = end + 1;
        return true;
    };
    std::string_view segment, own;
    next(segment, own);
    key.own.push_back(own);
    if (segment == "hkey_local_machine") {
        key.lower.push_back("hklm");
    } else if (segment == "hkey_current_user") {
        key.lower.push_back("hkcu");
    } else if (segment == "hkey_classes_root") {
        key.lower.push_back("classes");
    } else if (segment == "hkey_users" && next(segment, own)) {
        // A user's classes hive is the Software\Classes of the same user.
        const bool classes = segment.ends_with("_classes");
        if (classes) segment.remove_suffix(8);
        if (!EqualAsciiNoCase(segment, userSid)) key.hive = segment;
        key.lower.push_back(classes ? "classes" : "hkcu");
    } else {
        return false;
    }
    while (next(segment, own)) {
        if (segment == "wow6432node") continue;
        if (key.lower.size() == 2 && key.lower[0] == "hklm" && key.lower[1] == "system" &&
            IsControlSet(segment)) {
            segment = "currentcontrolset";
        }
        if (segment == "classes" && key.lower.size() == 2 && key.lower[1] == "software") {
            key.lower.assign(1, "classes");
            key.own.resize(1);
            continue;
        }
        key.lower.push_back(segment);
        key.own.push_back(own);
    }
    return true;
}

bool SegmentFits(std::string_view pattern, std::string_view segment) {
    if (pattern == "*") return true;
    if (pattern.size() > 1 && pattern.back() == '*') {
        return segment.starts_with(pattern.substr(0, pattern.size() - 1));
    }
    return pattern == segment;
}

bool NameCounts(const KindRow& row, std::string_view lowerName) {
    if (row.valueNames == nullptr) return true;
    for (std::string_view name : Split(row.valueNames, '|')) {
        if (name == lowerName) return true;
    }
    return false;
}

// The row that makes a thing of this key (or of this value of it), and how many segments of the
// key the thing's key has.
const KindRow* KindOfKey(const KeySegments& key, bool isValue, std::string_view lowerName,
                         std::size_t& depth) {
    static const std::vector<std::vector<std::string>> patterns = [] {
        std::vector<std::vector<std::string>> all;
        for (const KindRow& row : kKinds) {
            std::vector<std::string> segments;
            for (std::string_view s : Split(row.pattern, '\\')) segments.emplace_back(s);
            all.push_back(std::move(segments));
        }
        return all;
    }();
    const KindRow* best = nullptr;
    depth = 0;
    for (std::size_t r = 0; r < std::size(kKinds); ++r) {
        const KindRow& row = kKinds[r];
        const std::vector<std::string>& pattern = patterns[r];
        if (pattern.size() <= depth || key.lower.size() < pattern.size()) continue;
        if (row.eachValue &&
            (!isValue || key.lower.size() != pattern.size() || !NameCounts(row, lowerName))) {
            continue;
        }
        bool fits = true;
        for (std::size_t i = 0; i < pattern.size() && fits; ++i) {
            fits = SegmentFits(pattern[i], key.lower[i]);
        }
        if (fits && std::string_view(row.kind) == "progid") {
            fits = std::find(std::begin(kNotProgIds), std::end(kNotProgIds), key.lower[1]) ==
                   std::end(kNotProgIds);
        }
        if (!fits) continue;
        best = &row;
        depth = pattern.size();
    }
    return best;
}

int CategoryRank(ChangeCategory category) {
    switch (category) {
        case ChangeCategory::Autostart: return 3;
        case ChangeCategory::Security: return 2;
        case ChangeCategory::Registration: return 1;
        default: return 0;
    }
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool StartsNoCase(std::string_view text, std::string_view start) {
    return text.size() >= start.size() && EqualAsciiNoCase(text.substr(0, start.size()), start);
}

// A bare file name is looked for in System32; one without an extension is a program.
std::string InSystemFolder(std::string path, std::string_view systemRoot) {
    if (path.find('\\') == std::string::npos && path.find(':') == std::string::npos) {
        if (path.find('.') == std::string::npos) path += ".exe";
        path = std::string(systemRoot) + "\\System32\\" + path;
    }
    return path;
}

// The first word of a command line: up to the closing quote, or the first run of words that
// names a file that exists (as CreateProcess tries them), or up to the first blank.
std::string_view FirstWord(std::string_view command, const SystemFacts& system,
                           std::string_view& rest) {
    if (command.front() == '"') {
        const std::size_t end = command.find('"', 1);
        const std::string_view word =
            command.substr(1, end == std::string_view::npos ? end : end - 1);
        rest = end == std::string_view::npos ? std::string_view() : command.substr(end + 1);
        return word;
    }
    for (std::size_t blank = command.find(' '); blank != std::string_view::npos;
         blank = command.find(' ', blank + 1)) {
        const std::string_view word = command.substr(0, blank);
        if (system.FileExists(word) || system.FileExists(std::string(word) + ".exe")) {
            rest = command.substr(blank);
            return word;
        }
    }
    const std::size_t blank = command.find(' ');
    rest = blank == std::string_view::npos ? std::string_view() : command.substr(blank);
    return command.substr(0, blank);
}

std::string_view LastName(std::string_view path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// A value's place below its thing's key, lower case, as FactRow names it.
std::string RelativeValue(const KeySegments& key, std::size_t depth, std::string_view name) {
    std::string relative;
    for (std::size_t i = depth; i < key.lower.size(); ++i)
        relative.append(key.lower[i]).append(1, '\\');
    if (name.empty()) return relative += '@';
    for (const char c : name) relative += LowerAscii(c);
    return relative;
}

}  // namespace

std::string ProgramOfCommand(std::string_view command, const SystemFacts& system,
                             std::string_view systemRoot) {
    std::string text(Trimmed(command));
    if (text.starts_with("\\??\\")) text.erase(0, 4);
    if (StartsNoCase(text, "\\SystemRoot\\")) {
        text = std::string(systemRoot) + text.substr(11);
    } else if (StartsNoCase(text, "system32\\")) {
        text = std::string(systemRoot) + "\\" + text;
    }
    if (text.find('%') != std::string::npos) text = system.ExpandEnvironment(text);
    std::string_view view = Trimmed(text);
    if (view.empty()) return {};
    std::string_view rest;
    std::string program = InSystemFolder(std::string(FirstWord(view, system, rest)), systemRoot);
    const std::string_view name = LastName(program);
    if (EqualAsciiNoCase(name, "rundll32.exe") || EqualAsciiNoCase(name, "rundll32")) {
        rest = Trimmed(rest);
        if (rest.empty()) return program;
        std::string_view dllRest;
        std::string_view dll = FirstWord(rest, system, dllRest);
        dll = dll.substr(0, dll.find(','));
        if (!dll.empty()) return InSystemFolder(std::string(dll), systemRoot);
    }
    return program;
}

// A thing's values by their place below its key (RelativeValue): a few, so a list.
using Values = std::vector<std::pair<std::string, std::string>>;

void SetValue(Values& values, std::string relative, std::string text) {
    for (auto& [at, held] : values) {
        if (at == relative) {
            held = std::move(text);
            return;
        }
    }
    values.emplace_back(std::move(relative), std::move(text));
}

const std::string* ValueOf(const Values& values, std::string_view relative) {
    for (const auto& [at, text] : values) {
        if (EqualAsciiNoCase(at, relative)) return &text;
    }
    return nullptr;
}

// A path's form with its letter case folded as Windows folds it (AppendFolded), hashed: the
// files of a change are many and the files findings run few, so each added file leaves only
// this. Two paths that share a key are taken for one; that can only call a file new that is not.
std::uint64_t FileKey(std::string_view path, std::string& buffer) {
    const auto mix = [](std::uint64_t hash, std::uint64_t word) {
        hash = (hash ^ word) * 0x9E3779B97F4A7C15u;
        return hash ^ (hash >> 29);
    };
    std::uint64_t hash = path.size();
    bool folded = false;
    for (std::size_t at = 0; at < path.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, path.data() + at, std::min<std::size_t>(8, path.size() - at));
        if (!folded && (word & kNonAsciiBits) != 0) {
            // Beyond ASCII: the whole path folded, then hashed as it is.
            buffer.clear();
            AppendFolded(buffer, path);
            path = buffer;
            folded = true;
            hash = path.size();
            at = static_cast<std::size_t>(-8);
            continue;
        }
        hash = mix(hash, folded ? word : FoldAscii8(word));
    }
    return hash;
}

struct Findings::Impl {
    struct Thing {
        const KindRow* row = nullptr;
        std::string name;  // the key's own last segment, or the value's name
        std::string hive;
        std::string_view change;  // "added" or "removed" when the thing's own key or value is
        int rank = 0;
        ChangeCategory category = ChangeCategory::None;
        Values values, oldValues;
        std::vector<FindingEntry> entries;
        std::string file;  // a task's or shortcut's file, while it is there
    };

    std::string userSid, systemRoot;
    std::deque<Thing> things;  // grows without moving what it holds
    // Looked up by a view, so that an entry of a thing already known allocates nothing.
    struct ViewHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>()(text);
        }
    };
    std::unordered_map<std::string, std::size_t, ViewHash, std::equal_to<>> byIdentity;
    std::string identity;     // the thing's in hand, kept from one item to the next
    std::string tasksFolder;  // the Tasks folder of System32, with its final backslash
    // The files this change added (FileKey).
    std::vector<std::uint64_t> addedFiles;
    void MarkNewFiles(std::vector<Finding>& findings);
    KeySegments key;
    std::string buffer;
    // The task scheduler's records, joined to their tasks once every entry is in: by the
    // task's place in the tree ("\\Qv\\Update"), or by its id, which the tree's Id value and
    // the record's Path value tie to the place.
    struct TaskRecord {
        FindingEntry entry;
        ChangeCategory category;
        std::string place, id;
        std::string_view change;  // the record's own key came or went
    };
    std::vector<TaskRecord> taskRecords;
    std::unordered_map<std::string, std::string> taskPlaces;  // by id, lower case

    // The item in hand: its line among the change set's items and its entry's id.
    std::size_t itemIndex = 0;
    std::string_view anchor;
    FindingEntry Entry(const ReportedItem& item) const;

    bool AddRegistry(const ReportedItem& item);
    bool AddFile(const ReportedItem& item);
    bool AddTaskRecord(const ReportedItem& item);
    Thing& ThingOf(const KindRow& row, std::string_view identity, std::string_view name,
                   std::string_view hive);
    void Take(Thing& thing, ChangeCategory category, FindingEntry entry);
    Finding Make(Thing& thing, const SystemFacts& system);
    void KindFacts(const Thing& thing, const SystemFacts& system, Finding& finding) const;
    void Runs(const KindRow& row, const SystemFacts& system, Finding& finding) const;
    void JoinProgIds();
    void JoinTasks();
};

Findings::Findings(std::string_view userSid, std::string_view systemRoot)
    : impl_(std::make_unique<Impl>()) {
    impl_->userSid = userSid;
    impl_->systemRoot = systemRoot;
    impl_->tasksFolder = std::string(systemRoot) + "\\System32\\Tasks\\";
}

Findings::~Findings() = default;

bool Findings::Add(const ReportedItem& item, std::size_t itemIndex, std::string_view anchor) {
    const ChangeKind& kind = KindOf(item.kind);
    if (item.kind == JournalKind::AddedFile) {
        impl_->addedFiles.push_back(FileKey(item.path, impl_->buffer));
    }
    // Only what matters makes a thing; its facts come from the entries the same rows rate.
    const ChangeCategory category = item.classification.category;
    if (category == ChangeCategory::None || category == ChangeCategory::Noise) return false;
    if (item.kind == JournalKind::RemovedEntry || !item.exactName) return false;
    impl_->itemIndex = itemIndex;
    impl_->anchor = anchor;
    return kind.registry ? impl_->AddRegistry(item) : impl_->AddFile(item);
}

FindingEntry Findings::Impl::Entry(const ReportedItem& item) const {
    const ChangeKind& kind = KindOf(item.kind);
    return {itemIndex,
            std::string(anchor),
            kind.change,
            std::string(item.path),
            kind.value ? std::string(item.name) : std::string(),
            kind.value};
}

Findings::Impl::Thing& Findings::Impl::ThingOf(const KindRow& row, std::string_view identity,
                                               std::string_view name, std::string_view hive) {
    // The letters are in lower case already where they are ASCII.
    const bool ascii = std::all_of(identity.begin(), identity.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::string folded;
    if (!ascii) identity = folded = PathIdentity(identity);
    if (const auto known = byIdentity.find(identity); known != byIdentity.end()) {
        return things[known->second];
    }
    byIdentity.emplace(std::string(identity), things.size());
    Thing& thing = things.emplace_back();
    thing.row = &row;
    thing.name = name;
    thing.hive = hive;
    return thing;
}

// The thing's category is the weightiest of its entries'.
void Findings::Impl::Take(Thing& thing, ChangeCategory category, FindingEntry entry) {
    thing.entries.push_back(std::move(entry));
    if (CategoryRank(category) > thing.rank) {
        thing.rank = CategoryRank(category);
        thing.category = category;
    }
}

// A task's file below the Tasks folder, and a shortcut: the file is the thing.
bool Findings::Impl::AddFile(const ReportedItem& item) {
    const std::string_view path = item.path;
    const bool task = path.size() > tasksFolder.size() && StartsNoCase(path, tasksFolder);
    const bool shortcut =
        !task && path.size() > 4 && EqualAsciiNoCase(path.substr(path.size() - 4), ".lnk");
    if (!task && !shortcut) return false;
    std::string name = task ? "\\" + std::string(path.substr(tasksFolder.size()))
                            : std::string(LastName(path.substr(0, path.size() - 4)));
    Thing& thing =
        ThingOf(task ? kTaskFile : kShortcut,
                (task ? "|task|" : "|shortcut|") + std::string(task ? name : path), name, {});
    const bool gone = item.kind == JournalKind::RemovedFile;
    if (item.kind == JournalKind::AddedFile) thing.change = "added";
    if (gone) thing.change = "removed";
    if (!gone) thing.file = path;
    Take(thing, item.classification.category, Entry(item));
    return true;
}

bool Findings::Impl::AddTaskRecord(const ReportedItem& item) {
    constexpr std::size_t kBelow = 8;  // ...\Schedule\TaskCache\<Tree or Tasks, ...>\...
    TaskRecord record{Entry(item), item.classification.category, {}, {}, {}};
    const bool own = !KindOf(item.kind).value;
    if (key.lower[kBelow - 1] == "tree") {
        for (std::size_t i = kBelow; i < key.own.size(); ++i) {
            record.place.append(1, '\\').append(key.own[i]);
        }
        if (EqualAsciiNoCase(item.name, "Id")) {
            taskPlaces[Lower(item.newText.empty() ? item.text : item.newText)] = record.place;
        }
    } else {
        record.id = Lower(key.own[kBelow]);
        if (key.lower[kBelow - 1] == "tasks" && key.own.size() == kBelow + 1 &&
            EqualAsciiNoCase(item.name, "Path")) {
            taskPlaces[record.id] = item.newText.empty() ? item.text : item.newText;
        }
    }
    if (own && (item.kind == JournalKind::AddedKey || item.kind == JournalKind::RemovedKey)) {
        record.change = item.kind == JournalKind::AddedKey ? "added" : "removed";
    }
    taskRecords.push_back(std::move(record));
    return true;
}

bool Findings::Impl::AddRegistry(const ReportedItem& item) {
    const ChangeKind& kind = KindOf(item.kind);
    if (!ReadKeyPath(item.path, userSid, key)) return false;
    buffer.clear();
    for (const char c : item.name) buffer += LowerAscii(c);
    std::size_t depth = 0;
    const KindRow* row = KindOfKey(key, kind.value, buffer, depth);
    if (row == nullptr) return false;
    if (std::string_view(row->kind) == "task") return AddTaskRecord(item);

    identity.clear();
    identity.append(key.hive).append(1, '|').append(row->kind).append(1, '|');
    for (std::size_t i = 0; i < depth; ++i) identity.append(key.lower[i]).append(1, '\\');
    if (row->eachValue) identity += item.name;
    Thing& thing =
        ThingOf(*row, identity, row->eachValue ? item.name : key.own[depth - 1], key.hive);
    Take(thing, item.classification.category, Entry(item));
    // Its own key, or its own value, tells whether the thing came or went.
    const bool own = row->eachValue || (!kind.value && key.lower.size() == depth);
    if (own && (item.kind == JournalKind::AddedKey || item.kind == JournalKind::AddedValue)) {
        thing.change = "added";
    } else if (own &&
               (item.kind == JournalKind::RemovedKey || item.kind == JournalKind::RemovedValue)) {
        thing.change = "removed";
    }
    if (!kind.value) return true;
    const std::string relative = row->eachValue ? "*" : RelativeValue(key, depth, item.name);
    if (item.kind == JournalKind::ChangedValue) {
        SetValue(thing.oldValues, relative, std::string(item.oldText));
        SetValue(thing.values, relative, std::string(item.newText));
    } else {
        SetValue(thing.values, relative, std::string(item.text));
    }
    if (std::string_view(row->kind) == "certificate") {
        SetValue(thing.values, "\nstore", std::string(key.own[depth - 3]));
        if (buffer == "blob" && item.kind != JournalKind::RemovedValue) {
            SetValue(thing.values, "\nblob", std::string(item.newData));
        }
    }
    return true;
}

namespace {

// The parts of a firewall rule's text ("v2.30|Action=Allow|Dir=In|App=...|LPort=80|") that
// people read, by name.
std::vector<std::pair<std::string_view, std::string>> FirewallFacts(std::string_view rule) {
    constexpr std::pair<std::string_view, std::string_view> kParts[] = {
        {"name", "Name"},         {"action", "Action"},    {"direction", "Dir"},
        {"program", "App"},       {"service", "Svc"},      {"localPorts", "LPort"},
        {"remotePorts", "RPort"}, {"protocol", "Protocol"}};
    std::vector<std::pair<std::string_view, std::string>> facts;
    const std::vector<std::string_view> fields = Split(rule, '|');
    for (const auto& [fact, field] : kParts) {
        std::string joined;
        for (std::string_view part : fields) {
            const std::size_t equals = part.find('=');
            if (equals == std::string_view::npos ||
                !EqualAsciiNoCase(part.substr(0, equals), field)) {
                continue;
            }
            if (!joined.empty()) joined += ',';
            joined += part.substr(equals + 1);
        }
        if (!joined.empty()) facts.emplace_back(fact, std::move(joined));
    }
    return facts;
}

}  // namespace

// Each record of the task scheduler goes to its task: the task of its place, or the task whose
// place is below it (a folder of the tree), or the task its id is tied to.
void Findings::Impl::JoinTasks() {
    if (taskRecords.empty()) return;
    std::vector<std::pair<std::string, std::string>> tasks;  // the places known to be tasks
    for (const Thing& thing : things) {
        if (thing.row == &kTaskFile) tasks.emplace_back(Lower(thing.name), thing.name);
    }
    for (const auto& [id, place] : taskPlaces) tasks.emplace_back(Lower(place), place);
    for (TaskRecord& record : taskRecords) {
        std::string place = record.place;
        if (place.empty()) {
            const auto tied = taskPlaces.find(record.id);
            place = tied != taskPlaces.end() ? tied->second : record.id;
        } else {
            const std::string lower = Lower(place) + "\\";
            const auto below = std::find_if(tasks.begin(), tasks.end(), [&](const auto& task) {
                return task.first + "\\" == lower || task.first.starts_with(lower);
            });
            if (below != tasks.end() && below->first + "\\" != lower) {
                record.change = {};  // a folder of the tree came with the task
                place = below->second;
            }
        }
        Thing& thing = ThingOf(kTaskFile, "|task|" + place, place, {});
        if (thing.change.empty()) thing.change = record.change;
        Take(thing, record.category, std::move(record.entry));
    }
}

// A program ID that an extension of the change names gives that file type its name, open
// command and icon, and is no finding of its own.
void Findings::Impl::JoinProgIds() {
    std::unordered_map<std::string, std::size_t> progIds;
    for (std::size_t i = 0; i < things.size(); ++i) {
        if (std::string_view(things[i].row->kind) == "progid") {
            progIds.emplace(things[i].hive + '|' + PathIdentity(things[i].name), i);
        }
    }
    for (Thing& type : things) {
        if (type.row == nullptr || std::string_view(type.row->kind) != "filetype") continue;
        const std::string* progId = ValueOf(type.values, "@");
        if (progId == nullptr) continue;
        const auto found = progIds.find(type.hive + '|' + PathIdentity(*progId));
        if (found == progIds.end()) continue;
        Thing& joined = things[found->second];
        for (const auto& [relative, text] : joined.values)
            SetValue(type.values, "progid\n" + relative, text);
        for (FindingEntry& entry : joined.entries) Take(type, joined.category, std::move(entry));
        joined.row = nullptr;  // taken in
    }
}

Finding Findings::Impl::Make(Thing& thing, const SystemFacts& system) {
    const KindRow& row = *thing.row;
    Finding finding;
    finding.kind = row.kind;
    finding.category = thing.category;
    finding.change = thing.change.empty() ? std::string_view("changed") : thing.change;
    // A joined program ID's entries come after the extension's.
    const auto earlier = [](const FindingEntry& a, const FindingEntry& b) {
        return a.item < b.item;
    };
    if (!std::is_sorted(thing.entries.begin(), thing.entries.end(), earlier)) {
        std::stable_sort(thing.entries.begin(), thing.entries.end(), earlier);
    }
    finding.entries = std::move(thing.entries);
    std::string_view noun = row.noun;
    const auto fact = [&](std::string_view name, std::string text) {
        if (!text.empty()) finding.facts.emplace_back(name, std::move(text));
    };
    const std::string_view kind = row.kind;
    if (kind == "progid") {
        finding.kind = ValueOf(thing.values, "url protocol") != nullptr ? "protocol" : "filetype";
        if (finding.kind == "protocol") noun = "Protocol handler";
        fact(finding.kind == "protocol" ? "protocol" : "progId", thing.name);
    } else if (kind == "filetype") {
        fact("extension", thing.name);
    }
    for (const FactRow& source : row.facts) {
        if (source.value == nullptr) break;
        const std::string* text = ValueOf(thing.values, source.value);
        if (text == nullptr) continue;
        const std::optional<std::string_view> words =
            source.table != nullptr ? TableWords(source.table, *text) : std::nullopt;
        fact(source.fact, words ? std::string(*words) : *text);
    }
    KindFacts(thing, system, finding);
    finding.facts.erase(std::remove_if(finding.facts.begin(), finding.facts.end(),
                                       [](const auto& f) { return f.second.empty(); }),
                        finding.facts.end());
    if (row.runs != nullptr && finding.change != "removed") Runs(row, system, finding);
    finding.title.reserve(noun.size() + finding.change.size() + thing.name.size() + 3);
    finding.title.append(noun)
        .append(1, ' ')
        .append(finding.change)
        .append(": ")
        .append(thing.name);
    return finding;
}

// The facts a kind reads in its own way: a file type's from its program ID, a firewall rule's
// from its text, what a variable gained and lost, a task's and a shortcut's from their files, a
// certificate's from its Blob.
void Findings::Impl::KindFacts(const Thing& thing, const SystemFacts& system,
                               Finding& finding) const {
    const std::string_view kind = thing.row->kind;
    const auto fact = [&](std::string_view name, std::string text) {
        if (!text.empty()) finding.facts.emplace_back(name, std::move(text));
    };
    if (kind == "filetype") {
        // The facts of the program ID it names, as JoinProgIds took them in.
        constexpr std::pair<const char*, const char*> kJoined[] = {
            {"name", "progid\n@"},
            {"open", "progid\nshell\\open\\command\\@"},
            {"icon", "progid\ndefaulticon\\@"}};
        for (const auto& [name, value] : kJoined) {
            if (const std::string* text = ValueOf(thing.values, value)) fact(name, *text);
        }
    } else if (kind == "firewall") {
        if (const std::string* text = ValueOf(thing.values, "*")) {
            for (auto& part : FirewallFacts(*text)) finding.facts.push_back(std::move(part));
        }
    } else if (kind == "environment" && finding.change == "changed") {
        const std::string* now = ValueOf(thing.values, "*");
        const std::string* was = ValueOf(thing.oldValues, "*");
        if (now != nullptr && was != nullptr) {
            fact("gained", ListPartsMissing(*now, *was));
            fact("lost", ListPartsMissing(*was, *now));
        }
    } else if ((kind == "task" || kind == "shortcut") && !thing.file.empty()) {
        auto facts = kind == "task" ? system.Task(thing.file) : system.Shortcut(thing.file);
        // What Windows may still run though it reads as no task or link here is said so.
        if (facts.empty()) {
            fact("file", kind == "task" ? "cannot be read as a task" : "cannot be read as a link");
        }
        for (auto& part : facts) finding.facts.push_back(std::move(part));
    } else if (kind == "certificate") {
        if (const std::string* store = ValueOf(thing.values, "\nstore")) fact("store", *store);
        if (const std::string* blob = ValueOf(thing.values, "\nblob")) {
            for (auto& part : system.Certificate(*blob)) finding.facts.push_back(std::move(part));
        }
        fact("thumbprint", thing.name);
    }
}

// What it starts or loads: the file of the first of its program facts that it holds.
void Findings::Impl::Runs(const KindRow& row, const SystemFacts& system, Finding& finding) const {
    for (std::string_view names = row.runs; !names.empty();) {
        const std::size_t bar = std::min(names.find('|'), names.size());
        const std::string_view name = names.substr(0, bar);
        names.remove_prefix(std::min(bar + 1, names.size()));
        const auto held = std::find_if(finding.facts.begin(), finding.facts.end(),
                                       [&](const auto& f) { return f.first == name; });
        if (held == finding.facts.end()) continue;
        // A shortcut's target is a path, blanks and all.
        const std::string command =
            std::string_view(row.kind) == "shortcut" ? '"' + held->second + '"' : held->second;
        const std::string path = ProgramOfCommand(command, system, systemRoot);
        if (path.empty()) continue;
        FindingFile file = system.Inspect(path);
        file.path = path;
        finding.files.push_back(std::move(file));
        return;
    }
}

// Which files the findings run this change added: one pass over the added files, which are many,
// against the few the findings name.
void Findings::Impl::MarkNewFiles(std::vector<Finding>& findings) {
    std::unordered_map<std::uint64_t, bool> named;
    for (const Finding& finding : findings) {
        for (const FindingFile& file : finding.files)
            named.emplace(FileKey(file.path, buffer), false);
    }
    if (named.empty()) return;
    for (const std::uint64_t added : addedFiles) {
        if (const auto found = named.find(added); found != named.end()) found->second = true;
    }
    for (Finding& finding : findings) {
        for (FindingFile& file : finding.files) file.isNew = named.at(FileKey(file.path, buffer));
    }
}

std::vector<Finding> Findings::Finish(const SystemFacts& system) {
    impl_->JoinTasks();
    impl_->JoinProgIds();
    std::vector<Finding> findings;
    findings.reserve(impl_->things.size());
    for (Impl::Thing& thing : impl_->things) {
        if (thing.row == nullptr) continue;
        findings.push_back(impl_->Make(thing, system));
    }
    impl_->MarkNewFiles(findings);
    // Tasks joined last: each finding where its first entry is.
    const auto earlier = [](const Finding& a, const Finding& b) {
        return a.entries.front().item < b.entries.front().item;
    };
    if (!std::is_sorted(findings.begin(), findings.end(), earlier)) {
        std::stable_sort(findings.begin(), findings.end(), earlier);
    }
    return findings;
}

std::string WorthALook(const std::vector<Finding>& findings, std::size_t loneAutostart,
                       std::size_t loneSecurity, std::size_t loneRegistration) {
    std::size_t counts[] = {loneAutostart, loneSecurity, loneRegistration};
    for (const Finding& finding : findings) {
        if (finding.category == ChangeCategory::Autostart) ++counts[0];
        if (finding.category == ChangeCategory::Security) ++counts[1];
        if (finding.category == ChangeCategory::Registration) ++counts[2];
    }
    constexpr std::pair<const char*, const char*> kWords[] = {
        {"starts by itself", "start by themselves"},
        {"changes what is trusted", "change what is trusted"},
        {"registers programs", "register programs"}};
    std::string text;
    for (std::size_t i = 0; i < 3; ++i) {
        if (counts[i] == 0) continue;
        text += text.empty() ? "Worth a look: " : ", ";
        text +=
            std::to_string(counts[i]) + " " + (counts[i] == 1 ? kWords[i].first : kWords[i].second);
    }
    return text.empty() ? text : text + ".";
}
