// Linux file system: POSIX calls. Nothing but file access lives here.
#include "platform/linux/linux_platform.h"
#include "platform/linux/posix_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane::platform {
namespace {

std::error_code lastError() {
  return errnoCode(errno);
}

bool sameFile(const struct stat& st, const FileIdentity& identity) {
  return st.st_dev == identity.device && st.st_ino == identity.inode;
}


/// Files are opened without waiting (no FIFO or device may hold the open), and reads of a
/// regular file do not wait anyway; one that still answers EAGAIN (some network file systems) is
/// switched to plain blocking reads. False when it already was blocking, or cannot be switched.
bool clearNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_NONBLOCK) && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

class PosixInputFile final : public InputFile {
public:
  PosixInputFile(int fd, FileStatus status) : fd_(fd), status_(status) {}
  FileStatus status() const override { return status_; }
  ErrorOr<std::size_t> read(void* buffer, std::size_t size) override {
    for (;;) {
      ssize_t n = ::read(fd_.get(), buffer, size);
      if (n >= 0)
        return static_cast<std::size_t>(n);
      if (errno == EAGAIN && clearNonBlocking(fd_.get()))
        continue;
      if (errno != EINTR)
        return lastError();
    }
  }

private:
  Fd fd_;
  FileStatus status_;
};

/// Opens a regular file for reading without waiting on a FIFO or device; `extraFlags` may add
/// O_NOFOLLOW. `st` receives the open file's status.
ErrorOr<int> openRegular(int dirfd, const char* path, int extraFlags, struct stat& st) {
  int fd = ::openat(dirfd, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | extraFlags);
  if (fd < 0) {
    if (errno == ELOOP && (extraFlags & O_NOFOLLOW))
      return FileError::UnsafeLink;
    return lastError();
  }
  if (::fstat(fd, &st) != 0) {
    std::error_code error = lastError();
    ::close(fd);
    return error;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return S_ISDIR(st.st_mode) ? std::make_error_code(std::errc::is_a_directory)
                               : make_error_code(FileError::NotRegular);
  }
  return fd; // still O_NONBLOCK (see clearNonBlocking)
}

/// The folder part and the last name of a path; the name is empty when there is none to act on.
std::pair<std::string, std::string> splitLast(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/')
    trimmed.pop_back();
  std::size_t cut = trimmed.find_last_of('/');
  std::string folder = cut == std::string::npos ? "." : cut == 0 ? "/" : trimmed.substr(0, cut);
  std::string name = cut == std::string::npos ? trimmed : trimmed.substr(cut + 1);
  if (name == "." || name == ".." || name == "/")
    name.clear();
  return {folder, name};
}

/// A path named relative to a folder handle, for the *at system calls. A path too long for one
/// call (PATH_MAX and more) is reached a piece at a time: the folders of its head are opened,
/// each piece below PATH_MAX, and the rest is named relative to the last of them.
class Reached {
public:
  int at() const { return folder_.get() >= 0 ? folder_.get() : AT_FDCWD; }
  const char* rest() const { return rest_.c_str(); }

  static ErrorOr<Reached> of(const std::string& path) {
    Reached reached;
    std::string_view remaining = path;
    while (remaining.size() >= PATH_MAX) {
      std::size_t cut = remaining.rfind('/', PATH_MAX - 1);
      if (cut == std::string_view::npos || cut == 0)
        return std::errc::filename_too_long; // no folder to stop at: a name past any limit
      std::string head(remaining.substr(0, cut));
      int fd = ::openat(reached.at(), head.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (fd < 0)
        return lastError();
      reached.folder_.reset(fd);
      remaining.remove_prefix(cut + 1);
    }
    reached.rest_ = remaining;
    return reached;
  }

private:
  Reached() = default;
  Fd folder_{-1};
  std::string rest_;
};

/// A folder handle for the *at calls, the path resolved by the system (links followed).
ErrorOr<int> openFolder(const std::string& folder) {
  auto reached = Reached::of(folder);
  if (!reached)
    return reached.error();
  int fd = ::openat(reached->at(), reached->rest(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return lastError();
  return fd;
}

/// A folder handle reached one name at a time, for writing where others may have put links:
/// a link is followed only when it belongs to the system (root) or to this user; with
/// `createMode`, missing folders are made and never followed afterwards.
ErrorOr<int> openFolderChain(const std::string& folder, std::optional<mode_t> createMode) {
  std::vector<std::string> todo; // names still to walk, the next one last
  auto pushPath = [&todo](const std::string& text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t slash = text.find('/', start);
      std::string name = text.substr(start, slash == std::string::npos ? slash : slash - start);
      if (!name.empty() && name != ".")
        names.push_back(std::move(name));
      if (slash == std::string::npos)
        break;
      start = slash + 1;
    }
    todo.insert(todo.end(), names.rbegin(), names.rend());
  };
  Fd current(
      ::open(!folder.empty() && folder[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (current.get() < 0)
    return lastError();
  pushPath(folder);
  int links = 0;
  while (!todo.empty()) {
    std::string name = std::move(todo.back());
    todo.pop_back();
    int next = ::openat(current.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && createMode) {
      if (::mkdirat(current.get(), name.c_str(), *createMode) != 0 && errno != EEXIST)
        return lastError();
      next = ::openat(current.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next < 0)
        return errno == ENOTDIR || errno == ELOOP ? make_error_code(FileError::UnsafeLink)
                                                  : lastError();
    }
    if (next >= 0) {
      current.reset(next);
      continue;
    }
    if (errno != ENOTDIR && errno != ELOOP)
      return lastError();
    struct stat st;
    if (::fstatat(current.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
      return lastError();
    if (!S_ISLNK(st.st_mode))
      return std::errc::not_a_directory;
    if (st.st_uid != 0 && st.st_uid != ::geteuid())
      return FileError::UnsafeLink;
    if (++links > 40)
      return std::errc::too_many_symbolic_link_levels;
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    ssize_t n = ::readlinkat(current.get(), name.c_str(), target.data(), target.size());
    if (n < 0)
      return lastError();
    if (static_cast<std::size_t>(n) >= target.size())
      return FileError::Changed; // the link grew between the two calls
    target.resize(static_cast<std::size_t>(n));
    if (!target.empty() && target[0] == '/') {
      current.reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
      if (current.get() < 0)
        return lastError();
    }
    pushPath(target);
  }
  return current.release();
}

/// Copies everything from `in` to `out`, then flushes `out`.
std::error_code copyContent(int in, int out);

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
  auto reached = Reached::of(path);
  if (!reached)
    return reached.error();
  struct stat st;
  if (::fstatat(reached->at(), reached->rest(), &st, 0) != 0)
    return lastError();
  return toStatus(st);
}

ErrorOr<std::unique_ptr<InputFile>> LinuxFileSystem::openRead(const std::string& path) {
  struct stat st;
  auto fd = openRegular(AT_FDCWD, path.c_str(), 0, st);
  if (!fd)
    return fd.error();
  return std::unique_ptr<InputFile>(std::make_unique<PosixInputFile>(*fd, toStatus(st)));
}

ErrorOr<std::unique_ptr<InputFile>> LinuxFileSystem::openEntry(const std::string& path) {
  auto reached = Reached::of(path);
  if (!reached)
    return reached.error();
  struct stat st;
  auto fd = openRegular(reached->at(), reached->rest(), O_NOFOLLOW, st);
  if (!fd)
    return fd.error();
  return std::unique_ptr<InputFile>(std::make_unique<PosixInputFile>(*fd, toStatus(st)));
}

bool LinuxFileSystem::isWritable(const std::string& path) {
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

ErrorOr<std::string> LinuxFileSystem::canonicalPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) {
    std::error_code error = lastError();
    // The kernel's link to a deleted file names it "PATH (deleted)"; the link still reads it.
    struct stat st;
    if (error == std::errc::no_such_file_or_directory && ::stat(path.c_str(), &st) == 0) {
      std::string target(PATH_MAX, '\0');
      ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
      if (n > 0 && static_cast<std::size_t>(n) < target.size()) {
        target.resize(static_cast<std::size_t>(n));
        if (target.front() == '/' && withoutDeletedMark(target).second)
          return target;
      }
    }
    return error;
  }
  std::string out = resolved;
  std::free(resolved);
  return out;
}

ErrorOr<std::string> LinuxFileSystem::readFile(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0)
    return lastError();
  struct stat st;
  if (::fstat(fd.get(), &st) != 0)
    return lastError();
  if (S_ISDIR(st.st_mode))
    return std::errc::is_a_directory;
  if (!S_ISREG(st.st_mode))
    return FileError::NotRegular; // never waits on a writer, never reads a device without end
  if (int flags = ::fcntl(fd.get(), F_GETFL); flags >= 0)
    ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
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
  ::unlink(temp.c_str()); // left by a killed process of the same number
  Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
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
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
               0644));
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
    std::error_code error = errno == EWOULDBLOCK
                                ? std::make_error_code(std::errc::resource_unavailable_try_again)
                                : lastError();
    ::close(fd);
    return error;
  }
  return std::unique_ptr<FileLock>(std::make_unique<Held>(fd));
}

ErrorOr<std::unique_ptr<FileLock>> LinuxFileSystem::lock(const std::string& path) {
  struct Held final : FileLock {
    int fd;
    explicit Held(int descriptor) : fd(descriptor) {}
    ~Held() override { ::close(fd); }
  };
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0)
    return lastError();
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      std::error_code error = lastError();
      ::close(fd);
      return error;
    }
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

namespace {

std::error_code copyContent(int in, int out) {
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      if (errno == EAGAIN && clearNonBlocking(in))
        continue;
      return lastError();
    }
    if (n == 0)
      break;
    if (auto error = writeAll(out, std::string_view(buffer, static_cast<std::size_t>(n))))
      return error;
  }
  if (::fsync(out) != 0)
    return lastError();
  return {};
}

/// Creates `name` in `dirfd` (it must not exist, a link included) with `mode`, its content
/// written by `write` (which syncs it to disk); a failed file is removed again.
std::error_code fillNewFile(int dirfd, const std::string& name, std::uint32_t mode,
                            const std::function<std::error_code(int out)>& write) {
  mode_t bits = static_cast<mode_t>(mode & 07777);
  auto fill = [&](int out) {
    std::error_code error = write(out);
    if (!error && ::fchmod(out, bits) != 0)
      error = lastError(); // the mode without the creation mask
    return error;
  };
  // Made as a file without a name and named only once complete: a run killed midway leaves
  // nothing, and the name is claimed by linkat, which never replaces what is there.
  Fd out(::openat(dirfd, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, bits));
  if (out.get() >= 0) {
    std::error_code error = fill(out.get());
    std::string self = "/proc/self/fd/" + std::to_string(out.get());
    if (!error && ::linkat(AT_FDCWD, self.c_str(), dirfd, name.c_str(), AT_SYMLINK_FOLLOW) != 0)
      error = lastError();
    return error;
  }
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
    return lastError();
  // A file system without unnamed files: the name is claimed first, and removed on failure.
  out.reset(
      ::openat(dirfd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, bits));
  if (out.get() < 0)
    return lastError();
  std::error_code error = fill(out.get());
  if (error)
    ::unlinkat(dirfd, name.c_str(), 0);
  return error;
}

/// Creates `name` in `dirfd` as a copy of what `in` reads, as fillNewFile does.
std::error_code copyIntoNewFile(int in, int dirfd, const std::string& name, std::uint32_t mode) {
  return fillNewFile(dirfd, name, mode, [in](int out) { return copyContent(in, out); });
}

} // namespace

std::error_code LinuxFileSystem::copyFile(const std::string& from, const std::string& to) {
  struct stat st;
  auto in = openRegular(AT_FDCWD, from.c_str(), 0, st);
  if (!in)
    return in.error();
  Fd input(*in);
  Fd out(
      ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 0777));
  if (out.get() < 0)
    return lastError();
  return copyContent(input.get(), out.get());
}

namespace {

/// A handle of the folder that holds `path`, and the name of its last part in `name`. The folder
/// is reached as the system resolves it, or, with `createMode`, one name at a time as
/// openFolderChain does (missing folders made).
ErrorOr<int> openParent(const std::string& path, std::string& name,
                        std::optional<mode_t> createMode = std::nullopt) {
  auto [folder, last] = splitLast(path);
  if (last.empty())
    return std::errc::invalid_argument;
  name = std::move(last);
  return createMode ? openFolderChain(folder, createMode) : openFolder(folder);
}

} // namespace

std::error_code LinuxFileSystem::createNewFile(const std::string& path, std::string_view data,
                                              std::uint32_t mode) {
  std::string name;
  auto dir = openParent(path, name);
  if (!dir)
    return dir.error();
  Fd dirfd(*dir);
  return fillNewFile(dirfd.get(), name, mode, [data](int out) {
    std::error_code error = writeAll(out, data);
    if (!error && ::fsync(out) != 0)
      error = lastError();
    return error;
  });
}

std::error_code LinuxFileSystem::removeCheckedFile(const std::string& path,
                                                   const FileIdentity& checked) {
  std::string name;
  auto dir = openParent(path, name);
  if (!dir)
    return dir.error();
  Fd dirfd(*dir);
  // Compared and removed within the same folder handle: whatever the path names by now, only
  // this folder's entry is touched, and only while it is the file that was checked.
  struct stat st;
  if (::fstatat(dirfd.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    return lastError();
  if (!S_ISREG(st.st_mode) || !sameFile(st, checked))
    return FileError::Changed;
  if (::unlinkat(dirfd.get(), name.c_str(), 0) != 0)
    return lastError();
  return {};
}

std::error_code LinuxFileSystem::copyCheckedFile(const std::string& from,
                                                 const FileIdentity& checked, const std::string& to,
                                                 std::uint32_t mode) {
  auto reached = Reached::of(from);
  if (!reached)
    return reached.error();
  struct stat st;
  auto in = openRegular(reached->at(), reached->rest(), O_NOFOLLOW, st);
  if (!in)
    return in.error();
  Fd input(*in);
  if (checked.known() && !sameFile(st, checked))
    return FileError::Changed;
  std::string name;
  auto dir = openParent(to, name);
  if (!dir)
    return dir.error();
  Fd dirfd(*dir);
  return copyIntoNewFile(input.get(), dirfd.get(), name, mode);
}

std::error_code LinuxFileSystem::restoreFile(const std::string& from, const std::string& to,
                                             std::uint32_t mode) {
  struct stat st;
  auto in = openRegular(AT_FDCWD, from.c_str(), O_NOFOLLOW, st);
  if (!in)
    return in.error();
  Fd input(*in);
  std::string name;
  auto dir = openParent(to, name, mode_t{0755});
  if (!dir)
    return dir.error();
  Fd dirfd(*dir);
  return copyIntoNewFile(input.get(), dirfd.get(), name, mode);
}

std::error_code LinuxFileSystem::createPrivateDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0)
    return {};
  if (errno != EEXIST)
    return lastError();
  Fd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0)
    return errno == ELOOP || errno == ENOTDIR ? make_error_code(FileError::UnsafeLink)
                                              : lastError();
  struct stat st;
  if (::fstat(fd.get(), &st) != 0)
    return lastError();
  if ((st.st_mode & 077) != 0 && st.st_uid == ::geteuid() && ::fchmod(fd.get(), 0700) != 0)
    return lastError();
  return {};
}

namespace {

/// Reads the head of the regular file `name` of the open folder `folder` into `entry`, when the
/// name still holds the file the listing saw. A link is not followed, a FIFO is not waited on,
/// and the kernel is told not to read ahead: the walk wants a few bytes, not the file.
void readEntryHead(int folder, const char* name, std::size_t size, DirEntry& entry) {
  struct stat st;
  auto fd = openRegular(folder, name, O_NOFOLLOW, st);
  if (!fd)
    return; // gone, or a link or a FIFO now
  Fd file(*fd);
  if (!sameFile(st, entry.identity))
    return; // another file swapped in since it was listed
  ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_RANDOM);
  entry.head.resize(size);
  ssize_t n;
  do {
    n = ::pread(file.get(), entry.head.data(), size, 0);
  } while (n < 0 && errno == EINTR);
  entry.head.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
}

/// Lists the open folder `descriptor` (taken over and closed) with one status per entry, relative
/// to it, and reads the heads `heads` asks for.
ErrorOr<std::vector<DirEntry>> listOpenDirectory(int descriptor, const HeadRequest& heads) {
  DIR* dir = ::fdopendir(descriptor);
  if (!dir) {
    std::error_code error = lastError();
    ::close(descriptor);
    return error;
  }
  std::vector<DirEntry> entries;
  int fd = ::dirfd(dir);
  errno = 0;
  while (struct dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
      continue;
    DirEntry& out = entries.emplace_back();
    out.name = name;
    struct stat st;
    // lstat: a link is reported as Other, so walks never follow it.
    if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      FileStatus status = toStatus(st);
      out.kind = status.kind;
      out.executable = status.kind == FileKind::Regular && status.executable;
      out.size = status.size;
      out.identity = status.identity();
      if (out.kind == FileKind::Regular && heads.wanted && heads.wanted(out))
        readEntryHead(fd, name, heads.size, out);
    }
  }
  ::closedir(dir);
  return entries;
}

} // namespace

ErrorOr<std::vector<DirEntry>> LinuxFileSystem::listDirectory(const std::string& path) {
  return listFolder(path, nullptr, {});
}

ErrorOr<std::vector<DirEntry>> LinuxFileSystem::listFolder(const std::string& path,
                                                           const FileIdentity* listed,
                                                           const HeadRequest& heads) {
  auto reached = Reached::of(path);
  if (!reached)
    return reached.error();
  // A subfolder as its parent listed it is never reached through a link.
  int fd = ::openat(reached->at(), reached->rest(),
                    O_RDONLY | O_DIRECTORY | O_CLOEXEC | (listed ? O_NOFOLLOW : 0));
  if (fd < 0)
    return listed && (errno == ELOOP || errno == ENOTDIR) ? make_error_code(FileError::Changed)
                                                          : lastError();
  struct stat st;
  if (listed && (::fstat(fd, &st) != 0 || !sameFile(st, *listed))) {
    ::close(fd);
    return FileError::Changed; // swapped since its parent was listed
  }
  return listOpenDirectory(fd, heads);
}

std::error_code LinuxFileSystem::makeWritable(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0)
    return lastError();
  if (S_ISLNK(st.st_mode))
    return FileError::UnsafeLink;
  if ((st.st_mode & S_IWUSR) == 0 &&
      ::fchmodat(AT_FDCWD, path.c_str(), (st.st_mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW) != 0)
    return lastError();
  return {};
}

ErrorOr<std::string> LinuxFileSystem::readHead(const std::string& path, std::size_t size) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0)
    return lastError();
  struct stat st;
  if (::fstat(fd.get(), &st) != 0)
    return lastError();
  if (!S_ISREG(st.st_mode))
    return FileError::NotRegular;
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
  out.mode = static_cast<std::uint32_t>(st.st_mode & 07777);
  return out;
}

} // namespace quorvane::platform
