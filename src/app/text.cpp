// Small text helpers.
#include "app/text.h"

#include <cstdint>
#include <cstring>

#include <algorithm>
#include <charconv>
#include <cctype>

namespace quorvane::app {
namespace {
char lowerChar(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
char upperChar(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string_view trimOf(std::string_view text, std::string_view set) {
  std::size_t first = text.find_first_not_of(set);
  if (first == std::string_view::npos)
    return {};
  std::size_t last = text.find_last_not_of(set);
  return text.substr(first, last - first + 1);
}
} // namespace

std::string_view trimBlanks(std::string_view text) { return trimOf(text, " \t"); }
std::string_view trimSpace(std::string_view text) {
  return trimOf(text, std::string_view(" \t\r\n\0", 5));
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return lowerChar(x) == lowerChar(y); });
}

std::string toLower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), lowerChar);
  return out;
}

std::string toUpper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), upperChar);
  return out;
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    while (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    lines.push_back(line);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
  }
  return lines;
}

long long leadingInteger(std::string_view text) {
  text = trimBlanks(text);
  long long value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

std::string_view fileNameOf(std::string_view path) {
  std::size_t cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

namespace {
constexpr char kBase64Digits[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
} // namespace

std::string base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size())
      group |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size())
      group |= static_cast<std::uint8_t>(bytes[i + 2]);
    out += kBase64Digits[(group >> 18) & 63];
    out += kBase64Digits[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? kBase64Digits[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kBase64Digits[group & 63] : '=';
  }
  return out;
}

std::optional<std::string> base64Decode(std::string_view text) {
  std::string digits;
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
      digits += c;
  if (digits.size() % 4 != 0)
    return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < digits.size(); i += 4) {
    std::uint32_t group = 0;
    int padding = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      char c = digits[i + k];
      int value;
      if (c == '=' && i + 4 == digits.size() && k >= 2) {
        value = 0;
        ++padding;
      } else {
        const char* at = padding == 0 && c != '\0' ? std::strchr(kBase64Digits, c) : nullptr;
        if (!at)
          return std::nullopt;
        value = static_cast<int>(at - kBase64Digits);
      }
      group = (group << 6) | static_cast<std::uint32_t>(value);
    }
    out += static_cast<char>((group >> 16) & 0xFF);
    if (padding < 2)
      out += static_cast<char>((group >> 8) & 0xFF);
    if (padding < 1)
      out += static_cast<char>(group & 0xFF);
  }
  return out;
}

} // namespace quorvane::app
