// Auto-protect: every program that starts is checked, and a listed threat is ended, logged and
// reported at once.
#pragma once

#include "engine/sigtable.h"
#include "platform/platform.h"
#include "protect/threat_check.h"
#include "threats/alert.h"
#include "threats/threatlog.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace quorvane::protect {

/// The interval of the check.
inline constexpr int kAutoProtectTickMs = 250;
inline constexpr std::string_view kDisableAutoProtectCaption = "Disable Auto Protect";
inline constexpr std::string_view kEnableAutoProtectCaption = "Enable Auto Protect";

/// The full path of the first process whose program path, upper-cased, contains the upper-cased
/// name; "" when none does.
std::string isApplicationRunning(platform::Platform& platform, const std::string& name);

class AutoProtect {
public:
  AutoProtect(platform::Platform& platform, std::string appFolder,
              engine::SignatureDatabase& signatures);

  /// On at start: every run starts protected.
  bool enabled() const { return enabled_; }
  void setEnabled(bool on) { enabled_ = on; }
  /// The tray entry: switches the protection and returns the entry's new caption.
  std::string toggleAutoProtect();

  /// The timer's tick: one CheckNewProcesses while protection is on.
  void tick();
  /// One pass: the first checks every running program; later ones the programs that started
  /// (or replaced their program) since the pass before.
  void checkNewProcesses();
  /// Checks the program of one process; a threat is ended with every other process running the
  /// same file, logged and reported. True for a threat.
  bool checkProgram(const platform::ProcessInfo& process);

  /// Told of every threat found, after it was handled.
  std::function<void(const threats::AlertRecord&)> onThreat;

  bool firstPassDone() const { return firstPassDone_; }
  std::size_t knownCount() const { return known_.size(); }

private:
  struct Known {
    std::string programFile;
    std::uint64_t firstSeen = 0; ///< the pass that first saw it
  };
  void look(platform::ProcessId pid, Known& entry, bool check);

  platform::Platform& p_;
  std::string folder_;
  ThreatCheck check_;
  threats::ThreatLog log_;
  std::atomic<bool> enabled_{true};
  bool firstPassDone_ = false;
  std::uint64_t pass_ = 0;
  std::map<platform::ProcessId, Known> known_;
};

} // namespace quorvane::protect
