// The folder walk: visits a folder tree in pre-order and reports the files that match a list
// of name patterns, each file once.
#pragma once

#include "platform/files.h"
#include "scan/scan_state.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quorvane::scan {

/// The patterns of the folder scans: the program extensions, shared objects, kernel modules,
/// and, written "<program>", any regular file with an execute bit, or with no extension and the
/// ELF magic. Programs on Linux carry no extension; an ELF file named like data (an object or
/// debug file) is not a program, and opening every data file to ask would cost more than the
/// walk itself.
inline constexpr const char* kFolderScanPatterns =
    "*.exe|*.dll|*.bat|*.com|*.ocx|*.so|*.so.*|*.ko|<program>";
/// Every regular file.
inline constexpr const char* kAllFilesPattern = "*";

/// True when `name` matches the pattern ("*" any run, "?" any one character), ignoring case.
bool matchesPattern(std::string_view pattern, std::string_view name);

/// The paths reported by a walk, in report order; look-ups ignore letter case.
class FoundFiles {
public:
  void clear() { paths_.clear(); }
  void add(std::string path) { paths_.push_back(std::move(path)); }
  /// Ignoring case; a search through every path, for the occasional question.
  bool contains(std::string_view path) const;
  const std::vector<std::string>& paths() const { return paths_; }
  std::size_t size() const { return paths_.size(); }

private:
  std::vector<std::string> paths_;
};

class DirectoryWalker {
public:
  explicit DirectoryWalker(platform::FileSystem& files);
  ~DirectoryWalker();
  DirectoryWalker(const DirectoryWalker&) = delete;
  DirectoryWalker& operator=(const DirectoryWalker&) = delete;

  /// Descend into subfolders (default true).
  bool includeSubfolders = true;
  /// Folders never entered, by identity (the quarantine's folder: its copies are not threats).
  std::vector<platform::FileIdentity> skippedFolders;
  /// When set, a folder (its path without the final "/") that it accepts is never entered, and a
  /// file (its full path) that it accepts is not reported. Called from the threads that list
  /// folders ahead of the walk as well.
  std::function<bool(const std::string& folder)> excludedFolder;
  std::function<bool(const std::string& path)> excludedFile;
  /// Raised on entering a folder; the folder always ends in "/".
  std::function<void(const std::string& folder)> searching;
  /// Raised for a folder the walk meant to enter and could not list (no permission, swapped
  /// since its parent was listed, gone); the walk goes on with its siblings.
  std::function<void(const std::string& folder, std::error_code why)> unreadable;
  /// Raised once for each newly found file.
  std::function<void(const std::string& folder, const std::string& name)> found;
  /// When set, a file of a size it refuses is never opened to look for the program magic (its
  /// content could not matter): it is not a program found by "<program>". Called from the
  /// threads that list folders ahead of the walk.
  std::function<bool(std::uint64_t size)> worthOpening;
  /// Threads that list folders (and read program magic) ahead of the walk; 0: the walking thread
  /// lists each folder as it enters it. The reports and their order are the same either way.
  unsigned listingThreads = std::max(1u, std::thread::hardware_concurrency());
  /// Keep every found path for foundFiles() (off: a walk of a large tree keeps no list).
  bool keepFound = true;

  /// While set, the walk waits between entries.
  void setPause(bool on);
  bool pause() const { return control_.paused(); }
  /// Stops the walk at its next check, until the next walk.
  void cancel() { control_.cancel(); }

  /// Walks `folder` with the "|"-separated patterns, in their order; returns when done.
  void walk(const std::string& folder, const std::string& patterns);
  const FoundFiles& foundFiles() const { return found_; }
  /// Inside `found`: the listing entry of the file being reported (its size as listed).
  const platform::DirEntry* reporting() const { return reporting_; }

  /// One "|"-separated pattern, sorted once per walk into the cheapest test that decides it.
  struct Pattern {
    enum class Test { Everything, Suffix, Contains, Program, Glob };
    Test test = Test::Glob;
    std::string text; ///< Suffix and Contains: the literal, lower case; Glob: the pattern
    bool matches(const platform::DirEntry& entry) const;
    static Pattern of(std::string_view pattern);
  };

private:
  using Listing = platform::ErrorOr<std::vector<platform::DirEntry>>;
  struct Folder;
  class ListingAhead;

  bool walkFolder(Folder& folder);
  /// Lists the folder (sorted by name, the heads the patterns need read) and makes the nodes of
  /// its subfolders; runs on whichever thread gets to the folder first.
  void list(Folder& folder);
  bool isSkipped(const platform::FileIdentity& folder) const;
  /// Whether the listing should read an entry's head for the program magic.
  bool wantsHead(const platform::DirEntry& entry) const;

  platform::FileSystem& files_;
  engine::RunControl control_;
  std::vector<Pattern> patterns_;
  platform::HeadRequest heads_;
  std::unique_ptr<ListingAhead> ahead_; ///< during a walk with listingThreads
  FoundFiles found_;
  const platform::DirEntry* reporting_ = nullptr;
};

} // namespace quorvane::scan
