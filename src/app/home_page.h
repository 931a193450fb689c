// What the main page shows: the end-of-scan notice and the status lines.
#pragma once

#include "app/language.h"
#include "platform/platform.h"
#include "scan/scan_state.h"

#include <string>
#include <string_view>

namespace quorvane::app {

inline constexpr std::string_view kThreatsFoundNotice = "Finished scanning,Threats found.";
inline constexpr std::string_view kNoThreatNotice = "Finished scanning, No threat found.";
inline constexpr std::string_view kFirstTimeScan = "First Time Scan";

/// `threats`: which of the two end-of-scan notices shows.
std::string_view threats(const scan::ScanState& state);

struct HomePageInfo {
  std::string lastScan;   ///< "last scan", or "First Time Scan" when blank
  std::string threats;    ///< "Threats Found " + " " + the number in "threats"
  std::string lastUpdate; ///< "last update", or "-" when blank
  std::string database;   ///< language text "012" + vir.sig's modification time
};

/// `updateinformation`: the main page's status lines from the settings and vir.sig.
HomePageInfo updateinformation(platform::Platform& platform, const std::string& appFolder,
                               const Language& language);

} // namespace quorvane::app
