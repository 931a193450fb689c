#include "schedule/scheduler.h"

#include "platform/fake/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::schedule {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

/// A weekday from Sunday = 0; 2026-12-07 is a Monday.
platform::LocalDateTime at(int day, int hour, int minute, int second = 0) {
  return {2026, 12, day, hour, minute, second, (day - 6) % 7};
}

TEST(WeekdayNumberTest, FirstTwoLettersOfTheLongName) {
  EXPECT_EQ(weekdayNumber("Monday"), 1);
  EXPECT_EQ(weekdayNumber("TUESDAY"), 2);
  EXPECT_EQ(weekdayNumber("sunday"), 7);
  EXPECT_EQ(weekdayNumber("lundi"), 0);
  EXPECT_EQ(weekdayNumber(""), 0);
  EXPECT_EQ(englishWeekdayName(at(8, 0, 0).weekday), "Tuesday");
}

TEST(ScheduleMatchesTest, DayAndMinute) {
  platform::fake::FakePlatform fake;
  app::SettingsStore settings(fake.platform);
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, const char*>> stored;
    platform::LocalDateTime now;
    bool fires;
  } cases[] = {
      {"every day 07:30", {{"everyweek_all", "1"}, {"starthour", "7"}, {"startmin", "30"}},
       at(10, 7, 30, 49), true},
      {"every day, a minute late", {{"everyweek_all", "1"}, {"starthour", "7"}, {"startmin", "30"}},
       at(10, 7, 31), false},
      {"Tuesday on a Tuesday", {{"everyweek_tue", "1"}, {"starthour", "12"}, {"startmin", "5"}},
       at(8, 12, 5), true},
      {"Tuesday on a Monday", {{"everyweek_tue", "1"}, {"starthour", "12"}, {"startmin", "5"}},
       at(7, 12, 5), false},
      {"no minute stored is 0", {{"everyweek_all", "1"}, {"starthour", "9"}}, at(9, 9, 0), true},
      {"nothing stored: no day", {}, at(9, 0, 0), false},
      {"hour not a number is 0", {{"everyweek_all", "1"}, {"starthour", "abc"}}, at(9, 0, 0), true},
      {"hour 25 never", {{"everyweek_all", "1"}, {"starthour", "25"}}, at(9, 1, 0), false},
      {"huge hour never", {{"everyweek_all", "1"}, {"starthour", "4294967297"}}, at(9, 1, 0), false},
      {"blanks before the number", {{"everyweek_all", "1"}, {"starthour", " 7"}, {"startmin", "5x"}},
       at(9, 7, 5), true},
  };
  for (const Case& c : cases) {
    for (std::string_view name : app::settingNames())
      settings.setSetting(name, "");
    for (const auto& [name, value] : c.stored)
      settings.setSetting(name, value);
    EXPECT_EQ(scheduleMatches(readSchedule(settings), c.now), c.fires) << c.what;
  }
}

class SchedulerTest : public ::testing::Test {
protected:
  SchedulerTest() {
    settings.setSetting("everyweek_all", "1");
    settings.setSetting("starthour", "7");
    settings.setSetting("startmin", "30");
    settings.setSetting("scanmode", "1");
  }
  bool tickAt(const platform::LocalDateTime& now) {
    fake.clock.now = now;
    return scheduler.tick();
  }
  platform::fake::FakePlatform fake;
  app::SettingsStore settings{fake.platform};
  std::vector<std::string> calls;
  Scheduler scheduler{fake.platform,
                      {[&] { calls.push_back("main page"); },
                       [&] { calls.push_back("quick, shutdowns so far " +
                                             std::to_string(fake.power.shutdowns)); },
                       [&] { calls.push_back("smart"); }}};
};

TEST_F(SchedulerTest, FiresOnceAtTheMinuteOfEveryDay) {
  scheduler.loadSchedule();
  EXPECT_FALSE(tickAt(at(9, 7, 29, 40)));
  EXPECT_TRUE(tickAt(at(9, 7, 30, 30)));
  EXPECT_FALSE(tickAt(at(9, 7, 30, 59))) << "never twice within one minute";
  EXPECT_FALSE(tickAt(at(9, 7, 31, 20)));
  EXPECT_TRUE(tickAt(at(10, 7, 30, 10))) << "and again the next day";
  EXPECT_THAT(calls, ElementsAre("main page", "quick, shutdowns so far 0", "main page",
                                 "quick, shutdowns so far 0"));
  EXPECT_EQ(fake.power.shutdowns, 0);
}

TEST_F(SchedulerTest, ShutdownFollowsTheScanAndIsReadAtThatMoment) {
  settings.setSetting("scanmode", "2");
  scheduler.loadSchedule();
  // The scan changes the settings and reloads the schedule while the tick runs.
  Scheduler changing{fake.platform,
                     {{}, {}, [&] {
                        settings.setSetting("shutdown", "1");
                        settings.setSetting("startmin", "45");
                        scheduler.loadSchedule();
                        calls.push_back("smart");
                      }}};
  changing.loadSchedule();
  fake.clock.now = at(9, 7, 30);
  EXPECT_TRUE(changing.tick());
  EXPECT_THAT(calls, ElementsAre("smart"));
  EXPECT_EQ(fake.power.shutdowns, 1);
  EXPECT_EQ(scheduler.schedule().minute, "45");
}

TEST_F(SchedulerTest, ModeZeroShowsTheMainPageAndStillShutsDown) {
  settings.setSetting("scanmode", "0");
  settings.setSetting("shutdown", "1");
  scheduler.loadSchedule();
  EXPECT_TRUE(tickAt(at(9, 7, 30)));
  EXPECT_THAT(calls, ElementsAre("main page"));
  EXPECT_EQ(fake.power.shutdowns, 1);
  EXPECT_EQ(fake.power.restarts + fake.power.logOffs + fake.power.powerOffs, 0);
}

TEST_F(SchedulerTest, ASecondTickWhileAScanRunsDoesNothing) {
  Scheduler* self = nullptr;
  int inner = -1;
  Scheduler reentrant{fake.platform, {{}, [&] { inner = self->tick() ? 1 : 0; }, {}}};
  self = &reentrant;
  reentrant.loadSchedule();
  fake.clock.now = at(9, 7, 30);
  EXPECT_TRUE(reentrant.tick());
  EXPECT_EQ(inner, 0);
}

TEST(ExitWindowsTest, OptionsMapToPowerActions) {
  platform::fake::FakePower power;
  clsExitWindows exit(power);
  EXPECT_TRUE(exit.exitWindows(0));
  EXPECT_TRUE(exit.exitWindows(1));
  EXPECT_TRUE(exit.exitWindows(2));
  EXPECT_TRUE(exit.exitWindows(8));
  for (int other : {-1, 3, 4, 5, 9, 12})
    EXPECT_FALSE(exit.exitWindows(other));
  EXPECT_EQ(power.logOffs, 1);
  EXPECT_EQ(power.shutdowns, 1);
  EXPECT_EQ(power.restarts, 1);
  EXPECT_EQ(power.powerOffs, 1);
}

TEST(ElapsedTickTest, TenthsCarryIntoSecondsAndMinutes) {
  EXPECT_EQ(elapsedTick({"0", "59", "9"}), (ElapsedLabels{"1", "00", "0"}));
  EXPECT_EQ(elapsedTick({"0", "00", "0"}), (ElapsedLabels{"0", "00", "1"}));
  EXPECT_EQ(elapsedTick({"0", "07", "9"}), (ElapsedLabels{"0", "08", "0"}));
  EXPECT_EQ(elapsedTick({"12", "59", "8"}), (ElapsedLabels{"12", "59", "9"}));
  EXPECT_EQ(elapsedTick({"", "", ""}), (ElapsedLabels{"0", "00", "1"}));
}

} // namespace
} // namespace quorvane::schedule
