// Pause and cancel of a running scan.
#include "engine/run_control.h"

namespace quorvane::engine {

void RunControl::pause() {
  std::lock_guard lock(mutex_);
  paused_ = true;
}

void RunControl::resume() {
  {
    std::lock_guard lock(mutex_);
    paused_ = false;
  }
  changed_.notify_all();
}

void RunControl::cancel() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  changed_.notify_all();
}

void RunControl::reset() {
  {
    std::lock_guard lock(mutex_);
    paused_ = false;
    cancelled_ = false;
  }
  changed_.notify_all();
}

bool RunControl::paused() const {
  std::lock_guard lock(mutex_);
  return paused_;
}

bool RunControl::checkpoint() {
  if (!paused_.load())
    return !cancelled_.load(); // the common case: a check per entry of a walk takes no lock
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !paused_ || cancelled_; });
  return !cancelled_;
}

} // namespace quorvane::engine
