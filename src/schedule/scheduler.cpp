// The scheduled scan.
#include "schedule/scheduler.h"

#include "app/text.h"

#include <cstdio>

namespace quorvane::schedule {
namespace {

/// The setting's number; one too large for an int matches no hour, minute or flag.
int numberOf(const std::string& text) {
  long long value = app::leadingInteger(text);
  return value < -1000000 || value > 1000000 ? -1 : static_cast<int>(value);
}

std::string settingOrZero(app::SettingsStore& settings, std::string_view name) {
  std::string text = settings.setting(name);
  return text.empty() ? "0" : text;
}

} // namespace

Schedule readSchedule(app::SettingsStore& settings) {
  Schedule schedule;
  schedule.hour = settingOrZero(settings, "starthour");
  schedule.minute = settingOrZero(settings, "startmin");
  for (std::size_t day = 0; day < kWeekdaySettings.size(); ++day)
    schedule.weekdays[day] = numberOf(settingOrZero(settings, kWeekdaySettings[day]));
  schedule.everyDay = numberOf(settingOrZero(settings, "everyweek_all"));
  schedule.shutdown = numberOf(settingOrZero(settings, "shutdown"));
  schedule.scanMode = numberOf(settingOrZero(settings, "scanmode"));
  schedule.scanPeriod = numberOf(settingOrZero(settings, "scanperiod"));
  return schedule;
}

void writeSchedule(app::SettingsStore& settings, const Schedule& schedule) {
  settings.setSetting("starthour", schedule.hour);
  settings.setSetting("startmin", schedule.minute);
  settings.setSetting("scanperiod", std::to_string(schedule.scanPeriod));
  for (std::size_t day = 0; day < kWeekdaySettings.size(); ++day)
    settings.setSetting(kWeekdaySettings[day], schedule.weekdays[day] == 1 ? "1" : "0");
  settings.setSetting("everyweek_all", schedule.everyDay == 1 ? "1" : "0");
  settings.setSetting("shutdown", schedule.shutdown == 1 ? "1" : "0");
  settings.setSetting("scanmode", std::to_string(schedule.scanMode));
}

int weekdayNumber(std::string_view longName) {
  static constexpr std::string_view kPrefixes[] = {"mo", "tu", "we", "th", "fr", "sa", "su"};
  std::string lower = app::toLower(longName).substr(0, 2);
  for (int i = 0; i < 7; ++i)
    if (lower == kPrefixes[i])
      return i + 1;
  return 0;
}

std::string_view englishWeekdayName(int weekdayFromSunday) {
  static constexpr std::string_view kNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                "Thursday", "Friday", "Saturday"};
  return weekdayFromSunday >= 0 && weekdayFromSunday < 7 ? kNames[weekdayFromSunday] : "";
}

bool scheduleMatches(const Schedule& schedule, const platform::LocalDateTime& now) {
  int today = weekdayNumber(englishWeekdayName(now.weekday));
  bool day = schedule.everyDay == 1 || (today >= 1 && schedule.weekdays[today - 1] == 1);
  return day && numberOf(schedule.hour) == now.hour && numberOf(schedule.minute) == now.minute;
}

bool clsExitWindows::exitWindows(int option) {
  switch (option) {
  case 0: power_.logOff(); return true;
  case 1: power_.shutdown(); return true;
  case 2: power_.restart(); return true;
  case 8: power_.powerOff(); return true;
  default: return false;
  }
}

void Scheduler::loadSchedule() {
  app::SettingsStore settings(p_);
  Schedule fresh = readSchedule(settings);
  std::lock_guard lock(mutex_);
  schedule_ = fresh;
}

Schedule Scheduler::schedule() const {
  std::lock_guard lock(mutex_);
  return schedule_;
}

bool Scheduler::tick() {
  if (running_.exchange(true))
    return false; // a scheduled scan is still running
  struct Release {
    std::atomic<bool>& flag;
    ~Release() { flag = false; }
  } release{running_};

  platform::LocalDateTime now = p_.clock.localNow();
  std::array<int, 5> minute{now.year, now.month, now.day, now.hour, now.minute};
  Schedule schedule;
  {
    std::lock_guard lock(mutex_);
    if (!scheduleMatches(schedule_, now) || lastFired_ == minute)
      return false;
    lastFired_ = minute; // never twice within one minute
    schedule = schedule_;
  }
  if (actions_.mainPage)
    actions_.mainPage();
  if (schedule.scanMode == 1 && actions_.quickScan)
    actions_.quickScan();
  else if (schedule.scanMode == 2 && actions_.smartScan)
    actions_.smartScan();
  if (shutdownAfterActions)
    shutdownIfSet();
  return true;
}

void Scheduler::shutdownIfSet() {
  // Read again now: the user may have changed it while the scan ran.
  if (numberOf(app::SettingsStore(p_).setting("shutdown")) == 1)
    clsExitWindows(p_.power).exitWindows(1);
}

ElapsedLabels elapsedTick(const ElapsedLabels& labels) {
  int tenths = numberOf(labels.tenths) + 1;
  int seconds = numberOf(labels.seconds);
  int minutes = numberOf(labels.minutes);
  if (tenths > 9) {
    tenths = 0;
    if (++seconds > 59) {
      seconds = 0;
      ++minutes;
    }
  }
  char twoDigits[16];
  std::snprintf(twoDigits, sizeof twoDigits, "%02d", seconds);
  return {std::to_string(minutes), twoDigits, std::to_string(tenths)};
}

} // namespace quorvane::schedule
