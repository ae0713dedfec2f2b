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
    // One case a line.
    // clang-format off
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
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Monitors\Foo Port)", A, "Print monitor, loaded by the spooler"},
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters\Protocol_Catalog9\Catalog_Entries64\000000000013)", A, "Winsock provider, loaded into every program that uses the network"},
        // The Startup folders moved.
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders=Startup)", A, "Startup folder of this user moved: everything in it starts at log-on"},
        {R"(V HKEY_USERS\S-1-5-21-1004336348-1177238915-682003330-1001\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders=StartUp)", A, "Startup folder of this user moved, in the copy older programs read"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders=Common Startup)", A, "Startup folder of all users moved: everything in it starts at each log-on"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders=Common StartUp)", A, "Startup folder of all users moved, in the copy older programs read"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders=Personal)", None, "-"},
        // Log-on and boot.
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon=AppSetup)", A, "Started by Winlogon at log-on"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon=VmApplet)", A, "Started by Winlogon at log-on"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon=mpnotify)", A, "Started by Winlogon at log-on"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon=GinaDLL)", A, "Log-on DLL (GINA), loaded by Winlogon"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Winlogon\AlternateShells\AvailableShells=90000)", A, "Shell started at log-on (alternate shells)"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Policies\System=Shell)", A, "Shell started at log-on, by policy"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\SafeBoot=AlternateShell)", A, "Shell of safe mode with command prompt"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Authentication\Credential Providers\{60b78e88-ead8-445c-9cfd-0b87f74ea6cd})", A, "Credential provider, loaded by the log-on screen"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Authentication\Credential Provider Filters\{DDC0EED2-ADBE-40b6-A217-EDE16A79A0DE})", A, "Credential provider filter, loaded by the log-on screen"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Authentication\PLAP Providers\{5537E283-B1E7-4EF8-9C6E-7AB0AFE5056D})", A, "Network access before log-on (PLAP provider), loaded by the log-on screen"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Terminal Server\WinStations\RDP-Tcp=InitialProgram)", A, "Started in place of the desktop in remote sessions"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Microsoft\Windows NT\Terminal Services=InitialProgram)", A, "Started in place of the desktop in remote sessions, by policy"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Terminal Server\Wds\rdpwd=StartupPrograms)", A, "Started in every remote session"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\Windows CE Services\AutoStartOnConnect=MicrosoftActiveSync)", A, "Started when a mobile device connects"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows CE Services\AutoStartOnDisconnect=Sync)", A, "Started when a mobile device disconnects"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Group Policy\Scripts\Logon\0\0=Script)", A, "Group policy script, run at start-up, shut-down, log-on or log-off"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Group Policy\State\Machine\Scripts\Startup\0\0=Script)", A, "Group policy script, run at start-up, shut-down, log-on or log-off"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Group Policy\State\Machine=Extension-List)", None, "-"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager=S0InitialCommand)", A, "Runs at boot, before Windows starts"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\Setup=CmdLine)", A, "Runs at boot in place of log-on while setup is pending"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\ControlSet001\Control\BootVerificationProgram=ImagePath)", A, "Boot verification program, started at each boot"},
        // Debuggers and compatibility fixes.
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\notepad.exe\Filter0=Debugger)", A, "Started instead of the program"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\notepad.exe=GlobalFlag)", A, "Debugging flags of the program (0x200 starts its silent-exit monitor)"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\notepad.exe=VerifierDlls)", A, "Loaded into the program when it starts (verifier)"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\SilentProcessExit\notepad.exe=ReportingMode)", A, "Exit of the program monitored"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\AeDebug=Debugger)", A, "Debugger started when a program crashes"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\.NETFramework=DbgManagedDebugger)", A, "Debugger started when a .NET program crashes"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\Windows Error Reporting\Hangs=ReflectDebugger)", A, "Debugger started when a program hangs"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\Windows Error Reporting\RuntimeExceptionHelperModules=C:\Tools\werhook.dll)", A, "Loaded by error reporting when a program crashes"},
        {R"(V HKEY_CURRENT_USER\Software\Classes\ActivatableClasses\Package\Microsoft.WindowsCalculator_10.2103.8.0_x64__8wekyb3d8bbwe\DebugInformation\App=DebugPath)", A, "Debugger started with a Store app"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\InstalledSDB\{3f1d6d4b-2d52-4b5c-8c8b-7a1e4c5d6e7f})", A, "Compatibility database, applied to programs as they start"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Custom\setup.exe={3f1d6d4b-2d52-4b5c-8c8b-7a1e4c5d6e7f}.sdb)", A, "Compatibility database applied to a program as it starts"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers=C:\Tools\tool.exe)", A, "Compatibility settings applied to a program as it starts"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\TelemetryController\Tool=Command)", A, "Started by the compatibility telemetry task"},
        // Explorer, the shell and Internet Explorer.
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Windows=IconServiceLib)", A, "Icon codec DLL, loaded by Explorer"},
        {R"(K HKEY_CLASSES_ROOT\Drive\shellex\DragDropHandlers\Tool)", A, "Shell extension handler, loaded by Explorer"},
        {R"(K HKEY_CLASSES_ROOT\Directory\shellex\ExtShellFolderViews\{5984FFE0-28D4-11CF-AE66-08002B2E1262})", A, "Shell extension handler, loaded by Explorer"},
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\MyComputer\NameSpace\{018D5C66-4533-4307-9B53-224DE2ED1FE6})", A, "Name-space folder, loaded by Explorer"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\MyComputer\BackupPath=)", A, "Started from the Tools tab of a drive"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\MyComputer\cleanuppath=)", A, "Started from the Tools tab of a drive"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\MyComputer\DefragPath=)", A, "Started from the Tools tab of a drive"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\VolumeCaches\Tool Cache)", A, "Disk clean-up handler, loaded by Disk Clean-up"},
        {R"(V HKEY_CLASSES_ROOT\CLSID\{645FF040-5081-101B-9F08-00AA002F954E}\shell\open\command=)", A, "Started when the Recycle Bin is opened"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Classes\htmlfile\shell\open\command=)", A, "Started when a web page file is opened"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\CTF\LangBarAddin\{EB1E5E9A-0000-0000-0000-000000000000})", A, "Language-bar add-in, loaded at log-on"},
        {R"(V HKEY_USERS\.DEFAULT\Control Panel\Desktop=SCRNSAVE.EXE)", A, "Screen saver, started when the computer is idle"},
        {R"(V HKEY_CURRENT_USER\Software\Policies\Microsoft\Windows\Control Panel\Desktop=SCRNSAVE.EXE)", A, "Screen saver, by policy, started when the computer is idle"},
        {R"(V HKEY_CURRENT_USER\Control Panel\Desktop=WallPaper)", None, "-"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Toolbar\WebBrowser={2318C2B1-4965-11D4-9B18-009027A5CD4F})", A, "Toolbar, loaded by Internet Explorer"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\Internet Explorer\Toolbar={2318C2B1-4965-11D4-9B18-009027A5CD4F})", A, "Toolbar, loaded by Internet Explorer"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Toolbar\WebBrowser=ITBar7Layout)", None, "-"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Explorer Bars\{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1})", A, "Explorer bar, loaded by Internet Explorer"},
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\MenuExt\E&xport to Microsoft Excel)", A, "Menu item of Internet Explorer, runs a script"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\Internet Explorer\Extensions\{2670000A-7350-4f3c-8081-5663EE0C6C49})", A, "Button or menu item of Internet Explorer"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\URLSearchHooks={CFBFAE00-17A6-11D0-99CB-00C04FD64497})", A, "URL search hook, loaded by Internet Explorer"},
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\Desktop\Components\0)", A, "Active Desktop component, shown with its scripts on the desktop"},
        {R"(K HKEY_CLASSES_ROOT\PROTOCOLS\Filter\text/xml)", A, "MIME filter, loaded by programs that open web content"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Classes\PROTOCOLS\Handler\qvp)", A, "Pluggable protocol handler, loaded by programs that open its links"},
        // Office.
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\Office\Outlook\Addins\Qv.Connect)", A, "Office add-in, loaded when its Office program starts"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\Office\16.0\Excel\Addins\Qv.XlAddin=LoadBehavior)", A, "Office add-in, loaded when its Office program starts"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Office test\Special\Perf=)", A, "Loaded whenever an Office program starts (Office test)"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Excel\Options=OPEN1)", A, "Excel add-in, opened when Excel starts"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Excel\Options=AltStartup)", A, "Start-up folder of Excel: every workbook in it opens when Excel starts"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Word\Options=STARTUP-PATH)", A, "Start-up folder of Word: every template in it loads when Word starts"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Outlook\Today=UserDefinedUrl)", A, "Outlook Today page, shown with its scripts when Outlook starts"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Outlook\WebView\Inbox=URL)", A, "Home page of an Outlook folder, shown with its scripts when the folder opens"},
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Word\Security\Trusted Locations\Location3)", S, "Trusted location of an Office program: its documents run macros"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Excel\Security=VBAWarnings)", S, "Macros of an Office program"},
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\VSTO\Security\Inclusion\{9e2a5c43-5b59-4d3e-8c5a-1a2b3c4d5e6f})", S, "Office add-in trusted without asking"},
        // COM classes turned elsewhere; a user's classes.
        {R"(K HKEY_CURRENT_USER\Software\Classes\CLSID\{0002DF01-0000-0000-C000-000000000046}\TreatAs)", A, "COM class hijacked: its users get another class"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{AE1EF6E5-0000-4F1C-9B7C-000000000001}\ScriptletURL)", A, "COM class hijacked: runs a script"},
        {R"(K HKEY_CURRENT_USER\Software\Classes\CLSID\{BCDE0395-E52F-467C-8E3D-C4579291692E})", R, "COM class of this user, used in place of the machine's of the same id"},
        {R"(K HKEY_USERS\S-1-5-21-1004336348-1177238915-682003330-1001_Classes\CLSID\{BCDE0395-E52F-467C-8E3D-C4579291692E}\InprocServer32)", R, "COM class of this user, DLL, used in place of the machine's"},
        {R"(K HKEY_CURRENT_USER\Software\Classes\Wow6432Node\CLSID\{BCDE0395-E52F-467C-8E3D-C4579291692E}\LocalServer32)", R, "COM class of this user, program, used in place of the machine's"},
        {R"(K HKEY_CLASSES_ROOT\Interface\{00020400-0000-0000-C000-000000000046}\ProxyStubClsid32)", R, "COM interface, its proxy-stub class"},
        {R"(V HKEY_CLASSES_ROOT\qvp=URL Protocol)", R, "Protocol handler: links of this kind start its program"},
        // Loaded into other programs.
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Print\Providers\Internet Print Provider)", A, "Print provider, loaded by the spooler"},
        {R"(K HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\W32Time\TimeProviders\NtpClient)", A, "Time provider, loaded by the time service"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\NetworkProvider\Order=ProviderOrder)", A, "Network providers, loaded at log-on and given the password"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\QvNp\NetworkProvider=ProviderPath)", A, "Network provider, loaded at log-on and given the password"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters=AutodialDLL)", A, "Loaded into every program that uses the network (autodial)"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\NetSh=qvhelper)", A, "Netsh helper, loaded whenever netsh runs"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Drivers32=msacm.qv)", A, "Multimedia codec, loaded by programs that play or record"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Font Drivers=Adobe Type Manager)", A, "Font driver, loaded by the system"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\ContentIndex\Language\English_US=WBreakerClass)", A, "Word breaker or stemmer, loaded by the search indexer"},
        {R"(K HKEY_CLASSES_ROOT\CLSID\{5645C8C1-E277-11CF-8FDA-00AA00A14F93}\PersistentAddinsRegistered\{89BCB740-6119-101A-BCB7-00DD010655AF})", A, "Search filter (IFilter), loaded by the search indexer"},
        {R"(K HKEY_CLASSES_ROOT\.qv\PersistentHandler)", A, "Search filter of a file type, loaded by the search indexer"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\HtmlHelp Author=location)", A, "Loaded whenever a compiled help file opens"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Event Viewer=MicrosoftRedirectionProgram)", A, "Started from the link to more information in Event Viewer"},
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
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Lsa=Notification Packages)", S, "Password filter, loaded by LSA"},
        {R"(V HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\LsaExtensionConfig\LsaSrv=Extensions)", S, "LSA extension, loaded by the security authority"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Cryptography\OID\EncodingType 0\CryptSIPDllVerifyIndirectData\{C689AAB8-8E78-11D0-8C47-00C04FC295EE}=Dll)", S, "Subject interface package (SIP): decides whether a file counts as signed"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\Cryptography\Providers\Trust\FinalPolicy\{00AAC56B-CD44-11D0-8CC2-00C04FC295EE}=$DLL)", S, "Trust provider: decides whether a file counts as signed"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\AMSI=FeatureBits)", S, "Script scanning (AMSI) setting"},
        {R"(K HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\AMSI\Providers\{2781761E-28E0-4109-99FE-B9D127C57AFE})", S, "Antimalware scan provider (AMSI), loaded into programs that run scripts"},
        // Antivirus: what switches protection off or lets a threat be, beside its noisy data.
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Defender=DisableAntiSpyware)", S, "Antivirus"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Defender\Scan=DisableArchiveScanning)", S, "Antivirus"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Defender\Real-Time Protection=DisableRealtimeMonitoring)", S, "Antivirus real-time protection"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Defender\Spynet=SpynetReporting)", S, "Antivirus cloud protection"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Defender\Spynet=SubmitSamplesConsent)", S, "Antivirus sample submission"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Defender\Spynet=LastMAPSSuccessTime)", S, "Antivirus cloud protection setting"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Defender\Threats\ThreatIDDefaultAction=2147519003)", S, "Antivirus action for a threat"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Defender\Windows Defender Exploit Guard\Controlled Folder Access\AllowedApplications=C:\Tools\tool.exe)", S, "Exploit protection setting (attack surface, folder access, network)"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Microsoft\Windows Defender\Signature Updates=FallbackOrder)", S, "Antivirus policy"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Microsoft\Windows Defender\Real-Time Protection=DisableBehaviorMonitoring)", S, "Antivirus policy"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Microsoft\Windows Defender\Spynet=SpynetReporting)", S, "Antivirus cloud protection, by policy"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Microsoft\Windows Defender\Spynet=SubmitSamplesConsent)", S, "Antivirus sample submission, by policy"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Microsoft\Windows Defender\Threats\ThreatSeverityDefaultAction=5)", S, "Antivirus action for a threat, by policy"},
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
        {R"(V HKEY_CURRENT_USER\Software\Classes\Local Settings\Software\Microsoft\Windows\Shell\Bags\1\Desktop=IconSize)", N, "Folder view settings (shell bags)"},
        {R"(V HKEY_CLASSES_ROOT\Local Settings\Software\Microsoft\Windows\Shell\MuiCache=C:\Tools\tool.exe.FriendlyAppName)", N, "Cached setting"},
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\Windows\Shell\Bags\12\Shell)", N, "Folder view settings (shell bags)"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\Shell\BagMRU=MRUListEx)", N, "Folder view settings (shell bags)"},
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\Windows\ShellNoRoam\Bags\1)", N, "Folder view settings (shell bags)"},
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\Windows\ShellNoRoam\BagMRU\0)", N, "Folder view settings (shell bags)"},
        // A protocol a program registered is one claimed key, its UserChoice included.
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\Windows\Shell\Associations\UrlAssociations\qvp)", R, "Kind of link (protocol) with a default program of its own"},
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\Windows\Shell\Associations\UrlAssociations\qvp\UserChoice)", R, "Default program chosen for a kind of link"},
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\Windows\Shell\Associations\UrlAssociations\qvMRU\Extra)", None, "-"},
        {R"(K HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Uninstall\Qv\BagMRU)", None, "-"},
        // Noise fits whole words of a name.
        {R"(K HKEY_CURRENT_USER\Software\Camrun\Updater)", None, "-"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\ComDlg32\OpenSavePidlMRU\exe=0)", N, "Most-recently-used list"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Map Network Drive MRU=a)", N, "Most-recently-used list"},
        {R"(F C:\Users\alice\AppData\Local\Google\Chrome\User Data\Default\GPUCache\data_0)", N, "Browser cache"},
        {R"(F C:\Users\alice\AppData\Local\Google\Chrome\User Data\Default\Nocache\data_0)", None, "-"},
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
        {R"(K HKEY_USERS\S-1-5-21-1004336348-1177238915-682003330-1001_Classes\CLSID\{0002DF01-0000-0000-C000-000000000046}\LocalServer32)", R, "COM class of this user, program, used in place of the machine's"},
        {R"(F C:\Users\bob\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup\Tool.lnk)", A, "Starts at log-on of this user"},
        {R"(F C:\Users\bob\AppData\Local\Temp\x.dat)", N, "Temporary file"},
        {R"(F c:\WINDOWS\prefetch\)", N, "Prefetch data"},
        {R"(F C:\Windows\Prefetch2\x.pf)", None, "-"},
    };
    // clang-format on
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
        for (char& c : text) c = c == '*' ? '_' : c;
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
        {R, RuleArea::Registry, R"(HKLM\Claim\*)", nullptr, "11"},
        {N, RuleArea::Registry, R"(HKLM\**\*Noise*\**)", nullptr, "12"},
        {N, RuleArea::Registry, R"(HKLM\Claim\Mine\Spelled\**)", nullptr, "13"},
        {N, RuleArea::Registry, R"(HKLM\*\Mine)", "x", "14"},
        {R, RuleArea::Registry, R"(HKLM\Open\**)", nullptr, "15"},
        {N, RuleArea::Registry, R"(HKLM\*\Deeper\**)", nullptr, "16"},
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
        // Words: a part beside "*" is a whole word of the name.
        {R"(K HKEY_LOCAL_MACHINE\Other\TheNoise)", "12"},
        {R"(K HKEY_LOCAL_MACHINE\Other\NOISE2)", "12"},
        {R"(K HKEY_LOCAL_MACHINE\Other\Annoisely)", "-"},
        {R"(K HKEY_LOCAL_MACHINE\Other\NOISEy)", "-"},
        // Claims: noise below a claimed key only where a row spells the key out.
        {R"(K HKEY_LOCAL_MACHINE\Claim\Mine\Noise)", "-"},
        {R"(K HKEY_LOCAL_MACHINE\Claim\Mine\Spelled\Noise)", "13"},
        {R"(V HKEY_LOCAL_MACHINE\Claim\Mine=x)", "11"},
        {R"(V HKEY_LOCAL_MACHINE\Other\Mine=x)", "14"},
        {R"(K HKEY_LOCAL_MACHINE\Open\Deeper\x)", "16"},
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
        // clang-format off
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
        // A changed program of an existing class, command or App Path says what it was.
        {R"(V HKEY_CURRENT_USER\Software\Classes\CLSID\{BCDE0395-E52F-467C-8E3D-C4579291692E}\InprocServer32=)",
         R"(C:\Users\alice\qv.dll)", R"(%SystemRoot%\System32\MMDevApi.dll)", {}, false,
         R"(COM class of this user, DLL, used in place of the machine's: C:\Users\alice\qv.dll (was %SystemRoot%\System32\MMDevApi.dll))"},
        {R"(V HKEY_CURRENT_USER\Software\Classes\CLSID\{BCDE0395-E52F-467C-8E3D-C4579291692E}\LocalServer32=)",
         R"(C:\qv.exe)", R"(C:\old.exe)", {}, false,
         R"(COM class of this user, program, used in place of the machine's: C:\qv.exe (was C:\old.exe))"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{BCDE0395-E52F-467C-8E3D-C4579291692E}\InprocServer32=)",
         R"(C:\qv.dll)", R"(C:\old.dll)", {}, false, R"(COM class, DLL: C:\qv.dll (was C:\old.dll))"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Classes\CLSID\{BCDE0395-E52F-467C-8E3D-C4579291692E}\InprocServer32=ThreadingModel)",
         "Both", "Apartment", {}, false, "COM class, DLL"},
        {R"(V HKEY_CLASSES_ROOT\CLSID\{BCDE0395-E52F-467C-8E3D-C4579291692E}\LocalServer32=)",
         R"(C:\qv.exe)", "", {}, false, R"(COM class, program: C:\qv.exe)"},
        {R"(V HKEY_CLASSES_ROOT\Interface\{00020400-0000-0000-C000-000000000046}\ProxyStubClsid32=)",
         "{qv}", "{00020420-0000-0000-C000-000000000046}", {}, false,
         "COM interface, its proxy-stub class: {qv} (was {00020420-0000-0000-C000-000000000046})"},
        {R"(V HKEY_CLASSES_ROOT\txtfile\shell\open\command=)", R"(C:\qv.exe "%1")",
         R"(%SystemRoot%\system32\NOTEPAD.EXE %1)", {}, false,
         R"(Command of a file type: C:\qv.exe "%1" (was %SystemRoot%\system32\NOTEPAD.EXE %1))"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\wordpad.exe=)",
         R"(C:\qv.exe)", R"(C:\Program Files\Windows NT\Accessories\WORDPAD.EXE)", {}, false,
         R"(Program started by its name: C:\qv.exe (was C:\Program Files\Windows NT\Accessories\WORDPAD.EXE))"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\App Paths\qv.exe=)",
         R"(C:\qv2.exe)", R"(C:\qv.exe)", {}, false,
         R"(Program started by its name, for this user: C:\qv2.exe (was C:\qv.exe))"},
        // Antivirus and macro settings in words.
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Defender\Spynet=SpynetReporting)", "0", "2", {},
         false, "Antivirus cloud protection: off"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Microsoft\Windows Defender\Spynet=SubmitSamplesConsent)",
         "3", "", {}, false, "Antivirus sample submission, by policy: sends all samples"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Defender\Threats\ThreatIDDefaultAction=2147519003)",
         "6", "", {}, false, "Antivirus action for a threat 2147519003: allow"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Microsoft\Windows Defender\Real-Time Protection=DisableBehaviorMonitoring)",
         "1", "", {}, false, "Antivirus policy DisableBehaviorMonitoring: protection off"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows Defender\Real-Time Protection=DisableRealtimeMonitoring)",
         "1", "0", {}, false, "Antivirus real-time protection DisableRealtimeMonitoring: protection off"},
        {R"(V HKEY_CURRENT_USER\Software\Microsoft\Office\16.0\Word\Security=VBAWarnings)", "1", "2", {},
         false, "Macros of an Office program: all run"},
        {R"(V HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run=Tool)",
         longText.c_str(), "", {}, false, nullptr},
        // clang-format on
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
