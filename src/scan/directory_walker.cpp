// The folder walk.
#include "scan/directory_walker.h"

#include "app/text.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

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

/// Listings made ahead of the walk and not yet walked, at most.
constexpr std::size_t kListingsAhead = 256;

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

/// One folder of the walk. Its listing is made once, by a listing thread or by the walk itself,
/// whichever gets to it first.
struct DirectoryWalker::Folder {
  std::string path;                ///< ends in "/"
  platform::FileIdentity identity; ///< as its parent listed it; unknown for the walk's start
  bool queued = false;             ///< handed to the listing threads
  enum class State { Waiting, Listing, Listed } state = State::Waiting;
  Listing listing{std::vector<platform::DirEntry>{}};
  std::vector<std::unique_ptr<Folder>> subfolders; ///< in walk order
};

/// Threads that list folders ahead of the walk, deepest first, so that the folders the walk
/// enters next are the ones listed next. The listings made and not yet walked are bounded.
class DirectoryWalker::ListingAhead {
public:
  ListingAhead(DirectoryWalker& walker, unsigned threads) : walker_(walker) {
    for (unsigned i = 0; i < threads; ++i)
      threads_.emplace_back([this] { work(); });
  }
  ~ListingAhead() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
      thread.join();
  }
  ListingAhead(const ListingAhead&) = delete;
  ListingAhead& operator=(const ListingAhead&) = delete;

  /// Hands the first of the subfolders to the threads, as many as the bound allows.
  void queue(std::vector<std::unique_ptr<Folder>>& subfolders) {
    std::lock_guard lock(mutex_);
    std::size_t count =
        std::min(subfolders.size(), kListingsAhead - std::min(held_, kListingsAhead));
    for (std::size_t i = count; i-- > 0;) { // the first on top
      subfolders[i]->queued = true;
      stack_.push_back(subfolders[i].get());
    }
    held_ += count;
    if (count > 1)
      wake_.notify_all();
    else if (count == 1)
      wake_.notify_one();
  }

  /// Returns once the folder is listed: the walk lists it itself when no thread has started.
  void await(Folder& folder) {
    std::unique_lock lock(mutex_);
    if (folder.state == Folder::State::Waiting) {
      folder.state = Folder::State::Listing;
      if (folder.queued) // no thread will see it again: it may go once walked
        stack_.erase(std::find(stack_.begin(), stack_.end(), &folder));
      lock.unlock();
      walker_.list(folder);
      lock.lock();
      folder.state = Folder::State::Listed;
    }
    awaited_ = &folder;
    listed_.wait(lock, [&] { return folder.state == Folder::State::Listed; });
    awaited_ = nullptr;
    if (folder.queued) {
      --held_; // walked: room for another listing ahead
      wake_.notify_one();
    }
  }

private:
  void work() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stopping_ || !stack_.empty(); });
      if (stopping_)
        return;
      Folder* folder = stack_.back();
      stack_.pop_back();
      if (folder->state != Folder::State::Waiting)
        continue; // the walk got to it first
      folder->state = Folder::State::Listing;
      lock.unlock();
      walker_.list(*folder);
      lock.lock();
      folder->state = Folder::State::Listed;
      if (folder == awaited_)
        listed_.notify_one(); // the walk waits for this one
    }
  }

  DirectoryWalker& walker_;
  std::mutex mutex_;
  std::condition_variable wake_;    ///< work for the threads, or stop
  std::condition_variable listed_;  ///< a listing is done
  std::vector<Folder*> stack_;      ///< folders to list, the next on top
  std::size_t held_ = 0;            ///< queued, listing or listed, and not yet walked
  const Folder* awaited_ = nullptr; ///< the folder the walk waits for
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

DirectoryWalker::Pattern DirectoryWalker::Pattern::of(std::string_view pattern) {
  auto literal = [](std::string_view text) {
    return text.find_first_of("*?") == std::string_view::npos;
  };
  Pattern compiled;
  if (pattern == kProgramToken) {
    compiled.test = Test::Program;
  } else if (pattern.find_first_not_of('*') == std::string_view::npos) {
    compiled.test = Test::Everything;
  } else if (pattern.size() > 2 && pattern.front() == '*' && pattern.back() == '*' &&
             literal(pattern.substr(1, pattern.size() - 2))) {
    compiled.test = Test::Contains;
    compiled.text = pattern.substr(1, pattern.size() - 2);
  } else if (pattern.front() == '*' && literal(pattern.substr(1))) {
    compiled.test = Test::Suffix;
    compiled.text = pattern.substr(1);
  } else {
    compiled.text = pattern;
    return compiled;
  }
  for (char& c : compiled.text)
    c = foldAscii(c);
  return compiled;
}

bool DirectoryWalker::Pattern::matches(const platform::DirEntry& entry) const {
  std::string_view name = entry.name;
  auto sameAt = [&](std::size_t at) {
    for (std::size_t i = 0; i < text.size(); ++i)
      if (foldAscii(name[at + i]) != text[i])
        return false;
    return true;
  };
  switch (test) {
  case Test::Everything:
    return true;
  case Test::Suffix:
    return name.size() >= text.size() && sameAt(name.size() - text.size());
  case Test::Contains:
    for (std::size_t at = 0; at + text.size() <= name.size(); ++at)
      if (sameAt(at))
        return true;
    return false;
  case Test::Program:
    return entry.executable || entry.head == kElfMagic;
  case Test::Glob:
    break;
  }
  return matchesPattern(text, name);
}

DirectoryWalker::DirectoryWalker(platform::FileSystem& files) : files_(files) {
  heads_.size = kElfMagic.size();
  heads_.wanted = [this](const platform::DirEntry& entry) { return wantsHead(entry); };
}

DirectoryWalker::~DirectoryWalker() = default;

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
      patterns_.push_back(Pattern::of(one));
    if (bar == std::string_view::npos)
      break;
    rest.remove_prefix(bar + 1);
  }
  Folder start;
  start.path = folder;
  if (start.path.empty() || start.path.back() != '/')
    start.path += '/';
  if (!skippedFolders.empty()) {
    auto status = files_.status(start.path);
    if (status && isSkipped(status->identity()))
      return;
  }
  if (listingThreads > 0 && includeSubfolders)
    ahead_ = std::make_unique<ListingAhead>(*this, listingThreads);
  walkFolder(start);
  ahead_.reset(); // before the folders it may still be listing go
}

bool DirectoryWalker::isSkipped(const platform::FileIdentity& folder) const {
  return std::find(skippedFolders.begin(), skippedFolders.end(), folder) != skippedFolders.end();
}

bool DirectoryWalker::wantsHead(const platform::DirEntry& entry) const {
  if (entry.executable)
    return false; // a program by its mode already
  if (entry.name.find('.', 1) != std::string::npos)
    return false; // it has an extension: data, or a program by its name ("a.so.1")
  for (const Pattern& pattern : patterns_) {
    if (pattern.test == Pattern::Test::Program)
      return !worthOpening || worthOpening(entry.size);
    if (pattern.matches(entry))
      return false; // reported by a pattern before the magic is asked about
  }
  return false; // no pattern asks about the magic
}

void DirectoryWalker::list(Folder& folder) {
  folder.listing =
      files_.listFolder(folder.path, folder.identity.known() ? &folder.identity : nullptr, heads_);
  if (!folder.listing)
    return;
  std::vector<platform::DirEntry>& entries = *folder.listing;
  std::sort(
      entries.begin(), entries.end(),
      [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.name < b.name; });
  if (!includeSubfolders)
    return;
  for (const platform::DirEntry& entry : entries)
    if (entry.kind == platform::FileKind::Directory && // links to folders are never followed
        !isSkipped(entry.identity) &&
        !(excludedFolder && excludedFolder(folder.path + entry.name))) {
      auto subfolder = std::make_unique<Folder>();
      subfolder->path = folder.path + entry.name + '/';
      subfolder->identity = entry.identity;
      folder.subfolders.push_back(std::move(subfolder));
    }
  if (ahead_)
    ahead_->queue(folder.subfolders);
}

bool DirectoryWalker::walkFolder(Folder& folder) {
  if (searching)
    searching(folder.path);
  // A subfolder is listed only while it is the folder its parent listed: one swapped for a link
  // (or another folder) since then is not entered.
  if (ahead_)
    ahead_->await(folder);
  else
    list(folder);
  if (!folder.listing) {
    if (unreadable)
      unreadable(folder.path, folder.listing.error()); // it adds nothing, and that is told
    return !control_.cancelled();
  }
  const std::vector<platform::DirEntry>& entries = *folder.listing;

  // The same file matched by an earlier pattern is reported once. Names that differ only in
  // letter case are different files here, and each is reported.
  std::vector<bool> reported(entries.size(), false);
  for (const Pattern& pattern : patterns_) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const platform::DirEntry& entry = entries[i];
      if (entry.kind == platform::FileKind::Regular && !reported[i] && pattern.matches(entry)) {
        reported[i] = true;
        if (!excludedFile || !excludedFile(folder.path + entry.name)) {
          if (keepFound)
            found_.add(folder.path + entry.name);
          reporting_ = &entry;
          if (found)
            found(folder.path, entry.name);
          reporting_ = nullptr;
        }
      }
      if (!control_.checkpoint())
        return false;
    }
  }
  folder.listing = std::vector<platform::DirEntry>{}; // only the subfolders are needed now
  for (std::unique_ptr<Folder>& subfolder : folder.subfolders) {
    if (!control_.checkpoint() || !walkFolder(*subfolder))
      return false;
    subfolder.reset();
  }
  return true;
}

} // namespace quorvane::scan
