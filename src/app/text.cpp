// Small text helpers.
#include "app/text.h"

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

} // namespace quorvane::app
