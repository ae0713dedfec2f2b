// The rule table that says what a change means: each family of Windows entries in its
// category, how patterns, places and registry names are matched, which row wins, and the words.

#include "engine/change_rules.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/typical_places.h"

namespace {

// An item as the report lists it: a file or folder ("F"), a key ("K"), or a value ("V": the
// key's path, then "=" and the name).
Classification Classify(const ChangeClassifier& classifier, std::string_view item) {
    const std::string_view path = item.substr(2);
    if (item[0] == 'F') return classifier.ClassifyFile(path);
    if (item[0] == 'K') return classifier.ClassifyKey(path);
    const std::size_t eq = path.find('=');
    return classifier.ClassifyValue(path.substr(0, eq), path.substr(eq + 1));
}

// The row's words with no data at all: they tell the rows apart.
std::string Words(const Classification& found) {
    return found.rule ? DescribeChange(*found.rule, {}) : std::string("-");
}

struct Expected {
    const char* item;
    ChangeCategory category;
    const char* words;
};

constexpr ChangeCategory A = ChangeCategory::Autostart, S = ChangeCategory::Security,
                         R = ChangeCategory::Registration, N = ChangeCategory::Noise,
                         None = ChangeCategory::None;

TEST(ChangeRules, EachFamilyNormalisationAndPrecedence) {
    const Expected cases[] = {
        // Starts by itself.
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run=OneDrive)", A, "Starts at log-on of every user"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run=Discord)", A, "Starts at log-on of this user"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnce=Cleanup)", A, "Starts once, at the next log-on"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\RunOnceEx\0001)", A, "Starts once, at the next log-on"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\RunServices=Agent)", A, "Starts with the system"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\Explorer\Run=1)", A, "Starts at log-on of every user, by policy"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon=Shell)", A, "Shell started at log-on"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon=Userinit)", A, "Started by Winlogon at log-on"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\Notify\WgaLogon)", A, "Winlogon notification DLL"},
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\FooSvc)", A, "New service"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\FooSvc=ImagePath)", A, "Service program"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\FooSvc=Start)", A, "Service"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\FooSvc=Type)", A, "Service type"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\FooSvc\Parameters=ServiceDll)", A, "Service DLL"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\FooSvc=Description)", A, "Service setting"},
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\FooSvc\Enum)", None, "-"},
        {R"(F C:\Windows\System32\Tasks\Foo\Foo Updater)", A, "Scheduled task"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Schedule\TaskCache\Tree\Foo Updater)", A, "Scheduled task"},
        {R"(F C:\ProgramData\Microsoft\Windows\Start Menu\Programs\StartUp\Tool.lnk)", A, "Starts at log-on of every user"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\sethc.exe=Debugger)", A, "Started instead of the program"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Windows=AppInit_DLLs)", A, "Loaded into every program that uses user32"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Active Setup\Installed Components\{89820200-ECBD-11cf-8B85-00AA005B4383})", A, "Runs once for each user at log-on"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad=WebCheck)", A, "Loaded by Explorer when it starts"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\{AA58ED58-01DD-4d91-8333-CF10577473F7})", A, "Browser helper object, loaded by Internet Explorer"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\ShellIconOverlayIdentifiers\ OneDrive1)", A, "Icon overlay handler, loaded by Explorer"},
        {R"(K HKEY_CLASSES_ROOT\*\shellex\ContextMenuHandlers\7-Zip)", A, "Shell extension handler, loaded by Explorer"},
        {R"(K HKEY_CLASSES_ROOT\Directory\Background\shellex\ContextMenuHandlers\Foo)", A, "Shell extension handler, loaded by Explorer"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager=BootExecute)", A, "Runs at boot, before Windows starts"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs=foo)", A, "Known DLL, loaded from the system folder only"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Lsa=Notification Packages)", A, "Password filter, loaded by LSA"},
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\Foo Port)", A, "Print monitor, loaded by the spooler"},
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters\Protocol_Catalog9\Catalog_Entries64\000000000013)", A, "Winsock provider, loaded into every program that uses the network"},
        // Changes what is trusted or allowed.
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\SystemCertificates\ROOT\Certificates\CABD2A79A1076A31F21D253635CB039D4329A5E8)", S, "Trusted root certificate"},
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\SystemCertificates\Root\Certificates\CABD2A79)", S, "Trusted root certificate"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Microsoft\SystemCertificates\Root\Certificates\CABD2A79)", S, "Trusted root certificate, by policy"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\SystemCertificates\AuthRoot\Certificates\CABD2A79)", S, "Trusted root certificate (third-party roots)"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\SystemCertificates\TrustedPublisher\Certificates\CABD2A79)", S, "Trusted publisher certificate"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\SystemCertificates\Disallowed\Certificates\CABD2A79)", S, "Distrusted certificate"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\SharedAccess\Parameters\FirewallPolicy\FirewallRules={0D1A5F1B-4C2E-4B3A-9C1D-2E3F4A5B6C7D})", S, "Firewall rule"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\SharedAccess\Parameters\FirewallPolicy\StandardProfile=EnableFirewall)", S, "Firewall"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Microsoft\Windows\WindowsUpdate\AU=NoAutoUpdate)", S, "Policy"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer=NoRun)", S, "Policy of this user"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System=EnableLUA)", S, "User Account Control"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Lsa=RunAsPPL)", S, "Security authority (LSA) setting"},
        {R"(F C:\Windows\System32\drivers\etc\hosts)", S, "Hosts file: names resolved without DNS"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings=ProxyServer)", S, "Proxy server"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings=ProxyEnable)", S, "Proxy"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings=AutoConfigURL)", S, "Proxy configuration script"},
        // Tells the system about a program.
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\{23170F69-40C1-2702-2201-000001000000})", R, "Uninstall entry"},
        {R"(K HKEY_CLASSES_ROOT\.foo)", R, "File extension"},
        {R"(K HKEY_CLASSES_ROOT\Foo.Document)", R, "File type or program ID"},
        {R"(K HKEY_CLASSES_ROOT\Foo.Document\shell\open\command)", R, "Command of a file type"},
        {R"(K HKEY_CLASSES_ROOT\CLSID\{0002DF01-0000-0000-C000-000000000046})", R, "COM class"},
        {R"(K HKEY_CLASSES_ROOT\CLSID\{0002DF01-0000-0000-C000-000000000046}\InprocServer32)", R, "COM class, DLL"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\foo.exe)", R, "Program started by its name"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager\Environment=FOO_HOME)", R, "Environment variable"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager\Environment=Path)", R, "Path"},
        {R"(V HKEY_CURRENT_USER\Environment=Path)", R, "Path of this user"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs=C:\Program Files\Common Files\foo.dll)", R, "Shared file, use count"},
        {R"(F C:\Users\Public\Desktop\Tool.lnk)", R, "Shortcut on the desktop of every user"},
        {R"(F C:\Users\alice\Desktop\Site.url)", R, "Internet shortcut on the desktop of this user"},
        {R"(F C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Tool\Tool.lnk)", R, "Shortcut in the Start menu of every user"},
        {R"(F C:\Windows\Fonts\FooSans.ttf)", R, "Font"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts=Foo Sans (TrueType))", R, "Font"},
        {R"(F C:\Windows\System32\drivers\foo.sys)", R, "Kernel driver"},
        // Likely background activity.
        {R"(F C:\Windows\Temp\x.dat)", N, "Temporary file"},
        {R"(F C:\Users\alice\AppData\Local\Temp\setup\x.dat)", N, "Temporary file"},
        {R"(F C:\Windows\Prefetch\SETUP.EXE-1A2B3C4D.pf)", N, "Prefetch data"},
        {R"(F C:\Program Files\Foo\logs\foo.log)", N, "Log"},
        {R"(F C:\Windows\System32\winevt\Logs\Application.evtx)", N, "Event log"},
        {R"(F C:\Users\alice\AppData\Local\CrashDumps\foo.exe.1234.dmp)", N, "Crash dump"},
        {R"(F C:\ProgramData\Microsoft\Windows\WER\ReportQueue\AppCrash_foo\Report.wer)", N, "Error report"},
        {R"(F C:\Users\alice\AppData\Local\Microsoft\Windows\Explorer\thumbcache_256.db)", N, "Thumbnail and icon cache"},
        {R"(F C:\Users\alice\AppData\Local\Microsoft\Windows\INetCache\IE\ABC\x.htm)", N, "Web cache"},
        {R"(F C:\Users\alice\AppData\Local\Google\Chrome\User Data\Default\Cache\Cache_Data\data_1)", N, "Browser cache"},
        {R"(F C:\Windows\SoftwareDistribution\Download\abc\x.cab)", N, "Windows Update working file"},
        {R"(F C:\Windows\ServiceProfiles\NetworkService\AppData\Local\Microsoft\Windows\DeliveryOptimization\Cache\x)", N, "Delivery Optimization cache"},
        {R"(F C:\Windows\ServiceProfiles\LocalService\AppData\Local\FontCache\~FontCache-System.dat)", N, "Font cache"},
        {R"(F C:\ProgramData\Microsoft\Windows Defender\Scans\History\Service\x.bin)", N, "Antivirus data"},
        {R"(F C:\Windows\System32\config\SOFTWARE.LOG1)", N, "Registry hive log"},
        {R"(F C:\Windows\System32\config\TxR\{016888cc-6c6f-11de-8d1d-001e0bcde3ec}.TxR.0.regtrans-ms)", N, "Registry transaction file"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\RecentDocs\.docx=0)", N, "Recent item"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\RunMRU=a)", N, "Most-recently-used list"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\UserAssist\{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}\Count=HRZR_PGYFRFFVBA)", N, "Program use counts (UserAssist)"},
        {R"(K HKEY_USERS\S-1-5-21-1004336348-1177238915-682003330-1001_Classes\Local Settings\Software\Microsoft\Windows\Shell\BagMRU\0)", N, "Folder view settings (shell bags)"},
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\bam\State\UserSettings\S-1-5-21-1004336348-1177238915-682003330-1001)", N, "Background activity record"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\{5B6C7D8E-0000-0000-0000-000000000000}=LeaseObtainedTime)", N, "Network lease time"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Cryptography\RNG=Seed)", N, "Random-number seed"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\FeatureUsage\AppSwitched=Microsoft.Windows.Explorer)", N, "Explorer feature use counts"},
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\SessionInfo\1\ApplicationViewManagement)", N, "Explorer session state"},
        {R"(V HKEY_CURRENT_USER\Software\Wine\Fonts=Codepages)", N, "Font settings, rewritten by Wine when a program starts"},
        {R"(K HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Video\{6bed127e-1560-464e-9d36-db222b21124c}\0000)", N, "Display adapter state, rewritten at start"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\SystemCertificates\AuthRoot\AutoUpdate=EncodedCtl)", N, "Update state of the list of trusted roots"},
        // Nothing.
        {R"(F C:\Program Files\Tool\tool.exe)", None, "-"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Foo\Settings)", None, "-"},
        {R"(V HKEY_CURRENT_USER\Software\Foo=Bar)", None, "-"},
        // Precedence: Startup over Start menu, security over noise, Recent is noise.
        {R"(F C:\Users\alice\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup\Tool.lnk)", A, "Starts at log-on of this user"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Defender\Exclusions\Paths=C:\Tools)", S, "Antivirus exclusion"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Defender\Signature Updates=ASSignatureVersion)", N, "Antivirus data"},
        {R"(F C:\Users\alice\AppData\Roaming\Microsoft\Windows\Recent\report.docx.lnk)", N, "Recent item"},
        // Normalisations: other users' hives and profiles, control sets, 32-bit views, classes.
        {R"(V HKEY_USERS\S-1-5-21-1004336348-1177238915-682003330-1001\Software\Microsoft\Windows\CurrentVersion\Run=Tool)", A, "Starts at log-on of this user"},
        {R"(V HKEY_USERS\.DEFAULT\Software\Microsoft\Windows\CurrentVersion\Run=Tool)", A, "Starts at log-on of this user"},
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\ControlSet002\Services\FooSvc)", A, "New service"},
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\ControlSetX\Services\FooSvc)", None, "-"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\Windows\CurrentVersion\Run=Tool)", A, "Starts at log-on of every user"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Classes\Wow6432Node\CLSID\{0002DF01-0000-0000-C000-000000000046})", R, "COM class"},
        {R"(K HKEY_USERS\S-1-5-21-1004336348-1177238915-682003330-1001_Classes\.foo)", R, "File extension"},
        {R"(K HKEY_USERS\S-1-5-21-1004336348-1177238915-682003330-1001_Classes\CLSID\{0002DF01-0000-0000-C000-000000000046}\LocalServer32)", R, "COM class, program"},
        {R"(F C:\Users\bob\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup\Tool.lnk)", A, "Starts at log-on of this user"},
        {R"(F C:\Users\bob\AppData\Local\Temp\x.dat)", N, "Temporary file"},
        {R"(F c:\WINDOWS\prefetch\)", N, "Prefetch data"},
        {R"(F C:\Windows\Prefetch2\x.pf)", None, "-"},
    };
    const ChangeClassifier classifier(TypicalPlaces());
    for (const Expected& e : cases) {
        SCOPED_TRACE(e.item);
        const Classification found = Classify(classifier, e.item);
        EXPECT_EQ(found.category, e.category);
        EXPECT_EQ(Words(found), e.words);
        if (found.rule) {
            EXPECT_EQ(found.rule->category, found.category);
        }
    }
}

// Each row fits an item made from its own pattern: a place name that the table of places does
// not know, or a pattern that cannot match, would leave the row silently unused.
TEST(ChangeRules, EveryRowFitsAnExampleOfItsPattern) {
    const KnownPlaces places = TypicalPlaces();
    const std::map<std::string, std::string, std::less<>> heads = {
        {"{windows}", places.windows},           {"{system}", places.system},
        {"{programfiles}", places.programFilesX86}, {"{programdata}", places.programData},
        {"{profiles}", places.profiles},         {"{profile}", R"(C:\Users\carol)"},
        {"{usertemp}", places.userTemp},         {"{appdata}", places.userAppData},
        {"{localappdata}", places.userLocalAppData}, {"{userstartmenu}", places.userStartMenu},
        {"{userdesktop}", places.userDesktop},   {"{userstartup}", places.userStartup},
        {"{commonstartmenu}", places.commonStartMenu}, {"{commondesktop}", places.commonDesktop},
        {"{commonstartup}", places.commonStartup}, {"{classes}", "HKEY_CLASSES_ROOT"},
        {"HKLM", "HKEY_LOCAL_MACHINE"},          {"HKCU", "HKEY_CURRENT_USER"},
        {"*", "C:"},                             {"**", "C:"},
    };
    const auto instance = [](std::string text) {
        for (char& c : text) c = c == '*' ? 'x' : c;
        return text;
    };
    for (const ChangeRule& rule : kChangeRules) {
        SCOPED_TRACE(rule.pattern);
        std::string pattern = rule.pattern;
        const std::size_t cut = pattern.find('\\');
        const auto head = heads.find(pattern.substr(0, cut));
        ASSERT_NE(head, heads.end());
        std::string example = head->second;
        std::size_t at = cut;
        while (at != std::string::npos) {
            const std::size_t end = pattern.find('\\', at + 1);
            const std::string segment = pattern.substr(at + 1, end - at - 1);
            if (segment != "**") example.append("\\").append(instance(segment));
            at = end;
        }
        const ChangeClassifier one(places, std::span(&rule, 1));
        const Classification found =
            rule.area == RuleArea::Files ? one.ClassifyFile(example)
            : rule.valueName             ? one.ClassifyValue(example, instance(rule.valueName))
                                         : one.ClassifyKey(example);
        EXPECT_EQ(found.rule, &rule) << example;
        EXPECT_NE(rule.category, ChangeCategory::None);
        EXPECT_NE(DescribeChange(rule, {}), "");
    }
}

TEST(ChangeRules, SegmentsValueNamesAndSpecificity) {
    static const ChangeRule rules[] = {
        {R, RuleArea::Files, R"({windows}\Stars\*\*.txt)", nullptr, "0"},
        {R, RuleArea::Files, R"({windows}\Deep\**\end)", nullptr, "1"},
        {R, RuleArea::Registry, R"(HKLM\Key)", nullptr, "2"},
        {R, RuleArea::Registry, R"(HKLM\Key)", R"(Name\With=Signs*)", "3"},
        {N, RuleArea::Registry, R"(HKLM\Key\**)", nullptr, "4"},
        {S, RuleArea::Registry, R"(HKLM\Key\*\Strong)", nullptr, "5"},
        {N, RuleArea::Registry, R"(HKLM\Key\Sub\Strong)", nullptr, "6"},
        {R, RuleArea::Registry, R"(HKLM\Key\*\Weak)", nullptr, "7"},
        {N, RuleArea::Registry, R"(HKLM\Key\Sub\Weak)", nullptr, "8"},
        {R, RuleArea::Registry, R"(HKLM\Tie\*)", nullptr, "9"},
        {A, RuleArea::Registry, R"(HKLM\*\Tie)", nullptr, "10"},
    };
    const std::pair<const char*, const char*> cases[] = {
        {R"(F C:\Windows\Stars\any\file.TXT)", "0"},
        {R"(F C:\Windows\Stars\file.txt)", "-"},
        {R"(F C:\Windows\Stars\a\b\file.txt)", "-"},
        {R"(F C:\Windows\Stars\a\file.txt.bak)", "-"},
        {R"(F C:\Windows\Deep\end)", "1"},
        {R"(F C:\Windows\Deep\a\b\c\END)", "1"},
        {R"(F C:\Windows\Deeper\end)", "-"},
        {R"(F C:\Windows\Deep\end\more)", "-"},
        {R"(K HKEY_LOCAL_MACHINE\KEY)", "2"},
        {R"(V HKEY_LOCAL_MACHINE\Key=)", "2"},
        {R"(V HKEY_LOCAL_MACHINE\Key=Name\With=Signs and more)", "3"},
        {R"(V HKEY_LOCAL_MACHINE\Key=name\with=signs)", "3"},
        {R"(V HKEY_LOCAL_MACHINE\Key=Name\With)", "2"},
        {R"(V HKEY_LOCAL_MACHINE\Key\Sub=Name\With=Signs)", "4"},
        {R"(K HKEY_LOCAL_MACHINE\Key\Sub\Strong)", "5"},
        {R"(K HKEY_LOCAL_MACHINE\Key\Sub\Weak)", "8"},
        {R"(K HKEY_LOCAL_MACHINE\Tie\Tie)", "9"},
    };
    const ChangeClassifier classifier(TypicalPlaces(), rules);
    for (const auto& [item, row] : cases) {
        SCOPED_TRACE(item);
        EXPECT_EQ(Words(Classify(classifier, item)), row);
    }
}

TEST(ChangeRules, PlacesComeFromTheSystemAndUnknownOnesLeaveTheirRowsOut) {
    const struct {
        void (*change)(KnownPlaces&);
        const char* item;
        ChangeCategory category;
    } cases[] = {
        {[](KnownPlaces& p) { p.commonStartup.clear(); },
         R"(F C:\ProgramData\Microsoft\Windows\Start Menu\Programs\StartUp\Tool.lnk)", R},
        {[](KnownPlaces& p) { p.userTemp = R"(C:\Temp)"; }, R"(F C:\Temp\x.dat)", N},
        {[](KnownPlaces& p) { p.userTemp = R"(C:\Temp)"; }, R"(F C:\Users\bob\AppData\Local\Temp\x.dat)", None},
        {[](KnownPlaces& p) { p.profiles.clear(); },
         R"(F C:\Users\alice\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup\x.lnk)", A},
        {[](KnownPlaces& p) { p.profiles.clear(); },
         R"(F C:\Users\bob\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup\x.lnk)", None},
        // As Wine has them: the profiles folder in other letter case, the temp folder in the
        // profile itself.
        {[](KnownPlaces& p) {
             p.userProfile = R"(C:\users\root)";
             p.userTemp = R"(C:\users\root\Temp)";
         },
         R"(F C:\Users\other\TEMP\x.dat)", N},
        {[](KnownPlaces& p) { p = KnownPlaces(); }, R"(F C:\Windows\Prefetch\x.pf)", None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        KnownPlaces places = TypicalPlaces();
        c.change(places);
        EXPECT_EQ(Classify(ChangeClassifier(places), c.item).category, c.category);
    }
}

TEST(DescribeChange, FillsPlaceholdersAndDropsThoseWithoutData) {
    const std::string longText(500, 'x');
    const struct {
        const char* item;
        const char* text;
        const char* oldText;
        std::vector<std::pair<std::string, std::string>> values;
        bool removed;
        const char* words;
    } cases[] = {
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\FooSvc)", "", "",
         {{"ImagePath", R"(C:\Svc\svc.exe)"}, {"Start", "2"}}, false,
         R"(New service, starts automatically: C:\Svc\svc.exe)"},
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\FooSvc)", "", "",
         {{"ImagePath", R"(C:\Svc\svc.exe)"}, {"Start", "2"}}, true,
         R"(Service removed: C:\Svc\svc.exe)"},
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\FooSvc)", "", "",
         {{"Start", "3"}}, false, "New service, starts on demand"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\FooSvc=Start)", "4", "2", {},
         false, "Service disabled (was: starts automatically)"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\FooSvc=Start)", "7", "", {},
         false, "Service 7"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Foo)", "", "",
         {{"DisplayName", "Foo Tool"}, {"DisplayVersion", "1.2"}}, false,
         "Uninstall entry: Foo Tool 1.2"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Foo)", "", "",
         {{"DisplayVersion", "1.2"}}, false, "Uninstall entry"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager\Environment=Path)",
         R"(C:\Windows;C:\Tools\bin;)", R"(c:\windows\)", {}, false, R"(Path gained: C:\Tools\bin)"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager\Environment=Path)",
         R"(C:\Windows)", R"(C:\Windows; C:\Old;D:\Gone)", {}, false, R"(Path, lost: C:\Old; D:\Gone)"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager\Environment=Path)",
         R"(C:\A;C:\B)", "", {}, true, R"(Path, lost: C:\A; C:\B)"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run=Tool)",
         R"("C:\Tool\tool.exe" /background)", "", {}, false,
         R"(Starts at log-on of every user: "C:\Tool\tool.exe" /background)"},
        {R"(V HKEY_CLASSES_ROOT\.foo=)", "Foo.Document", "", {}, false,
         "File extension, handled by Foo.Document"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run=Tool)",
         longText.c_str(), "", {}, false, nullptr},
    };
    const ChangeClassifier classifier(TypicalPlaces());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        const Classification found = Classify(classifier, c.item);
        ASSERT_NE(found.rule, nullptr);
        MeaningContext context;
        context.text = c.text;
        context.oldText = c.oldText;
        context.removed = c.removed;
        const std::string_view item = c.item;
        if (item[0] == 'V') context.name = item.substr(item.find('=') + 1);
        context.valueOf = [&c](std::string_view name) -> std::optional<std::string_view> {
            for (const auto& [key, value] : c.values) {
                if (key == name) return value;
            }
            return std::nullopt;
        };
        const std::string words = DescribeChange(*found.rule, context);
        if (c.words != nullptr) {
            EXPECT_EQ(words, c.words);
        } else {
            // A long text is cut short, and says so.
            EXPECT_LT(words.size(), 220u);
            EXPECT_EQ(words.substr(words.size() - 3), "\xE2\x80\xA6");
        }
    }
    const ChangeRule bare{N, RuleArea::Files, "{windows}", nullptr, "A <Missing> b {text}"};
    EXPECT_EQ(DescribeChange(bare, {}), "A b");
}

// The places as Wine reports them, and the rows they make work on this system.
TEST(KnownPlaces, ResolvedOnThisSystem) {
    const KnownPlaces places = ResolveKnownPlaces();
    for (const std::string* place : {&places.windows, &places.system, &places.profiles,
                                     &places.userProfile, &places.userTemp, &places.userStartup}) {
        ASSERT_FALSE(place->empty());
        EXPECT_NE(place->back(), '\\') << *place;
        EXPECT_EQ((*place)[1], ':') << *place;
    }
    const ChangeClassifier classifier(places);
    EXPECT_EQ(classifier.ClassifyFile(places.userTemp + R"(\setup\x.dat)").category,
              ChangeCategory::Noise);
    EXPECT_EQ(classifier.ClassifyFile(places.userStartup + R"(\Tool.lnk)").category,
              ChangeCategory::Autostart);
    EXPECT_EQ(classifier.ClassifyFile(places.windows + R"(\Prefetch\x.pf)").category,
              ChangeCategory::Noise);
}

}  // namespace
