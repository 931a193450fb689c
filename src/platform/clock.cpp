// Parts of the clock facility that are the same on every system.
#include "platform/clock.h"

namespace quorvane::platform {

int Clock::secondsSinceMidnight() {
  LocalDateTime now = localNow();
  return now.hour * 3600 + now.minute * 60 + now.second;
}

std::string Clock::generalDate(const LocalDateTime& when) {
  std::string text = shortDate(when);
  if (when.hour != 0 || when.minute != 0 || when.second != 0)
    text += ' ' + longTime(when);
  return text;
}

} // namespace quorvane::platform
