#include "engine/change_rules.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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
    {Autostart, Registry, R"(*\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\**)",
     nullptr, "Start-up entry switched on or off[: {name}]"},
    {Autostart, Registry, R"(*\Software\Microsoft\Command Processor)", "AutoRun",
     "Runs whenever the command prompt starts[: {text}]"},
    {Autostart, Registry, R"(HKCU\Environment)", "UserInitMprLogonScript",
     "Log-on script of this user[: {text}]"},
    // Winlogon.
    {Autostart, Registry, R"(*\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)", "Shell",
     "Shell started at log-on[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)", "Userinit",
     "Started by Winlogon at log-on[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)", "Taskman",
     "Started by Winlogon at log-on[: {text}]"},
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
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Schedule\TaskCache\**)",
     nullptr, "Scheduled task"},
    // Startup folders and group policy scripts.
    {Autostart, Files, R"({userstartup}\**)", nullptr, "Starts at log-on of this user"},
    {Autostart, Files, R"({commonstartup}\**)", nullptr, "Starts at log-on of every user"},
    {Autostart, Files, R"({system}\GroupPolicy\*\Scripts\**)", nullptr,
     "Group policy script, run at start-up, shut-down, log-on or log-off"},
    // Loaded into other programs, or started in their place.
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\*)",
     "Debugger", "Started instead of the program[: {text}]"},
    {Autostart, Registry,
     R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\SilentProcessExit\*)", "MonitorProcess",
     "Started when the program ends[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Windows)",
     "AppInit_DLLs", "Loaded into every program that uses user32[: {text}]"},
    {Autostart, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Windows)",
     "LoadAppInit_DLLs", "Loading of AppInit DLLs[ switched {text:onoff}]"},
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
    // Session Manager, LSA, the print spooler and Winsock.
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager)",
     "BootExecute", "Runs at boot, before Windows starts[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager)",
     "SetupExecute", "Runs at boot, before Windows starts[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager)", "Execute",
     "Runs at boot, before Windows starts[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs)",
     nullptr, "Known DLL, loaded from the system folder only[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Lsa)", "Authentication Packages",
     "Authentication package, loaded by LSA[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Lsa)", "Notification Packages",
     "Password filter, loaded by LSA[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Lsa)", "Security Packages",
     "Security package, loaded by LSA[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Lsa\OSConfig)",
     "Security Packages", "Security package, loaded by LSA[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\SecurityProviders)",
     "SecurityProviders", "Security provider DLL[: {text}]"},
    {Autostart, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\*)", nullptr,
     "Print monitor, loaded by the spooler[: <Driver>]"},
    {Autostart, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Control\Print\Environments\*\Print Processors\*)", nullptr,
     "Print processor, loaded by the spooler[: <Driver>]"},
    {Autostart, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters\Protocol_Catalog9\**)",
     nullptr, "Winsock provider, loaded into every program that uses the network"},
    {Autostart, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Services\WinSock2\Parameters\NameSpace_Catalog5\**)",
     nullptr, "Winsock name-space provider, loaded into every program that uses the network"},

    // Changes what is trusted or allowed: certificates (machine, user, policy).
    {Security, Registry, R"(*\Software\Microsoft\SystemCertificates\ROOT\Certificates\**)", nullptr,
     "Trusted root certificate"},
    {Security, Registry,
     R"(*\Software\Policies\Microsoft\SystemCertificates\ROOT\Certificates\**)", nullptr,
     "Trusted root certificate, by policy"},
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
     R"(HKLM\SYSTEM\CurrentControlSet\Services\SharedAccess\Parameters\FirewallPolicy\**)",
     nullptr, "Firewall setting[ {name}][: {text}]"},
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
    {Security, Registry, R"(HKLM\Software\Microsoft\Windows Defender\Features)",
     "TamperProtection", "Antivirus tamper protection setting[: {text}]"},
    // Policies, UAC and LSA.
    {Security, Registry, R"(HKLM\Software\Policies\**)", nullptr,
     "Policy[ {name}][: {text}]"},
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
    {Security, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Control\SecurityProviders\SCHANNEL\**)", nullptr,
     "TLS setting[ {name}][: {text}]"},
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
    {Security, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters)",
     "NameServer", "DNS server[: {text}]"},
    {Security, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\*)", "NameServer",
     "DNS server[: {text}]"},
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
    {Registration, Registry, R"({classes}\Installer\**)", nullptr, "Windows Installer registration"},
    {Registration, Files, R"({windows}\Installer\**)", nullptr,
     "Windows Installer package, kept for repair and removal"},
    // File extensions, ProgIDs, verbs and COM.
    {Registration, Registry, R"({classes}\**)", nullptr, "Class registration"},
    {Registration, Registry, R"({classes}\*)", nullptr, "File type or program ID[: <>]"},
    {Registration, Registry, R"({classes}\.*)", nullptr, "File extension[, handled by <>]"},
    {Registration, Registry, R"({classes}\.*\**)", nullptr, "File extension setting"},
    {Registration, Registry, R"({classes}\*\shell\**)", nullptr, "Command of a file type[: <>]"},
    {Registration, Registry, R"({classes}\*\DefaultIcon)", nullptr, "Icon of a file type[: <>]"},
    {Registration, Registry, R"({classes}\SystemFileAssociations\**)", nullptr,
     "File type association"},
    {Registration, Registry, R"({classes}\Applications\**)", nullptr,
     "Program offered in Open with"},
    {Registration, Registry, R"({classes}\CLSID\*)", nullptr, "COM class[: <>]"},
    {Registration, Registry, R"({classes}\CLSID\*\InprocServer32)", nullptr,
     "COM class, DLL[: <>]"},
    {Registration, Registry, R"({classes}\CLSID\*\LocalServer32)", nullptr,
     "COM class, program[: <>]"},
    {Registration, Registry, R"({classes}\Interface\**)", nullptr, "COM interface"},
    {Registration, Registry, R"({classes}\TypeLib\**)", nullptr, "Type library"},
    {Registration, Registry, R"({classes}\AppID\**)", nullptr, "COM application"},
    {Registration, Registry,
     R"(*\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\*\UserChoice)", nullptr,
     "Default program chosen for a file type[: <ProgId>]"},
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
    {Registration, Registry, R"(HKCU\Software\Microsoft\Windows\CurrentVersion\App Paths\*)",
     nullptr, "Program started by its name, for this user[: <>]"},
    {Registration, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment)",
     nullptr, "Environment variable[ {name}][: {text}]"},
    {Registration, Registry, R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment)",
     "Path", "Path[ gained: {gained}][, lost: {lost}]"},
    {Registration, Registry, R"(HKCU\Environment)", nullptr,
     "Environment variable of this user[ {name}][: {text}]"},
    {Registration, Registry, R"(HKCU\Environment)", "Path",
     "Path of this user[ gained: {gained}][, lost: {lost}]"},
    {Registration, Registry, R"(HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDLLs)", nullptr,
     "Shared file, use count[ of {name}][: {text}]"},
    {Registration, Registry, R"(HKLM\Software\Microsoft\Windows NT\CurrentVersion\Drivers32)",
     nullptr, "Multimedia codec[ {name}][: {text}]"},
    // Shortcuts on desktops and in Start menus.
    {Registration, Files, R"({userdesktop}\**\*.lnk)", nullptr, "Shortcut on the desktop of this user"},
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
    {Registration, Files, R"({windows}\Microsoft.NET\assembly\**)", nullptr, "Shared .NET assembly"},
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
    {Noise, Files, R"({windows}\SoftwareDistribution\**)", nullptr,
     "Windows Update working file"},
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
    {Noise, Registry, R"(HKCU\Software\Microsoft\Windows\Shell\**)", nullptr,
     "Folder view settings (shell bags)"},
    {Noise, Registry, R"({classes}\Local Settings\**)", nullptr, "Cached setting"},
    {Noise, Registry, R"({classes}\Local Settings\Software\Microsoft\Windows\Shell\**)", nullptr,
     "Folder view settings (shell bags)"},
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
    {Noise, Registry,
     R"(HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\AppCompatCache)", nullptr,
     "Program compatibility cache"},
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
};

// ---------------------------------------------------------------------------------------------
// Text helpers: only A-Z fold, as everywhere in the program.

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = Fold(c);
    return lower;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Fold(x) == Fold(y); });
}

// A lower-case pattern with "*" for any characters against text of any case.
bool GlobMatch(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == Fold(text[t])) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
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
    if (base.empty() || path.size() < base.size() || !EqualNoCase(path.substr(0, base.size()), base)) {
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
};

constexpr int kUnbounded = 1 << 30;

struct Node {
    std::vector<std::pair<std::string, int>> literals;  // sorted by name
    std::vector<std::pair<std::string, int>> globs;
    int star = -1;
    int doubleStar = -1;
    bool loop = false;  // reached by "**"
    std::vector<int> terminals;
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
        int node = root;
        for (const std::string& segment : segments) {
            node = Child(node, segment);
            if (segment == "**") {
                ++terminal.specificity.doubleStars;
                continue;
            }
            if (segment.find('*') == std::string::npos) ++terminal.specificity.literalSegments;
            for (char c : segment) terminal.specificity.literalCharacters += c != '*';
        }
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
            for (const auto& edge : node.literals) {
                const Node& next = nodes[edge.second];
                node.literalMinRest = std::min(node.literalMinRest, next.minRest);
                node.literalMaxRest = std::max(node.literalMaxRest, next.maxRest);
                through(edge.second);
            }
            for (const auto& edge : node.globs) through(edge.second);
            if (node.star >= 0) through(node.star);
            if (node.doubleStar >= 0) reach(nodes[node.doubleStar].minRest, kUnbounded);
            if (node.loop && node.maxRest >= 0) node.maxRest = kUnbounded;
        }
    }
};

namespace {

// One classification: a walk of the trie that keeps the best row found, and the best that is
// not noise for when an autostart or security row fits.
class Search {
public:
    Search(const ChangeClassifier::Index& index, std::span<const std::string_view> segments,
           const std::string_view* valueName)
        : index_(index), segments_(segments), valueName_(valueName) {}

    Classification Run(int root) {
        Visit(root, 0);
        const Terminal* winner = strong_ ? bestNotNoise_ : best_;
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
            const auto& literals = node.literals;
            const auto found = std::lower_bound(
                literals.begin(), literals.end(), segment,
                [](const std::pair<std::string, int>& edge, std::string_view name) {
                    return std::string_view(edge.first) < name;
                });
            if (found != literals.end() && found->first == segment) Next(found->second, at);
        }
        if (node.star >= 0) Next(node.star, at);
        for (const auto& [glob, child] : node.globs) {
            if (index_.nodes[child].Fits(rest - 1) && GlobMatch(glob, segment)) Visit(child, at + 1);
        }
    }

    // Through an edge that takes the segment at at.
    void Next(int child, std::size_t at) {
        if (index_.nodes[child].Fits(segments_.size() - at - 1)) Visit(child, at + 1);
    }

    void Offer(const Terminal& terminal) {
        if (terminal.hasValueName &&
            (valueName_ == nullptr || !GlobMatch(terminal.valueName, *valueName_))) {
            return;
        }
        const ChangeCategory category = terminal.rule->category;
        if (best_ == nullptr || MoreSpecific(terminal.specificity, best_->specificity)) {
            best_ = &terminal;
        }
        if (category == Noise) return;
        if (bestNotNoise_ == nullptr ||
            MoreSpecific(terminal.specificity, bestNotNoise_->specificity)) {
            bestNotNoise_ = &terminal;
        }
        if (category == Autostart || category == Security) strong_ = true;
    }

    const ChangeClassifier::Index& index_;
    std::span<const std::string_view> segments_;
    const std::string_view* valueName_;
    const Terminal* best_ = nullptr;
    const Terminal* bestNotNoise_ = nullptr;
    bool strong_ = false;
};

// Scratch space of the classifications of this thread, kept between calls.
struct Scratch {
    std::string lower;
    std::vector<std::string_view> raw, segments;
};

Scratch& ThreadScratch() {
    thread_local Scratch scratch;
    return scratch;
}

// The path in lower case, split at "\" into segments.
void Split(std::string_view path, std::string& lower, std::vector<std::string_view>& segments) {
    lower.assign(path);
    for (char& c : lower) c = Fold(c);
    segments.clear();
    std::string_view rest = lower;
    for (std::size_t end; (end = rest.find('\\')) != std::string_view::npos;) {
        segments.push_back(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    segments.push_back(rest);
}

bool IsControlSet(std::string_view segment) {
    constexpr std::string_view kPrefix = "controlset";
    if (segment.size() <= kPrefix.size() || segment.substr(0, kPrefix.size()) != kPrefix) {
        return false;
    }
    return std::all_of(segment.begin() + kPrefix.size(), segment.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
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
    return Search(*index_, scratch.segments, nullptr).Run(index_->filesRoot);
}

Classification ChangeClassifier::ClassifyKey(std::string_view keyPath) const {
    Scratch& scratch = ThreadScratch();
    Split(keyPath, scratch.lower, scratch.raw);
    NormaliseKey(scratch.raw, scratch.segments);
    return Search(*index_, scratch.segments, nullptr).Run(index_->registryRoot);
}

Classification ChangeClassifier::ClassifyValue(std::string_view keyPath,
                                               std::string_view name) const {
    Scratch& scratch = ThreadScratch();
    Split(keyPath, scratch.lower, scratch.raw);
    NormaliseKey(scratch.raw, scratch.segments);
    return Search(*index_, scratch.segments, &name).Run(index_->registryRoot);
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
            return EqualNoCase(bare(k), bare(part));
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
            if ((!text || text->empty()) && EqualNoCase(field, context_.name)) text = context_.text;
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
        for (const WordsRow& row : kWords) {
            if (row.table == table && row.text == data) return std::string(row.words);
        }
        return Shortened(data);
    }

    const MeaningContext& context_;
};

}  // namespace

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
