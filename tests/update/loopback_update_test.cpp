// The updates against real HTTP and HTTPS servers on 127.0.0.1.
#include "app/settings.h"
#include "platform/fake/fakes.h"
#include "platform/linux/linux_platform.h"
#include "support/loopback_server.h"
#include "support/run_cli.h"
#include "support/temp_dir.h"
#include "update/download.h"
#include "update/engine_check.h"
#include "update/manual_update.h"
#include "served_home.h"
#include "update_fixtures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace quorvane::update {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::LoopbackServer;
using testing::Route;

/// A temporary application folder on disk, real transfers, fake everything else.
class LoopbackUpdateTest : public ::testing::TestWithParam<LoopbackServer::Scheme>,
                           protected testing::ServedHome {
protected:
  LoopbackUpdateTest() : ServedHome(GetParam()) {}
  ManualUpdate update{p, home.path()};
};

TEST_P(LoopbackUpdateTest, NewerUpdateIsDownloadedInstalledAndRecorded) {
  settings.setSetting("update N", "56");
  server.route("/updates.txt", {.body = "57|" + server.baseUrl() + "/files/vir2.sig\r\n"});
  server.route("/files/vir2.sig", {.body = testing::newSignatures()});
  EXPECT_EQ(update.checkUpdateNow(), UpdateOutcome::Updated) << update.failure();
  EXPECT_EQ(virSig(), testing::newSignatures());
  EXPECT_EQ(settings.setting("update N"), "57");
  EXPECT_THAT(server.requests(), ElementsAre("/updates.txt", "/files/vir2.sig"));
  EXPECT_FALSE(std::filesystem::exists(home / "vir2.sig"));
}

TEST_P(LoopbackUpdateTest, TheSameDayTwiceAsksTheServerTwice) {
  settings.setSetting("update N", "57");
  server.route("/updates.txt", {.body = "57|" + server.baseUrl() + "/vir.sig"});
  EXPECT_EQ(update.checkUpdateNow(), UpdateOutcome::UpToDate);
  EXPECT_EQ(update.checkUpdateNow(), UpdateOutcome::UpToDate);
  EXPECT_THAT(server.requests(), ElementsAre("/updates.txt", "/updates.txt"));
  EXPECT_THAT(fake.notifier.messages,
              ElementsAre(std::string(kUpToDateText), std::string(kUpToDateText)));
  EXPECT_EQ(virSig(), testing::oldSignatures());
}

TEST_P(LoopbackUpdateTest, BadDownloadsKeepTheOldFileByteForByte) {
  const std::string good = testing::newSignatures();
  struct Case {
    const char* what;
    Route route;
  } cases[] = {
      {"404", {.status = 404, .body = "<html>Not Found</html>", .contentType = "text/html"}},
      {"truncated", {.body = good, .sendBytes = good.size() / 2}},
      {"html", {.body = "<!DOCTYPE html><html><body>Captive portal</body></html>",
                .contentType = "text/html"}},
      {"empty", {.body = ""}},
  };
  settings.setSetting("update N", "1");
  server.route("/updates.txt", {.body = "2|" + server.baseUrl() + "/vir.sig"});
  for (const Case& c : cases) {
    server.route("/vir.sig", c.route);
    EXPECT_EQ(update.checkUpdateNow(), UpdateOutcome::Failed) << c.what;
    EXPECT_EQ(virSig(), testing::oldSignatures()) << c.what;
    EXPECT_EQ(settings.setting("update N"), "1") << c.what;
  }
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(home.path()))
    if (entry.path().filename() != "ca.pem")
      left.push_back(entry.path().filename().string());
  EXPECT_THAT(left, ElementsAre("vir.sig")); // nothing half-downloaded lies about
}

TEST_P(LoopbackUpdateTest, MissingVirSigIsDownloadedAtTheEngineCheck) {
  std::filesystem::remove(home / "vir.sig");
  server.route("/vir.zip", {.body = testing::newSignatures()});
  engine::SignatureDatabase database(files, home / "vir.sig");
  EngineCheckResult result = runEngineCheck(p, home.path(), database);
  EXPECT_TRUE(result.ok()) << result.failure;
  EXPECT_EQ(result.countAfter, 5);
  EXPECT_EQ(virSig(), testing::newSignatures());
  EXPECT_FALSE(std::filesystem::exists(home / "vir.zip"));
  EXPECT_THAT(fake.notifier.messages, ElementsAre(std::string(kNoEngineText)));
}

TEST_P(LoopbackUpdateTest, ProgressOfA2049ByteBody) {
  server.route("/big", {.body = std::string(2049, 'x')});
  std::vector<int> bar;
  DownloadResult result =
      downloadFromServer(http, updateServerOf(settings), server.baseUrl() + "/big", true,
                         [&](int percent) { bar.push_back(percent); });
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.body.size(), 2049u);
  EXPECT_THAT(bar, ElementsAre(50, 100, 100));
}

TEST_P(LoopbackUpdateTest, AStalledTransferIsAbandoned) {
  server.route("/slow", {.body = std::string(5000, 'x'),
                         .sendBytes = 100,
                         .holdOpen = std::chrono::seconds(20)});
  UpdateServer limits = updateServerOf(settings);
  limits.stallTimeout = std::chrono::seconds(1);
  DownloadResult result = downloadFromServer(http, limits, server.baseUrl() + "/slow", true);
  EXPECT_FALSE(result.ok);
  EXPECT_THAT(result.error, HasSubstr("in time"));
}

INSTANTIATE_TEST_SUITE_P(Schemes, LoopbackUpdateTest,
                         ::testing::Values(LoopbackServer::Scheme::Http,
                                           LoopbackServer::Scheme::Https),
                         [](const auto& info) {
                           return info.param == LoopbackServer::Scheme::Http ? "Http" : "Https";
                         });

TEST(LoopbackTlsTest, AnUnknownCertificateOrADowngradeIsRefused) {
  testing::TempDir home;
  LoopbackServer secure(LoopbackServer::Scheme::Https, home / "ca.pem");
  LoopbackServer plain(LoopbackServer::Scheme::Http);
  secure.route("/vir.zip", {.body = testing::newSignatures()});
  secure.route("/moved", {.status = 302, .location = plain.baseUrl() + "/vir.zip"});
  plain.route("/vir.zip", {.body = testing::newSignatures()});
  platform::CurlHttp http;
  UpdateServer server;
  server.baseUrl = secure.baseUrl();

  DownloadResult untrusted = downloadFromServer(http, server, server.url("/vir.zip"), false);
  EXPECT_FALSE(untrusted.ok);
  EXPECT_THAT(untrusted.error, HasSubstr("prove who it is"));

  server.caFile = home / "ca.pem";
  EXPECT_TRUE(downloadFromServer(http, server, server.url("/vir.zip"), false).ok);
  DownloadResult downgraded = downloadFromServer(http, server, server.url("/moved"), false);
  EXPECT_FALSE(downgraded.ok);
  EXPECT_THAT(plain.requests(), ::testing::IsEmpty());
}

TEST(QuorvaneUpdateCommandTest, UpdatesFromTheServerAndExitsByOutcome) {
  testing::TempDir home;
  LoopbackServer server(LoopbackServer::Scheme::Https, home / "ca.pem");
  home.write("vir.sig", testing::oldSignatures());
  auto q = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--home", home.path()});
    return args;
  };
  ASSERT_EQ(testing::runCli(q({"settings", "update server", server.baseUrl()})).status, 0);
  ASSERT_EQ(testing::runCli(q({"settings", "update ca file", home / "ca.pem"})).status, 0);

  server.route("/updates.txt", {.body = "3|" + server.baseUrl() + "/v3.sig\r\n"});
  server.route("/v3.sig", {.body = testing::newSignatures()});
  auto declined = testing::runCli(q({"update"}), "n\n");
  EXPECT_EQ(declined.status, 1);
  EXPECT_THAT(declined.out, HasSubstr(std::string(kUpdateQuestion)));

  auto updated = testing::runCli(q({"update", "--yes"}));
  EXPECT_EQ(updated.status, 0) << updated.out << updated.err;
  EXPECT_THAT(updated.out, HasSubstr(std::string(kUpdatedText)));
  EXPECT_EQ(home.read("vir.sig"), testing::newSignatures());

  auto again = testing::runCli(q({"update", "--yes"}));
  EXPECT_EQ(again.status, 0);
  EXPECT_THAT(again.out, HasSubstr(std::string(kUpToDateText)));

  server.route("/updates.txt", {.body = "4|" + server.baseUrl() + "/v4.sig\r\n"});
  auto failed = testing::runCli(q({"update", "--yes"}));
  EXPECT_EQ(failed.status, 2);
  EXPECT_THAT(failed.out, HasSubstr("404"));
  EXPECT_EQ(home.read("vir.sig"), testing::newSignatures());
}

} // namespace
} // namespace quorvane::update
