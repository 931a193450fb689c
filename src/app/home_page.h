// What the main page shows: its status lines.
#pragma once

#include "app/language.h"
#include "platform/platform.h"

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

} // namespace quorvane::app
