// What the main page shows: its status lines.
#pragma once

#include "app/language.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane::app {

inline constexpr std::string_view kFirstTimeScan = "First Time Scan";

struct HomePageInfo {
  std::string lastScan;   ///< "last scan", or "First Time Scan" when blank
  std::string threats;    ///< "Threats Found " + " " + the number in "threats"
  std::string lastUpdate; ///< "last update", or "-" when blank
  std::string database;   ///< language text "012" + vir.sig's modification time
};

/// The main page's status lines from the settings and vir.sig.
HomePageInfo homePageStatus(platform::Platform& platform, const std::string& appFolder,
                            const Language& language);

/// How a line of the protection overview reads: all is well, worth a look, or needs action.
enum class StatusLevel { Good, Attention, Problem };

struct StatusLine {
  StatusLevel level = StatusLevel::Good;
  std::string title;  ///< short, on its own says the state ("Real-time protection: on")
  std::string detail; ///< what it means or what to do
};

/// The main page's protection overview: the guard, the malware database and the last scan.
struct ProtectionOverview {
  StatusLine protection;
  StatusLine database;
  StatusLine lastScan;
};

/// A malware database of this many keys or fewer is missing (the engine check's rule).
inline constexpr std::int64_t kMissingDatabaseKeys = 2;

ProtectionOverview protectionOverview(platform::Platform& platform, const std::string& appFolder,
                                      bool protectionOn, std::int64_t keyCount);

} // namespace quorvane::app
