#include "engine/change_rules.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "text/ascii.h"

namespace {

using enum ChangeCategory;
using enum RuleArea;

// File places, each standing for the places named in the table of places below:
//   {windows} {system} {programfiles} (both views) {programdata} {profiles}
//   {profile} {usertemp} {appdata} {localappdata} {userstartmenu} {userdesktop} {userstartup}
//     (every user's: the place relative to this user's profile, in each profile)
//   {commonstartmenu} {commondesktop} {commonstartup} (all users')
// HKCU stands for every user's hive, {classes} for the Software\Classes of any hive.
constexpr ChangeRule kRules[] = {
    // Starts by itself: the Run keys (machine and user, both views through Wow6432Node).
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Run)", nullptr,
     "Starts at log-on of every user[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce)", nullptr,
     "Starts once, at the next log-on[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce\**)", nullptr,
     "Starts once, at the next log-on[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnceEx\**)", nullptr,
     "Starts once, at the next log-on[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\RunServices)", nullptr,
     "Starts with the system[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\RunServicesOnce)",
     nullptr, "Starts once, with the system[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer\Run)",
     nullptr, "Starts at log-on of every user, by policy[: {text}]"},
    {Autostart, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Run)", nullptr,
     "Starts at log-on of this user[: {text}]"},
    {Autostart, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce)", nullptr,
     "Starts once, at the next log-on of this user[: {text}]"},
    {Autostart, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnceEx\**)", nullptr,
     "Starts once, at the next log-on of this user[: {text}]"},
    {Autostart, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\RunServices)", nullptr,
     "Starts with the system[: {text}]"},
    {Autostart, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\RunServicesOnce)",
     nullptr, "Starts once, with the system[: {text}]"},
    {Autostart, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer\Run)",
     nullptr, "Starts at log-on of this user, by policy[: {text}]"},
    {Autostart, Registry, R"(HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows)", "Load",
     "Starts at log-on of this user[: {text}]"},
    {Autostart, Registry, R"(HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows)", "Run",
     "Starts at log-on of this user[: {text}]"},
    {Autostart, Registry,
     R"(*\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\**)", nullptr,
     "Start-up entry switched on or off[: {name}]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Command Processor)", "AutoRun",
     "Runs whenever the command prompt starts[: {text}]"},
    {Autostart, Registry, R"(HKCU\Environment)", "UserInitMprLogonScript",
     "Log-on script of this user[: {text}]"},
    // The Startup folders as the system finds them (User Shell Folders, which it copies into
    // Shell Folders for older programs): whatever the folder named holds starts.
    {Autostart, Registry,
     R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders)", "Startup",
     "Startup folder of this user moved: everything in it starts at log-on[: {text}]"},
    {Autostart, Registry,
     R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders)", "Startup",
     "Startup folder of this user moved, in the copy older programs read[: {text}]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders)",
     "Common Startup",
     "Startup folder of all users moved: everything in it starts at each log-on[: {text}]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders)", "Common Startup",
     "Startup folder of all users moved, in the copy older programs read[: {text}]"},
    // Winlogon.
    {Autostart, Registry, R"(*\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)", "Shell",
     "Shell started at log-on[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)",
     "Userinit", "Started by Winlogon at log-on[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)",
     "Taskman", "Started by Winlogon at log-on[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)",
     "AppSetup", "Started by Winlogon at log-on[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)",
     "VMApplet", "Started by Winlogon at log-on[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)",
     "mpnotify", "Started by Winlogon at log-on[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)",
     "GinaDLL", "Log-on DLL (GINA), loaded by Winlogon[: {text}]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon\AlternateShells\AvailableShells)",
     nullptr, "Shell started at log-on (alternate shells)[: {text}]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Windows\CurrentVersion\Policies\System)", "Shell",
     "Shell started at log-on, by policy[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\SafeBoot)", "AlternateShell",
     "Shell of safe mode with command prompt[: {text}]"},
    // The log-on screen: credential providers and their filters, pre-log-on network access.
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Authentication\Credential Providers\*)",
     nullptr, "Credential provider, loaded by the log-on screen[: <>]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Authentication\Credential Provider Filters\*)",
     nullptr, "Credential provider filter, loaded by the log-on screen[: <>]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Authentication\PLAP Providers\*)", nullptr,
     "Network access before log-on (PLAP provider), loaded by the log-on screen[: <>]"},
    // Remote sessions.
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Terminal Server\WinStations\*)",
     "InitialProgram", "Started in place of the desktop in remote sessions[: {text}]"},
    {Autostart, Registry, R"(*\Software\Policies\Microsoft\Windows NT\Terminal Services)",
     "InitialProgram", "Started in place of the desktop in remote sessions, by policy[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Terminal Server\Wds\rdpwd)",
     "StartupPrograms", "Started in every remote session[: {text}]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Windows CE Services\AutoStartOnConnect)", nullptr,
     "Started when a mobile device connects[: {text}]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Windows CE Services\AutoStartOnDisconnect)",
     nullptr, "Started when a mobile device disconnects[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon\Notify\**)",
     nullptr, "Winlogon notification DLL[: <DllName>]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon\GPExtensions\**)", nullptr,
     "Group policy extension, loaded by Winlogon[: <DllName>]"},
    // Services and drivers: the key directly under Services, and the values that say what runs
    // and when.
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\*)", nullptr,
     "New service[, <Start:start>][: <ImagePath>]|Service removed[: <ImagePath>]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\*)", "*",
     "Service setting[ {name}][: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\*)", "ImagePath",
     "Service program[: {text}][ (was {old})]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\*)", "Start",
     "Service[ {text:start}][ (was: {old:start})]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\*)", "Type",
     "Service type[: {text:servicetype}][ (was: {old:servicetype})]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\*)", "ServiceDll",
     "Service DLL[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\*\Parameters)", "ServiceDll",
     "Service DLL[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\*)", "ObjectName",
     "Service runs as[: {text}]"},
    // Scheduled tasks.
    {Autostart, Files, R"({system}\Tasks\**)", nullptr, "Scheduled task"},
    {Autostart, Files, R"({windows}\Tasks\**)", nullptr, "Scheduled task"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Schedule\TaskCache\**)", nullptr,
     "Scheduled task"},
    // Startup folders and group policy scripts.
    {Autostart, Files, R"({userstartup}\**)", nullptr, "Starts at log-on of this user"},
    {Autostart, Files, R"({commonstartup}\**)", nullptr, "Starts at log-on of every user"},
    {Autostart, Files, R"({system}\GroupPolicy\*\Scripts\**)", nullptr,
     "Group policy script, run at start-up, shut-down, log-on or log-off"},
    {Autostart, Registry, R"(*\Software\Microsoft\Windows\CurrentVersion\Group Policy\Scripts\**)",
     nullptr, "Group policy script, run at start-up, shut-down, log-on or log-off[: <Script>]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Group Policy\State\*\Scripts\**)", nullptr,
     "Group policy script, run at start-up, shut-down, log-on or log-off[: <Script>]"},
    // Loaded into other programs, or started in their place.
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\*)",
     "Debugger", "Started instead of the program[: {text}]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\*\*)",
     "Debugger", "Started instead of the program[: {text}]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\*)",
     "GlobalFlag",
     "Debugging flags of the program (0x200 starts its silent-exit monitor)[: {text}]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\*)",
     "VerifierDlls", "Loaded into the program when it starts (verifier)[: {text}]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\SilentProcessExit\*)", "MonitorProcess",
     "Started when the program ends[: {text}]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\SilentProcessExit\*)", nullptr,
     "Exit of the program monitored[: <MonitorProcess>]"},
    // Debuggers started when a program crashes or hangs, and what error reporting loads.
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug)", nullptr,
     "Debugger started when a program crashes[: <Debugger>]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\.NETFramework)", "DbgManagedDebugger",
     "Debugger started when a .NET program crashes[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows\Windows Error Reporting\Hangs)",
     nullptr, "Debugger started when a program hangs[: {text}]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows\Windows Error Reporting\RuntimeExceptionHelperModules)",
     nullptr, "Loaded by error reporting when a program crashes[: {name}]"},
    {Autostart, Registry, R"({classes}\ActivatableClasses\Package\*\DebugInformation\**)", nullptr,
     "Debugger started with a Store app[: <DebugPath>]"},
    // Compatibility fixes, applied to a program as it starts.
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\InstalledSDB\*)", nullptr,
     "Compatibility database, applied to programs as they start[: <DatabasePath>]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Custom\*)", nullptr,
     "Compatibility database applied to a program as it starts[: {name}]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers)",
     nullptr, "Compatibility settings applied to a program as it starts[: {name}][ = {text}]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\TelemetryController\*)",
     nullptr, "Started by the compatibility telemetry task[: <Command>]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Windows)",
     "AppInit_DLLs", "Loaded into every program that uses user32[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Windows)",
     "LoadAppInit_DLLs", "Loading of AppInit DLLs[ switched {text:onoff}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Windows)",
     "IconServiceLib", "Icon codec DLL, loaded by Explorer[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\AppCertDlls)",
     nullptr, "Loaded into every program that starts programs[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Active Setup\Installed Components\*)", nullptr,
     "Runs once for each user at log-on[: <StubPath>]"},
    // Explorer and browser extensions.
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad)", nullptr,
     "Loaded by Explorer when it starts[: {name}]"},
    {Autostart, Registry,
     R"(*\Software\Microsoft\Windows\CurrentVersion\Explorer\ShellServiceObjects\**)", nullptr,
     "Loaded by Explorer when it starts"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\SharedTaskScheduler)", nullptr,
     "Loaded by Explorer when it starts[: {text}]"},
    {Autostart, Registry,
     R"(*\Software\Microsoft\Windows\CurrentVersion\Explorer\ShellExecuteHooks)", nullptr,
     "Loaded by Explorer to start programs[: {name}]"},
    {Autostart, Registry,
     R"(*\Software\Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\**)", nullptr,
     "Browser helper object, loaded by Internet Explorer"},
    {Autostart, Registry,
     R"(*\Software\Microsoft\Windows\CurrentVersion\Explorer\ShellIconOverlayIdentifiers\**)",
     nullptr, "Icon overlay handler, loaded by Explorer[: <>]"},
    {Autostart, Registry,
     R"(*\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved)", nullptr,
     "Shell extension, loaded by Explorer[: {text}]"},
    {Autostart, Registry, R"({classes}\**\shellex\**)", nullptr,
     "Shell extension handler, loaded by Explorer[: <>]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Windows\CurrentVersion\Explorer\*\NameSpace\*)",
     nullptr, "Name-space folder, loaded by Explorer[: <>]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\MyComputer\BackupPath)", nullptr,
     "Started from the Tools tab of a drive[: <>]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\MyComputer\cleanuppath)", nullptr,
     "Started from the Tools tab of a drive[: <>]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\MyComputer\DefragPath)", nullptr,
     "Started from the Tools tab of a drive[: <>]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\VolumeCaches\*)", nullptr,
     "Disk clean-up handler, loaded by Disk Clean-up[: <>]"},
    {Autostart, Registry,
     R"({classes}\CLSID\{645FF040-5081-101B-9F08-00AA002F954E}\shell\*\command)", nullptr,
     "Started when the Recycle Bin is opened[: <>]"},
    {Autostart, Registry, R"({classes}\htmlfile\shell\*\command)", nullptr,
     "Started when a web page file is opened[: <>]"},
    {Autostart, Registry, R"(*\Software\Microsoft\CTF\LangBarAddin\*)", nullptr,
     "Language-bar add-in, loaded at log-on[: <FilePath>]"},
    {Autostart, Registry, R"(HKCU\Control Panel\Desktop)", "SCRNSAVE.EXE",
     "Screen saver, started when the computer is idle[: {text}]"},
    {Autostart, Registry, R"(HKCU\Software\Policies\Microsoft\Windows\Control Panel\Desktop)",
     "SCRNSAVE.EXE", "Screen saver, by policy, started when the computer is idle[: {text}]"},
    // Internet Explorer and what loads web content.
    // Toolbars are values named by their class id, beside the bars' layout.
    {Autostart, Registry, R"(*\Software\Microsoft\Internet Explorer\Toolbar)", "{*}",
     "Toolbar, loaded by Internet Explorer[: {name}]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Internet Explorer\Toolbar\*)", "{*}",
     "Toolbar, loaded by Internet Explorer[: {name}]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Internet Explorer\Explorer Bars\*)", nullptr,
     "Explorer bar, loaded by Internet Explorer"},
    {Autostart, Registry, R"(*\Software\Microsoft\Internet Explorer\MenuExt\*)", nullptr,
     "Menu item of Internet Explorer, runs a script[: <>]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Internet Explorer\Extensions\*)", nullptr,
     "Button or menu item of Internet Explorer[: <Exec>]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Internet Explorer\URLSearchHooks)", nullptr,
     "URL search hook, loaded by Internet Explorer[: {name}]"},
    {Autostart, Registry, R"(HKCU\Software\Microsoft\Internet Explorer\Desktop\Components\*)",
     nullptr, "Active Desktop component, shown with its scripts on the desktop[: <Source>]"},
    {Autostart, Registry, R"({classes}\PROTOCOLS\Filter\*)", nullptr,
     "MIME filter, loaded by programs that open web content[: <CLSID>]"},
    {Autostart, Registry, R"({classes}\PROTOCOLS\Handler\*)", nullptr,
     "Pluggable protocol handler, loaded by programs that open its links[: <CLSID>]"},
    // Office: add-ins, the test DLL, start-up folders and files, Outlook's web pages.
    {Autostart, Registry, R"(*\Software\Microsoft\Office\*\Addins\*)", nullptr,
     "Office add-in, loaded when its Office program starts[: <FriendlyName>]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Office\*\*\Addins\*)", nullptr,
     "Office add-in, loaded when its Office program starts[: <FriendlyName>]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Office test\Special\Perf)", nullptr,
     "Loaded whenever an Office program starts (Office test)[: <>]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Office\*\Excel\Options)", "OPEN*",
     "Excel add-in, opened when Excel starts[: {text}]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Office\*\Excel\Options)", "AltStartup",
     "Start-up folder of Excel: every workbook in it opens when Excel starts[: {text}]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Office\*\Word\Options)", "STARTUP-PATH",
     "Start-up folder of Word: every template in it loads when Word starts[: {text}]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Office\*\Outlook\Today)", nullptr,
     "Outlook Today page, shown with its scripts when Outlook starts[: <UserDefinedUrl>]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Office\*\Outlook\WebView\*)", nullptr,
     "Home page of an Outlook folder, shown with its scripts when the folder opens[: <URL>]"},
    // COM classes that others' use is turned to.
    {Autostart, Registry, R"({classes}\CLSID\*\TreatAs)", nullptr,
     "COM class hijacked: its users get another class[: <>]"},
    {Autostart, Registry, R"({classes}\CLSID\*\ScriptletURL)", nullptr,
     "COM class hijacked: runs a script[: <>]"},
    // Session Manager, the print spooler and Winsock.
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager)", "BootExecute",
     "Runs at boot, before Windows starts[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager)",
     "SetupExecute", "Runs at boot, before Windows starts[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager)", "Execute",
     "Runs at boot, before Windows starts[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager)",
     "S0InitialCommand", "Runs at boot, before Windows starts[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\Setup)", "CmdLine",
     "Runs at boot in place of log-on while setup is pending[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\BootVerificationProgram)",
     nullptr, "Boot verification program, started at each boot[: <ImagePath>]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs)",
     nullptr, "Known DLL, loaded from the system folder only[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\*)", nullptr,
     "Print monitor, loaded by the spooler[: <Driver>]"},
    {Autostart, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Control\Print\Environments\*\Print Processors\*)", nullptr,
     "Print processor, loaded by the spooler[: <Driver>]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Print\Providers\*)", nullptr,
     "Print provider, loaded by the spooler[: <Name>]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\W32Time\TimeProviders\*)",
     nullptr, "Time provider, loaded by the time service[: <DllName>]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\NetworkProvider\**)", nullptr,
     "Network providers, loaded at log-on and given the password[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\*\NetworkProvider)", nullptr,
     "Network provider, loaded at log-on and given the password[: <ProviderPath>]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters)",
     "AutodialDLL", "Loaded into every program that uses the network (autodial)[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\NetSh)", nullptr,
     "Netsh helper, loaded whenever netsh runs[: {text}]"},
    // Codecs, font drivers, search filters, help and clean-up handlers.
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32)", nullptr,
     "Multimedia codec, loaded by programs that play or record[ {name}][: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Font Drivers)",
     nullptr, "Font driver, loaded by the system[ {name}][: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\ContentIndex\Language\*)",
     nullptr, "Word breaker or stemmer, loaded by the search indexer[ {name}][: {text}]"},
    {Autostart, Registry, R"({classes}\CLSID\*\PersistentAddinsRegistered\**)", nullptr,
     "Search filter (IFilter), loaded by the search indexer[: <>]"},
    {Autostart, Registry, R"({classes}\.*\PersistentHandler)", nullptr,
     "Search filter of a file type, loaded by the search indexer[: <>]"},
    {Autostart, Registry, R"(*\Software\Microsoft\HtmlHelp Author)", nullptr,
     "Loaded whenever a compiled help file opens[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Event Viewer)",
     nullptr, "Started from the link to more information in Event Viewer[: {text}]"},
    {Autostart, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters\Protocol_Catalog9\**)", nullptr,
     "Winsock provider, loaded into every program that uses the network"},
    {Autostart, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters\NameSpace_Catalog5\**)", nullptr,
     "Winsock name-space provider, loaded into every program that uses the network"},

    // Changes what is trusted or allowed: certificates (machine, user, policy).
    {Security, Registry, R"(*\Software\Microsoft\SystemCertificates\ROOT\Certificates\**)", nullptr,
     "Trusted root certificate"},
    {Security, Registry, R"(*\Software\Policies\Microsoft\SystemCertificates\ROOT\Certificates\**)",
     nullptr, "Trusted root certificate, by policy"},
    {Security, Registry, R"(HKLM\Software\Microsoft\EnterpriseCertificates\ROOT\Certificates\**)",
     nullptr, "Trusted root certificate of the enterprise"},
    {Security, Registry, R"(*\Software\Microsoft\SystemCertificates\AuthRoot\Certificates\**)",
     nullptr, "Trusted root certificate (third-party roots)"},
    {Security, Registry,
     R"(*\Software\Policies\Microsoft\SystemCertificates\AuthRoot\Certificates\**)", nullptr,
     "Trusted root certificate (third-party roots), by policy"},
    {Security, Registry,
     R"(HKLM\Software\Microsoft\EnterpriseCertificates\AuthRoot\Certificates\**)", nullptr,
     "Trusted root certificate (third-party roots) of the enterprise"},
    {Security, Registry,
     R"(*\Software\Microsoft\SystemCertificates\TrustedPublisher\Certificates\**)", nullptr,
     "Trusted publisher certificate"},
    {Security, Registry,
     R"(*\Software\Policies\Microsoft\SystemCertificates\TrustedPublisher\Certificates\**)",
     nullptr, "Trusted publisher certificate, by policy"},
    {Security, Registry,
     R"(HKLM\Software\Microsoft\EnterpriseCertificates\TrustedPublisher\Certificates\**)", nullptr,
     "Trusted publisher certificate of the enterprise"},
    {Security, Registry, R"(*\Software\Microsoft\SystemCertificates\Disallowed\Certificates\**)",
     nullptr, "Distrusted certificate"},
    {Security, Registry,
     R"(*\Software\Policies\Microsoft\SystemCertificates\Disallowed\Certificates\**)", nullptr,
     "Distrusted certificate, by policy"},
    {Security, Registry,
     R"(HKLM\Software\Microsoft\EnterpriseCertificates\Disallowed\Certificates\**)", nullptr,
     "Distrusted certificate of the enterprise"},
    // Firewall.
    {Security, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Services\SharedAccess\Parameters\FirewallPolicy\**)", nullptr,
     "Firewall setting[ {name}][: {text}]"},
    {Security, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Services\SharedAccess\Parameters\FirewallPolicy\FirewallRules)",
     nullptr, "Firewall rule[: {text}]"},
    {Security, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Services\SharedAccess\Parameters\FirewallPolicy\*)",
     "EnableFirewall", "Firewall[ switched {text:onoff}]"},
    {Security, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Services\SharedAccess\Parameters\FirewallPolicy\*\AuthorizedApplications\List)",
     nullptr, "Program allowed through the firewall[: {name}]"},
    {Security, Registry, R"(HKLM\Software\Policies\Microsoft\WindowsFirewall\**)", nullptr,
     "Firewall policy[ {name}][: {text}]"},
    // Antivirus.
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows Defender\Exclusions\**)", nullptr,
     "Antivirus exclusion[: {name}]"},
    {Security, Registry, R"(HKLM\Software\Policies\Microsoft\Windows Defender\Exclusions\**)",
     nullptr, "Antivirus exclusion, by policy[: {name}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows Defender)", nullptr,
     "Antivirus setting[ {name}][: {text}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows Defender\Real-Time Protection\**)",
     nullptr, "Antivirus real-time protection setting[ {name}][: {text}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows Defender\Features)", "TamperProtection",
     "Antivirus tamper protection setting[: {text}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows Defender\**)", "Disable*",
     "Antivirus[ {name}][: {text:disabled}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows Defender\Real-Time Protection)",
     "Disable*", "Antivirus real-time protection[ {name}][: {text:disabled}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows Defender\Spynet\**)", nullptr,
     "Antivirus cloud protection setting[ {name}][: {text}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows Defender\Spynet)", "SpynetReporting",
     "Antivirus cloud protection[: {text:spynet}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows Defender\Spynet)",
     "SubmitSamplesConsent", "Antivirus sample submission[: {text:samples}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows Defender\Threats\**)", nullptr,
     "Antivirus action for a threat[ {name}][: {text:threataction}]"},
    {Security, Registry,
     R"(HKLM\Software\Microsoft\Windows Defender\Windows Defender Exploit Guard\**)", nullptr,
     "Exploit protection setting (attack surface, folder access, network)[ {name}][: {text}]"},
    {Security, Registry, R"(HKLM\Software\Policies\Microsoft\Windows Defender\**)", nullptr,
     "Antivirus policy[ {name}][: {text}]"},
    {Security, Registry, R"(HKLM\Software\Policies\Microsoft\Windows Defender\**)", "Disable*",
     "Antivirus policy[ {name}][: {text:disabled}]"},
    {Security, Registry, R"(HKLM\Software\Policies\Microsoft\Windows Defender\Spynet)",
     "SpynetReporting", "Antivirus cloud protection, by policy[: {text:spynet}]"},
    {Security, Registry, R"(HKLM\Software\Policies\Microsoft\Windows Defender\Spynet)",
     "SubmitSamplesConsent", "Antivirus sample submission, by policy[: {text:samples}]"},
    {Security, Registry, R"(HKLM\Software\Policies\Microsoft\Windows Defender\Threats\**)", nullptr,
     "Antivirus action for a threat, by policy[ {name}][: {text:threataction}]"},
    // Office: where documents run macros, which add-ins are trusted.
    {Security, Registry, R"(*\Software\Microsoft\Office\*\*\Security\Trusted Locations\**)",
     nullptr, "Trusted location of an Office program: its documents run macros[: <Path>]"},
    {Security, Registry, R"(*\Software\Microsoft\Office\*\*\Security)", "VBAWarnings",
     "Macros of an Office program[: {text:vbawarnings}]"},
    {Security, Registry, R"(*\Software\Microsoft\VSTO\Security\Inclusion\**)", nullptr,
     "Office add-in trusted without asking[: <Url>]"},
    // What the security authority (LSA) loads: who may log on, what a password may be.
    {Security, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Lsa)", "Authentication Packages",
     "Authentication package, loaded by LSA[: {text}]"},
    {Security, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Lsa)", "Notification Packages",
     "Password filter, loaded by LSA[: {text}]"},
    {Security, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Lsa)", "Security Packages",
     "Security package, loaded by LSA[: {text}]"},
    {Security, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Lsa\OSConfig)",
     "Security Packages", "Security package, loaded by LSA[: {text}]"},
    {Security, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\SecurityProviders)",
     "SecurityProviders", "Security provider DLL[: {text}]"},
    {Security, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\LsaExtensionConfig\**)", nullptr,
     "LSA extension, loaded by the security authority[: {text}]"},
    // What decides whether a file counts as signed, or a script as harmless.
    {Security, Registry,
     R"(HKLM\Software\Microsoft\Cryptography\OID\EncodingType *\CryptSIPDll*\**)", nullptr,
     "Subject interface package (SIP): decides whether a file counts as signed[: <Dll>]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Cryptography\Providers\Trust\**)", nullptr,
     "Trust provider: decides whether a file counts as signed[: <$DLL>]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\AMSI\**)", nullptr,
     "Script scanning (AMSI) setting[ {name}][: {text}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\AMSI\Providers\*)", nullptr,
     "Antimalware scan provider (AMSI), loaded into programs that run scripts"},
    // Policies, UAC and LSA.
    {Security, Registry, R"(HKLM\Software\Policies\**)", nullptr, "Policy[ {name}][: {text}]"},
    {Security, Registry, R"(HKCU\Software\Policies\**)", nullptr,
     "Policy of this user[ {name}][: {text}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Policies\**)", nullptr,
     "Policy[ {name}][: {text}]"},
    {Security, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Policies\**)", nullptr,
     "Policy of this user[ {name}][: {text}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Policies\System)",
     "EnableLUA", "User Account Control[ switched {text:onoff}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Policies\System)",
     "ConsentPromptBehaviorAdmin", "Elevation of administrators[: {text:consent}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Policies\System)",
     "PromptOnSecureDesktop", "Elevation prompt on the secure desktop[ switched {text:onoff}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Policies\System)",
     "LocalAccountTokenFilterPolicy",
     "Full administrator rights over the network for local accounts[ switched {text:onoff}]"},
    {Security, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Lsa\**)", nullptr,
     "Security authority (LSA) setting[ {name}][: {text}]"},
    {Security, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\SecurityProviders\SCHANNEL\**)",
     nullptr, "TLS setting[ {name}][: {text}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)",
     "AutoAdminLogon", "Automatic log-on[ switched {text:onoff}]"},
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)",
     "DefaultPassword", "Log-on password kept in the registry"},
    {Security, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon\SpecialAccounts\UserList)",
     nullptr, "Account hidden from the log-on screen[: {name}]"},
    {Security, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Terminal Server)",
     "fDenyTSConnections", "Remote Desktop connections[ {text:deny}]"},
    // Name resolution and proxies: where the network leads.
    {Security, Files, R"({system}\drivers\etc\hosts)", nullptr,
     "Hosts file: names resolved without DNS"},
    {Security, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters)", "NameServer",
     "DNS server[: {text}]"},
    {Security, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\*)",
     "NameServer", "DNS server[: {text}]"},
    {Security, Registry, R"(*\Software\Microsoft\Windows\CurrentVersion\Internet Settings)",
     "ProxyServer", "Proxy server[: {text}]"},
    {Security, Registry, R"(*\Software\Microsoft\Windows\CurrentVersion\Internet Settings)",
     "ProxyEnable", "Proxy[ switched {text:onoff}]"},
    {Security, Registry, R"(*\Software\Microsoft\Windows\CurrentVersion\Internet Settings)",
     "AutoConfigURL", "Proxy configuration script[: {text}]"},
    {Security, Registry, R"(*\Software\Microsoft\Windows\CurrentVersion\Internet Settings)",
     "ProxyOverride", "Addresses that bypass the proxy[: {text}]"},
    {Security, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections)",
     "WinHttpSettings", "Proxy of the system's services (WinHTTP)"},
    {Security, Registry,
     R"(*\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ZoneMap\**)", nullptr,
     "Site or address put in a security zone[: {name}]"},
    {Security, Registry,
     R"(*\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Zones\**)", nullptr,
     "Security zone setting"},

    // Tells the system about a program: uninstall entries and Windows Installer.
    {Registration, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\*)",
     nullptr, "Uninstall entry[: <DisplayName>[ <DisplayVersion>]]"},
    {Registration, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\*)",
     nullptr, "Uninstall entry of this user[: <DisplayName>[ <DisplayVersion>]]"},
    {Registration, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Installer\**)",
     nullptr, "Windows Installer registration"},
    {Registration, Registry, R"({classes}\Installer\**)", nullptr,
     "Windows Installer registration"},
    {Registration, Files, R"({windows}\Installer\**)", nullptr,
     "Windows Installer package, kept for repair and removal"},
    // File extensions, ProgIDs, verbs and COM.
    {Registration, Registry, R"({classes}\**)", nullptr, "Class registration"},
    {Registration, Registry, R"({classes}\*)", nullptr, "File type or program ID[: <>]"},
    {Registration, Registry, R"({classes}\.*)", nullptr, "File extension[, handled by <>]"},
    {Registration, Registry, R"({classes}\.*\**)", nullptr, "File extension setting"},
    {Registration, Registry, R"({classes}\*\shell\**)", nullptr, "Command of a file type[: <>]"},
    {Registration, Registry, R"({classes}\*\shell\*\command)", "",
     "Command of a file type[: {text}][ (was {old})]"},
    {Registration, Registry, R"({classes}\*\DefaultIcon)", nullptr, "Icon of a file type[: <>]"},
    {Registration, Registry, R"({classes}\SystemFileAssociations\**)", nullptr,
     "File type association"},
    {Registration, Registry, R"({classes}\Applications\**)", nullptr,
     "Program offered in Open with"},
    {Registration, Registry, R"({classes}\*)", "URL Protocol",
     "Protocol handler: links of this kind start its program"},
    // A user's class is used in place of the machine's class of the same id. These rows tie
    // with those of any hive's classes below, so they come first.
    {Registration, Registry, R"(HKCU\Software\Classes\CLSID\*)", nullptr,
     "COM class of this user, used in place of the machine's of the same id[: <>]"},
    {Registration, Registry, R"(HKCU\Software\Classes\CLSID\*\InprocServer32)", nullptr,
     "COM class of this user, DLL, used in place of the machine's[: <>]"},
    {Registration, Registry, R"(HKCU\Software\Classes\CLSID\*\InprocServer32)", "",
     "COM class of this user, DLL, used in place of the machine's[: {text}][ (was {old})]"},
    {Registration, Registry, R"(HKCU\Software\Classes\CLSID\*\LocalServer32)", nullptr,
     "COM class of this user, program, used in place of the machine's[: <>]"},
    {Registration, Registry, R"(HKCU\Software\Classes\CLSID\*\LocalServer32)", "",
     "COM class of this user, program, used in place of the machine's[: {text}][ (was {old})]"},
    {Registration, Registry, R"({classes}\CLSID\*)", nullptr, "COM class[: <>]"},
    {Registration, Registry, R"({classes}\CLSID\*\InprocServer32)", nullptr,
     "COM class, DLL[: <>]"},
    {Registration, Registry, R"({classes}\CLSID\*\InprocServer32)", "",
     "COM class, DLL[: {text}][ (was {old})]"},
    {Registration, Registry, R"({classes}\CLSID\*\LocalServer32)", nullptr,
     "COM class, program[: <>]"},
    {Registration, Registry, R"({classes}\CLSID\*\LocalServer32)", "",
     "COM class, program[: {text}][ (was {old})]"},
    {Registration, Registry, R"({classes}\Interface\**)", nullptr, "COM interface"},
    {Registration, Registry, R"({classes}\Interface\*\ProxyStubClsid32)", nullptr,
     "COM interface, its proxy-stub class[: <>][ (was {old})]"},
    {Registration, Registry, R"({classes}\TypeLib\**)", nullptr, "Type library"},
    {Registration, Registry, R"({classes}\AppID\**)", nullptr, "COM application"},
    {Registration, Registry,
     R"(*\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\*\UserChoice)", nullptr,
     "Default program chosen for a file type[: <ProgId>]"},
    {Registration, Registry, R"(*\Software\Microsoft\Windows\Shell\Associations\UrlAssociations\*)",
     nullptr, "Kind of link (protocol) with a default program of its own"},
    {Registration, Registry,
     R"(*\Software\Microsoft\Windows\Shell\Associations\UrlAssociations\*\UserChoice)", nullptr,
     "Default program chosen for a kind of link[: <ProgId>]"},
    {Registration, Registry, R"(HKLM\Software\RegisteredApplications)", nullptr,
     "Registered program (Default Programs)[: {name}]"},
    {Registration, Registry, R"(HKLM\Software\Clients\**)", nullptr,
     "Registered client program (browser, mail, ...)"},
    // App Paths, environment, shared DLLs.
    {Registration, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\*)",
     nullptr, "Program started by its name[: <>]"},
    {Registration, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\*)", "",
     "Program started by its name[: {text}][ (was {old})]"},
    {Registration, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\*)",
     nullptr, "Program started by its name, for this user[: <>]"},
    {Registration, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\*)", "",
     "Program started by its name, for this user[: {text}][ (was {old})]"},
    {Registration, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment)",
     nullptr, "Environment variable[ {name}][: {text}]"},
    {Registration, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment)",
     "Path", "Path[ gained: {gained}][, lost: {lost}]"},
    {Registration, Registry, R"(HKCU\Environment)", nullptr,
     "Environment variable of this user[ {name}][: {text}]"},
    {Registration, Registry, R"(HKCU\Environment)", "Path",
     "Path of this user[ gained: {gained}][, lost: {lost}]"},
    {Registration, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs)",
     nullptr, "Shared file, use count[ of {name}][: {text}]"},
    // Shortcuts on desktops and in Start menus.
    {Registration, Files, R"({userdesktop}\**\*.lnk)", nullptr,
     "Shortcut on the desktop of this user"},
    {Registration, Files, R"({userdesktop}\**\*.url)", nullptr,
     "Internet shortcut on the desktop of this user"},
    {Registration, Files, R"({commondesktop}\**\*.lnk)", nullptr,
     "Shortcut on the desktop of every user"},
    {Registration, Files, R"({commondesktop}\**\*.url)", nullptr,
     "Internet shortcut on the desktop of every user"},
    {Registration, Files, R"({userstartmenu}\**\*.lnk)", nullptr,
     "Shortcut in the Start menu of this user"},
    {Registration, Files, R"({userstartmenu}\**\*.url)", nullptr,
     "Internet shortcut in the Start menu of this user"},
    {Registration, Files, R"({commonstartmenu}\**\*.lnk)", nullptr,
     "Shortcut in the Start menu of every user"},
    {Registration, Files, R"({commonstartmenu}\**\*.url)", nullptr,
     "Internet shortcut in the Start menu of every user"},
    // Fonts, drivers, shared assemblies, app packages.
    {Registration, Files, R"({windows}\Fonts\**)", nullptr, "Font"},
    {Registration, Files, R"({localappdata}\Microsoft\Windows\Fonts\**)", nullptr,
     "Font of this user"},
    {Registration, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts)", nullptr,
     "Font[: {name}]"},
    {Registration, Registry, R"(HKCU\Software\Microsoft\Windows NT\CurrentVersion\Fonts)", nullptr,
     "Font of this user[: {name}]"},
    {Registration, Files, R"({system}\drivers\*.sys)", nullptr, "Kernel driver"},
    {Registration, Files, R"({system}\DriverStore\FileRepository\**)", nullptr, "Driver package"},
    {Registration, Files, R"({windows}\INF\oem*.inf)", nullptr, "Driver package"},
    {Registration, Files, R"({windows}\assembly\**)", nullptr, "Shared .NET assembly"},
    {Registration, Files, R"({windows}\Microsoft.NET\assembly\**)", nullptr,
     "Shared .NET assembly"},
    {Registration, Files, R"({windows}\WinSxS\**)", nullptr, "Side-by-side assembly"},
    {Registration, Files, R"({programfiles}\WindowsApps\**)", nullptr, "Store app package"},

    // Likely background activity: temporary folders.
    {Noise, Files, R"({windows}\Temp\**)", nullptr, "Temporary file"},
    {Noise, Files, R"({usertemp}\**)", nullptr, "Temporary file"},
    {Noise, Files, R"(**\*.tmp)", nullptr, "Temporary file"},
    // Prefetch, logs and event logs.
    {Noise, Files, R"({windows}\Prefetch\**)", nullptr, "Prefetch data"},
    {Noise, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Prefetcher\**)", nullptr,
     "Prefetch state"},
    {Noise, Files, R"(**\*.log)", nullptr, "Log"},
    {Noise, Files, R"(**\*.etl)", nullptr, "Event trace log"},
    {Noise, Files, R"({windows}\Logs\**)", nullptr, "Log"},
    {Noise, Files, R"({windows}\Panther\**)", nullptr, "Log"},
    {Noise, Files, R"({windows}\debug\**)", nullptr, "Log"},
    {Noise, Files, R"({windows}\servicing\Sessions\**)", nullptr, "Log"},
    {Noise, Files, R"({system}\LogFiles\**)", nullptr, "Log"},
    {Noise, Files, R"({system}\winevt\Logs\**)", nullptr, "Event log"},
    // Crash dumps and error reports.
    {Noise, Files, R"(**\*.dmp)", nullptr, "Crash dump"},
    {Noise, Files, R"({windows}\Minidump\**)", nullptr, "Crash dump"},
    {Noise, Files, R"({windows}\LiveKernelReports\**)", nullptr, "Crash dump"},
    {Noise, Files, R"({localappdata}\CrashDumps\**)", nullptr, "Crash dump"},
    {Noise, Files, R"({programdata}\Microsoft\Windows\WER\**)", nullptr, "Error report"},
    {Noise, Files, R"({localappdata}\Microsoft\Windows\WER\**)", nullptr, "Error report"},
    // Caches: thumbnails, icons, fonts, the web, shaders, Delivery Optimization, Windows Update.
    {Noise, Files, R"({localappdata}\Microsoft\Windows\Explorer\**)", nullptr,
     "Thumbnail and icon cache"},
    {Noise, Files, R"({localappdata}\IconCache.db)", nullptr, "Icon cache"},
    {Noise, Files, R"(**\Thumbs.db)", nullptr, "Thumbnail cache"},
    {Noise, Files, R"({windows}\ServiceProfiles\LocalService\AppData\Local\FontCache\**)", nullptr,
     "Font cache"},
    {Noise, Files, R"({system}\FNTCACHE.DAT)", nullptr, "Font cache"},
    {Noise, Files, R"({localappdata}\Microsoft\Windows\INetCache\**)", nullptr, "Web cache"},
    {Noise, Files, R"({localappdata}\Microsoft\Windows\INetCookies\**)", nullptr, "Web cookie"},
    {Noise, Files, R"({localappdata}\Microsoft\Windows\WebCache\**)", nullptr, "Web cache"},
    {Noise, Files, R"({localappdata}\Microsoft\Windows\History\**)", nullptr, "Web history"},
    {Noise, Files, R"({localappdata}\*\*\User Data\*\*Cache\**)", nullptr, "Browser cache"},
    {Noise, Files, R"({localappdata}\Mozilla\Firefox\Profiles\*\cache2\**)", nullptr,
     "Browser cache"},
    {Noise, Files, R"({localappdata}\D3DSCache\**)", nullptr, "Shader cache"},
    {Noise, Registry, R"(*\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Cache\**)",
     nullptr, "Web cache"},
    {Noise, Registry,
     R"(*\Software\Microsoft\Windows\CurrentVersion\Internet Settings\5.0\Cache\**)", nullptr,
     "Web cache"},
    {Noise, Files,
     R"({windows}\ServiceProfiles\NetworkService\AppData\Local\Microsoft\Windows\DeliveryOptimization\**)",
     nullptr, "Delivery Optimization cache"},
    {Noise, Files, R"({windows}\SoftwareDistribution\**)", nullptr, "Windows Update working file"},
    {Noise, Files, R"({windows}\WinSxS\Temp\**)", nullptr, "Windows Update working file"},
    {Noise, Files, R"({windows}\WinSxS\ManifestCache\**)", nullptr, "Windows Update cache"},
    {Noise, Files, R"({programdata}\USOPrivate\**)", nullptr, "Windows Update state"},
    {Noise, Files, R"({programdata}\USOShared\**)", nullptr, "Windows Update state"},
    {Noise, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\WindowsUpdate\**)", nullptr,
     "Windows Update state"},
    {Noise, Registry,
     R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Component Based Servicing\**)", nullptr,
     "Windows Update state"},
    {Noise, Registry, R"(*\Software\Microsoft\SystemCertificates\AuthRoot\AutoUpdate\**)", nullptr,
     "Update state of the list of trusted roots"},
    {Noise, Registry, R"(*\Software\Microsoft\SystemCertificates\CA\**)", nullptr,
     "Intermediate certificate, fetched when needed"},
    // Antivirus scan data.
    {Noise, Files, R"({programdata}\Microsoft\Windows Defender\**)", nullptr, "Antivirus data"},
    {Noise, Registry, R"(HKLM\Software\Microsoft\Windows Defender\**)", nullptr, "Antivirus data"},
    // Registry hives, their logs and transaction files.
    {Noise, Files, R"({system}\config\*.log*)", nullptr, "Registry hive log"},
    {Noise, Files, R"({system}\config\TxR\**)", nullptr, "Registry transaction file"},
    {Noise, Files, R"({system}\config\RegBack\**)", nullptr, "Registry backup"},
    {Noise, Files, R"(**\*.regtrans-ms)", nullptr, "Registry transaction file"},
    {Noise, Files, R"(**\*.blf)", nullptr, "Transaction log"},
    {Noise, Files, R"({profile}\ntuser.dat*)", nullptr,
     "Registry hive of the user (its changes show in the registry)"},
    {Noise, Files, R"({localappdata}\Microsoft\Windows\UsrClass.dat*)", nullptr,
     "Registry hive of the user (its changes show in the registry)"},
    {Noise, Files, R"({windows}\appcompat\Programs\**)", nullptr, "Program inventory"},
    // Recent items and most-recently-used lists, UserAssist, shell bags.
    {Noise, Files, R"({appdata}\Microsoft\Windows\Recent\**)", nullptr, "Recent item"},
    {Noise, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\RecentDocs\**)",
     nullptr, "Recent item"},
    {Noise, Registry, R"(HKCU\Software\**\*MRU*\**)", nullptr, "Most-recently-used list"},
    {Noise, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\TypedPaths)",
     nullptr, "Recently typed path"},
    {Noise, Registry, R"(HKCU\Software\Microsoft\Internet Explorer\TypedURLs)", nullptr,
     "Recently typed address"},
    {Noise, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\WordWheelQuery)",
     nullptr, "Recent search"},
    {Noise, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\**)",
     nullptr, "Programs recently used for a file type"},
    {Noise, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\UserAssist\**)",
     nullptr, "Program use counts (UserAssist)"},
    {Noise, Registry, R"(HKCU\Software\Microsoft\Windows\Shell\Bags\**)", nullptr,
     "Folder view settings (shell bags)"},
    {Noise, Registry, R"(HKCU\Software\Microsoft\Windows\Shell\BagMRU\**)", nullptr,
     "Folder view settings (shell bags)"},
    {Noise, Registry, R"(HKCU\Software\Microsoft\Windows\ShellNoRoam\Bags\**)", nullptr,
     "Folder view settings (shell bags)"},
    {Noise, Registry, R"(HKCU\Software\Microsoft\Windows\ShellNoRoam\BagMRU\**)", nullptr,
     "Folder view settings (shell bags)"},
    {Noise, Registry, R"({classes}\Local Settings\**)", nullptr, "Cached setting"},
    {Noise, Registry, R"({classes}\Local Settings\Software\Microsoft\Windows\Shell\Bags\**)",
     nullptr, "Folder view settings (shell bags)"},
    {Noise, Registry, R"({classes}\Local Settings\Software\Microsoft\Windows\Shell\BagMRU\**)",
     nullptr, "Folder view settings (shell bags)"},
    {Noise, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\CloudStore\**)", nullptr,
     "Start menu state"},
    // Background activity moderator, network leases, random-number seeds.
    {Noise, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\bam\**)", nullptr,
     "Background activity record"},
    {Noise, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\dam\**)", nullptr,
     "Background activity record"},
    {Noise, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\*)",
     "Lease*", "Network lease time"},
    {Noise, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\*)",
     "T1", "Network lease time"},
    {Noise, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\*)",
     "T2", "Network lease time"},
    {Noise, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\*)",
     "Dhcp*", "Network address from DHCP"},
    {Noise, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\NetworkList\**)",
     nullptr, "Known network"},
    {Noise, Registry, R"(HKLM\Software\Microsoft\Cryptography\RNG)", "Seed", "Random-number seed"},
    {Noise, Registry, R"(HKLM\SYSTEM\RNG)", "Seed", "Random-number seed"},
    // Explorer's feature usage and session information, shut-down time, compatibility cache.
    {Noise, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\FeatureUsage\**)",
     nullptr, "Explorer feature use counts"},
    {Noise, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\SessionInfo\**)",
     nullptr, "Explorer session state"},
    {Noise, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Windows)", "ShutdownTime",
     "Time of the last shut-down"},
    {Noise, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\AppCompatCache)",
     nullptr, "Program compatibility cache"},
    // Other per-boot data: paging, restore points, search index, usage data.
    {Noise, Files, R"(*\pagefile.sys)", nullptr, "Paging file"},
    {Noise, Files, R"(*\swapfile.sys)", nullptr, "Paging file"},
    {Noise, Files, R"(*\hiberfil.sys)", nullptr, "Hibernation file"},
    {Noise, Files, R"(*\System Volume Information\**)", nullptr, "Restore point or volume data"},
    {Noise, Files, R"({windows}\bootstat.dat)", nullptr, "Boot status"},
    {Noise, Files, R"({programdata}\Microsoft\Search\Data\**)", nullptr, "Search index"},
    {Noise, Files, R"({programdata}\Microsoft\Diagnosis\**)", nullptr, "Diagnostic data"},
    {Noise, Files, R"({system}\sru\**)", nullptr, "Resource usage data"},
    // Under Wine: what it rewrites at each start. The code page and font values follow the code
    // page of each program that starts; every new session writes a new display adapter key and
    // the display driver's date.
    {Noise, Registry, R"(HKCU\Software\Wine\Fonts\**)", nullptr,
     "Font settings, rewritten by Wine when a program starts"},
    {Noise, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Video\**)", nullptr,
     "Display adapter state, rewritten at start"},
    {Noise, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Control\Class\{4D36E968-E325-11CE-BFC1-08002BE10318}\*)",
     "DriverDateData", "Display driver date, rewritten at start"},
};

// ---------------------------------------------------------------------------------------------
// Places.

enum class Scope {
    Machine,  // the place itself
    EachUser  // the place relative to this user's profile, in every profile
};

struct PlaceRow {
    std::string_view name;
    std::string KnownPlaces::*member;
    Scope scope;
};

constexpr PlaceRow kPlaces[] = {
    {"windows", &KnownPlaces::windows, Scope::Machine},
    {"system", &KnownPlaces::system, Scope::Machine},
    {"programfiles", &KnownPlaces::programFiles, Scope::Machine},
    {"programfiles", &KnownPlaces::programFilesX86, Scope::Machine},
    {"programdata", &KnownPlaces::programData, Scope::Machine},
    {"profiles", &KnownPlaces::profiles, Scope::Machine},
    {"profile", &KnownPlaces::userProfile, Scope::EachUser},
    {"usertemp", &KnownPlaces::userTemp, Scope::EachUser},
    {"appdata", &KnownPlaces::userAppData, Scope::EachUser},
    {"localappdata", &KnownPlaces::userLocalAppData, Scope::EachUser},
    {"userstartmenu", &KnownPlaces::userStartMenu, Scope::EachUser},
    {"userdesktop", &KnownPlaces::userDesktop, Scope::EachUser},
    {"userstartup", &KnownPlaces::userStartup, Scope::EachUser},
    {"commonstartmenu", &KnownPlaces::commonStartMenu, Scope::Machine},
    {"commondesktop", &KnownPlaces::commonDesktop, Scope::Machine},
    {"commonstartup", &KnownPlaces::commonStartup, Scope::Machine},
};

// "Any hive's Software\Classes": the machine's, a user's, and the merged view.
constexpr std::string_view kClassesPlaces[] = {R"(HKLM\Software\Classes)",
                                               R"(HKCU\Software\Classes)", "HKCR"};

// The registry's roots as the baseline lines name them, and as the patterns do.
struct RootRow {
    std::string_view name;  // lower case
    std::string_view root;
};
constexpr RootRow kRoots[] = {
    {"hkey_local_machine", "hklm"}, {"hklm", "hklm"},
    {"hkey_current_user", "hkcu"},  {"hkcu", "hkcu"},
    {"hkey_classes_root", "hkcr"},  {"hkcr", "hkcr"},
    {"hkey_current_config", "hkcc"}, {"hkcc", "hkcc"},
    {"hkey_users", "hku"},          {"hku", "hku"},
};

// What numbers and flags in values mean.
struct WordsRow {
    std::string_view table, text, words;
};
constexpr WordsRow kWords[] = {
    {"start", "0", "starts at boot"},
    {"start", "1", "starts with the system"},
    {"start", "2", "starts automatically"},
    {"start", "3", "starts on demand"},
    {"start", "4", "disabled"},
    {"servicetype", "1", "kernel driver"},
    {"servicetype", "2", "file system driver"},
    {"servicetype", "16", "own process"},
    {"servicetype", "32", "shared process"},
    {"servicetype", "272", "own process, interactive"},
    {"servicetype", "288", "shared process, interactive"},
    {"onoff", "0", "off"},
    {"onoff", "1", "on"},
    {"deny", "0", "allowed"},
    {"deny", "1", "denied"},
    {"consent", "0", "without asking"},
    {"consent", "1", "asks for credentials on the secure desktop"},
    {"consent", "2", "asks for consent on the secure desktop"},
    {"consent", "3", "asks for credentials"},
    {"consent", "4", "asks for consent"},
    {"consent", "5", "asks for consent for programs not of Windows"},
    {"disabled", "0", "protection on"},
    {"disabled", "1", "protection off"},
    {"spynet", "0", "off"},
    {"spynet", "1", "basic"},
    {"spynet", "2", "advanced"},
    {"samples", "0", "always asks"},
    {"samples", "1", "sends safe samples"},
    {"samples", "2", "never sends"},
    {"samples", "3", "sends all samples"},
    {"threataction", "1", "clean"},
    {"threataction", "2", "quarantine"},
    {"threataction", "3", "remove"},
    {"threataction", "6", "allow"},
    {"threataction", "8", "as the user decides"},
    {"threataction", "9", "no action"},
    {"threataction", "10", "block"},
    {"vbawarnings", "1", "all run"},
    {"vbawarnings", "2", "off, with a notice"},
    {"vbawarnings", "3", "only signed ones run"},
    {"vbawarnings", "4", "all off"},
};

// ---------------------------------------------------------------------------------------------
// Text helpers: only A-Z fold (text/ascii.h).

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = LowerAscii(c);
    return lower;
}

bool IsUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
// Bytes of UTF-8 sequences count as letters without case.
bool IsWordByte(unsigned char c) {
    return c >= 0x80 || IsUpper(c) || IsDigit(c) || (c >= 'a' && c <= 'z');
}

// Whether a word of the name starts or ends at position i: at either end, beside a character
// that is not a letter or digit, between letters and digits, where an upper-case letter follows
// a lower-case one (Bag|MRU) and before the last of a run of upper-case letters that a
// lower-case letter follows (GPU|Cache).
bool WordBoundary(std::string_view name, std::size_t i) {
    if (i == 0 || i >= name.size()) return true;
    const auto before = static_cast<unsigned char>(name[i - 1]);
    const auto after = static_cast<unsigned char>(name[i]);
    if (!IsWordByte(before) || !IsWordByte(after) || IsDigit(before) != IsDigit(after)) return true;
    if (IsDigit(before) || !IsUpper(after)) return false;
    if (!IsUpper(before)) return true;
    const auto next = static_cast<unsigned char>(i + 1 < name.size() ? name[i + 1] : 0);
    return next >= 'a' && next <= 'z';
}

// A lower-case pattern with "*" for any characters against a name (lower and as written, of
// the same length): the parts between the stars fit whole words of the name, so that "*mru*"
// fits OpenSaveMRU and not Camrun.
bool GlobMatch(std::string_view pattern, std::string_view lower, std::string_view written) {
    std::size_t star = pattern.find('*');
    if (star == std::string_view::npos) return pattern == lower;
    const std::string_view first = pattern.substr(0, star);
    if (lower.substr(0, first.size()) != first || !WordBoundary(written, first.size()))
        return false;
    std::size_t at = first.size();
    pattern.remove_prefix(star + 1);
    while ((star = pattern.find('*')) != std::string_view::npos) {
        const std::string_view part = pattern.substr(0, star);
        pattern.remove_prefix(star + 1);
        if (part.empty()) continue;
        // The leftmost fit leaves the most room for the parts after it.
        std::size_t found = lower.find(part, at);
        while (found != std::string_view::npos &&
               !(WordBoundary(written, found) && WordBoundary(written, found + part.size()))) {
            found = lower.find(part, found + 1);
        }
        if (found == std::string_view::npos) return false;
        at = found + part.size();
    }
    if (pattern.size() > lower.size() - at) return false;
    const std::size_t last = lower.size() - pattern.size();
    return lower.substr(last) == pattern && WordBoundary(written, last);
}

std::vector<std::string_view> SplitSegments(std::string_view path) {
    std::vector<std::string_view> segments;
    std::size_t start = 0;
    for (std::size_t end; (end = path.find('\\', start)) != std::string_view::npos;
         start = end + 1) {
        segments.push_back(path.substr(start, end - start));
    }
    segments.push_back(path.substr(start));
    return segments;
}

// The rest of path below base ("" for base itself), or nullopt when path is not within it.
std::optional<std::string_view> Below(std::string_view path, std::string_view base) {
    if (base.empty() || path.size() < base.size() || !EqualAsciiNoCase(path.substr(0, base.size()), base)) {
        return std::nullopt;
    }
    if (path.size() == base.size()) return std::string_view();
    if (path[base.size()] != '\\') return std::nullopt;
    return path.substr(base.size() + 1);
}

// The places a file pattern's leading {name} stands for.
std::vector<std::string> ExpandPlace(std::string_view name, const KnownPlaces& places) {
    std::vector<std::string> found;
    const auto add = [&](std::string place) {
        if (std::find(found.begin(), found.end(), place) == found.end()) found.push_back(place);
    };
    for (const PlaceRow& row : kPlaces) {
        if (row.name != name) continue;
        const std::string& place = places.*row.member;
        if (place.empty()) continue;
        if (row.scope == Scope::Machine) {
            add(place);
            continue;
        }
        const std::optional<std::string_view> relative = Below(place, places.userProfile);
        const bool inProfiles = !places.profiles.empty() && Below(places.userProfile, places.profiles);
        if (relative && !places.profiles.empty()) {
            std::string each = places.profiles + "\\*";
            if (!relative->empty()) each.append("\\").append(*relative);
            add(std::move(each));
        }
        // A place outside the profile (TEMP set to C:\Temp), or a profile outside the profiles
        // folder, is known only for this user.
        if (!relative || !inProfiles) add(place);
    }
    return found;
}

// ---------------------------------------------------------------------------------------------
// The index: one trie of pattern segments for files, one for the registry. Literal segments
// are edges looked up by name, "*" and part-segment patterns are tried at each node, and "**"
// leads to a node that may stay put for any number of segments.

struct Specificity {
    int literalSegments = 0;
    bool valueName = false;
    int literalCharacters = 0;
    int doubleStars = 0;
    std::size_t row = 0;
};

bool MoreSpecific(const Specificity& a, const Specificity& b) {
    if (a.literalSegments != b.literalSegments) return a.literalSegments > b.literalSegments;
    if (a.valueName != b.valueName) return a.valueName;
    if (a.literalCharacters != b.literalCharacters) return a.literalCharacters > b.literalCharacters;
    if (a.doubleStars != b.doubleStars) return a.doubleStars < b.doubleStars;
    return a.row < b.row;
}

struct Terminal {
    const ChangeRule* rule;
    bool hasValueName;
    std::string valueName;  // lower case
    Specificity specificity;
    int leadingLiterals = 0;  // literal segments before the first that is not
    bool claims = false;      // claims the keys it fits, with what is below them
};

constexpr int kUnbounded = 1 << 30;

struct Node {
    std::vector<std::pair<std::string, int>> literals;  // sorted by name
    std::vector<std::pair<std::string, int>> globs;
    int star = -1;
    int doubleStar = -1;
    bool loop = false;  // reached by "**"
    std::vector<int> terminals;
    bool claims = false;      // a terminal here claims its key
    bool claimBelow = false;  // here or behind an edge
    // How many more segments a path may have at this node and still reach a row, and the same
    // for the nodes behind its literal edges together: a walk skips what cannot end in a row.
    int minRest = kUnbounded, maxRest = -1;
    int literalMinRest = kUnbounded, literalMaxRest = -1;

    bool Fits(std::size_t rest) const {
        return static_cast<int>(rest) >= minRest && static_cast<int>(rest) <= maxRest;
    }
};

}  // namespace

struct ChangeClassifier::Index {
    std::vector<Node> nodes;
    std::vector<Terminal> terminals;
    int filesRoot = 0;
    int registryRoot = 0;

    int NewNode(bool loop = false) {
        nodes.emplace_back();
        nodes.back().loop = loop;
        return static_cast<int>(nodes.size() - 1);
    }

    int Child(int parent, const std::string& segment) {
        if (segment == "**") {
            if (nodes[parent].doubleStar < 0) {
                const int child = NewNode(true);
                nodes[parent].doubleStar = child;
            }
            return nodes[parent].doubleStar;
        }
        if (segment == "*") {
            if (nodes[parent].star < 0) {
                const int child = NewNode();
                nodes[parent].star = child;
            }
            return nodes[parent].star;
        }
        const bool glob = segment.find('*') != std::string::npos;
        for (const auto& [name, child] : glob ? nodes[parent].globs : nodes[parent].literals) {
            if (name == segment) return child;
        }
        const int child = NewNode();  // moves the nodes: the parent's edges are looked up anew
        (glob ? nodes[parent].globs : nodes[parent].literals).emplace_back(segment, child);
        return child;
    }

    void Add(int root, const std::vector<std::string>& segments, const ChangeRule& rule,
             std::size_t row) {
        Terminal terminal{&rule, rule.valueName != nullptr,
                          rule.valueName ? Lower(rule.valueName) : std::string(), {}};
        terminal.specificity.row = row;
        terminal.specificity.valueName = terminal.hasValueName;
        for (char c : terminal.valueName) terminal.specificity.literalCharacters += c != '*';
        terminal.claims = rule.area == Registry && rule.category != Noise &&
                          !terminal.hasValueName && segments.back() != "**";
        int node = root;
        bool leading = true;
        for (const std::string& segment : segments) {
            node = Child(node, segment);
            const bool literal = segment.find('*') == std::string::npos;
            leading = leading && literal;
            terminal.leadingLiterals += leading;
            if (segment == "**") {
                ++terminal.specificity.doubleStars;
                continue;
            }
            if (literal) ++terminal.specificity.literalSegments;
            for (char c : segment) terminal.specificity.literalCharacters += c != '*';
        }
        nodes[node].claims = nodes[node].claims || terminal.claims;
        nodes[node].terminals.push_back(static_cast<int>(terminals.size()));
        terminals.push_back(std::move(terminal));
    }

    void AddRule(const ChangeRule& rule, std::size_t row, const KnownPlaces& places) {
        const std::vector<std::string_view> written = SplitSegments(rule.pattern);
        std::vector<std::string> heads;
        const std::string_view first = written.front();
        if (rule.area == Files && first.size() > 2 && first.front() == '{' && first.back() == '}') {
            heads = ExpandPlace(first.substr(1, first.size() - 2), places);
        } else if (rule.area == Registry && first == "{classes}") {
            heads.assign(std::begin(kClassesPlaces), std::end(kClassesPlaces));
        } else {
            heads.emplace_back(first);
        }
        for (const std::string& head : heads) {
            std::vector<std::string> segments;
            for (std::string_view segment : SplitSegments(head)) segments.push_back(Lower(segment));
            for (std::size_t i = 1; i < written.size(); ++i) segments.push_back(Lower(written[i]));
            Add(rule.area == Files ? filesRoot : registryRoot, segments, rule, row);
        }
    }

    void Seal() {
        // A child always comes after its parent: from the last node back, children are done.
        for (std::size_t id = nodes.size(); id-- > 0;) {
            Node& node = nodes[id];
            std::sort(node.literals.begin(), node.literals.end());
            const auto reach = [&node](int min, int max) {
                node.minRest = std::min(node.minRest, min);
                node.maxRest = std::max(node.maxRest, max);
            };
            const auto through = [&](int child) {
                const Node& next = nodes[child];
                if (next.maxRest >= 0) reach(next.minRest + 1, std::min(next.maxRest + 1, kUnbounded));
            };
            if (!node.terminals.empty()) reach(0, 0);
            node.claimBelow = node.claims;
            for (const auto& edge : node.literals) {
                const Node& next = nodes[edge.second];
                node.literalMinRest = std::min(node.literalMinRest, next.minRest);
                node.literalMaxRest = std::max(node.literalMaxRest, next.maxRest);
                through(edge.second);
                node.claimBelow = node.claimBelow || next.claimBelow;
            }
            for (const auto& edge : node.globs) {
                through(edge.second);
                node.claimBelow = node.claimBelow || nodes[edge.second].claimBelow;
            }
            if (node.star >= 0) {
                through(node.star);
                node.claimBelow = node.claimBelow || nodes[node.star].claimBelow;
            }
            if (node.doubleStar >= 0) {
                reach(nodes[node.doubleStar].minRest, kUnbounded);
                node.claimBelow = node.claimBelow || nodes[node.doubleStar].claimBelow;
            }
            if (node.loop && node.maxRest >= 0) node.maxRest = kUnbounded;
        }
    }
};

namespace {

// What a classification walks: the path in lower case and as written (of the same length),
// its segments as the rules see them, and a value's name likewise.
struct Subject {
    std::string_view lower, written;
    std::span<const std::string_view> segments;
    const std::string_view* name = nullptr;  // lower case; nullptr for keys and files
    std::string_view writtenName;
};

// One classification: a walk of the trie that keeps the best row found that is not noise, and
// every noise row that fits, for when an autostart or security row fits or a claim holds.
class Search {
public:
    Search(const ChangeClassifier::Index& index, const Subject& subject,
           std::vector<const Terminal*>& noise)
        : index_(index), subject_(subject), segments_(subject.segments), noise_(noise) {
        noise_.clear();
    }

    Classification Run(int root) {
        Visit(root, 0);
        const Terminal* winner = bestNotNoise_;
        if (!strong_ && !noise_.empty()) {
            // A claimed key holds no noise but what a row spells out down to it.
            claimLimit_ = segments_.size() - (subject_.name == nullptr ? 1 : 0);
            const bool mayBeClaimed =
                std::any_of(noise_.begin(), noise_.end(), [&](const Terminal* t) {
                    return static_cast<std::size_t>(t->leadingLiterals) < claimLimit_;
                });
            if (mayBeClaimed) Claims(root, 0);
            for (const Terminal* terminal : noise_) {
                if (static_cast<std::size_t>(terminal->leadingLiterals) < deepestClaim_) continue;
                if (winner == nullptr || MoreSpecific(terminal->specificity, winner->specificity)) {
                    winner = terminal;
                }
            }
        }
        if (winner == nullptr) return {};
        return {winner->rule->category, winner->rule};
    }

private:
    void Visit(int id, std::size_t at) {
        const Node& node = index_.nodes[id];
        if (!node.loop) {
            Step(node, at);
            return;
        }
        for (std::size_t from = at; from <= segments_.size(); ++from) Step(node, from);
    }

    void Step(const Node& node, std::size_t at) {
        const std::size_t rest = segments_.size() - at;
        if (node.doubleStar >= 0 && !node.loop && index_.nodes[node.doubleStar].Fits(rest)) {
            Visit(node.doubleStar, at);
        }
        if (rest == 0) {
            for (int terminal : node.terminals) Offer(index_.terminals[terminal]);
            return;
        }
        const std::string_view segment = segments_[at];
        const int after = static_cast<int>(rest - 1);
        if (after >= node.literalMinRest && after <= node.literalMaxRest) {
            const int child = Literal(node, segment);
            if (child >= 0) Next(child, at);
        }
        if (node.star >= 0) Next(node.star, at);
        for (const auto& [glob, child] : node.globs) {
            if (index_.nodes[child].Fits(rest - 1) && GlobMatch(glob, segment, Written(segment))) {
                Visit(child, at + 1);
            }
        }
    }

    // Through an edge that takes the segment at at.
    void Next(int child, std::size_t at) {
        if (index_.nodes[child].Fits(segments_.size() - at - 1)) Visit(child, at + 1);
    }

    // The deepest key above the item (or, for a value, its own key) that a row claims.
    void Claims(int id, std::size_t at) {
        const Node& node = index_.nodes[id];
        if (!node.claimBelow) return;
        if (!node.loop) {
            ClaimStep(node, at);
            return;
        }
        for (std::size_t from = at; from <= claimLimit_; ++from) ClaimStep(node, from);
    }

    void ClaimStep(const Node& node, std::size_t at) {
        if (node.claims) deepestClaim_ = std::max(deepestClaim_, at);
        if (node.doubleStar >= 0 && !node.loop) Claims(node.doubleStar, at);
        if (at >= claimLimit_) return;
        const std::string_view segment = segments_[at];
        const int child = Literal(node, segment);
        if (child >= 0) Claims(child, at + 1);
        if (node.star >= 0) Claims(node.star, at + 1);
        for (const auto& [glob, next] : node.globs) {
            if (index_.nodes[next].claimBelow && GlobMatch(glob, segment, Written(segment))) {
                Claims(next, at + 1);
            }
        }
    }

    static int Literal(const Node& node, std::string_view segment) {
        const auto& literals = node.literals;
        const auto found =
            std::lower_bound(literals.begin(), literals.end(), segment,
                             [](const std::pair<std::string, int>& edge, std::string_view name) {
                                 return std::string_view(edge.first) < name;
                             });
        return found != literals.end() && found->first == segment ? found->second : -1;
    }

    // A segment as written; the names that normalising puts in have no words to tell apart.
    std::string_view Written(std::string_view segment) const {
        const std::string_view lower = subject_.lower;
        if (segment.data() < lower.data() || segment.data() >= lower.data() + lower.size()) {
            return segment;
        }
        return subject_.written.substr(static_cast<std::size_t>(segment.data() - lower.data()),
                                       segment.size());
    }

    void Offer(const Terminal& terminal) {
        if (terminal.hasValueName &&
            (subject_.name == nullptr ||
             !GlobMatch(terminal.valueName, *subject_.name, subject_.writtenName))) {
            return;
        }
        const ChangeCategory category = terminal.rule->category;
        if (category == Noise) {
            noise_.push_back(&terminal);
            return;
        }
        if (bestNotNoise_ == nullptr ||
            MoreSpecific(terminal.specificity, bestNotNoise_->specificity)) {
            bestNotNoise_ = &terminal;
        }
        if (category == Autostart || category == Security) strong_ = true;
    }

    const ChangeClassifier::Index& index_;
    const Subject& subject_;
    std::span<const std::string_view> segments_;
    std::vector<const Terminal*>& noise_;
    const Terminal* bestNotNoise_ = nullptr;
    bool strong_ = false;
    std::size_t claimLimit_ = 0;
    std::size_t deepestClaim_ = 0;
};

// Scratch space of the classifications of this thread, kept between calls.
struct Scratch {
    std::string lower, lowerName;
    std::vector<std::string_view> raw, segments;
    std::vector<const Terminal*> noise;
};

Scratch& ThreadScratch() {
    thread_local Scratch scratch;
    return scratch;
}

// The path in lower case, split at "\" into segments.
void Split(std::string_view path, std::string& lower, std::vector<std::string_view>& segments) {
    lower.assign(path);
    for (char& c : lower) c = LowerAscii(c);
    segments.clear();
    std::string_view rest = lower;
    for (std::size_t end; (end = rest.find('\\')) != std::string_view::npos;) {
        segments.push_back(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    segments.push_back(rest);
}

// The segments of a key path as the rules see them: short roots, every user's hive as HKCU,
// a user's classes hive as HKCU\Software\Classes, one control set, no Wow6432Node.
void NormaliseKey(const std::vector<std::string_view>& raw,
                  std::vector<std::string_view>& segments) {
    segments.clear();
    std::size_t next = 1;
    std::string_view root = raw[0];
    for (const RootRow& row : kRoots) {
        if (row.name == root) root = row.root;
    }
    if (root == "hku" && raw.size() > 1) {
        constexpr std::string_view kClasses = "_classes";
        const std::string_view hive = raw[1];
        const bool classes = hive.size() > kClasses.size() &&
                             hive.substr(hive.size() - kClasses.size()) == kClasses;
        segments.push_back("hkcu");
        if (classes) {
            segments.push_back("software");
            segments.push_back("classes");
        }
        next = 2;
    } else {
        segments.push_back(root);
    }
    for (std::size_t i = next; i < raw.size(); ++i) {
        const std::string_view segment = raw[i];
        if (segment == "wow6432node") continue;
        if (segments.size() == 2 && segments[0] == "hklm" && segments[1] == "system" &&
            IsControlSet(segment)) {
            segments.push_back("currentcontrolset");
            continue;
        }
        segments.push_back(segment);
    }
}

}  // namespace

const std::span<const ChangeRule> kChangeRules(kRules);

ChangeClassifier::ChangeClassifier(const KnownPlaces& places, std::span<const ChangeRule> rules)
    : index_(std::make_unique<Index>()) {
    index_->filesRoot = index_->NewNode();
    index_->registryRoot = index_->NewNode();
    for (std::size_t row = 0; row < rules.size(); ++row) index_->AddRule(rules[row], row, places);
    index_->Seal();
}

ChangeClassifier::~ChangeClassifier() = default;
ChangeClassifier::ChangeClassifier(ChangeClassifier&&) noexcept = default;
ChangeClassifier& ChangeClassifier::operator=(ChangeClassifier&&) noexcept = default;

Classification ChangeClassifier::ClassifyFile(std::string_view path) const {
    // A folder's path ends in "\": it is the folder's own path that the rules match.
    while (path.size() > 1 && path.back() == '\\') path.remove_suffix(1);
    Scratch& scratch = ThreadScratch();
    Split(path, scratch.lower, scratch.segments);
    const Subject subject{scratch.lower, path, scratch.segments, nullptr, {}};
    return Search(*index_, subject, scratch.noise).Run(index_->filesRoot);
}

Classification ChangeClassifier::ClassifyKey(std::string_view keyPath) const {
    Scratch& scratch = ThreadScratch();
    Split(keyPath, scratch.lower, scratch.raw);
    NormaliseKey(scratch.raw, scratch.segments);
    const Subject subject{scratch.lower, keyPath, scratch.segments, nullptr, {}};
    return Search(*index_, subject, scratch.noise).Run(index_->registryRoot);
}

Classification ChangeClassifier::ClassifyValue(std::string_view keyPath,
                                               std::string_view name) const {
    Scratch& scratch = ThreadScratch();
    Split(keyPath, scratch.lower, scratch.raw);
    NormaliseKey(scratch.raw, scratch.segments);
    scratch.lowerName.assign(name);
    for (char& c : scratch.lowerName) c = LowerAscii(c);
    const std::string_view lowerName = scratch.lowerName;
    const Subject subject{scratch.lower, keyPath, scratch.segments, &lowerName, name};
    return Search(*index_, subject, scratch.noise).Run(index_->registryRoot);
}

// ---------------------------------------------------------------------------------------------
// Words.

namespace {

// Texts put into words are cut, so that a long binary value does not drown them.
constexpr std::size_t kMaxInsert = 160;

std::string Shortened(std::string_view text) {
    if (text.size() <= kMaxInsert) return std::string(text);
    std::size_t cut = kMaxInsert;
    // Not inside a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return std::string(text.substr(0, cut)) + "\xE2\x80\xA6";
}

std::vector<std::string_view> ListParts(std::string_view list) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(';', start);
        if (end == std::string_view::npos) end = list.size();
        std::string_view part = list.substr(start, end - start);
        while (!part.empty() && (part.front() == ' ' || part.front() == '\t')) part.remove_prefix(1);
        while (!part.empty() && (part.back() == ' ' || part.back() == '\t')) part.remove_suffix(1);
        if (!part.empty()) parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

// Parts of list that other does not hold, ignoring letter case and a trailing backslash.
std::string PartsMissingFrom(std::string_view list, std::string_view other) {
    const auto bare = [](std::string_view part) {
        if (part.size() > 1 && part.back() == '\\') part.remove_suffix(1);
        return part;
    };
    const std::vector<std::string_view> known = ListParts(other);
    std::string missing;
    for (std::string_view part : ListParts(list)) {
        const bool held = std::any_of(known.begin(), known.end(), [&](std::string_view k) {
            return EqualAsciiNoCase(bare(k), bare(part));
        });
        if (held) continue;
        if (!missing.empty()) missing += "; ";
        missing += part;
    }
    return missing;
}

class Wording {
public:
    explicit Wording(const MeaningContext& context) : context_(context) {}

    // The template from at up to the end of its group; false when a placeholder lacked data.
    bool Part(std::string_view words, std::size_t& at, std::string& out) const {
        bool complete = true;
        while (at < words.size()) {
            const char c = words[at];
            if (c == ']') {
                ++at;
                return complete;
            }
            if (c == '[') {
                ++at;
                std::string group;
                if (Part(words, at, group)) out += group;
                continue;
            }
            const std::size_t close =
                c == '{' ? words.find('}', at) : c == '<' ? words.find('>', at) : std::string_view::npos;
            if (close == std::string_view::npos) {
                out += c;
                ++at;
                continue;
            }
            const std::optional<std::string> data =
                Placeholder(c, words.substr(at + 1, close - at - 1));
            at = close + 1;
            if (data) {
                out += *data;
            } else {
                complete = false;
            }
        }
        return complete;
    }

private:
    std::optional<std::string> Placeholder(char kind, std::string_view field) const {
        std::string_view table;
        if (const std::size_t colon = field.rfind(':'); colon != std::string_view::npos) {
            table = field.substr(colon + 1);
            field = field.substr(0, colon);
        }
        std::string data;
        if (kind == '<') {
            std::optional<std::string_view> text;
            if (context_.valueOf) text = context_.valueOf(field);
            // The item may be that value itself.
            if ((!text || text->empty()) && EqualAsciiNoCase(field, context_.name)) text = context_.text;
            if (text) data = *text;
        } else if (field == "text") {
            data = context_.text;
        } else if (field == "old") {
            data = context_.oldText;
        } else if (field == "name") {
            data = context_.name;
        } else if (field == "gained") {
            if (!context_.removed) data = PartsMissingFrom(context_.text, context_.oldText);
        } else if (field == "lost") {
            data = context_.removed ? PartsMissingFrom(context_.text, {})
                                    : PartsMissingFrom(context_.oldText, context_.text);
        }
        if (data.empty()) return std::nullopt;
        if (const std::optional<std::string_view> words = TableWords(table, data)) {
            return std::string(*words);
        }
        return Shortened(data);
    }

    const MeaningContext& context_;
};

}  // namespace

bool IsControlSet(std::string_view segment) {
    constexpr std::string_view kPrefix = "controlset";
    if (segment.size() <= kPrefix.size() || segment.substr(0, kPrefix.size()) != kPrefix) {
        return false;
    }
    return std::all_of(segment.begin() + kPrefix.size(), segment.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::string_view> TableWords(std::string_view table, std::string_view text) {
    for (const WordsRow& row : kWords) {
        if (row.table == table && row.text == text) return row.words;
    }
    return std::nullopt;
}

std::string ListPartsMissing(std::string_view list, std::string_view other) {
    return PartsMissingFrom(list, other);
}

std::string DescribeChange(const ChangeRule& rule, const MeaningContext& context) {
    std::string_view words = rule.meaning != nullptr ? rule.meaning : "";
    if (const std::size_t bar = words.find('|'); bar != std::string_view::npos) {
        words = context.removed ? words.substr(bar + 1) : words.substr(0, bar);
    }
    std::string filled;
    std::size_t at = 0;
    const Wording wording(context);
    while (at < words.size()) wording.Part(words, at, filled);  // past a stray "]" too
    // Drop the blanks that missing data left: no double blanks, none at either end.
    std::string out;
    for (char c : filled) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}
