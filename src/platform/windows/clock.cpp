// Windows clock: the tick count since start-up and the local time in the user's formats.
#include "platform/windows/windows_platform.h"

#include "platform/windows/wide.h"

#include <windows.h>

namespace quorvane::platform::windows {
namespace {

LocalDateTime fromSystemTime(const SYSTEMTIME& st) {
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wDayOfWeek};
}

SYSTEMTIME toSystemTime(const LocalDateTime& when) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(when.year);
  st.wMonth = static_cast<WORD>(when.month);
  st.wDay = static_cast<WORD>(when.day);
  st.wHour = static_cast<WORD>(when.hour);
  st.wMinute = static_cast<WORD>(when.minute);
  st.wSecond = static_cast<WORD>(when.second);
  st.wDayOfWeek = static_cast<WORD>(when.weekday);
  return st;
}

} // namespace

std::uint64_t WindowsClock::tickCount() {
  return ::GetTickCount64();
}

LocalDateTime WindowsClock::localNow() {
  SYSTEMTIME st;
  ::GetLocalTime(&st);
  return fromSystemTime(st);
}

LocalDateTime WindowsClock::localTimeOf(std::int64_t epochSeconds) {
  // FILETIME counts 100 ns from 1601-01-01, 11644473600 s before the Unix epoch.
  std::uint64_t ticks = static_cast<std::uint64_t>(epochSeconds + 11644473600LL) * 10000000ULL;
  FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME universal, local;
  if (!::FileTimeToSystemTime(&utc, &universal) ||
      !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
    return {};
  return fromSystemTime(local);
}

std::string WindowsClock::shortDate(const LocalDateTime& when) {
  SYSTEMTIME st = toSystemTime(when);
  wchar_t buffer[128];
  int n = ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer,
                            static_cast<int>(std::size(buffer)), nullptr);
  return n > 0 ? narrow(std::wstring_view(buffer, static_cast<std::size_t>(n - 1))) : "";
}

std::string WindowsClock::longTime(const LocalDateTime& when) {
  SYSTEMTIME st = toSystemTime(when);
  wchar_t buffer[128];
  int n = ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, buffer,
                            static_cast<int>(std::size(buffer)));
  return n > 0 ? narrow(std::wstring_view(buffer, static_cast<std::size_t>(n - 1))) : "";
}

} // namespace quorvane::platform::windows
