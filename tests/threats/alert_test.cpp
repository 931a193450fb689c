// The threat alert's record and actions.
#include "threats/alert.h"

#include "app/settings.h"
#include "platform/fake/fakes.h"
#include "threats/quarantine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::threats {
namespace {

using ::testing::ElementsAre;

class AlertTest : public ::testing::Test {
protected:
  platform::fake::FakePlatform fake;
  ThreatAlert alert{fake.platform, "/app"};
  app::SettingsStore settings{fake.platform};
  AlertRecord record{"bad.exe", "bae60998ffe4923b131e3d6e4c19993e", "/d/bad.exe", 42}; // of "bad"

  void SetUp() override {
    fake.files.createDirectory("/app");
    fake.files.createDirectory("/d");
    fake.files.put("/d/bad.exe", "bad");
  }
};

TEST_F(AlertTest, RecordRoundTrips) {
  EXPECT_EQ(record.text(), "bad.exe|bae60998ffe4923b131e3d6e4c19993e|/d/bad.exe|42");
  AlertRecord back = AlertRecord::parse(record.text());
  EXPECT_EQ(back.name, "bad.exe");
  EXPECT_EQ(back.path, "/d/bad.exe");
  EXPECT_EQ(back.pid, 42u);
  AlertRecord partial = AlertRecord::parse("only.exe|abc");
  EXPECT_EQ(partial.digest, "abc");
  EXPECT_EQ(partial.path, "");
  EXPECT_EQ(partial.pid, 0u);
}

TEST_F(AlertTest, WithoutASettingTheUserDecides) {
  alert.showThreatAlert(record);
  EXPECT_THAT(fake.notifier.alerts, ElementsAre(record.text()));
  EXPECT_TRUE(fake.files.exists("/d/bad.exe"));
  settings.setSetting("threatfound", "3");
  alert.showThreatAlert(record);
  EXPECT_TRUE(fake.files.exists("/d/bad.exe"));
}

TEST_F(AlertTest, QuarantineSettingActsAtOnce) {
  settings.setSetting("threatfound", "2");
  alert.showThreatAlert(record);
  EXPECT_FALSE(fake.files.exists("/d/bad.exe"));
  EXPECT_EQ(fake.files.content("/app/qrnt/bad.exe.qrt"), "bad");
  EXPECT_EQ(Quarantine(fake.platform, "/app").showQuarantine().size(), 1u);
}

TEST_F(AlertTest, DeleteSettingActsAtOnce) {
  settings.setSetting("threatfound", "1");
  alert.showThreatAlert(record);
  EXPECT_FALSE(fake.files.exists("/d/bad.exe"));
}

TEST_F(AlertTest, AFileThatIsNoLongerTheThreatIsNeitherDeletedNorQuarantined) {
  // By the time the user clicks, another file stands at the path.
  fake.files.put("/d/bad.exe", "a document the user saved there since");
  alert.deleteThisFile(record);
  alert.quarantineThisFile(record);
  EXPECT_EQ(fake.files.content("/d/bad.exe"), "a document the user saved there since");
  EXPECT_TRUE(Quarantine(fake.platform, "/app").showQuarantine().empty());
}

TEST_F(AlertTest, SafeLinkAppendsTheDigestLine) {
  alert.markSafe(record);
  EXPECT_EQ(fake.files.content("/app/safe.sig"), "BAE60998FFE4923B131E3D6E4C19993E\r\n");
}

TEST_F(AlertTest, ReadMoreUrlFollowsTheSitesLayout) {
  AlertRecord odd{"A:b,~?.EXE", "9F00", "/x", 0};
  EXPECT_EQ(alert.readMoreUrl(odd), "https://info.quorvane.com/md/9/ab.exe9f00.html");
  settings.setSetting("info site", "files.example.org");
  EXPECT_EQ(alert.readMoreUrl(record),
            "https://files.example.org/md/b/bad.exebae60998ffe4923b131e3d6e4c19993e.html");
}

} // namespace
} // namespace quorvane::threats
