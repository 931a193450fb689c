// System integration: start with the system, scan at log-on, the folder menu entry, and the
// settings page's fill.
#pragma once

#include "platform/platform.h"

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace quorvane::schedule {

inline constexpr std::string_view kLogonTaskName = "Quorvane Anti Malware";
inline constexpr std::string_view kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::string_view kFolderVerbKey =
    "SOFTWARE\\Classes\\Directory\\shell\\Scan with Quorvane Antimalware";
inline constexpr std::string_view kDriveVerbKey =
    "SOFTWARE\\Classes\\Drive\\shell\\Scan with Quorvane Antimalware";
inline constexpr std::string_view kVerbName = "Scan with Quorvane Antimalware";
/// The desktop program and the companion scanner, beside this program.
inline constexpr std::string_view kDesktopProgram = "quorvaneam";
inline constexpr std::string_view kCompanionProgram = "infoexe";

/// What the settings page shows.
struct SettingsPageState {
  bool startWithSystem = false;
  int threatAction = -1; ///< option index: 0 delete, 1 quarantine, 2 leave; -1 none
  bool autorunDisabled = false;
  bool contextMenu = false;
};

class SystemIntegration {
public:
  /// `appFolder`: the application folder in use; entries that start the programs carry it
  /// when it is not the one the programs would choose by themselves.
  explicit SystemIntegration(platform::Platform& platform, std::string appFolder = {})
      : p_(platform), folder_(std::move(appFolder)) {}

  /// The folder the programs run from.
  std::string programFolder();

  /// "Start Quorvane Anti Malware on system startup": the log-on task and the Run value, both
  /// starting the desktop program with "s". An error (the task could not be made or removed)
  /// leaves the stored state as it was.
  std::error_code setStartWithSystem(bool on);
  /// "Start Scanning when windows starts": toggles the companion's Run value; returns the new
  /// mark.
  bool toggleScanAtStartup(bool marked);
  /// "Add scan option to windows right click context menu": the folder and drive verbs, and the
  /// file manager's action for folders.
  std::error_code setContextMenu(bool on);
  /// The "Settings" button's fill.
  SettingsPageState fillSettingsPage();

private:
  /// QUORVANE_HOME=folder when the programs started from an entry need it to find the folder.
  std::vector<std::string> carriedEnvironment();

  platform::Platform& p_;
  std::string folder_;
};

} // namespace quorvane::schedule
