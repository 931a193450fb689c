// What the main page shows.
#include "app/home_page.h"

#include "app/settings.h"
#include "app/text.h"
#include "engine/datafiles.h"


namespace quorvane::app {

std::string_view threats(const scan::ScanState& state) {
  bool found = state.memoryThreats > 0 || state.folderThreats > 0 || state.startupThreats > 0 ||
               state.componentThreats > 0;
  return found ? kThreatsFoundNotice : kNoThreatNotice;
}

HomePageInfo updateinformation(platform::Platform& platform, const std::string& appFolder,
                               const Language& language) {
  SettingsStore settings(platform);
  HomePageInfo info;
  info.lastScan = settings.setting("last scan");
  if (trimBlanks(info.lastScan).empty())
    info.lastScan = kFirstTimeScan;
  info.threats = "Threats Found  " + std::to_string(LeadingInteger(settings.setting("threats")));
  info.lastUpdate = settings.setting("last update");
  if (trimBlanks(info.lastUpdate).empty())
    info.lastUpdate = "-";
  info.database = language.ReadLanguageText("012", "Database version: ");
  auto status = platform.files.status(platform::joinPath(appFolder, engine::kVirSigFile));
  if (status) {
    std::int64_t seconds = status->modifiedNs / 1000000000;
    info.database += platform.clock.generalDate(platform.clock.localTimeOf(seconds));
  }
  return info;
}

} // namespace quorvane::app
