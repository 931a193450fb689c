// Checks files in walk order while reading them ahead on every core: the reading (the slow part)
// runs on worker threads, the recording (ending processes, logging, deleting, quarantining)
// stays on the submitting thread, strictly in the order the files were submitted.
#pragma once

#include "scan/file_check.h"

#include <condition_variable>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvane::scan {

class CheckPipeline {
public:
  /// Pieces read per step by the workers; large reads, same digests.
  static constexpr int kPieceSize = 1 << 20;

  /// `workers` 0 means one per core. At most `window` files are read ahead of the recording;
  /// files that need no reading queue up to kMaxPending.
  CheckPipeline(FileChecker& checker, engine::RunControl& control, unsigned workers = 0,
                std::size_t window = 64);
  static constexpr std::size_t kMaxPending = 8192;
  ~CheckPipeline();
  CheckPipeline(const CheckPipeline&) = delete;
  CheckPipeline& operator=(const CheckPipeline&) = delete;

  /// Queues a file for checking; records every earlier file whose reading has finished.
  /// `listed` is what a folder listing said of the file, when there is one.
  void submit(const std::string& path, std::optional<ListedFile> listed = std::nullopt);
  /// Records every queued file, waiting for their reading. Once the run is cancelled, files not
  /// yet recorded are dropped instead.
  void finish();

private:
  /// Files handed to a worker together: one job, one wake-up and one wait for all of them.
  struct Batch {
    std::vector<std::pair<std::string, FileChecker::Screened>> files;
    std::vector<PreparedFile> prepared; ///< filled by the worker, in the order of files
    std::future<void> done;             ///< valid once handed over
  };
  struct Item {
    std::string path;
    std::shared_ptr<Batch> batch; ///< null for a file that needs no reading
    std::size_t index = 0;        ///< its place in the batch
    PreparedFile unread;          ///< what the screening said of a file not read
  };
  void recordReady(bool wait);
  void dropAll();
  void work();
  /// Hands the open batch to the workers.
  void flush();
  static constexpr std::size_t kBatch = 16;

  FileChecker& checker_;
  engine::RunControl& control_;
  std::size_t window_;
  std::deque<Item> pending_; ///< submitted, not yet recorded, in order
  std::size_t reading_ = 0;  ///< items of pending_ that need reading
  std::shared_ptr<Batch> open_; ///< the batch being filled, not yet handed over

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

} // namespace quorvane::scan
