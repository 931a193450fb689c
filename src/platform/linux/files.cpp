// Linux file system: POSIX calls. Nothing but file access lives here.
#include "platform/linux/linux_platform.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane::platform {
namespace {

std::error_code lastError() { return errnoCode(errno); }

FileStatus toStatus(const struct stat& st) {
  FileStatus out;
  out.kind = S_ISREG(st.st_mode)   ? FileKind::Regular
             : S_ISDIR(st.st_mode) ? FileKind::Directory
                                   : FileKind::Other;
  out.size = static_cast<std::uint64_t>(st.st_size);
  out.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  out.device = st.st_dev;
  out.inode = st.st_ino;
  out.executable = (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
  return out;
}

class Fd {
public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

private:
  int fd_;
};

class PosixInputFile final : public InputFile {
public:
  explicit PosixInputFile(int fd) : fd_(fd) {}
  ErrorOr<std::size_t> read(void* buffer, std::size_t size) override {
    for (;;) {
      ssize_t n = ::read(fd_.get(), buffer, size);
      if (n >= 0)
        return static_cast<std::size_t>(n);
      if (errno != EINTR)
        return lastError();
    }
  }

private:
  Fd fd_;
};

std::error_code writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return lastError();
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

} // namespace

ErrorOr<FileStatus> LinuxFileSystem::status(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return lastError();
  return toStatus(st);
}

ErrorOr<std::unique_ptr<InputFile>> LinuxFileSystem::openRead(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return lastError();
  return std::unique_ptr<InputFile>(std::make_unique<PosixInputFile>(fd));
}

ErrorOr<std::string> LinuxFileSystem::readFile(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0)
    return lastError();
  struct stat st;
  if (::fstat(fd.get(), &st) != 0)
    return lastError();
  if (S_ISDIR(st.st_mode))
    return std::errc::is_a_directory;
  std::string data;
  data.resize(static_cast<std::size_t>(st.st_size));
  std::size_t used = 0;
  char extra[65536]; // the file may have grown, or report no size at all (/proc)
  for (;;) {
    bool intoData = used < data.size();
    char* target = intoData ? data.data() + used : extra;
    std::size_t room = intoData ? data.size() - used : sizeof extra;
    ssize_t n = ::read(fd.get(), target, room);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return lastError();
    }
    if (n == 0)
      break;
    if (intoData) {
      used += static_cast<std::size_t>(n);
    } else {
      data.append(extra, static_cast<std::size_t>(n));
      used = data.size();
    }
  }
  data.resize(used);
  return data;
}

std::error_code LinuxFileSystem::writeFile(const std::string& path, std::string_view data) {
  // Write a sibling and rename it over the file, so a failed write leaves the old content.
  std::string temp = path + ".tmp-" + std::to_string(::getpid());
  Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (fd.get() < 0)
    return lastError();
  std::error_code error = writeAll(fd.get(), data);
  if (!error && ::fsync(fd.get()) != 0)
    error = lastError();
  if (!error && ::rename(temp.c_str(), path.c_str()) != 0)
    error = lastError();
  if (error)
    ::unlink(temp.c_str());
  return error;
}

std::error_code LinuxFileSystem::appendFile(const std::string& path, std::string_view data) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (fd.get() < 0)
    return lastError();
  return writeAll(fd.get(), data);
}

std::error_code LinuxFileSystem::removeFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0)
    return lastError();
  return {};
}

ErrorOr<std::unique_ptr<FileLock>> LinuxFileSystem::tryLock(const std::string& path) {
  struct Held final : FileLock {
    int fd;
    explicit Held(int descriptor) : fd(descriptor) {}
    ~Held() override { ::close(fd); } // closing releases the lock
  };
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0)
    return lastError();
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    std::error_code error = errno == EWOULDBLOCK ? std::make_error_code(std::errc::resource_unavailable_try_again)
                                                 : lastError();
    ::close(fd);
    return error;
  }
  return std::unique_ptr<FileLock>(std::make_unique<Held>(fd));
}

std::error_code LinuxFileSystem::removeDirectory(const std::string& path) {
  if (::rmdir(path.c_str()) != 0)
    return lastError();
  return {};
}

std::error_code LinuxFileSystem::createDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) != 0) {
    if (errno == EEXIST) {
      struct stat st;
      if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return {};
      return errnoCode(EEXIST);
    }
    return lastError();
  }
  return {};
}

std::error_code LinuxFileSystem::copyFile(const std::string& from, const std::string& to) {
  Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0)
    return lastError();
  struct stat st;
  if (::fstat(in.get(), &st) != 0)
    return lastError();
  Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777));
  if (out.get() < 0)
    return lastError();
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return lastError();
    }
    if (n == 0)
      break;
    if (auto error = writeAll(out.get(), std::string_view(buffer, static_cast<std::size_t>(n))))
      return error;
  }
  if (::fsync(out.get()) != 0)
    return lastError();
  return {};
}

ErrorOr<std::vector<DirEntry>> LinuxFileSystem::listDirectory(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir)
    return lastError();
  std::vector<DirEntry> entries;
  int fd = ::dirfd(dir);
  errno = 0;
  while (struct dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..")
      continue;
    DirEntry out{std::move(name), FileKind::Other, false};
    struct stat st;
    // lstat: a link is reported as Other, so walks never follow it.
    if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      FileStatus status = toStatus(st);
      out.kind = status.kind;
      out.executable = status.kind == FileKind::Regular && status.executable;
      out.size = status.size;
    }
    entries.push_back(std::move(out));
  }
  ::closedir(dir);
  return entries;
}

std::error_code LinuxFileSystem::makeWritable(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return lastError();
  if ((st.st_mode & S_IWUSR) == 0 && ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0)
    return lastError();
  return {};
}

ErrorOr<std::string> LinuxFileSystem::readHead(const std::string& path, std::size_t size) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0)
    return lastError();
  std::string data(size, '\0');
  ssize_t n;
  do {
    n = ::read(fd.get(), data.data(), size);
  } while (n < 0 && errno == EINTR);
  if (n < 0)
    return lastError();
  data.resize(static_cast<std::size_t>(n));
  return data;
}

} // namespace quorvane::platform
