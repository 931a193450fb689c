// Pause and cancel of long work (a walk, a scan, a load, a download), safe to use from any
// thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace quorvane::engine {

/// Pause and cancel of a running walk or loop, safe to use from any thread.
class RunControl {
public:
  void pause();
  void resume();
  void cancel();
  /// Clears both pause and cancel, for the next run.
  void reset();
  bool paused() const;
  bool cancelled() const { return cancelled_.load(); }
  /// Waits while paused (and not cancelled); false when the run is to stop.
  bool checkpoint();

private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> paused_{false}; ///< changed under mutex_, read without it on the fast path
  std::atomic<bool> cancelled_{false};
};

} // namespace quorvane::engine
