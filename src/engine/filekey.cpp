// The detection key of a file.
#include "engine/filekey.h"

#include "app/text.h"

#include <charconv>
#include <limits>

namespace quorvane::engine {

double keyTextToNumber(std::string_view text) {
  std::size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos)
    return 0.0;
  const char* first = text.data() + start;
  const char* last = text.data() + text.size();
  if (!(std::isdigit(static_cast<unsigned char>(*first)) || *first == '.'))
    return 0.0; // no sign, no "inf", no "nan": only digits and a point make a key
  double value = 0.0;
  auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
  if (error == std::errc::result_out_of_range) {
    // Too large for a double only when a non-zero digit stands before the point.
    for (const char* p = first; p < last && *p != '.'; ++p)
      if (*p >= '1' && *p <= '9')
        return std::numeric_limits<double>::infinity();
    return 0.0;
  }
  return error == std::errc() ? value : 0.0;
}

std::optional<std::uint64_t> keyTextLength(std::string_view text) {
  std::size_t pos = text.find_first_not_of(" \t");
  if (pos == std::string_view::npos)
    return std::nullopt;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])))
    ++pos;
  if (pos >= text.size() || text[pos] != '.')
    return std::nullopt;
  const char* first = text.data() + pos + 1;
  const char* last = text.data() + text.size();
  std::uint64_t length = 0;
  auto [end, error] = std::from_chars(first, last, length);
  if (error != std::errc() || end == first)
    return std::nullopt;
  return length;
}

std::string mapDigestDigits(std::string_view digest) {
  std::string digits;
  digits.reserve(digest.size() + 1);
  for (char c : digest) {
    if (c >= 'a' && c <= 'f')
      c = static_cast<char>('2' + (c - 'a'));
    else if (c >= 'A' && c <= 'F')
      c = static_cast<char>('2' + (c - 'A'));
    digits += c;
  }
  digits += '.';
  return digits;
}

std::string fileKeyText(std::string_view digest, std::uint64_t length) {
  return mapDigestDigits(app::toLower(digest)) + std::to_string(length);
}

double fileKey(std::string_view digest, std::uint64_t length) {
  return keyTextToNumber(fileKeyText(digest, length));
}

} // namespace quorvane::engine
