// The state file of a guard that runs for the whole machine: which mode it guards in, for the
// desktop programs of the machine's users to show.
#pragma once

#include "platform/platform.h"

#include <optional>
#include <string>

namespace quorvane::protect {

/// Where the system unit's guard keeps its state file (QUORVANE_GUARD_STATE names another).
inline constexpr const char* kSystemGuardStateFile = "/run/quorvane/guard.state";

struct GuardState {
  bool blocking = false; ///< refuses listed programs before they run
  platform::ProcessId pid = 0;
  std::string detail; ///< the guard's own mode line
};

/// The state file's text.
std::string guardStateText(const GuardState& state);

/// The state of the guard whose state file is at `path`; none when there is no such file, it
/// says nothing sensible, or the process it names is gone (a guard that was killed).
std::optional<GuardState> readGuardState(platform::Platform& platform, const std::string& path);

/// The state file the desktop program looks at.
std::string systemGuardStateFile(platform::Platform& platform);

/// The status line for a guard in this state: "System guard: ...".
std::string guardStatusLine(const GuardState& state);

} // namespace quorvane::protect
