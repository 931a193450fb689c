// What the fuzz targets share: the input as text, cut into parts, and a check that stops the run
// (libFuzzer keeps the input that made it stop).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::fuzz {

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

/// The text cut at its first `count - 1` NUL bytes into `count` parts; missing parts are empty.
inline std::vector<std::string> splitInput(std::string_view text, std::size_t count) {
  std::vector<std::string> parts;
  while (parts.size() + 1 < count) {
    std::size_t nul = text.find('\0');
    if (nul == std::string_view::npos)
      break;
    parts.emplace_back(text.substr(0, nul));
    text.remove_prefix(nul + 1);
  }
  parts.emplace_back(text);
  parts.resize(count);
  return parts;
}

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: expectation failed: %s\n", file, line, what);
  std::abort();
}

} // namespace quorvane::fuzz

/// Stops the run when `condition` is false.
#define FUZZ_EXPECT(condition)                                                                     \
  do {                                                                                             \
    if (!(condition))                                                                              \
      ::quorvane::fuzz::Fail(#condition, __FILE__, __LINE__);                                      \
  } while (false)
