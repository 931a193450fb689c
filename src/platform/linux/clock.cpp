// Linux clock: CLOCK_MONOTONIC and the C library's local time and locale formats.
#include "platform/linux/linux_platform.h"

#include <atomic>
#include <csignal>
#include <ctime>
#include <mutex>

namespace quorvane::platform {
namespace {

std::tm toTm(const LocalDateTime& when) {
  std::tm tm{};
  tm.tm_year = when.year - 1900;
  tm.tm_mon = when.month - 1;
  tm.tm_mday = when.day;
  tm.tm_hour = when.hour;
  tm.tm_min = when.minute;
  tm.tm_sec = when.second;
  tm.tm_wday = when.weekday;
  return tm;
}

std::string format(const char* pattern, const LocalDateTime& when) {
  std::tm tm = toTm(when);
  char buffer[128];
  std::size_t n = std::strftime(buffer, sizeof buffer, pattern, &tm);
  return std::string(buffer, n);
}

} // namespace

namespace {

std::atomic<std::uint64_t> gResumes{0};

void onContinue(int) { gResumes.fetch_add(1, std::memory_order_relaxed); }

} // namespace

std::uint64_t LinuxClock::resumeCount() {
  // Counted from the first question on: a SIGCONT handler only counts, the process continues
  // as it always does.
  static std::once_flag installed;
  std::call_once(installed, [] {
    struct sigaction action {};
    action.sa_handler = onContinue;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGCONT, &action, nullptr);
  });
  return gResumes.load(std::memory_order_relaxed);
}

std::uint64_t LinuxClock::tickCount() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000 +
         static_cast<std::uint64_t>(ts.tv_nsec) / 1000000;
}

LocalDateTime LinuxClock::localNow() { return localTimeOf(std::time(nullptr)); }

LocalDateTime LinuxClock::localTimeOf(std::int64_t epochSeconds) {
  std::time_t moment = static_cast<std::time_t>(epochSeconds);
  std::tm tm{};
  localtime_r(&moment, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
          tm.tm_min,         tm.tm_sec,     tm.tm_wday};
}

// %x and %X follow LC_TIME of the locale the program runs in.
std::string LinuxClock::shortDate(const LocalDateTime& when) { return format("%x", when); }
std::string LinuxClock::longTime(const LocalDateTime& when) { return format("%X", when); }

} // namespace quorvane::platform
