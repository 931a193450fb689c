// Removable-drive protection: a USB drive that arrives while auto-protect is on has the programs
// its "autorun.inf" names checked, and its root cleaned of what malware leaves there. Nothing
// is destroyed: whatever the clean-up takes goes to the quarantine, where it can be restored.
#pragma once

#include "engine/sigtable.h"
#include "platform/platform.h"
#include "protect/autoprotect.h"
#include "protect/message_dispatcher.h"
#include "protect/threat_check.h"
#include "threats/alert.h"
#include "threats/quarantine.h"
#include "threats/threatlog.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::protect {

/// Replaced by the drive's root in an "autorun.inf" line, in this order.
inline constexpr std::array<std::string_view, 12> kAutorunPrefixes = {
    "open=", "open =", "open= ", "open = ", "load=", "load =",
    "load= ", "load = ", "icon=", "icon =", "icon= ", "icon = "};

/// The file an "autorun.inf" line names, inside the drive at `root`; nothing for a line that
/// names no file, or one outside the drive.
std::optional<std::string> autorunTarget(std::string_view line, const std::string& root);

/// The lexically normal form of an absolute path ("." and ".." resolved, no doubled "/").
std::string normalPath(std::string_view path);

/// True when `path` lies inside the folder `root` (not the root itself).
bool isInside(const std::string& path, const std::string& root);

/// The description of the device a drive root is on.
platform::DeviceInfo getDeviceInfo(platform::Platform& platform, const std::string& root);

/// "Disable AutoRun for drives": stores "usbautorun" and, when checked, the Explorer policy
/// "NoDriveTypeAutoRun" = 255 (under Wow6432Node when that key exists).
void setDisableAutoRun(platform::Platform& platform, bool checked);

class DriveProtect : public MessageHandler {
public:
  DriveProtect(platform::Platform& platform, std::string appFolder,
               engine::SignatureDatabase& signatures, const AutoProtect& autoProtect);

  /// Remembers the USB drives with removable media present now; they are never handled.
  void listUsbDrives();
  /// Sets the current drive to a USB drive with removable media that was not present at
  /// start-up.
  void findNewUsbDrive();
  /// A device-change message: handles a new USB drive while auto-protect is on.
  void handleMessage(bool before, bool& handled, MessageResult& result, WindowHandle window,
                     long message, std::uintptr_t wParam, std::intptr_t lParam,
                     std::intptr_t user) override;
  /// The programs named by the drive's "autorun.inf", then the root clean-up.
  void handleDrive(const std::string& root);
  void cleanRemovableDrive(const std::string& root);

  const std::vector<std::string>& knownDrives() const { return known_; }
  const std::string& currentDrive() const { return current_; }

  /// Told of every threat found, after it was handled.
  std::function<void(const threats::AlertRecord&)> onThreat;

private:
  /// Moves a file into the quarantine; true when it is gone from the drive.
  bool takeAway(const std::string& path, const std::string& name,
                const platform::FileIdentity& listed = {});
  /// Moves every file below a folder into the quarantine, then removes the folder; false
  /// (folder kept) when anything in it could not be taken.
  bool takeAwayFolder(const std::string& folder);
  /// Ends the processes running the file, logs it, takes it away and reports it.
  void threatFound(const std::string& path, const std::string& name, const std::string& digest);

  platform::Platform& p_;
  std::string folder_;
  ThreatCheck check_;
  threats::ThreatLog log_;
  threats::Quarantine quarantine_;
  const AutoProtect& autoProtect_;
  std::vector<std::string> known_;
  std::string current_;
};

} // namespace quorvane::protect
