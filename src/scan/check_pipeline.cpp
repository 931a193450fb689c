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
    std::packaged_task<void()> job;
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
    pending_.push_back({path, nullptr, 0, std::move(unread)});
  } else {
    if (!open_)
      open_ = std::make_shared<Batch>();
    pending_.push_back({path, open_, open_->files.size(), {}});
    open_->files.emplace_back(path, std::move(screened));
    ++reading_;
    if (open_->files.size() >= kBatch)
      flush();
  }
  recordReady(false);
  while (!pending_.empty() && (reading_ > window_ || pending_.size() > kMaxPending))
    recordReady(true);
}

void CheckPipeline::flush() {
  if (!open_)
    return;
  std::shared_ptr<Batch> batch = std::move(open_);
  batch->prepared.resize(batch->files.size());
  // The job holds the batch by address: the batch holds the job's future, and its pending items
  // keep it until the job is done (dropAll waits for the jobs a worker took).
  std::packaged_task<void()> job([this, batch = batch.get()] {
    for (std::size_t i = 0; i < batch->files.size(); ++i) {
      if (control_.cancelled())
        return; // the rest is dropped unread
      const auto& [path, screened] = batch->files[i];
      batch->prepared[i] = checker_.readScreened(path, screened, &control_, kPieceSize);
    }
  });
  batch->done = job.get_future();
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void CheckPipeline::finish() {
  while (!pending_.empty())
    recordReady(true);
}

void CheckPipeline::dropAll() {
  open_.reset();
  {
    std::lock_guard lock(mutex_);
    jobs_.clear(); // their batches' futures report a broken promise: nothing waits on them
  }
  for (Item& item : pending_)
    if (item.batch && item.batch->done.valid())
      item.batch->done.wait(); // a batch a worker already reads stops at its next piece
  pending_.clear();
  reading_ = 0;
}

void CheckPipeline::recordReady(bool wait) {
  while (!pending_.empty()) {
    if (control_.cancelled()) {
      dropAll(); // a cancelled run records nothing more
      return;
    }
    Item& head = pending_.front();
    bool read = head.batch != nullptr;
    if (read) {
      if (!head.batch->done.valid()) {
        if (!wait)
          return; // still being filled
        flush();  // what is waited for must be on its way
      }
      if (!wait && head.batch->done.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
      head.batch->done.wait();
    }
    PreparedFile prepared =
        read ? std::move(head.batch->prepared[head.index]) : std::move(head.unread);
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
