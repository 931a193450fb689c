// Child processes for tests: copies of `sleep` under names of the test's choosing. Only these
// children are ever ended.
#pragma once

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvane::testing {

/// A child process running a copy of `sleep` under a name of our choosing.
class SleepingChild {
public:
  explicit SleepingChild(const std::string& programFile) {
    pid_ = fork();
    if (pid_ == 0) {
      execl(programFile.c_str(), programFile.c_str(), "60", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~SleepingChild() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL); // our own child only
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }
  /// True while the child runs (an ended child is reaped and no longer runs).
  bool running() {
    if (pid_ <= 0)
      return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    return true;
  }
  /// True once the child has ended (and is reaped).
  bool ended() {
    for (int i = 0; i < 200; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return true;
      }
      usleep(10000);
    }
    return false;
  }
  /// Waits until the child runs its program (after exec) and sleeps in it, its libraries
  /// loaded.
  void waitForExec(const std::string& programFile) {
    for (int i = 0; i < 500; ++i) {
      char target[4096] = {};
      std::string base = "/proc/" + std::to_string(pid_);
      std::ifstream stat(base + "/stat");
      std::string pid, name, state;
      stat >> pid >> name >> state;
      if (readlink((base + "/exe").c_str(), target, sizeof target - 1) > 0 &&
          programFile == target && state == "S")
        return;
      usleep(10000);
    }
  }

private:
  pid_t pid_ = -1;
};

inline std::string sleepProgram() {
  for (const char* candidate : {"/usr/bin/sleep", "/bin/sleep"})
    if (std::filesystem::exists(candidate))
      return candidate;
  return {};
}

/// Copies `sleep` to `path`, with `extra` bytes appended so that each copy has a fingerprint of
/// its own (the program still runs).
inline void copySleep(const std::string& path, const std::string& extra = {}) {
  std::filesystem::copy_file(sleepProgram(), path, std::filesystem::copy_options::overwrite_existing);
  if (!extra.empty())
    std::ofstream(path, std::ios::binary | std::ios::app) << extra;
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

} // namespace quorvane::testing
