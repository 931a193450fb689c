// Windows power actions: ExitWindowsEx, with the shutdown privilege taken first.
#include "platform/windows/windows_platform.h"

#include "platform/windows/wide.h"

#include <windows.h>

namespace quorvane::platform::windows {
namespace {

/// Enables the shutdown privilege in this process's token (a right the user has, off by default).
std::error_code enableShutdownPrivilege() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return lastWin32Error();
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  std::error_code error;
  if (!::LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) ||
      !::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) ||
      ::GetLastError() == ERROR_NOT_ALL_ASSIGNED)
    error = lastWin32Error();
  ::CloseHandle(token);
  return error;
}

std::error_code exitWindows(UINT how) {
  if (how != EWX_LOGOFF)
    if (std::error_code error = enableShutdownPrivilege())
      return error;
  // A planned shutdown, as the system's own menu gives it.
  if (!::ExitWindowsEx(how, SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER |
                                SHTDN_REASON_FLAG_PLANNED))
    return lastWin32Error();
  return {};
}

} // namespace

std::error_code WindowsPower::restart() {
  return exitWindows(EWX_REBOOT);
}

std::error_code WindowsPower::shutdown() {
  return exitWindows(EWX_SHUTDOWN);
}

std::error_code WindowsPower::logOff() {
  return exitWindows(EWX_LOGOFF);
}

std::error_code WindowsPower::powerOff() {
  return exitWindows(EWX_POWEROFF);
}

} // namespace quorvane::platform::windows
