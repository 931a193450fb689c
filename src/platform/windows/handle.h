// An owned kernel handle of the Windows bodies: closed once, when its owner goes.
#pragma once

#include <windows.h>

#include <utility>

namespace quorvane::platform::windows {

class Handle {
public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  ~Handle() {
    if (valid())
      ::CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  /// False for both "no handle" values the calls return (null and INVALID_HANDLE_VALUE).
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }

private:
  HANDLE handle_;
};

} // namespace quorvane::platform::windows
