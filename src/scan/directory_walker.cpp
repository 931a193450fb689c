// The folder walk.
#include "scan/directory_walker.h"

#include "app/text.h"

#include <algorithm>

namespace quorvane::scan {
namespace {

// Letter case is folded for ASCII only, inline: a walk compares every name with every pattern.
constexpr char foldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool sameLetter(char a, char b) {
  return foldAscii(a) == foldAscii(b);
}

constexpr std::string_view kProgramToken = "<program>";
constexpr std::string_view kElfMagic = "\x7f"
                                       "ELF";

} // namespace

bool matchesPattern(std::string_view pattern, std::string_view name) {
  // Greedy match with one back-track point for the last "*".
  std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || sameLetter(pattern[p], name[n]))) {
      ++p, ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*')
    ++p;
  return p == pattern.size();
}

bool FoundFiles::contains(std::string_view path) const {
  std::string wanted = app::toLower(path);
  return std::any_of(paths_.begin(), paths_.end(),
                     [&](const std::string& found) { return app::toLower(found) == wanted; });
}

void DirectoryWalker::setPause(bool on) {
  if (on)
    control_.pause();
  else
    control_.resume();
}

void DirectoryWalker::walk(const std::string& folder, const std::string& patterns) {
  found_.clear();
  patterns_.clear();
  control_.reset();
  std::string_view rest = patterns;
  while (true) {
    std::size_t bar = rest.find('|');
    std::string_view one = rest.substr(0, bar);
    if (!one.empty())
      patterns_.emplace_back(one);
    if (bar == std::string_view::npos)
      break;
    rest.remove_prefix(bar + 1);
  }
  walkFolder(folder, nullptr);
}

bool DirectoryWalker::matches(const std::string& pattern, const std::string& folder,
                              const platform::DirEntry& entry) {
  if (pattern != kProgramToken)
    return matchesPattern(pattern, entry.name);
  if (entry.executable)
    return true;
  if (worthOpening && !worthOpening(entry.size))
    return false; // whatever it holds, no key can name it
  auto head = files_.readHead(folder + entry.name, kElfMagic.size());
  return head && *head == kElfMagic;
}

bool DirectoryWalker::walkFolder(std::string folder, const platform::FileIdentity* identity) {
  if (folder.empty() || folder.back() != '/')
    folder += '/';
  if (!identity && !skippedFolders.empty()) {
    auto status = files_.status(folder);
    if (status && std::find(skippedFolders.begin(), skippedFolders.end(), status->identity()) !=
                      skippedFolders.end())
      return true;
  }
  if (searching)
    searching(folder);

  // A subfolder is listed only while it is the folder its parent listed: one swapped for a link
  // (or another folder) since then is not entered.
  auto listed =
      identity ? files_.listCheckedDirectory(folder, *identity) : files_.listDirectory(folder);
  if (!listed) {
    if (unreadable)
      unreadable(folder, listed.error()); // it adds nothing, and that is told
    return !control_.cancelled();
  }
  std::vector<platform::DirEntry>& entries = *listed;
  std::sort(
      entries.begin(), entries.end(),
      [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.name < b.name; });

  // The same file matched by an earlier pattern is reported once. Names that differ only in
  // letter case are different files here, and each is reported.
  std::vector<bool> reported(entries.size(), false);
  for (const std::string& pattern : patterns_) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const platform::DirEntry& entry = entries[i];
      if (entry.kind == platform::FileKind::Regular && !reported[i] &&
          matches(pattern, folder, entry)) {
        reported[i] = true;
        if (keepFound)
          found_.add(folder + entry.name);
        reporting_ = &entry;
        if (found)
          found(folder, entry.name);
        reporting_ = nullptr;
      }
      if (!control_.checkpoint())
        return false;
    }
  }
  if (!includeSubfolders)
    return true;
  for (const platform::DirEntry& entry : entries) {
    if (entry.kind != platform::FileKind::Directory)
      continue; // links to folders are never followed
    if (std::find(skippedFolders.begin(), skippedFolders.end(), entry.identity) !=
        skippedFolders.end())
      continue;
    if (!control_.checkpoint() || !walkFolder(folder + entry.name, &entry.identity))
      return false;
  }
  return true;
}

} // namespace quorvane::scan
