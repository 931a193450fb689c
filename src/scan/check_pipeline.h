// Checks files in walk order while reading them ahead on every core: the reading (the slow part)
// runs on worker threads, the recording (ending processes, logging, deleting, quarantining)
// stays on the submitting thread, strictly in the order the files were submitted.
#pragma once

#include "scan/file_check.h"

#include <condition_variable>
#include <deque>
#include <future>
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
                std::size_t window = 16);
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
  struct Item {
    std::string path;
    std::future<PreparedFile> prepared; ///< not valid for a file that needs no reading
    PreparedFile unread;                ///< what the screening said of a file not read
  };
  void recordReady(bool wait);
  void dropAll();
  void work();
  /// Hands the batched jobs to the workers: one lock and one wake-up for several files.
  void flush();
  static constexpr std::size_t kBatch = 8;

  FileChecker& checker_;
  engine::RunControl& control_;
  std::size_t window_;
  std::deque<Item> pending_; ///< submitted, not yet recorded, in order
  std::size_t reading_ = 0;  ///< items of pending_ handed to the workers
  std::vector<std::packaged_task<PreparedFile()>> batch_; ///< jobs not yet handed over

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<PreparedFile()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

} // namespace quorvane::scan
