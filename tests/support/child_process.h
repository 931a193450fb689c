// Child processes for tests: copies of `sleep` and `touch` under names of the test's choosing.
// Only these children are ever ended.
#pragma once

#include <csignal>
#include <filesystem>
#include <fstream>
#include <spawn.h>
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

/// The system's copy of a standard program ("sleep", "touch"); "" when there is none.
inline std::string standardProgram(const std::string& name) {
  for (std::string folder : {"/usr/bin/", "/bin/"})
    if (std::filesystem::exists(folder + name))
      return folder + name;
  return {};
}

inline std::string sleepProgram() {
  return standardProgram("sleep");
}

/// Copies a standard program to `path`, with `extra` bytes appended so that each copy has a
/// fingerprint of its own (the program still runs). Returns `path`.
inline std::string copyProgram(const std::string& name, const std::string& path,
                               const std::string& extra = {}) {
  std::filesystem::copy_file(standardProgram(name), path,
                             std::filesystem::copy_options::overwrite_existing);
  if (!extra.empty())
    std::ofstream(path, std::ios::binary | std::ios::app) << extra;
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

inline void copySleep(const std::string& path, const std::string& extra = {}) {
  copyProgram("sleep", path, extra);
}

/// Starts `program argument` and waits for it to end: 0 when it ran and exited with 0, -1 when
/// it ran and failed, else the error of the start itself (EPERM when a guard refused it).
inline int runToEnd(const std::string& program, const std::string& argument) {
  pid_t pid = 0;
  std::string name = program, arg = argument;
  char* argv[] = {name.data(), arg.data(), nullptr};
  int error = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ);
  if (error != 0)
    return error;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
}

} // namespace quorvane::testing
