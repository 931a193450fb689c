// The blocking guard.
#include "protect/exec_blocker.h"

#include "app/appfolder.h"
#include "app/text.h"
#include "engine/datafiles.h"
#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "protect/threat_check.h"
#include "scan/file_check.h"

#include <algorithm>
#include <utility>

namespace quorvane::protect {
namespace {

using Clock = std::chrono::steady_clock;

/// Program files are read in large pieces: the start waits for the whole digest.
constexpr int kExecPieceSize = 64 * 1024;
/// How long a reader waits on the gate before it looks whether it should stop.
constexpr auto kReaderWait = std::chrono::milliseconds(100);
/// How often mounts that arrived are looked for.
constexpr auto kMountLook = std::chrono::seconds(1);
/// Refusals and notices kept for the owner between two collections.
constexpr std::size_t kQueueLimit = 1000;

std::string fileNameOf(const std::string& path) {
  std::string_view name = platform::withoutDeletedMark(path).first;
  std::size_t separator = platform::lastPathSeparator(name);
  return std::string(separator == std::string_view::npos ? name : name.substr(separator + 1));
}

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
      safe_(platform.files, safePath_), options_(options),
      ownPrograms_(scan::ownProgramIdentities(platform)) {
  options_.readers = std::max(1u, options_.readers);
  options_.maxReaders = std::max(options_.readers, options_.maxReaders);
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
  for (unsigned i = 0; i < options_.readers; ++i)
    addReader(false);
  watcher_ = std::thread([this] { watch(); });
}

void ExecBlocker::stop() {
  std::list<Reader> readers;
  {
    std::lock_guard lock(mutex_);
    if (!running_)
      return;
    stopping_ = true;
  }
  wake_.notify_all();
  watcher_.join();
  {
    std::lock_guard lock(mutex_);
    readers.swap(readers_);
  }
  for (Reader& reader : readers)
    reader.thread.join();
  std::lock_guard lock(mutex_);
  for (auto& [id, pending] : pending_)
    pending.request->answer(true);
  pending_.clear();
  running_ = false;
}

void ExecBlocker::addReader(bool extra) {
  Reader& reader = readers_.emplace_back();
  reader.thread = std::thread([this, &reader, extra] { readLoop(reader, extra); });
}

void ExecBlocker::readLoop(Reader& self, bool extra) {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_)
        break;
    }
    std::shared_ptr<platform::ExecRequest> request = gate_.nextRequest(kReaderWait);
    if (!request)
      continue;
    {
      std::lock_guard lock(mutex_);
      ++busy_;
    }
    handle(request);
    std::lock_guard lock(mutex_);
    --busy_;
    // A reader added while others were stuck leaves once they are free again.
    if (extra && busy_ + 1 < readers_.size())
      break;
  }
  self.done = true;
}

void ExecBlocker::handle(const std::shared_ptr<platform::ExecRequest>& request) {
  const platform::FileStatus& status = request->status();
  if (status.kind != platform::FileKind::Regular || status.size >= kSizeLimit) {
    request->answer(true);
    std::lock_guard lock(mutex_);
    ++counts_.allowed;
    return;
  }
  dropStaleVerdicts();
  std::optional<Verdict> verdict;
  {
    std::lock_guard lock(cacheMutex_);
    if (auto it = cache_.find(request->version()); it != cache_.end())
      verdict = it->second;
  }
  bool cached = verdict.has_value();
  std::uint64_t id = 0;
  if (!cached) {
    {
      std::lock_guard lock(mutex_);
      id = nextPending_++;
      pending_.emplace(id, Pending{request, Clock::now() + options_.budget});
    }
    wake_.notify_all(); // the watcher takes up the new deadline
    verdict = check(*request);
    std::lock_guard lock(mutex_);
    pending_.erase(id);
  }

  bool answeredHere = request->answer(!verdict || !verdict->refuse);
  if (verdict && !cached) {
    std::lock_guard lock(cacheMutex_);
    if (cache_.size() >= options_.cacheLimit)
      cache_.clear();
    cache_.emplace(request->version(), *verdict);
  }
  std::lock_guard lock(mutex_);
  if (!answeredHere) {
    counts_.late += verdict ? 1 : 0;
    return; // the watcher let it through already, and told of it
  }
  if (cached)
    ++counts_.fromCache;
  if (!verdict) {
    ++counts_.unchecked;
    ++counts_.allowed;
    if (notices_.size() < kQueueLimit)
      notices_.push_back("let through unchecked (the file could not be read whole): " +
                         request->path());
    return;
  }
  if (!verdict->refuse) {
    ++counts_.allowed;
    return;
  }
  ++counts_.refused;
  if (refused_.size() < kQueueLimit)
    refused_.push_back({fileNameOf(request->path()), verdict->digest, request->path(), 0});
  else
    ++refusedDropped_;
}

std::optional<ExecBlocker::Verdict> ExecBlocker::check(platform::ExecRequest& request) {
  const platform::FileStatus& status = request.status();
  std::shared_ptr<const engine::SignatureTable> table = signatures_.current();
  if (!table->mayMatchLength(status.size))
    return Verdict{}; // no key carries this length
  if (std::find(ownPrograms_.begin(), ownPrograms_.end(), status.identity()) != ownPrograms_.end())
    return Verdict{}; // this program's own files are never threats
  auto file = request.open();
  if (!file)
    return std::nullopt;
  auto hashed = engine::hashOpenFile(p_, **file, kExecPieceSize);
  // A file that grew or shrank while it was read was not read as the version asked about.
  if (!hashed || hashed->length != status.size)
    return std::nullopt;
  std::string digest = app::toLower(engine::digestText(hashed->digest));
  if (!table->contains(engine::fileKey(digest, status.size)) || safe_.contains(digest))
    return Verdict{};
  return Verdict{true, digest};
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
  if (table.get() == cachedTable_ && sameSafeList)
    return;
  cache_.clear();
  heldTable_ = table;
  cachedTable_ = table.get();
  cachedSafeList_ = safeNow;
}

void ExecBlocker::watch() {
  std::unique_lock lock(mutex_);
  auto nextMountLook = Clock::now() + kMountLook;
  while (!stopping_) {
    auto wakeAt = nextMountLook;
    for (const auto& [id, pending] : pending_)
      wakeAt = std::min(wakeAt, pending.deadline);
    wake_.wait_until(lock, wakeAt);
    if (stopping_)
      break;
    auto now = Clock::now();
    bool stuck = false;
    for (auto it = pending_.begin(); it != pending_.end();) {
      if (it->second.deadline > now) {
        ++it;
        continue;
      }
      stuck = true;
      if (it->second.request->answer(true)) {
        ++counts_.overBudget;
        ++counts_.allowed;
        if (notices_.size() < kQueueLimit)
          notices_.push_back("let through unchecked (no verdict within " +
                             std::to_string(options_.budget.count()) +
                             " ms): " + it->second.request->path());
      }
      it = pending_.erase(it);
    }
    // Readers stuck on slow files leave the others fewer: add one while all are busy.
    readers_.remove_if([](Reader& reader) {
      if (!reader.done)
        return false;
      reader.thread.join();
      return true;
    });
    if (stuck && busy_ >= readers_.size() && readers_.size() < options_.maxReaders)
      addReader(true);
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
