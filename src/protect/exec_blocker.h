// The blocking guard: answers the exec gate's requests, so that a listed program is refused
// before it runs instead of ended after it started. Unlisted programs go ahead; a start that
// cannot be decided within the time budget goes ahead too, and is told of, so that the guard
// never hangs the machine.
#pragma once

#include "engine/sigtable.h"
#include "platform/exec_gate.h"
#include "platform/platform.h"
#include "protect/threat_check.h"
#include "threats/alert.h"
#include "threats/threatlog.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace quorvane::protect {

struct ExecBlockerOptions {
  /// Threads that read and hash the files the cache cannot answer for; one slow file holds only
  /// the start it belongs to. (One more thread takes the requests and answers from the cache.)
  unsigned checkers = 4;
  /// Checkers added while others are stuck past the budget never make more than this in all.
  unsigned maxCheckers = 16;
  /// Starts waiting for a checker; one more goes ahead unchecked, and is told of.
  std::size_t queueLimit = 4096;
  /// A start not decided within this long goes ahead.
  std::chrono::milliseconds budget{1000};
  /// Verdicts kept; the cache starts over when it is full.
  std::size_t cacheLimit = 65536;
};

/// What the guard did, since it started.
struct ExecBlockerCounts {
  std::uint64_t allowed = 0;    ///< starts let through after a check or from the cache
  std::uint64_t refused = 0;    ///< listed programs refused
  std::uint64_t fromCache = 0;  ///< answers taken from the verdict cache
  std::uint64_t overBudget = 0; ///< starts let through because the check took too long
  std::uint64_t unchecked = 0;  ///< starts let through because the file could not be read whole
  std::uint64_t late = 0;       ///< verdicts reached after the budget let the start through
};

class ExecBlocker {
public:
  ExecBlocker(platform::Platform& platform, platform::ExecGate& gate, std::string appFolder,
              engine::SignatureDatabase& signatures, ExecBlockerOptions options = {});
  ~ExecBlocker();
  ExecBlocker(const ExecBlocker&) = delete;
  ExecBlocker& operator=(const ExecBlocker&) = delete;

  void start();
  /// Stops answering; what was taken and not answered yet goes ahead.
  void stop();

  /// Logs and reports the starts refused since the last call (the threat log, the threat alert
  /// with its "threatfound" action), on the caller's thread; returns their records.
  std::vector<threats::AlertRecord> reportRefused();
  /// The notices since the last call: starts let through without a verdict, and why.
  std::vector<std::string> takeNotices();
  ExecBlockerCounts counts() const;

private:
  struct VersionHash {
    std::size_t operator()(const platform::ExecFileVersion& v) const noexcept;
  };
  struct Checker {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  /// Takes the gate's requests: answers at once what needs no reading, queues the rest.
  void takeRequests();
  /// Answers without reading the file when it can (true).
  bool answerAtOnce(platform::ExecRequest& request);
  void addChecker(bool extra);
  void checkQueued(Checker& self, bool extra);
  /// Counts the answer about to be given and keeps a refusal for the report; mutex_ held.
  void record(platform::ExecRequest& request, const FileVerdict& verdict);
  /// Empties the cache when the signature table or safe.sig changed since it was filled.
  void dropStaleVerdicts();
  void watch();

  platform::Platform& p_;
  platform::ExecGate& gate_;
  std::string folder_;
  std::string safePath_;
  engine::SignatureDatabase& signatures_;
  ThreatCheck check_;
  ExecBlockerOptions options_;

  std::mutex cacheMutex_;
  /// Verdicts that were made (never Unreadable), for the table and safe.sig they were made with.
  std::unordered_map<platform::ExecFileVersion, FileVerdict, VersionHash> cache_;
  std::shared_ptr<const engine::SignatureTable> cachedTable_;
  std::optional<platform::FileStatus> cachedSafeList_;

  mutable std::mutex mutex_; ///< guards what follows
  std::condition_variable wake_;
  bool stopping_ = false;
  bool running_ = false;
  std::thread taker_;
  std::list<Checker> checkers_;
  unsigned busy_ = 0;
  struct Pending {
    std::shared_ptr<platform::ExecRequest> request;
    std::chrono::steady_clock::time_point deadline;
  };
  std::map<std::uint64_t, Pending> pending_; ///< queued or being checked, by arrival
  std::deque<std::uint64_t> queue_;          ///< waiting for a checker
  std::condition_variable queued_;
  std::uint64_t nextPending_ = 0;
  std::vector<threats::AlertRecord> refused_;
  std::uint64_t refusedDropped_ = 0;
  std::vector<std::string> notices_;
  ExecBlockerCounts counts_;
  std::thread watcher_;
};

} // namespace quorvane::protect
