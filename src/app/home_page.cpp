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

ProtectionOverview protectionOverview(platform::Platform& platform, const std::string& appFolder,
                                      bool protectionOn, std::int64_t keyCount) {
  SettingsStore settings(platform);
  ProtectionOverview overview;
  overview.protection =
      protectionOn
          ? StatusLine{StatusLevel::Good, "Real-time protection: on",
                       "New programs and USB drives are checked."}
          : StatusLine{StatusLevel::Problem, "Real-time protection: off",
                       "Programs that start are not checked. Turn it on with the switch."};
  if (keyCount <= kMissingDatabaseKeys) {
    std::string server(trimBlanks(settings.setting("update server")));
    overview.database = {
        StatusLevel::Problem, "No malware database yet",
        "Nothing can be detected yet. Press \"Check update Now\" (updates come from " +
            (server.empty() ? std::string("the default server") : server) +
            "; the setting \"update server\" names a mirror), or build one with quorvane sig "
            "build."};
  } else {
    std::string dated;
    if (auto status = platform.files.status(platform::joinPath(appFolder, kVirSigFile)))
      dated = ", from " + platform.clock.generalDate(
                              platform.clock.localTimeOf(status->modifiedNs / 1000000000));
    overview.database = {StatusLevel::Good,
                         "Malware database: " + std::to_string(keyCount) + " signatures",
                         "Installed" + dated + "."};
  }
  std::string last(trimBlanks(settings.setting("last scan")));
  overview.lastScan =
      last.empty() ? StatusLine{StatusLevel::Attention, "No scan yet",
                                "Run a Smart Scan to check the programs on this computer."}
                   : StatusLine{StatusLevel::Good, "Last scan: " + last,
                                "Threats found so far: " +
                                    std::to_string(leadingInteger(settings.setting("threats"))) +
                                    "."};
  return overview;
}

} // namespace quorvane::app
