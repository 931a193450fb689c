// INI-file text helpers.
#include "app/ini.h"

#include "app/text.h"

#include <vector>

namespace quorvane::app {
namespace {

struct Line {
  std::string_view text; ///< without its line end
  std::size_t begin = 0; ///< offset of the line in the whole text
  std::size_t end = 0;   ///< offset just past the line end
};

std::vector<Line> linesWithEnds(std::string_view text) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    std::size_t stop = nl == std::string_view::npos ? text.size() : nl;
    std::size_t next = nl == std::string_view::npos ? text.size() : nl + 1;
    std::string_view line = text.substr(pos, stop - pos);
    if (!line.empty() && line.back() == '\r')
      line.remove_suffix(1);
    lines.push_back({line, pos, next});
    pos = next;
  }
  return lines;
}

/// The section name when the line is a section header.
std::optional<std::string_view> sectionOf(std::string_view line) {
  line = trimBlanks(line);
  if (line.size() < 2 || line.front() != '[')
    return std::nullopt;
  std::size_t close = line.find(']');
  if (close == std::string_view::npos)
    return std::nullopt;
  return trimBlanks(line.substr(1, close - 1));
}

/// The key and value of a "key=value" line.
std::optional<std::pair<std::string_view, std::string_view>> entryOf(std::string_view line) {
  std::string_view trimmed = trimBlanks(line);
  if (trimmed.empty() || trimmed.front() == ';')
    return std::nullopt;
  std::size_t eq = trimmed.find('=');
  if (eq == std::string_view::npos)
    return std::nullopt;
  return std::pair{trimBlanks(trimmed.substr(0, eq)), trimBlanks(trimmed.substr(eq + 1))};
}

} // namespace

std::optional<std::string> iniLookup(std::string_view text, std::string_view section,
                                     std::string_view key) {
  bool inSection = false;
  for (const Line& line : linesWithEnds(text)) {
    if (auto name = sectionOf(line.text)) {
      inSection = equalsIgnoreCase(*name, section);
      continue;
    }
    if (!inSection)
      continue;
    auto entry = entryOf(line.text);
    if (!entry || !equalsIgnoreCase(entry->first, key))
      continue;
    std::string_view value = entry->second;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return std::string(value);
  }
  return std::nullopt;
}

std::string iniBlankKey(std::string_view text, std::string_view section, std::string_view key) {
  std::vector<Line> lines = linesWithEnds(text);
  bool inSection = false;
  std::optional<std::size_t> sectionEnd; // offset where a new key of the section would go
  std::string lineEnd = text.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
  for (const Line& line : lines) {
    if (auto name = sectionOf(line.text)) {
      inSection = equalsIgnoreCase(*name, section);
      if (inSection)
        sectionEnd = line.end;
      continue;
    }
    if (!inSection)
      continue;
    if (!trimBlanks(line.text).empty())
      sectionEnd = line.end;
    auto entry = entryOf(line.text);
    if (entry && equalsIgnoreCase(entry->first, key)) {
      std::string out(text.substr(0, line.begin));
      out += std::string(entry->first) + "=";
      out += text.substr(line.begin + line.text.size());
      return out;
    }
  }
  std::string out(text);
  if (sectionEnd) {
    std::string added;
    // A section whose last line has no line end gets one first.
    if (*sectionEnd == text.size() && !text.empty() && text.back() != '\n')
      added.append(lineEnd);
    added.append(key).append("=").append(lineEnd);
    out.insert(*sectionEnd, added);
    return out;
  }
  if (!out.empty() && out.back() != '\n')
    out += lineEnd;
  out.append("[").append(section).append("]").append(lineEnd);
  out.append(key).append("=").append(lineEnd);
  return out;
}

} // namespace quorvane::app
