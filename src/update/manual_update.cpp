// The manual update.
#include "update/manual_update.h"

#include "app/settings.h"
#include "app/text.h"
#include "update/signed_files.h"

#include <charconv>
#include <cstdio>
#include <limits>

namespace quorvane::update {
namespace {

constexpr std::size_t kManifestLimit = 64 * 1024;

/// A 16-bit integer written alone (blanks around it allowed); nothing otherwise.
std::optional<std::int16_t> parseUpdateNumber(std::string_view text) {
  text = app::trimBlanks(text);
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max())
    return std::nullopt;
  return static_cast<std::int16_t>(value);
}

} // namespace

std::optional<Manifest> parseManifest(std::string_view text) {
  std::vector<std::string_view> lines = app::splitLines(text);
  if (lines.empty())
    return std::nullopt;
  std::string_view line = lines.front();
  std::size_t bar = line.find('|');
  if (bar == std::string_view::npos)
    return std::nullopt;
  std::optional<std::int16_t> number = parseUpdateNumber(line.substr(0, bar));
  std::string_view url = line.substr(bar + 1);
  url = app::trimBlanks(url.substr(0, url.find('|')));
  if (!number || url.empty())
    return std::nullopt;
  return Manifest{*number, std::string(url)};
}

std::string updateDateText(const platform::LocalDateTime& when) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d-%02d-%04d", when.day % 100, when.month % 100,
                when.year % 10000);
  return text;
}

UpdateOutcome ManualUpdate::fail(const std::string& why) {
  failure_ = why;
  p_.notifier.messageBox("The update failed: " + why +
                             ". The malware definitions in use are kept.",
                         {std::string(kUpdateTitle), platform::MessageIcon::Critical});
  return UpdateOutcome::Failed;
}

UpdateOutcome ManualUpdate::checkUpdateNow() {
  failure_.clear();
  if (!p_.notifier.ask(std::string(kUpdateQuestion),
                       {std::string(kUpdateTitle), platform::MessageIcon::Question}))
    return UpdateOutcome::Declined;
  if (asked)
    asked();

  app::SettingsStore settings(p_);
  settings.grantKeyAccess(platform::Hive::LocalMachine, app::kVendorKey, p_.environment.userName());
  // No number yet (or one that is not a number): nothing is installed, any update is newer.
  std::int16_t localNumber = parseUpdateNumber(settings.setting("update N")).value_or(0);

  // The server is asked every time, however recent the last check was.
  UpdateServer server = updateServerOf(settings);
  UpdateServer manifestServer = server;
  manifestServer.maxBytes = kManifestLimit;
  DownloadResult manifestText =
      downloadFromServer(p_.http, manifestServer, manifestServer.url(kManifestPath), false);
  if (!manifestText.ok)
    return fail("the update server could not be asked (" + manifestText.error + ")");
  std::optional<Manifest> manifest = parseManifest(manifestText.body);
  if (!manifest)
    return fail("the update server's answer is not an update list");
  // With a trusted key, the list and the database it names count only when signed by it: a
  // mirror (or whoever stands between) cannot hand out signatures of its own choosing.
  std::vector<std::string> keys = trustedKeys(p_.files, appFolder_);
  authenticated_ = !keys.empty();
  if (authenticated_) {
    if (std::optional<std::string> problem =
            downloadedSignatureProblem(p_.http, manifestServer, manifestServer.url(kManifestPath),
                                       manifestText.body, keys, std::nullopt))
      return fail("the update list is not signed by a trusted key (" + *problem + ")");
  }

  std::string today = updateDateText(p_.clock.localNow());
  if (localNumber >= manifest->number) {
    settings.setSetting("last update", today); // the day of the last check
    p_.notifier.messageBox(std::string(kUpToDateText));
    return UpdateOutcome::UpToDate;
  }

  DownloadResult download = downloadFromServer(p_.http, server, manifest->url, true, progress);
  if (!download.ok)
    return fail("the new malware definitions could not be downloaded (" + download.error + ")");
  downloadFinished_ = true;
  if (std::optional<std::string> problem = signatureDownloadProblem(download.body))
    return fail("the downloaded file is not a signature file (" + *problem + ")");
  if (authenticated_) {
    if (std::optional<std::string> problem = downloadedSignatureProblem(
            p_.http, server, manifest->url, download.body, keys, manifest->number))
      return fail("the new malware definitions are not signed by a trusted key for update " +
                  std::to_string(manifest->number) + " (" + *problem + ")");
  }
  if (std::error_code error = installSignatureFile(p_.files, appFolder_, download.body))
    return fail("vir.sig could not be replaced (" + error.message() + ")");

  settings.setSetting("last update", today);
  settings.setSetting("update N", std::to_string(manifest->number));
  settings.regWriteNumber("HKEY_LOCAL_MACHINE\\" + std::string(app::kSettingsKey), "update N",
                          static_cast<std::uint32_t>(static_cast<std::int32_t>(manifest->number)));
  p_.notifier.messageBox(std::string(kUpdatedText));
  return UpdateOutcome::Updated;
}

} // namespace quorvane::update
