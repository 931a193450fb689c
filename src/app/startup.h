// The program's start: the argument text, the hand-over of a folder to the instance already
// running, the single-instance rule and the choice between a normal and a silent start.
#pragma once

#include "platform/platform.h"

#include <memory>
#include <string>
#include <string_view>

namespace quorvane::app {

/// The lock file in the application folder that the running instance holds.
inline constexpr const char* kInstanceLockFile = "quorvaneam.lock";

enum class StartMode { Normal = 0, Silent = 1 };

/// The whole argument text: the arguments after the program, joined by blanks.
std::string argumentText(int argc, const char* const* argv);
/// "s" or "m" (blanks around them and case ignored) is the silent start.
StartMode startModeOf(std::string_view arguments);
/// True for a folder or drive handed over: an absolute path, with or without quotes around it,
/// or a text holding ":" (a drive-letter path).
bool isFolderRequest(std::string_view arguments);

struct StartupResult {
  StartMode mode = StartMode::Normal;
  bool requestWritten = false; ///< the argument went to folderscan.sig
  bool anotherInstance = false; ///< this start ends here
  /// Held for the whole run by the instance that goes on.
  std::unique_ptr<platform::FileLock> instanceLock;
};

/// The start-up routine up to the window: a folder request is written to folderscan.sig first
/// (so that the running instance scans it), then a second instance stops; otherwise the start
/// mode is decided.
StartupResult runStartup(platform::Platform& platform, const std::string& appFolder,
                         std::string_view arguments);

} // namespace quorvane::app
