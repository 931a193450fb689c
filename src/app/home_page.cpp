// What the main page shows.
#include "app/home_page.h"

#include "app/appfolder.h"
#include "app/settings.h"
#include "app/text.h"

namespace quorvane::app {

HomePageInfo homePageStatus(platform::Platform& platform, const std::string& appFolder,
                            const Language& language) {
  SettingsStore settings(platform);
  HomePageInfo info;
  info.lastScan = settings.setting("last scan");
  if (trimBlanks(info.lastScan).empty())
    info.lastScan = kFirstTimeScan;
  info.threats = "Threats Found  " + std::to_string(leadingInteger(settings.setting("threats")));
  info.lastUpdate = settings.setting("last update");
  if (trimBlanks(info.lastUpdate).empty())
    info.lastUpdate = "-";
  info.database = language.readLanguageText("012", "Database version: ");
  auto status = platform.files.status(platform::joinPath(appFolder, kVirSigFile));
  if (status) {
    std::int64_t seconds = status->modifiedNs / 1000000000;
    info.database += platform.clock.generalDate(platform.clock.localTimeOf(seconds));
  }
  return info;
}

} // namespace quorvane::app
