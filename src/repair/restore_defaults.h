// "Restore System Default Settings": undoes the registry changes malware makes to lock the user
// out or to take over how programs start, in the native view and then the 32-bit view.
#pragma once

#include "platform/platform.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorvane::repair {

inline constexpr std::string_view kRestoredText = "Finished restoring your system default settings";

/// One step of a pass.
struct RepairAction {
  enum class Kind { SetText, SetNumber, DeleteValue, DeleteKey, Grant };
  Kind kind;
  platform::Hive root;
  std::string key;
  std::string name; ///< value name ("" = default value); for DeleteKey the subkey's name
  std::string text;
  std::uint32_t number = 0;
  bool createKey = false; ///< for SetNumber: make the key when missing
};

/// The steps of the first (native) or second (32-bit view) pass, in the order they run.
/// `windowsFolder` is the folder "Userinit" points into.
std::vector<RepairAction> restorePass(bool wow, const std::string& windowsFolder);

/// Runs both passes (each action once, results ignored) and shows the final message.
void restoreSystemDefaults(platform::Platform& platform);

} // namespace quorvane::repair
