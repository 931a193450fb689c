// The detection key of a file: its MD5 digits and length read as one decimal number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::engine {

/// The leading decimal number of a line (digits with at most one point, "." whatever the locale,
/// after optional blanks), rounded to the nearest double; 0 when the line starts with no number.
/// vir.sig lines and computed keys both go through this, so they compare bit for bit.
double keyTextToNumber(std::string_view text);

/// The file length a key text carries: the digits right after the point of its leading number;
/// nothing when the number has no point or no digits after it.
std::optional<std::uint64_t> keyTextLength(std::string_view text);

/// The digest with "a".."f" as "2".."7", followed by ".".
std::string mapDigestDigits(std::string_view digest);

/// MapDigestDigits of the lower-cased digest followed by the length in decimal.
std::string fileKeyText(std::string_view digest, std::uint64_t length);

/// The key under which a file of this digest and length is listed in vir.sig.
double fileKey(std::string_view digest, std::uint64_t length);

} // namespace quorvane::engine
