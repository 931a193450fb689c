// Checks files in walk order while reading them ahead on every core.
#include "engine/check_pipeline.h"

namespace quorvane::engine {

CheckPipeline::CheckPipeline(FileChecker& checker, scan::RunControl& control, unsigned workers,
                             std::size_t window)
    : checker_(checker), control_(control), window_(window > 0 ? window : 1) {
  if (workers == 0)
    workers = std::max(1u, std::thread::hardware_concurrency());
  for (unsigned i = 0; i < workers; ++i)
    workers_.emplace_back([this] { work(); });
}

CheckPipeline::~CheckPipeline() {
  finish();
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& worker : workers_)
    worker.join();
}

void CheckPipeline::work() {
  for (;;) {
    std::packaged_task<PreparedFile()> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty())
        return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

void CheckPipeline::submit(const std::string& path) {
  std::packaged_task<PreparedFile()> job(
      [this, path] { return checker_.prepare(path, &control_, kPieceSize); });
  pending_.push_back({path, job.get_future()});
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
  recordReady(pending_.size() > window_);
}

void CheckPipeline::finish() {
  while (!pending_.empty())
    recordReady(true);
}

void CheckPipeline::dropAll() {
  {
    std::lock_guard lock(mutex_);
    jobs_.clear();
  }
  for (Item& item : pending_)
    if (item.prepared.valid())
      item.prepared.wait(); // a job a worker already runs stops at its next piece
  pending_.clear();
}

void CheckPipeline::recordReady(bool wait) {
  while (!pending_.empty()) {
    if (control_.cancelled()) {
      dropAll(); // a cancelled run records nothing more
      return;
    }
    Item& head = pending_.front();
    bool ready = head.prepared.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    if (!ready && !wait)
      return;
    PreparedFile prepared = head.prepared.get();
    std::string path = std::move(head.path);
    pending_.pop_front();
    checker_.record(path, prepared);
    wait = false; // waited for one; the rest only when already read
  }
}

} // namespace quorvane::engine
