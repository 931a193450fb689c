#include "update/download.h"

#include "platform/fake/fakes.h"
#include "update_fixtures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::update {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(ProgressPercentTest, RoundsHalvesToEven) {
  struct Case {
    std::uint64_t total, done;
    int percent;
  } cases[] = {
      {2049, 1024, 50}, {2049, 2048, 100}, {2049, 2049, 100}, {200, 1, 0},   // 0.5 -> 0
      {200, 3, 2},      {200, 5, 2},       {200, 7, 4},       {1000, 5, 0},  // 1.5 -> 2, 2.5 -> 2
      {8, 1, 12},       {8, 3, 38},        {1, 1, 100},       {0, 0, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(progressPercent(c.total, c.done), c.percent) << c.total << " " << c.done;
}

TEST(DownloadFileNameTest, TakesTheLastSegment) {
  EXPECT_EQ(downloadFileName("https://h/x/vir2.sig", true), "vir2.sig");
  EXPECT_EQ(downloadFileName("https://h/x/vir2.sig\r\n", true), "vir2.sig");
  EXPECT_EQ(downloadFileName("https://h/x/vir2.sig\r\n", false), "vir2.sig\r\n");
  EXPECT_EQ(downloadFileName("vir.zip", true), "vir.zip");
  EXPECT_EQ(downloadFileName("https://h/", true), "");
}

TEST(UpdateServerTest, SettingsChooseTheServerAndDefaultIsSecure) {
  platform::fake::FakePlatform fake;
  app::SettingsStore settings(fake.platform);
  UpdateServer fallback = updateServerOf(settings);
  EXPECT_EQ(fallback.baseUrl, kDefaultUpdateServer);
  EXPECT_TRUE(fallback.secure());
  EXPECT_EQ(fallback.url("/vir.zip"), std::string(kDefaultUpdateServer) + "/vir.zip");

  settings.setSetting("update server", " http://mirror.lan:8080/q/ ");
  settings.setSetting("update ca file", "/etc/q/ca.pem");
  UpdateServer own = updateServerOf(settings);
  EXPECT_FALSE(own.secure());
  EXPECT_EQ(own.url("/updates.txt"), "http://mirror.lan:8080/q/updates.txt");
  platform::HttpRequest request = own.request(own.url("/vir.zip"));
  EXPECT_EQ(request.caFile, "/etc/q/ca.pem");
  EXPECT_FALSE(request.httpsOnly);
  EXPECT_EQ(request.connectTimeout, std::chrono::seconds(15));
  EXPECT_EQ(request.stallTimeout, std::chrono::seconds(30));
  EXPECT_TRUE(fallback.request("https://x/y").httpsOnly);
}

class DownloadFromServerTest : public ::testing::Test {
protected:
  DownloadResult fetch(const std::string& url) {
    return downloadFromServer(fake.http, server, url, true, [&](int p) { progress.push_back(p); });
  }
  platform::fake::FakePlatform fake;
  UpdateServer server;
  std::vector<int> progress;
};

TEST_F(DownloadFromServerTest, ReportsOneValuePerChunkOfTheAnnouncedLength) {
  for (std::size_t piece : {std::size_t{0}, std::size_t{1}, std::size_t{1500}}) {
    progress.clear();
    fake.http.responses["https://u/a.sig"] = {200, std::string(2049, 'x'), true, {}, piece};
    DownloadResult result = fetch("https://u/a.sig");
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.body.size(), 2049u);
    EXPECT_EQ(result.name, "a.sig");
    EXPECT_THAT(progress, ElementsAre(50, 100, 100)) << "pieces of " << piece;
  }
}

TEST_F(DownloadFromServerTest, WithoutALengthTheWholeBodyIsTakenAndTheBarEndsFull) {
  fake.http.responses["https://u/a.sig"] = {200, std::string(3000, 'x'), false, {}, 700};
  DownloadResult result = fetch("https://u/a.sig");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.body.size(), 3000u);
  EXPECT_THAT(progress, ElementsAre(100));
}

TEST_F(DownloadFromServerTest, FailuresAreReportedNotSwallowed) {
  fake.http.responses["https://u/missing"] = {404, "<html>no</html>"};
  fake.http.responses["https://u/cut"] = {
      200, "abc", true, make_error_code(platform::HttpError::Incomplete)};
  EXPECT_THAT(fetch("https://u/missing").error, HasSubstr("404"));
  EXPECT_THAT(fetch("https://u/cut").error, HasSubstr("before the whole file"));
  EXPECT_FALSE(fetch("https://nowhere/x").ok);
  server.maxBytes = 10;
  fake.http.responses["https://u/big"] = {200, std::string(11, 'x')};
  EXPECT_THAT(fetch("https://u/big").error, HasSubstr("too many"));
}

TEST_F(DownloadFromServerTest, ASecureServerNeverDownloadsOverPlainHttp) {
  fake.http.responses["http://u/a.sig"] = {200, "x"};
  DownloadResult result = fetch("  http://u/a.sig ");
  EXPECT_FALSE(result.ok);
  EXPECT_THAT(fake.http.requests, IsEmpty());

  server.baseUrl = "http://u";
  EXPECT_TRUE(fetch("  http://u/a.sig ").ok); // an http server was chosen on purpose
  ASSERT_EQ(fake.http.requests.size(), 1u);
  EXPECT_EQ(fake.http.requests[0].url, "http://u/a.sig");
}

TEST(SignatureDownloadProblemTest, OnlyCompleteSignatureFilesPass) {
  using testing::signatureText;
  struct Case {
    std::string body;
    bool passes;
  } cases[] = {
      {signatureText(3), true},
      {signatureText(3, '9') + signatureText(2, '1'), true}, // order is mended on load
      {"", false},
      {signatureText(2), false},
      {"<html><body>Service Unavailable</body></html>\r\n", false},
      {signatureText(3) + "garbage\r\n", false},
      {signatureText(2) + "\r\n" + signatureText(1, '5'), false},
      {signatureText(3).substr(0, 50), false}, // cut inside the second key
  };
  for (const Case& c : cases)
    EXPECT_EQ(!signatureDownloadProblem(c.body).has_value(), c.passes) << c.body;
}

} // namespace
} // namespace quorvane::update
