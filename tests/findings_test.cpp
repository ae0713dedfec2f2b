// Findings from reported items: the things a change set up, each with its entries, its facts and
// what it runs, and the command lines resolved as Windows resolves them.

#include "engine/findings.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

constexpr std::string_view kSid = "S-1-5-21-1-2-3-1001";

class FakeSystem final : public SystemFacts {
public:
    std::set<std::string> files;
    std::string ExpandEnvironment(std::string_view text) const override {
        std::string out(text);
        for (const std::string_view name : {"%SystemRoot%", "%ProgramFiles%"}) {
            const std::string with = name == "%SystemRoot%" ? "C:\\Windows" : "C:\\Program Files";
            for (std::size_t at = out.find(name); at != std::string::npos; at = out.find(name)) {
                out.replace(at, name.size(), with);
            }
        }
        return out;
    }
    bool FileExists(std::string_view path) const override { return files.contains(std::string(path)); }
    FindingFile Inspect(std::string_view path) const override {
        FindingFile file;
        file.exists = FileExists(path);
        file.size = file.exists ? 42 : 0;
        return file;
    }
    std::vector<std::pair<std::string_view, std::string>> Certificate(
        std::string_view blob) const override {
        return {{"subject", "CN=" + std::string(blob)}};
    }
    std::vector<std::pair<std::string_view, std::string>> Shortcut(
        std::string_view path) const override {
        if (!path.ends_with("Qv.lnk")) return {};
        return {{"target", "C:\\Program Files\\Qv\\qv.exe"}, {"arguments", "/tray"}};
    }
    std::vector<std::pair<std::string_view, std::string>> Task(
        std::string_view path) const override {
        if (!path.ends_with("\\Qv\\Update")) return {};
        return {{"command", "C:\\Qv\\up.exe /quiet"}};
    }
};

TEST(Findings, CommandLinesNameTheFileWindowsWouldRun) {
    FakeSystem system;
    system.files = {"C:\\Program Files\\Qv App\\qv.exe", "C:\\a b\\y.dll"};
    const std::pair<const char*, const char*> cases[] = {
        {"\"C:\\Program Files\\Qv App\\qv.exe\" /s \"%1\"", "C:\\Program Files\\Qv App\\qv.exe"},
        {"  C:\\Program Files\\Qv App\\qv.exe /background", "C:\\Program Files\\Qv App\\qv.exe"},
        {"C:\\Program Files\\Qv App\\qv /s", "C:\\Program Files\\Qv App\\qv"},
        {"C:\\missing\\tool.exe -x", "C:\\missing\\tool.exe"},
        {"rundll32.exe C:\\x\\y.dll,Entry 1", "C:\\x\\y.dll"},
        {"rundll32 \"C:\\a b\\y.dll\",Go", "C:\\a b\\y.dll"},
        {"RUNDLL32.EXE shell.dll,Run", "C:\\Windows\\System32\\shell.dll"},
        {"\\SystemRoot\\System32\\drivers\\qv.sys", "C:\\Windows\\System32\\drivers\\qv.sys"},
        {"system32\\drivers\\qv.sys", "C:\\Windows\\system32\\drivers\\qv.sys"},
        {"\\??\\C:\\qv\\k.sys", "C:\\qv\\k.sys"},
        {"%SystemRoot%\\system32\\svchost.exe -k netsvcs", "C:\\Windows\\system32\\svchost.exe"},
        {"notepad", "C:\\Windows\\System32\\notepad.exe"},
        {"   ", ""},
    };
    for (const auto& [command, file] : cases) {
        EXPECT_EQ(ProgramOfCommand(command, system, "C:\\Windows"), file) << command;
    }
}

struct Entry {
    JournalKind kind;
    std::string path, name, text;
    ChangeCategory category = ChangeCategory::Autostart;
    std::string oldText = {};
};

std::vector<std::size_t> Items(const Finding& finding) {
    std::vector<std::size_t> items;
    for (const FindingEntry& entry : finding.entries) items.push_back(entry.item);
    return items;
}

std::map<std::string, std::string> Facts(const Finding& finding) {
    std::map<std::string, std::string> facts;
    for (const auto& [name, text] : finding.facts) facts[std::string(name)] = text;
    return facts;
}

// One run of many things: each finding gathers its entries across the places Windows merges
// (HKEY_CURRENT_USER and HKEY_USERS\<SID>, HKEY_CLASSES_ROOT and a hive's Software\Classes,
// the control sets), reads its facts and names what it runs.
TEST(Findings, EachThingIsOneFindingWithItsFacts) {
    const std::string svc = "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\QvSvc";
    const std::string run = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::string uninstall =
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Qv";
    const auto R = ChangeCategory::Registration;
    const std::string cache =
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\";
    const std::vector<Entry> entries = {
        {JournalKind::AddedFile, "C:\\Qv\\svc.dll", "", ""},
        {JournalKind::AddedKey, svc, "", ""},
        {JournalKind::AddedValue, svc, "ImagePath", "%SystemRoot%\\system32\\svchost.exe -k qv"},
        {JournalKind::AddedValue, svc, "Start", "2"},
        {JournalKind::AddedValue, svc, "Type", "32"},
        {JournalKind::AddedValue, svc, "DisplayName", "Qv Service"},
        {JournalKind::AddedKey, svc + "\\Parameters", "", ""},
        {JournalKind::AddedValue, svc + "\\Parameters", "ServiceDll", "C:\\Qv\\svc.dll"},
        {JournalKind::AddedValue, "HKEY_CURRENT_USER" + run, "QvTray", "\"C:\\Qv\\tray.exe\" /min"},
        {JournalKind::AddedValue, "HKEY_USERS\\" + std::string(kSid) + run, "QvTray",
         "\"C:\\Qv\\tray.exe\" /min"},
        {JournalKind::AddedValue, "HKEY_USERS\\S-1-5-21-9" + run, "QvTray", "other user"},
        {JournalKind::AddedKey, "HKEY_CLASSES_ROOT\\.qvx", "", "", R},
        {JournalKind::AddedValue, "HKEY_CLASSES_ROOT\\.qvx", "", "Qv.File", R},
        {JournalKind::AddedValue, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.qvx", "", "Qv.File", R},
        {JournalKind::AddedValue, "HKEY_CLASSES_ROOT\\Qv.File", "", "Qv document", R},
        {JournalKind::AddedValue, "HKEY_USERS\\" + std::string(kSid) +
                                      "_Classes\\Qv.File\\shell\\open\\command",
         "", "\"C:\\Qv\\qv.exe\" \"%1\"", R},
        {JournalKind::AddedValue, "HKEY_CLASSES_ROOT\\CLSID\\{1234}\\InprocServer32", "",
         "C:\\Qv\\ext.dll", R},
        {JournalKind::AddedValue, "HKEY_CLASSES_ROOT\\CLSID\\{1234}\\InprocServer32",
         "ThreadingModel", "Apartment", R},
        {JournalKind::AddedValue, "HKEY_CLASSES_ROOT\\qvp", "URL Protocol", "", R},
        {JournalKind::RemovedKey, uninstall, "", "", R},
        {JournalKind::RemovedValue, uninstall, "DisplayName", "Qv 1.0", R},
        {JournalKind::ChangedValue,
         "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
         "Path", "C:\\Windows;C:\\Qv\\bin", ChangeCategory::Security, "C:\\Windows;C:\\Old"},
        {JournalKind::AddedValue,
         "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\SharedAccess\\Parameters\\"
         "FirewallPolicy\\FirewallRules",
         "{QV}", "v2.30|Action=Allow|Active=TRUE|Dir=In|Protocol=6|LPort=80|App=C:\\Qv\\qv.exe|",
         ChangeCategory::Security},
        // No kind claims these: a highlight each, and noise is never part of a thing.
        {JournalKind::AddedValue, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Qv", "Start", "x"},
        {JournalKind::AddedValue, svc, "Description", "noise", ChangeCategory::Noise},
        // A task: its file and the scheduler's records, by place and by id, as one.
        {JournalKind::AddedKey, cache + "Tree\\Qv", "", ""},
        {JournalKind::AddedKey, cache + "Tree\\Qv\\Update", "", ""},
        {JournalKind::AddedValue, cache + "Tree\\Qv\\Update", "Id", "{T1}"},
        {JournalKind::AddedKey, cache + "Logon\\{T1}", "", ""},
        {JournalKind::AddedFile, "C:\\Windows\\System32\\Tasks\\Qv\\Update", "", ""},
        {JournalKind::AddedFile, "C:\\Users\\u\\Desktop\\Qv.lnk", "", "", R},
        {JournalKind::AddedFile, "C:\\Users\\u\\Desktop\\Fake.lnk", "", "", R},
        {JournalKind::RemovedKey, cache + "Tasks\\{T0}", "", ""},
        {JournalKind::RemovedValue, cache + "Tasks\\{T0}", "Path", "\\Old"},
    };
    FakeSystem system;
    system.files = {"C:\\Qv\\svc.dll"};
    Findings findings(kSid, "C:\\Windows");
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        ReportedItem item;
        item.kind = e.kind;
        item.path = e.path;
        item.name = e.name;
        item.text = e.text;
        item.newText = e.text;
        item.oldText = e.oldText;
        item.classification.category = e.category;
        findings.Add(item, i, "c" + std::to_string(i));
    }
    const std::vector<Finding> all = findings.Finish(system);
    std::map<std::string, const Finding*> byTitle;
    for (const Finding& finding : all) byTitle.emplace(finding.title, &finding);  // the first
    ASSERT_EQ(all.size(), 13u) << [&] {
        std::string titles;
        for (const auto& [title, finding] : byTitle) titles += title + "\n";
        return titles;
    }();

    const Finding& service = *byTitle.at("Service added: QvSvc");
    EXPECT_EQ(service.kind, "service");
    EXPECT_EQ(Items(service), (std::vector<std::size_t>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(Facts(service), (std::map<std::string, std::string>{
                                  {"displayName", "Qv Service"},
                                  {"start", "starts automatically"},
                                  {"type", "shared process"},
                                  {"program", "%SystemRoot%\\system32\\svchost.exe -k qv"},
                                  {"serviceDll", "C:\\Qv\\svc.dll"}}));
    ASSERT_EQ(service.files.size(), 1u);  // svchost runs the group's DLL
    EXPECT_EQ(service.files[0].path, "C:\\Qv\\svc.dll");
    EXPECT_TRUE(service.files[0].exists && service.files[0].isNew);

    const Finding& tray = *byTitle.at("Run entry added: QvTray");
    EXPECT_EQ(Items(tray), (std::vector<std::size_t>{8, 9}));
    EXPECT_EQ(tray.entries[1].anchor, "c9");
    ASSERT_EQ(tray.files.size(), 1u);
    EXPECT_EQ(tray.files[0].path, "C:\\Qv\\tray.exe");
    EXPECT_FALSE(tray.files[0].exists || tray.files[0].isNew);
    EXPECT_EQ(std::count_if(all.begin(), all.end(),
                            [](const Finding& f) { return f.title == "Run entry added: QvTray"; }),
              2);  // another user's is another thing

    const Finding& type = *byTitle.at("File type added: .qvx");
    EXPECT_EQ(type.category, ChangeCategory::Registration);
    EXPECT_EQ(Items(type), (std::vector<std::size_t>{11, 12, 13, 14, 15}));
    EXPECT_EQ(Facts(type), (std::map<std::string, std::string>{{"extension", ".qvx"},
                                                               {"progId", "Qv.File"},
                                                               {"name", "Qv document"},
                                                               {"open", "\"C:\\Qv\\qv.exe\" \"%1\""}}));
    ASSERT_EQ(type.files.size(), 1u);
    EXPECT_EQ(type.files[0].path, "C:\\Qv\\qv.exe");

    const Finding& com = *byTitle.at("COM class changed: {1234}");
    EXPECT_EQ(Facts(com), (std::map<std::string, std::string>{{"dll", "C:\\Qv\\ext.dll"},
                                                              {"threading", "Apartment"}}));
    EXPECT_EQ(byTitle.at("Protocol handler changed: qvp")->kind, "protocol");
    const Finding& removed = *byTitle.at("Uninstall entry removed: Qv");
    EXPECT_EQ(Facts(removed).at("displayName"), "Qv 1.0");
    EXPECT_TRUE(removed.files.empty());
    const Finding& path = *byTitle.at("Environment variable changed: Path");
    EXPECT_EQ(Facts(path).at("gained"), "C:\\Qv\\bin");
    EXPECT_EQ(Facts(path).at("lost"), "C:\\Old");
    const Finding& rule = *byTitle.at("Firewall rule added: {QV}");
    EXPECT_EQ(Facts(rule), (std::map<std::string, std::string>{{"action", "Allow"},
                                                               {"direction", "In"},
                                                               {"program", "C:\\Qv\\qv.exe"},
                                                               {"localPorts", "80"},
                                                               {"protocol", "6"}}));

    const Finding& task = *byTitle.at("Scheduled task added: \\Qv\\Update");
    EXPECT_EQ(Items(task), (std::vector<std::size_t>{25, 26, 27, 28, 29}));
    EXPECT_EQ(Facts(task).at("command"), "C:\\Qv\\up.exe /quiet");
    ASSERT_EQ(task.files.size(), 1u);
    EXPECT_EQ(task.files[0].path, "C:\\Qv\\up.exe");
    EXPECT_EQ(Items(*byTitle.at("Scheduled task removed: \\Old")), (std::vector<std::size_t>{32, 33}));
    const Finding& link = *byTitle.at("Shortcut added: Qv");
    EXPECT_EQ(link.category, ChangeCategory::Registration);
    ASSERT_EQ(link.files.size(), 1u);
    EXPECT_EQ(link.files[0].path, "C:\\Program Files\\Qv\\qv.exe");
    EXPECT_EQ(Facts(*byTitle.at("Shortcut added: Fake")),
              (std::map<std::string, std::string>{{"file", "cannot be read as a link"}}));

    EXPECT_EQ(WorthALook(all, 1, 0, 0),
              "Worth a look: 6 start by themselves, 2 change what is trusted, 6 register programs.");
    EXPECT_EQ(WorthALook({}, 0, 0, 1), "Worth a look: 1 registers programs.");
    EXPECT_EQ(WorthALook({}, 0, 0, 0), "");
}

}  // namespace
