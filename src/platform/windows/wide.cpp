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
  return {static_cast<int>(code), std::system_category()};
}

std::error_code lastWin32Error() {
  return win32Error(::GetLastError());
}

} // namespace quorvane::platform::windows
