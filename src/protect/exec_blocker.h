// The blocking guard: answers the exec gate's requests, so that a listed program is refused
// before it runs instead of ended after it started. Unlisted programs go ahead; a start that
// cannot be decided within the time budget goes ahead too, and is told of, so that the guard
// never hangs the machine.
#pragma once

#include "engine/safelist.h"
#include "engine/sigtable.h"
#include "platform/exec_gate.h"
#include "platform/platform.h"
#include "threats/alert.h"
#include "threats/threatlog.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
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
  /// Threads waiting on the gate; one slow file holds only the start it belongs to.
  unsigned readers = 4;
  /// Readers added while others are stuck past the budget never make more than this in all.
  unsigned maxReaders = 16;
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
  struct Verdict {
    bool refuse = false;
    std::string digest;
  };
  struct VersionHash {
    std::size_t operator()(const platform::ExecFileVersion& v) const noexcept;
  };
  struct Reader {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void addReader(bool extra);
  void readLoop(Reader& self, bool extra);
  void handle(const std::shared_ptr<platform::ExecRequest>& request);
  /// The verdict for a file not in the cache; none when it could not be made.
  std::optional<Verdict> check(platform::ExecRequest& request);
  /// Empties the cache when the signature table or safe.sig changed since it was filled.
  void dropStaleVerdicts();
  void watch();

  platform::Platform& p_;
  platform::ExecGate& gate_;
  std::string folder_;
  std::string safePath_;
  engine::SignatureDatabase& signatures_;
  engine::SafeList safe_;
  ExecBlockerOptions options_;
  std::vector<platform::FileIdentity> ownPrograms_;

  std::mutex cacheMutex_;
  std::unordered_map<platform::ExecFileVersion, Verdict, VersionHash> cache_;
  const engine::SignatureTable* cachedTable_ = nullptr;
  std::optional<platform::FileStatus> cachedSafeList_;
  std::shared_ptr<const engine::SignatureTable> heldTable_; ///< keeps cachedTable_ unique

  mutable std::mutex mutex_; ///< guards what follows
  std::condition_variable wake_;
  bool stopping_ = false;
  bool running_ = false;
  std::list<Reader> readers_;
  unsigned busy_ = 0;
  struct Pending {
    std::shared_ptr<platform::ExecRequest> request;
    std::chrono::steady_clock::time_point deadline;
  };
  std::map<std::uint64_t, Pending> pending_;
  std::uint64_t nextPending_ = 0;
  std::vector<threats::AlertRecord> refused_;
  std::uint64_t refusedDropped_ = 0;
  std::vector<std::string> notices_;
  ExecBlockerCounts counts_;
  std::thread watcher_;
};

} // namespace quorvane::protect
