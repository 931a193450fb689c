// Processes a test starts and ends itself, and a virtual X display (Xvfb) to run the desktop
// program on.
#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quorvane::testing {

constexpr int kScreenWidth = 1024, kScreenHeight = 768;

/// A process of ours, ended (and reaped) when this goes.
class OwnChild {
public:
  OwnChild(std::vector<std::string> argv, std::vector<std::string> environment,
           const std::string& errorFile = {}, int keepFd = -1) {
    pid_ = fork();
    if (pid_ == 0) {
      for (const std::string& setting : environment)
        putenv(const_cast<char*>(setting.c_str()));
      if (!errorFile.empty()) {
        int fd = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
      }
      for (int fd = 3; fd < 1024; ++fd)
        if (fd != keepFd)
          close(fd);
      std::vector<char*> args;
      for (std::string& arg : argv)
        args.push_back(arg.data());
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~OwnChild() { stop(); }
  pid_t pid() const { return pid_; }
  /// True while the child has not ended.
  bool running() {
    if (pid_ <= 0)
      return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_)
      return true;
    ended_ = status;
    pid_ = -1;
    return false;
  }
  /// Asks the child to end (SIGTERM; SIGKILL after 3 s) and returns its wait status.
  int stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM); // our own child only
      int status = 0;
      for (int i = 0; i < 300; ++i) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
          pid_ = -1;
          return ended_ = status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      pid_ = -1;
      ended_ = status;
    }
    return ended_;
  }

private:
  pid_t pid_ = -1;
  int ended_ = -1;
};

/// Xvfb on a free display number, which it reports itself. With `anyLocalUser`, clients of
/// other local users may connect too (no access control).
class VirtualDisplay {
public:
  explicit VirtualDisplay(bool anyLocalUser = false, int width = kScreenWidth,
                          int height = kScreenHeight) {
    int ends[2];
    if (pipe(ends) != 0)
      return;
    std::string size = std::to_string(width) + "x" + std::to_string(height) + "x24";
    server_ = std::make_unique<OwnChild>(
        anyLocalUser ? std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd",
                                                std::to_string(ends[1]), "-screen", "0", size,
                                                "-nolisten", "tcp", "-ac"}
                     : std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd",
                                                std::to_string(ends[1]), "-screen", "0", size,
                                                "-nolisten", "tcp"},
        std::vector<std::string>{}, std::string{}, ends[1]);
    close(ends[1]);
    std::string number;
    char c;
    while (read(ends[0], &c, 1) == 1 && c != '\n')
      number += c;
    close(ends[0]);
    if (!number.empty())
      name_ = ":" + number;
  }
  /// ":N", or empty when the server did not start.
  const std::string& name() const { return name_; }

private:
  std::unique_ptr<OwnChild> server_;
  std::string name_;
};

} // namespace quorvane::testing
