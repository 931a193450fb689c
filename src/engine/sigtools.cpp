// Tools for whoever publishes signatures.
#include "engine/sigtools.h"

#include "app/text.h"
#include "engine/filekey.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>

namespace quorvane::engine {
namespace {

bool allOf(std::string_view text, int (*test)(int)) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [&](char c) { return test(static_cast<unsigned char>(c)); });
}

std::string_view withoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
    line.remove_suffix(1);
  return line;
}

} // namespace

bool isKeyText(std::string_view text) {
  return text.size() > 33 && text[32] == '.' && allOf(text.substr(0, 32), isdigit) &&
         allOf(text.substr(33), isdigit);
}

std::optional<std::string> keyTextOfListLine(std::string_view line) {
  line = withoutLineEnd(line);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
    line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
    line.remove_suffix(1);
  if (isKeyText(line))
    return std::string(line);
  std::size_t colon = line.find(':');
  if (colon != 32 || !allOf(line.substr(0, 32), isxdigit))
    return std::nullopt;
  std::string_view size = line.substr(33, line.find(':', 33) - 33);
  std::uint64_t length = 0;
  auto [end, error] = std::from_chars(size.data(), size.data() + size.size(), length);
  if (size.empty() || error != std::errc() || end != size.data() + size.size())
    return std::nullopt;
  return fileKeyText(line.substr(0, 32), length);
}

std::string buildSignatureText(std::vector<std::string> keyTexts) {
  std::sort(keyTexts.begin(), keyTexts.end(), [](const std::string& a, const std::string& b) {
    double x = keyTextToNumber(a), y = keyTextToNumber(b);
    return x != y ? x < y : a < b;
  });
  keyTexts.erase(std::unique(keyTexts.begin(), keyTexts.end()), keyTexts.end());
  std::string text;
  for (const std::string& key : keyTexts)
    text += key + "\r\n";
  return text;
}

SignatureReport verifySignatureText(std::string_view text) {
  SignatureReport report;
  std::size_t number = 0;
  double previous = 0;
  bool havePrevious = false;
  for (std::string_view line : app::splitLines(text)) {
    ++number;
    if (!isKeyText(line)) {
      report.problems.push_back(
          {number, line.empty() ? "blank line" : "not a key (32 digits, \".\", a length)"});
      continue;
    }
    ++report.keys;
    double value = keyTextToNumber(line);
    if (havePrevious && value < previous)
      report.problems.push_back({number, "out of order: below the key before it",
                                 SignatureProblem::Kind::OutOfOrder});
    previous = value;
    havePrevious = true;
  }
  return report;
}

} // namespace quorvane::engine
