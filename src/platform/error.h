// Errors as values at the platform boundary: a result or a std::error_code.
#pragma once

#include <cassert>
#include <system_error>
#include <utility>
#include <variant>

namespace quorvane::platform {

/// Holds either a value of type T or the error that kept it from being made.
template <typename T> class ErrorOr {
public:
  ErrorOr(T value) : state_(std::move(value)) {}
  ErrorOr(std::error_code error) : state_(error) { assert(error); }
  ErrorOr(std::errc error) : state_(std::make_error_code(error)) {}

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
