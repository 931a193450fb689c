// Clock facility: a monotonic tick count and the local date and time in the system's formats.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane::platform {

struct LocalDateTime {
  int year = 1970, month = 1, day = 1; ///< month 1-12, day 1-31
  int hour = 0, minute = 0, second = 0;
  int weekday = 4; ///< 0 Sunday .. 6 Saturday
};

class Clock {
public:
  virtual ~Clock() = default;
  /// Milliseconds from an arbitrary start; never goes back.
  virtual std::uint64_t tickCount() = 0;
  virtual LocalDateTime localNow() = 0;
  /// The local date and time of a moment in seconds since the epoch (a file's time).
  virtual LocalDateTime localTimeOf(std::int64_t epochSeconds) = 0;
  /// The system's short date form of the date part ("09/12/2026").
  virtual std::string shortDate(const LocalDateTime& when) = 0;
  /// The system's long time form of the time part ("23:54:01").
  virtual std::string longTime(const LocalDateTime& when) = 0;
  /// How often this process was stopped and continued (Ctrl-Z, then fg) since it started: time
  /// measured across a change is not the work's own.
  virtual std::uint64_t resumeCount() { return 0; }

  /// Whole seconds since local midnight.
  int secondsSinceMidnight();
  /// The general date form: short date, a space, long time; the time is left out at exactly
  /// midnight.
  std::string generalDate(const LocalDateTime& when);
  std::string generalDateNow() { return generalDate(localNow()); }
};

} // namespace quorvane::platform
