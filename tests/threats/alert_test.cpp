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
  AlertRecord record{"bad.exe", "9f86d081884c7d659a2feaa0c55ad015", "/d/bad.exe", 42};

  void SetUp() override {
    fake.files.createDirectory("/app");
    fake.files.createDirectory("/d");
    fake.files.put("/d/bad.exe", "bad");
  }
};

TEST_F(AlertTest, RecordRoundTrips) {
  EXPECT_EQ(record.text(), "bad.exe|9f86d081884c7d659a2feaa0c55ad015|/d/bad.exe|42");
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
  alert.ShowThreatAlert(record);
  EXPECT_THAT(fake.notifier.alerts, ElementsAre(record.text()));
  EXPECT_TRUE(fake.files.exists("/d/bad.exe"));
  settings.setSetting("threatfound", "3");
  alert.ShowThreatAlert(record);
  EXPECT_TRUE(fake.files.exists("/d/bad.exe"));
}

TEST_F(AlertTest, QuarantineSettingActsAtOnce) {
  settings.setSetting("threatfound", "2");
  alert.ShowThreatAlert(record);
  EXPECT_FALSE(fake.files.exists("/d/bad.exe"));
  EXPECT_EQ(fake.files.content("/app/qrnt/bad.exe.qrt"), "bad");
  EXPECT_EQ(Quarantine(fake.platform, "/app").ShowQuarantine().size(), 1u);
}

TEST_F(AlertTest, DeleteSettingActsAtOnce) {
  settings.setSetting("threatfound", "1");
  alert.ShowThreatAlert(record);
  EXPECT_FALSE(fake.files.exists("/d/bad.exe"));
}

TEST_F(AlertTest, SafeLinkAppendsTheDigestLine) {
  alert.MarkSafe(record);
  EXPECT_EQ(fake.files.content("/app/safe.sig"), "9F86D081884C7D659A2FEAA0C55AD015\r\n");
}

TEST_F(AlertTest, ReadMoreUrlFollowsTheSitesLayout) {
  AlertRecord odd{"A:b,~?.EXE", "9F00", "/x", 0};
  EXPECT_EQ(alert.ReadMoreUrl(odd), "https://info.quorvane.com/md/9/ab.exe9f00.html");
  settings.setSetting("info site", "files.example.org");
  EXPECT_EQ(alert.ReadMoreUrl(record),
            "https://files.example.org/md/9/bad.exe9f86d081884c7d659a2feaa0c55ad015.html");
}

} // namespace
} // namespace quorvane::threats
