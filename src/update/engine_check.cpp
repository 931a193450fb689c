// The engine check of a normal start.
#include "update/engine_check.h"

#include "app/settings.h"
#include "app/text.h"
#include "update/signed_files.h"

namespace quorvane::update {

EngineCheckResult runEngineCheck(platform::Platform& platform, const std::string& appFolder,
                                 engine::SignatureDatabase& database, const ProgressFn& progress,
                                 bool tellFailure) {
  EngineCheckResult result;
  database.loadSignatureTable();
  result.countBefore = result.countAfter = database.current()->signatureCount();
  if (result.countBefore > kEngineThreshold)
    return result;

  platform.notifier.messageBox(std::string(kNoEngineText),
                               {std::string(kNoEngineTitle), platform::MessageIcon::Critical});
  app::SettingsStore settings(platform);
  UpdateServer server = updateServerOf(settings);
  std::vector<std::string> keys = trustedKeys(platform.files, appFolder);
  result.authenticated = !keys.empty();
  DownloadResult download =
      downloadFromServer(platform.http, server, server.url(kFirstDatabasePath), false, progress);
  if (!download.ok) {
    result.failure = "the malware database could not be downloaded (" + download.error + ")";
  } else if (std::optional<std::string> problem = signatureDownloadProblem(download.body)) {
    result.failure = "the downloaded malware database is not a signature file (" + *problem + ")";
  } else if (std::optional<std::string> signatureFault =
                 result.authenticated ? downloadedSignatureProblem(
                                            platform.http, server, server.url(kFirstDatabasePath),
                                            download.body, keys, std::nullopt)
                                      : std::nullopt) {
    result.failure = "the downloaded malware database is not signed by a trusted key (" +
                     *signatureFault + ")";
  } else if (std::error_code error =
                 installSignatureFile(platform.files, appFolder, download.body)) {
    result.failure = "vir.sig could not be written (" + error.message() + ")";
  } else {
    result.downloaded = true;
  }
  if (!result.failure.empty() && tellFailure)
    platform.notifier.messageBox(result.failure + ". The program goes on with the signatures it has.",
                                 {std::string(kNoEngineTitle), platform::MessageIcon::Critical});
  database.loadSignatureTable();
  result.countAfter = database.current()->signatureCount();
  return result;
}

std::string missingDatabaseAdvice(platform::Platform& platform, const EngineCheckResult& result) {
  std::string server(app::trimBlanks(app::SettingsStore(platform).setting("update server")));
  return result.failure + ", so nothing can be detected yet.\r\rUpdates come from " +
         (server.empty() ? std::string("the default update server") : server) +
         ". To use a mirror, set \"update server\" in the settings (quorvane settings "
         "\"update server\" https://HOST); to use a list of your own, build the database with "
         "quorvane sig build. The main page shows the state until a database is installed.";
}

} // namespace quorvane::update
