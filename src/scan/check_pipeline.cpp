// Checks files in walk order while reading them ahead on every core.
#include "scan/check_pipeline.h"

namespace quorvane::scan {

CheckPipeline::CheckPipeline(FileChecker& checker, engine::RunControl& control, unsigned workers,
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

void CheckPipeline::submit(const std::string& path, std::optional<ListedFile> listed) {
  // Deciding whether a file needs reading costs no more than handing it over: only the files
  // that need reading go to the workers.
  FileChecker::Screened screened = checker_.screen(path, listed);
  if (!screened.read) {
    PreparedFile unread;
    unread.notChecked = screened.problem;
    pending_.push_back({path, {}, std::move(unread)});
  } else {
    std::packaged_task<PreparedFile()> job([this, path, screened] {
      return checker_.readScreened(path, screened, &control_, kPieceSize);
    });
    pending_.push_back({path, job.get_future(), {}});
    ++reading_;
    batch_.push_back(std::move(job));
    if (batch_.size() >= kBatch)
      flush();
  }
  recordReady(false);
  while (!pending_.empty() && (reading_ > window_ || pending_.size() > kMaxPending))
    recordReady(true);
}

void CheckPipeline::flush() {
  if (batch_.empty())
    return;
  {
    std::lock_guard lock(mutex_);
    for (auto& job : batch_)
      jobs_.push_back(std::move(job));
  }
  batch_.clear();
  wake_.notify_all();
}

void CheckPipeline::finish() {
  while (!pending_.empty())
    recordReady(true);
}

void CheckPipeline::dropAll() {
  batch_.clear();
  {
    std::lock_guard lock(mutex_);
    jobs_.clear();
  }
  for (Item& item : pending_)
    if (item.prepared.valid())
      item.prepared.wait(); // a job a worker already runs stops at its next piece
  pending_.clear();
  reading_ = 0;
}

void CheckPipeline::recordReady(bool wait) {
  if (wait)
    flush(); // what is waited for must be on its way
  while (!pending_.empty()) {
    if (control_.cancelled()) {
      dropAll(); // a cancelled run records nothing more
      return;
    }
    Item& head = pending_.front();
    bool read = head.prepared.valid();
    if (read && !wait &&
        head.prepared.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
      return;
    PreparedFile prepared = read ? head.prepared.get() : std::move(head.unread);
    std::string path = std::move(head.path);
    pending_.pop_front();
    if (read)
      --reading_;
    checker_.record(path, prepared);
    if (read)
      wait = false; // waited for one read; the rest only when already read
  }
}

} // namespace quorvane::scan
