// Errors as values at the platform boundary: a result or a std::error_code.
#pragma once

#include <cassert>
#include <system_error>
#include <utility>
#include <variant>

namespace quorvane::platform {

/// Refusals of the file facility that no system error number says well.
enum class FileError {
  Changed = 1, ///< the entry is no longer the file that was checked
  NotRegular,  ///< a FIFO, device, socket or folder where a regular file is needed
  UnsafeLink,  ///< a link on the way that the operation may not follow
};
const std::error_category& fileErrorCategory();
inline std::error_code make_error_code(FileError error) {
  return {static_cast<int>(error), fileErrorCategory()};
}

} // namespace quorvane::platform

template <> struct std::is_error_code_enum<quorvane::platform::FileError> : std::true_type {};

namespace quorvane::platform {

/// Holds either a value of type T or the error that kept it from being made.
template <typename T> class ErrorOr {
public:
  ErrorOr(T value) : state_(std::move(value)) {}
  ErrorOr(std::error_code error) : state_(error) { assert(error); }
  ErrorOr(std::errc error) : state_(std::make_error_code(error)) {}
  ErrorOr(FileError error) : state_(make_error_code(error)) {}

  explicit operator bool() const { return std::holds_alternative<T>(state_); }
  std::error_code error() const {
    return *this ? std::error_code() : std::get<std::error_code>(state_);
  }

  T& operator*() & { return std::get<T>(state_); }
  const T& operator*() const& { return std::get<T>(state_); }
  T operator*() && { return std::get<T>(std::move(state_)); } // by value: no dangling
  T* operator->() { return &std::get<T>(state_); }
  const T* operator->() const { return &std::get<T>(state_); }

  /// The value, or `fallback` when there is none.
  T valueOr(T fallback) const& { return *this ? std::get<T>(state_) : std::move(fallback); }

private:
  std::variant<T, std::error_code> state_;
};

/// errno (or a platform error number) as an error_code of the generic category.
inline std::error_code errnoCode(int number) { return {number, std::generic_category()}; }

} // namespace quorvane::platform
