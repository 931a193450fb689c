// The blocking guard.
#include "protect/exec_blocker.h"

#include "app/appfolder.h"
#include "app/text.h"
#include "engine/datafiles.h"

#include <algorithm>
#include <utility>

namespace quorvane::protect {
namespace {

using Clock = std::chrono::steady_clock;

/// Program files are read in large pieces: the start waits for the whole digest.
constexpr int kExecPieceSize = 64 * 1024;
/// How long a reader waits on the gate before it looks whether it should stop.
constexpr auto kReaderWait = std::chrono::milliseconds(100);
/// How often the watcher looks at the deadlines of the starts being checked.
constexpr auto kWatchInterval = std::chrono::milliseconds(100);
/// How often mounts that arrived are looked for.
constexpr auto kMountLook = std::chrono::seconds(1);
/// Refusals and notices kept for the owner between two collections.
constexpr std::size_t kQueueLimit = 1000;

} // namespace

std::size_t ExecBlocker::VersionHash::operator()(const platform::ExecFileVersion& v) const noexcept {
  std::uint64_t h = v.inode * 0x9E3779B97F4A7C15ull;
  for (std::uint64_t part : {v.device, v.size, static_cast<std::uint64_t>(v.modifiedNs),
                             static_cast<std::uint64_t>(v.changedNs)})
    h = (h ^ part) * 0x100000001B3ull + (h >> 29);
  return static_cast<std::size_t>(h);
}

ExecBlocker::ExecBlocker(platform::Platform& platform, platform::ExecGate& gate,
                         std::string appFolder, engine::SignatureDatabase& signatures,
                         ExecBlockerOptions options)
    : p_(platform), gate_(gate), folder_(std::move(appFolder)),
      safePath_(platform::joinPath(folder_, app::kSafeFile)), signatures_(signatures),
      check_(platform, folder_, signatures), options_(options) {
  options_.checkers = std::max(1u, options_.checkers);
  options_.maxCheckers = std::max(options_.checkers, options_.maxCheckers);
}

ExecBlocker::~ExecBlocker() {
  stop();
}

void ExecBlocker::start() {
  std::lock_guard lock(mutex_);
  if (running_)
    return;
  running_ = true;
  stopping_ = false;
  for (unsigned i = 0; i < options_.checkers; ++i)
    addChecker(false);
  taker_ = std::thread([this] { takeRequests(); });
  watcher_ = std::thread([this] { watch(); });
}

void ExecBlocker::stop() {
  {
    std::lock_guard lock(mutex_);
    if (!running_)
      return;
    stopping_ = true;
  }
  wake_.notify_all();
  queued_.notify_all();
  taker_.join();
  watcher_.join();
  std::list<Checker> checkers;
  {
    std::lock_guard lock(mutex_);
    checkers.swap(checkers_);
  }
  for (Checker& checker : checkers)
    checker.thread.join();
  std::lock_guard lock(mutex_);
  for (auto& [id, pending] : pending_)
    pending.request->answer(true);
  pending_.clear();
  queue_.clear();
  running_ = false;
}

void ExecBlocker::takeRequests() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_)
        return;
    }
    std::shared_ptr<platform::ExecRequest> request = gate_.nextRequest(kReaderWait);
    if (!request || answerAtOnce(*request))
      continue;
    std::lock_guard lock(mutex_);
    if (queue_.size() >= options_.queueLimit) {
      request->answer(true);
      ++counts_.unchecked;
      ++counts_.allowed;
      if (notices_.size() < kQueueLimit)
        notices_.push_back("let through unchecked (too many starts waiting): " + request->path());
      continue;
    }
    std::uint64_t id = nextPending_++;
    pending_.emplace(id, Pending{std::move(request), Clock::now() + options_.budget});
    queue_.push_back(id);
    queued_.notify_one();
  }
}

bool ExecBlocker::answerAtOnce(platform::ExecRequest& request) {
  if (!ThreatCheck::withinScope(request.status())) {
    std::lock_guard lock(mutex_);
    ++counts_.allowed;
    request.answer(true);
    return true;
  }
  dropStaleVerdicts();
  FileVerdict verdict;
  {
    std::lock_guard lock(cacheMutex_);
    auto it = cache_.find(request.version());
    if (it == cache_.end())
      return false;
    verdict = it->second;
  }
  std::lock_guard lock(mutex_);
  ++counts_.fromCache;
  record(request, verdict);
  request.answer(verdict.kind != FileVerdict::Kind::Listed);
  return true;
}

void ExecBlocker::addChecker(bool extra) {
  Checker& checker = checkers_.emplace_back();
  checker.thread = std::thread([this, &checker, extra] { checkQueued(checker, extra); });
}

void ExecBlocker::checkQueued(Checker& self, bool extra) {
  std::unique_lock lock(mutex_);
  for (;;) {
    queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_)
      break;
    std::uint64_t id = queue_.front();
    queue_.pop_front();
    auto it = pending_.find(id);
    if (it == pending_.end())
      continue;
    std::shared_ptr<platform::ExecRequest> request = it->second.request;
    ++busy_;
    lock.unlock();
    // Checked even when the budget let it through already: the verdict serves the next start.
    FileVerdict verdict = check_.verdictOf(
        request->status(), [&request] { return request->open(); }, kExecPieceSize);
    bool made = verdict.kind != FileVerdict::Kind::Unreadable;
    if (made) {
      std::lock_guard cacheLock(cacheMutex_);
      if (cache_.size() >= options_.cacheLimit)
        cache_.clear();
      cache_.emplace(request->version(), verdict);
    }
    lock.lock();
    --busy_;
    pending_.erase(id);
    // The watcher answers under the same lock: a start is answered and counted once.
    if (request->answered()) {
      counts_.late += made ? 1 : 0; // the watcher let it through already, and told of it
    } else {
      record(*request, verdict);
      request->answer(verdict.kind != FileVerdict::Kind::Listed);
    }
    // A checker added while others were stuck leaves once they are free again.
    if (extra && busy_ + 1 < checkers_.size())
      break;
  }
  self.done = true;
}

void ExecBlocker::record(platform::ExecRequest& request, const FileVerdict& verdict) {
  if (verdict.kind == FileVerdict::Kind::Unreadable) {
    ++counts_.unchecked;
    ++counts_.allowed;
    if (notices_.size() < kQueueLimit)
      notices_.push_back("let through unchecked (the file could not be read whole): " +
                         request.path());
    return;
  }
  if (verdict.kind == FileVerdict::Kind::NotListed) {
    ++counts_.allowed;
    return;
  }
  ++counts_.refused;
  std::string_view name = app::fileNameOf(platform::withoutDeletedMark(request.path()).first);
  if (refused_.size() < kQueueLimit)
    refused_.push_back({std::string(name), verdict.digest, request.path(), 0});
  else
    ++refusedDropped_;
}

void ExecBlocker::dropStaleVerdicts() {
  std::shared_ptr<const engine::SignatureTable> table = signatures_.current();
  auto safeList = p_.files.status(safePath_);
  std::optional<platform::FileStatus> safeNow;
  if (safeList)
    safeNow = *safeList;
  std::lock_guard lock(cacheMutex_);
  bool sameSafeList = safeNow.has_value() == cachedSafeList_.has_value() &&
                      (!safeNow || safeNow->sameVersionAs(*cachedSafeList_));
  if (table == cachedTable_ && sameSafeList)
    return;
  cache_.clear();
  cachedTable_ = std::move(table);
  cachedSafeList_ = safeNow;
}

void ExecBlocker::watch() {
  std::unique_lock lock(mutex_);
  auto nextMountLook = Clock::now() + kMountLook;
  while (!stopping_) {
    // While starts are queued or checked, deadlines are looked at every tenth of a second
    // (waking per queued start would cost every start a thread switch); at rest the watcher
    // wakes only to look for mounts (a start queued meanwhile is due no sooner than that with
    // the one-second budget).
    auto wakeAt = pending_.empty() ? nextMountLook
                                   : std::min(nextMountLook, Clock::now() + kWatchInterval);
    for (const auto& [id, pending] : pending_)
      wakeAt = std::min(wakeAt, pending.deadline);
    wake_.wait_until(lock, wakeAt);
    if (stopping_)
      break;
    auto now = Clock::now();
    bool stuck = false; // a start is past its budget, answered or not
    for (auto& [id, pending] : pending_) {
      if (pending.deadline > now)
        continue;
      stuck = true;
      if (pending.request->answer(true)) {
        ++counts_.overBudget;
        ++counts_.allowed;
        if (notices_.size() < kQueueLimit)
          notices_.push_back("let through unchecked (no verdict within " +
                             std::to_string(options_.budget.count()) +
                             " ms): " + pending.request->path());
      }
    }
    // Checkers stuck on slow files leave the others fewer: while all are busy and starts wait,
    // add one.
    checkers_.remove_if([](Checker& checker) {
      if (!checker.done)
        return false;
      checker.thread.join();
      return true;
    });
    if (stuck && !queue_.empty() && busy_ >= checkers_.size() &&
        checkers_.size() < options_.maxCheckers)
      addChecker(true);
    if (now >= nextMountLook) {
      lock.unlock();
      gate_.coverNewMounts();
      lock.lock();
      nextMountLook = Clock::now() + kMountLook;
    }
  }
}

std::vector<threats::AlertRecord> ExecBlocker::reportRefused() {
  std::vector<threats::AlertRecord> records;
  {
    std::lock_guard lock(mutex_);
    records.swap(refused_);
    if (refusedDropped_ != 0) {
      notices_.push_back(std::to_string(refusedDropped_) +
                         " more refused starts were not reported one by one");
      refusedDropped_ = 0;
    }
  }
  if (records.empty())
    return records;
  threats::ThreatLog log(p_, folder_);
  threats::ThreatAlert alert(p_, folder_);
  for (const threats::AlertRecord& record : records) {
    log.logThreat(record.name, record.path);
    alert.showThreatAlert(record);
  }
  return records;
}

std::vector<std::string> ExecBlocker::takeNotices() {
  std::lock_guard lock(mutex_);
  return std::exchange(notices_, {});
}

ExecBlockerCounts ExecBlocker::counts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

} // namespace quorvane::protect
