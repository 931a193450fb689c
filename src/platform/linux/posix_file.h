// What the Linux bodies share about file descriptors and file status.
#pragma once

#include "platform/files.h"

#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quorvane::platform {

/// A file descriptor closed when this object goes.
class Fd {
public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  ~Fd() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd) {
    if (fd_ >= 0)
      ::close(fd_);
    fd_ = fd;
  }

private:
  int fd_;
};

/// The portable status of a stat result.
FileStatus toStatus(const struct stat& st);

} // namespace quorvane::platform
