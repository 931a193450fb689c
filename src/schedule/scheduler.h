// The scheduled scan: the schedule kept in the settings, the tick that starts the chosen scan at
// the set minute, the elapsed-time display of a running scan, and the power actions after it.
#pragma once

#include "app/settings.h"
#include "platform/platform.h"

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::schedule {

/// The weekday settings, Monday to Sunday.
inline constexpr std::array<std::string_view, 7> kWeekdaySettings = {
    "everyweek_mon", "everyweek_tue", "everyweek_wed", "everyweek_thu",
    "everyweek_fri", "everyweek_sat", "everyweek_sun"};
/// The interval of the scheduler's timer: below a minute, so every minute sees a tick.
inline constexpr int kSchedulerTickMs = 50000;

/// The schedule as the scheduler holds it.
struct Schedule {
  std::string hour = "0", minute = "0";
  std::array<int, 7> weekdays{}; ///< Monday to Sunday; 1 = set
  int everyDay = 0;
  int shutdown = 0;
  int scanMode = 0; ///< 1 Quick Scan, 2 Smart Scan
  int scanPeriod = 0; ///< 1 Once, 2 Weekly, 3 Monthly (shown only)
};

/// How loadSchedule reads the stored schedule: every value with the default "0", numbers 0
/// when not numeric.
Schedule readSchedule(app::SettingsStore& settings);
/// The schedule page's Save: every value as text.
void writeSchedule(app::SettingsStore& settings, const Schedule& schedule);

/// 1 (Monday) .. 7 (Sunday) by the first two letters of the lower-case long day name; 0 for a
/// name that matches none.
int weekdayNumber(std::string_view longName);
/// The English long name of a weekday counted from Sunday = 0.
std::string_view englishWeekdayName(int weekdayFromSunday);
/// True when the schedule's day and minute are those of `now`.
bool scheduleMatches(const Schedule& schedule, const platform::LocalDateTime& now);

/// Log-off, shutdown, restart and power-off through the platform's power facility.
class clsExitWindows {
public:
  explicit clsExitWindows(platform::Power& power) : power_(power) {}
  /// Option 0 log-off, 1 shutdown, 2 restart, 8 power-off; any other does nothing (false).
  bool exitWindows(int option);

private:
  platform::Power& power_;
};

/// What the scheduler starts: the window's buttons, or their command-line counterparts. The
/// scans return when they are finished.
struct ScanActions {
  std::function<void()> mainPage;
  std::function<void()> quickScan;
  std::function<void()> smartScan;
};

class Scheduler {
public:
  Scheduler(platform::Platform& platform, ScanActions actions)
      : p_(platform), actions_(std::move(actions)) {}

  /// Copies the schedule from the settings (at start-up and after every save); safe while a
  /// tick runs on another thread.
  void loadSchedule();
  Schedule schedule() const;

  /// The timer's tick: at a matching minute of a matching day, the main page, the chosen scan,
  /// then the shutdown when "shutdown" is 1. Fires once per matching minute, every matching
  /// day, as long as the program runs. True when it fired.
  bool tick();
  /// False for a front end whose scans return before they end: it calls shutdownIfSet itself
  /// once the scan has ended.
  bool shutdownAfterActions = true;
  /// The shutdown step: reads "shutdown" now and shuts down when it is 1.
  void shutdownIfSet();

private:
  platform::Platform& p_;
  ScanActions actions_;
  mutable std::mutex mutex_;
  Schedule schedule_;
  std::optional<std::array<int, 5>> lastFired_; ///< year, month, day, hour, minute
  std::atomic<bool> running_{false};
};

/// The elapsed-time labels of the scan page.
struct ElapsedLabels {
  std::string minutes = "0", seconds = "00", tenths = "0";
  bool operator==(const ElapsedLabels&) const = default;
};
/// One 100-ms step: tenths carry into seconds (shown with two digits), seconds into minutes.
ElapsedLabels elapsedTick(const ElapsedLabels& labels);

} // namespace quorvane::schedule
