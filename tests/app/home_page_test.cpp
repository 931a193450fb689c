#include "app/home_page.h"

#include "app/settings.h"
#include "platform/fake/fakes.h"

#include <gtest/gtest.h>

namespace quorvane::app {
namespace {

TEST(HomePageTest, StatusLinesFromTheSettingsAndVirSig) {
  platform::fake::FakePlatform fake;
  fake.files.createDirectory("/app");
  Language language(fake.platform, "/app");
  language.loadLanguage(); // no lang folder: the built-in captions
  HomePageInfo blank = homePageStatus(fake.platform, "/app", language);
  EXPECT_EQ(blank.lastScan, "First Time Scan");
  EXPECT_EQ(blank.threats, "Threats Found  0");
  EXPECT_EQ(blank.lastUpdate, "-");
  EXPECT_EQ(blank.database, "Database version: ");

  SettingsStore settings(fake.platform);
  settings.setSetting("last scan", "09/12/2026 10:00:00");
  settings.setSetting("threats", "12");
  settings.setSetting("last update", "08-12-2026");
  fake.files.put("/app/vir.sig", "1\r\n");
  HomePageInfo filled = homePageStatus(fake.platform, "/app", language);
  EXPECT_EQ(filled.lastScan, "09/12/2026 10:00:00");
  EXPECT_EQ(filled.threats, "Threats Found  12");
  EXPECT_EQ(filled.lastUpdate, "08-12-2026");
  // The fake file system stamps files at 1 ns after the epoch and onwards.
  EXPECT_EQ(filled.database, "Database version: 01/01/1970");
}

TEST(FakeClockTest, EpochSecondsToCivilTime) {
  platform::fake::FakeClock clock;
  platform::LocalDateTime when = clock.localTimeOf(1796860800 + 3661); // 2026-12-10 01:01:01
  EXPECT_EQ(when.year, 2026);
  EXPECT_EQ(when.month, 12);
  EXPECT_EQ(when.day, 10);
  EXPECT_EQ(when.hour, 1);
  EXPECT_EQ(when.minute, 1);
  EXPECT_EQ(when.second, 1);
  EXPECT_EQ(when.weekday, 4); // a Thursday
}

TEST(ProtectionOverviewTest, EachLineSaysItsStateAndWhatToDo) {
  platform::fake::FakePlatform fake;
  fake.files.createDirectory("/app");
  SettingsStore settings(fake.platform);
  // Two keys or fewer count as no database (the engine check's rule); the mirror is named.
  settings.setSetting("update server", "https://mirror.example");
  ProtectionOverview fresh = protectionOverview(fake.platform, "/app", false, 2);
  EXPECT_EQ(fresh.protection.level, StatusLevel::Problem);
  EXPECT_EQ(fresh.protection.title, "Real-time protection: off");
  EXPECT_EQ(fresh.database.level, StatusLevel::Problem);
  EXPECT_NE(fresh.database.detail.find("https://mirror.example"), std::string::npos);
  EXPECT_EQ(fresh.lastScan.level, StatusLevel::Attention);

  fake.files.put("/app/vir.sig", "keys");
  settings.setSetting("last scan", "09/12/2026 10:00:00");
  settings.setSetting("threats", "4");
  ProtectionOverview ready = protectionOverview(fake.platform, "/app", true, 3);
  EXPECT_EQ(ready.protection.level, StatusLevel::Good);
  EXPECT_EQ(ready.database.level, StatusLevel::Good);
  EXPECT_EQ(ready.database.title, "Malware database: 3 signatures");
  EXPECT_EQ(ready.lastScan.title, "Last scan: 09/12/2026 10:00:00");
  EXPECT_EQ(ready.lastScan.detail, "Threats found so far: 4.");
}

} // namespace
} // namespace quorvane::app
