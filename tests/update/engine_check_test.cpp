#include "update/engine_check.h"

#include "app/settings.h"
#include "platform/fake/fakes.h"
#include "update_fixtures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::update {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class EngineCheckTest : public ::testing::Test {
protected:
  EngineCheckTest() {
    fake.files.createDirectory("/app");
    app::SettingsStore(fake.platform).setSetting("update server", "https://up.example/");
  }
  EngineCheckResult run() { return runEngineCheck(fake.platform, "/app", database); }

  platform::fake::FakePlatform fake;
  engine::SignatureDatabase database{fake.files, "/app/vir.sig"};
  const std::string zipUrl = "https://up.example/vir.zip";
};

TEST_F(EngineCheckTest, ThreeEntriesPassWithoutAsking) {
  fake.files.put("/app/vir.sig", "1\r\n2\r\n3\r\n");
  EngineCheckResult result = run();
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.countBefore, 3);
  EXPECT_THAT(fake.http.requests, IsEmpty());
  EXPECT_THAT(fake.notifier.messages, IsEmpty());
}

TEST_F(EngineCheckTest, TwoEntriesOrNoFileDownloadTheDatabaseAndReload) {
  for (bool present : {true, false}) {
    fake.http.requests.clear();
    fake.notifier.messages.clear();
    fake.files.removeFile("/app/vir.sig");
    if (present)
      fake.files.put("/app/vir.sig", testing::signatureText(2));
    fake.http.responses[zipUrl] = {200, testing::newSignatures()};

    EngineCheckResult result = run();
    EXPECT_TRUE(result.ok()) << result.failure;
    EXPECT_TRUE(result.downloaded);
    EXPECT_EQ(result.countBefore, present ? 2 : 0);
    EXPECT_EQ(result.countAfter, 5);
    EXPECT_EQ(database.current()->signatureCount(), 5);
    EXPECT_EQ(fake.files.content("/app/vir.sig"), testing::newSignatures());
    EXPECT_FALSE(fake.files.exists("/app/vir.zip"));
    ASSERT_EQ(fake.http.requests.size(), 1u);
    EXPECT_EQ(fake.http.requests[0].url, zipUrl);
    EXPECT_TRUE(fake.http.requests[0].httpsOnly);
    ASSERT_THAT(fake.notifier.messages, ElementsAre(std::string(kNoEngineText)));
    EXPECT_EQ(fake.notifier.messageStyles[0].title, kNoEngineTitle);
  }
}

TEST_F(EngineCheckTest, ABadDownloadKeepsWhatThereIs) {
  fake.files.put("/app/vir.sig", testing::signatureText(2));
  fake.http.responses[zipUrl] = {200, "<html>maintenance</html>"};
  EngineCheckResult result = run();
  EXPECT_FALSE(result.ok());
  EXPECT_THAT(result.failure, HasSubstr("not a signature file"));
  EXPECT_EQ(fake.files.content("/app/vir.sig"), testing::signatureText(2));
  EXPECT_EQ(result.countAfter, 2);
  ASSERT_EQ(fake.notifier.messages.size(), 2u);
  EXPECT_THAT(fake.notifier.messages[1], HasSubstr("goes on"));
}

} // namespace
} // namespace quorvane::update
