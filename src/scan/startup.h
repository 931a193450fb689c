// Where programs that start by themselves are named: Run-type registry keys, the autostart
// folder, scheduled jobs (crontabs, systemd timers) and services (systemd units); and the
// in-process components registered under HKEY_CLASSES_ROOT\CLSID. The parsers are pure; the
// collectors read the system through the platform.
#pragma once

#include "platform/platform.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::scan {

/// Looks up an environment variable.
using VariableLookup = std::function<std::optional<std::string>(const std::string&)>;

/// The text with %NAME%, $NAME and ${NAME} replaced by their values; unknown variables stay.
std::string expandVariables(std::string_view text, const VariableLookup& lookup);

/// The program a command line starts. The first of ".exe", ".dll", ".msi", ".bat", ".com",
/// ".ocx" (found without regard to case) ends the path, unless what it cuts names no file and
/// the first word does (the extension stood in the arguments); without any, the first word
/// (quotes honoured) is the program, looked up on `searchPath` when it has no folder. Double quotes are
/// dropped, variables expanded; the path keeps its letter case. Empty when nothing remains.
std::string extractProgramPath(std::string_view command, const VariableLookup& lookup,
                               const std::function<bool(const std::string&)>& isFile);

/// The commands of a crontab; `systemFormat` for /etc/crontab and /etc/cron.d (a user field
/// after the five time fields). Comments, variable settings and malformed lines give nothing;
/// "@reboot" and the other "@" schedules are followed by the command directly.
std::vector<std::string> parseCrontab(std::string_view text, bool systemFormat);

/// A unit file's keys by section ("Service" -> "ExecStart" -> values in order). Continuation
/// lines (ending in "\") are joined; an empty assignment clears the values before it.
using UnitFile = std::map<std::string, std::map<std::string, std::vector<std::string>>>;
UnitFile parseUnitFile(std::string_view text);

/// The command line of a desktop entry: the "Exec" key of its "[Desktop Entry]" group, with the
/// value's escapes ("\s", "\\", ...) undone and its field codes ("%f", "%U", ...) dropped ("%%"
/// stays as "%"). Empty when the entry has none.
std::string desktopEntryCommand(std::string_view text);

/// An ExecStart value without its "-", "@", "+", "!", "!!" and ":" prefixes.
std::string stripExecPrefixes(std::string_view exec);

/// The "Command" texts of a scheduled task's definition (the XML files of the system's task
/// folder, UTF-16 with its byte-order mark or UTF-8), with the XML escapes undone.
std::vector<std::string> taskCommands(std::string_view definition);

/// The program of a task's command: lower case, quotes dropped, cut after its first ".exe";
/// empty for a command without ".exe".
std::string taskProgramPath(std::string_view command);

/// The program of a service's path name (its "ImagePath"), variables not yet expanded: lower
/// case, quotes dropped, "\SystemRoot" as "%windir%", "system32\..." below "%windir%", cut after
/// the first ".exe", a bare name in "%windir%\system32"; empty for a path without ".exe" (a
/// driver).
std::string serviceProgramPath(std::string_view imagePath);

/// One candidate of the startup or component scan and where it came from.
struct StartupCandidate {
  std::string path;
  std::string reference; ///< "ROOT|key|value|path" for Run keys, "HKCR|CLSID\{id}" for components
};

/// The Run-type keys, in the order they are read.
const std::vector<std::pair<std::string, std::string>>& runKeys();

class StartupCollector {
public:
  explicit StartupCollector(platform::Platform& platform) : p_(platform) {}

  /// Folders of the service unit files, in precedence order.
  std::vector<std::string> unitFolders = {"/etc/systemd/system", "/lib/systemd/system",
                                          "/usr/lib/systemd/system"};
  /// Folders of the per-user service unit files, in precedence order; empty: the user's own
  /// ($XDG_CONFIG_HOME or ~/.config, then "systemd/user"), /etc/systemd/user,
  /// /usr/lib/systemd/user.
  std::vector<std::string> userUnitFolders;
  /// Folders whose files cron runs as they are (run-parts).
  std::vector<std::string> cronScriptFolders = {"/etc/cron.hourly", "/etc/cron.daily",
                                                "/etc/cron.weekly", "/etc/cron.monthly"};
  /// System crontabs: the file and the folder of further ones.
  std::string systemCrontab = "/etc/crontab";
  std::string cronFolder = "/etc/cron.d";
  /// The user's crontab text (from `crontab -l` or the spool), when there is one.
  std::optional<std::string> userCrontab;
  /// The folder of the scheduled tasks' definitions; empty: "System32/Tasks" in the system
  /// folder (where there is none, as on Linux, nothing is found there).
  std::string taskFolder;
  /// The registry key of the installed services (HKLM).
  std::string servicesKey = "SYSTEM\\CurrentControlSet\\Services";

  /// Run keys (with references), then the autostart folder, scheduled jobs and services.
  std::vector<StartupCandidate> scanStartupEntries();
  /// In-process component files, one per registered class, with their references.
  std::vector<StartupCandidate> registeredComponents();

  std::vector<StartupCandidate> runKeyEntries();
  /// The autostart entries, each followed by the program its Exec line starts.
  std::vector<std::string> autostartFiles();
  std::vector<std::string> scheduledTaskProgramPaths();
  std::vector<std::string> serviceProgramPaths();

private:
  /// The environment's variables, for expanding the places' texts.
  VariableLookup variables();
  std::string programOf(std::string_view command);
  bool isFile(const std::string& path);
  std::optional<UnitFile> readUnit(const std::string& name,
                                   const std::vector<std::string>& folders);
  std::string unitCommand(std::string_view exec);
  /// The paths of the regular files of a folder, by name; none when it cannot be listed.
  std::vector<std::string> regularFilesIn(const std::string& folder);
  std::vector<std::string> serviceExecs(const std::vector<std::string>& folders);
  std::vector<std::string> timerExecs(const std::vector<std::string>& folders);
  std::vector<std::string> userUnitFolderList();
  std::vector<std::string> taskProgramPaths();
  std::vector<std::string> registeredServicePaths();
  std::optional<std::string> configFolder();

  platform::Platform& p_;
};

} // namespace quorvane::scan
