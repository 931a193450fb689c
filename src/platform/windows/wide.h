// Text at the Win32 boundary: the product speaks UTF-8, the wide-character calls UTF-16.
#pragma once

#include "platform/error.h"

#include <string>
#include <string_view>

namespace quorvane::platform::windows {

/// UTF-16 of UTF-8 text; an invalid sequence becomes U+FFFD.
std::wstring widen(std::string_view text);
/// UTF-8 of UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::string narrow(std::wstring_view text);
/// The error code of a Win32 error number (GetLastError()), in the system category.
std::error_code win32Error(unsigned long code);
/// The error code of the calling thread's last Win32 error.
std::error_code lastWin32Error();

} // namespace quorvane::platform::windows
