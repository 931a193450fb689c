// Linux exec gate: fanotify's permission event for opening a file to execute it
// (FAN_OPEN_EXEC_PERM, kernel 5.0; whole file systems from 5.1). Needs CAP_SYS_ADMIN.
#include "platform/exec_gate.h"

#include "platform/linux/linux_platform.h"
#include "platform/linux/posix_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane::platform {
namespace {

/// File systems that never hold a program anyone starts: not worth a mark.
bool holdsNoPrograms(const std::string& fsType) {
  static const std::set<std::string> kTypes = {
      "proc",   "sysfs",  "cgroup",      "cgroup2", "devpts",     "securityfs", "debugfs",
      "tracefs", "pstore", "bpf",        "mqueue",  "configfs",   "fusectl",    "binfmt_misc",
      "autofs", "nsfs",   "efivarfs",    "rpc_pipefs", "selinuxfs"};
  return kTypes.count(fsType) != 0;
}

/// The fanotify descriptor, kept open while any request still needs to answer through it (a
/// request answering through a closed and reused descriptor number would write elsewhere).
struct Channel {
  explicit Channel(int descriptor) : fd(descriptor) {}
  Fd fd;
};

/// Answers the event whose file descriptor is `fd`. The kernel takes the answer whole or not at
/// all; one it refuses (the gate was closed) leaves nothing waiting either.
void respond(int channel, int fd, bool allow) {
  struct fanotify_response response{};
  response.fd = fd;
  response.response = allow ? FAN_ALLOW : FAN_DENY;
  while (::write(channel, &response, sizeof response) < 0 && errno == EINTR) {
  }
}

/// Reads the file a request is about through a descriptor of its own, from a position of its own.
class EventFileReader final : public InputFile {
public:
  EventFileReader(int fd, FileStatus status) : fd_(fd), status_(status) {}
  FileStatus status() const override { return status_; }
  ErrorOr<std::size_t> read(void* buffer, std::size_t size) override {
    for (;;) {
      ssize_t n = ::pread(fd_.get(), buffer, size, offset_);
      if (n >= 0) {
        offset_ += n;
        return static_cast<std::size_t>(n);
      }
      if (errno != EINTR)
        return errnoCode(errno);
    }
  }

private:
  Fd fd_;
  FileStatus status_;
  off_t offset_ = 0;
};

std::string pathOfDescriptor(int fd) {
  char buffer[PATH_MAX + 16];
  std::string link = "/proc/self/fd/" + std::to_string(fd);
  ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

class FanotifyRequest final : public ExecRequest {
public:
  FanotifyRequest(std::shared_ptr<Channel> channel, int fd, ProcessId pid, const struct stat& st)
      : channel_(std::move(channel)), fd_(fd), pid_(pid), status_(toStatus(st)) {
    version_ = {status_.device, status_.inode, status_.size, status_.modifiedNs,
                static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
  }
  ~FanotifyRequest() override { answer(true); } // never leave a start waiting

  ProcessId pid() const override { return pid_; }
  const FileStatus& status() const override { return status_; }
  const ExecFileVersion& version() const override { return version_; }
  /// Looked up when first asked for: most starts are answered without it.
  const std::string& path() const override {
    std::call_once(pathFound_, [this] { path_ = pathOfDescriptor(fd_.get()); });
    return path_;
  }
  ErrorOr<std::unique_ptr<InputFile>> open() override {
    int copy = ::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
      return errnoCode(errno);
    return std::unique_ptr<InputFile>(std::make_unique<EventFileReader>(copy, status_));
  }
  bool answer(bool allow) override {
    if (answered_.exchange(true))
      return false;
    respond(channel_->fd.get(), fd_.get(), allow);
    return true;
  }
  bool answered() const override { return answered_; }

private:
  std::shared_ptr<Channel> channel_;
  Fd fd_;
  ProcessId pid_;
  FileStatus status_;
  ExecFileVersion version_;
  mutable std::once_flag pathFound_;
  mutable std::string path_;
  std::atomic<bool> answered_{false};
};

class FanotifyGate final : public ExecGate {
public:
  FanotifyGate(int fd, const ExecGateOptions& options)
      : channel_(std::make_shared<Channel>(fd)), options_(options), ownPid_(::getpid()) {}

  /// Marks what the options ask for; an error when nothing at all could be marked.
  std::error_code start() {
    if (!options_.folders.empty()) {
      for (const std::string& folder : options_.folders)
        if (::fanotify_mark(channel_->fd.get(), FAN_MARK_ADD | FAN_MARK_ONLYDIR,
                            FAN_OPEN_EXEC_PERM | FAN_EVENT_ON_CHILD, AT_FDCWD,
                            folder.c_str()) != 0)
          return errnoCode(errno);
    } else {
      mountWatch_.reset(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
      std::error_code error = markMounts();
      if (marked_.empty())
        return error ? error : std::make_error_code(std::errc::no_such_device);
    }
    for (const std::string& file : options_.exempt)
      ::fanotify_mark(channel_->fd.get(),
                      FAN_MARK_ADD | FAN_MARK_IGNORED_MASK | FAN_MARK_IGNORED_SURV_MODIFY,
                      FAN_OPEN_EXEC_PERM, AT_FDCWD, file.c_str());
    return {};
  }

  std::shared_ptr<ExecRequest> nextRequest(std::chrono::milliseconds timeout) override {
    struct pollfd wait{channel_->fd.get(), POLLIN, 0};
    int ready = ::poll(&wait, 1, static_cast<int>(timeout.count()));
    if (ready <= 0)
      return nullptr;
    // One event per read, so that every waiting thread takes its own.
    struct fanotify_event_metadata event{};
    ssize_t n = ::read(channel_->fd.get(), &event, sizeof event);
    if (n < static_cast<ssize_t>(FAN_EVENT_METADATA_LEN) ||
        event.vers != FANOTIFY_METADATA_VERSION)
      return nullptr; // another reader took it, or nothing this build understands
    if (event.mask & FAN_Q_OVERFLOW) {
      ++overflows_;
      return nullptr;
    }
    if (event.fd < 0)
      return nullptr;
    struct stat st{};
    if (event.pid == static_cast<decltype(event.pid)>(ownPid_) || ::fstat(event.fd, &st) != 0) {
      respond(channel_->fd.get(), event.fd, true);
      ::close(event.fd);
      return nullptr;
    }
    return std::make_shared<FanotifyRequest>(channel_, event.fd,
                                             static_cast<ProcessId>(event.pid), st);
  }

  void coverNewMounts() override {
    if (mountWatch_.get() < 0)
      return;
    // The mount table's descriptor reports a change as an exceptional condition.
    struct pollfd wait{mountWatch_.get(), POLLPRI, 0};
    if (::poll(&wait, 1, 0) > 0 && (wait.revents & (POLLPRI | POLLERR)))
      markMounts();
  }

  std::string coverage() const override {
    std::lock_guard lock(mutex_);
    if (!options_.folders.empty())
      return std::to_string(options_.folders.size()) +
             (options_.folders.size() == 1 ? " folder" : " folders");
    std::set<std::pair<unsigned, unsigned>> systems;
    for (const auto& [point, device] : marked_)
      systems.insert(device);
    return std::to_string(systems.size()) + (systems.size() == 1 ? " file system" : " file systems");
  }

  std::uint64_t overflows() const override { return overflows_; }

private:
  /// Marks every mounted file system not marked yet: the whole file system where the kernel
  /// allows it, else the mount. The last error, when a mount could be marked neither way.
  std::error_code markMounts() {
    std::string text;
    char buffer[8192];
    ::lseek(mountWatch_.get(), 0, SEEK_SET);
    for (ssize_t n; (n = ::read(mountWatch_.get(), buffer, sizeof buffer)) > 0;)
      text.append(buffer, static_cast<std::size_t>(n));
    std::lock_guard lock(mutex_);
    std::error_code error;
    for (const MountEntry& mount : parseMountInfo(text, false)) {
      if (holdsNoPrograms(mount.fsType) || marked_.count(mount.mountPoint))
        continue;
      const char* point = mount.mountPoint.c_str();
      int fd = channel_->fd.get();
      if (::fanotify_mark(fd, FAN_MARK_ADD | FAN_MARK_FILESYSTEM, FAN_OPEN_EXEC_PERM, AT_FDCWD,
                          point) == 0 ||
          ::fanotify_mark(fd, FAN_MARK_ADD | FAN_MARK_MOUNT, FAN_OPEN_EXEC_PERM, AT_FDCWD,
                          point) == 0)
        marked_.emplace(mount.mountPoint, std::make_pair(mount.major, mount.minor));
      else
        error = errnoCode(errno);
    }
    return error;
  }

  std::shared_ptr<Channel> channel_;
  ExecGateOptions options_;
  pid_t ownPid_;
  Fd mountWatch_{-1};
  mutable std::mutex mutex_;
  std::map<std::string, std::pair<unsigned, unsigned>> marked_; ///< mount point → device
  std::atomic<std::uint64_t> overflows_{0};
};

} // namespace

ErrorOr<std::unique_ptr<ExecGate>> openExecGate(const ExecGateOptions& options) {
  // The queue keeps the kernel's bound (16384 events by default): a flood of starts cannot make
  // the kernel hold unbounded memory for us.
  int fd = ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC | FAN_NONBLOCK,
                           O_RDONLY | O_LARGEFILE | O_CLOEXEC);
  if (fd < 0)
    return errnoCode(errno);
  auto gate = std::make_unique<FanotifyGate>(fd, options);
  if (std::error_code error = gate->start())
    return error;
  return std::unique_ptr<ExecGate>(std::move(gate));
}

} // namespace quorvane::platform
