// Text at the Win32 boundary.
#include "platform/windows/wide.h"

#include <windows.h>

namespace quorvane::platform::windows {

std::wstring widen(std::string_view text) {
  if (text.empty())
    return {};
  int size =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string narrow(std::wstring_view text) {
  if (text.empty())
    return {};
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                        nullptr, nullptr);
  return narrow;
}

std::error_code win32Error(unsigned long code) {
  // The errors callers compare with portable conditions are given as those; the rest keep the
  // system's number and text.
  switch (code) {
  case ERROR_FILE_NOT_FOUND:
  case ERROR_PATH_NOT_FOUND:
  case ERROR_INVALID_DRIVE:
  case ERROR_BAD_NETPATH:
    return std::make_error_code(std::errc::no_such_file_or_directory);
  case ERROR_ACCESS_DENIED:
  case ERROR_PRIVILEGE_NOT_HELD:
    return std::make_error_code(std::errc::permission_denied);
  case ERROR_FILE_EXISTS:
  case ERROR_ALREADY_EXISTS:
    return std::make_error_code(std::errc::file_exists);
  case ERROR_DIR_NOT_EMPTY:
    return std::make_error_code(std::errc::directory_not_empty);
  case ERROR_DIRECTORY:
    return std::make_error_code(std::errc::not_a_directory);
  case ERROR_LOCK_VIOLATION:
  case ERROR_SHARING_VIOLATION:
    return std::make_error_code(std::errc::resource_unavailable_try_again);
  case ERROR_FILENAME_EXCED_RANGE:
    return std::make_error_code(std::errc::filename_too_long);
  case ERROR_NOT_ENOUGH_MEMORY:
  case ERROR_OUTOFMEMORY:
    return std::make_error_code(std::errc::not_enough_memory);
  case ERROR_DISK_FULL:
  case ERROR_HANDLE_DISK_FULL:
    return std::make_error_code(std::errc::no_space_on_device);
  default:
    return {static_cast<int>(code), std::system_category()};
  }
}

std::error_code lastWin32Error() {
  return win32Error(::GetLastError());
}

} // namespace quorvane::platform::windows
