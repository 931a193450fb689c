// In-memory stand-ins for the platform facilities.
#include "platform/fake/fakes.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace quorvane::platform::fake {
namespace {

std::string twoDigits(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

std::string parentOf(const std::string& path) {
  std::size_t cut = path.find_last_of('/');
  if (cut == std::string::npos || cut == 0)
    return "/";
  return path.substr(0, cut);
}

class MemoryInputFile final : public InputFile {
public:
  MemoryInputFile(std::string data, FileStatus status)
      : data_(std::move(data)), status_(status) {}
  FileStatus status() const override { return status_; }
  ErrorOr<std::size_t> read(void* buffer, std::size_t size) override {
    std::size_t n = std::min(size, data_.size() - offset_);
    std::memcpy(buffer, data_.data() + offset_, n);
    offset_ += n;
    return n;
  }

private:
  std::string data_;
  std::size_t offset_ = 0;
  FileStatus status_;
};

} // namespace

std::string FakeClock::shortDate(const LocalDateTime& when) {
  return twoDigits(when.day) + "/" + twoDigits(when.month) + "/" + std::to_string(when.year);
}

std::string FakeClock::longTime(const LocalDateTime& when) {
  return twoDigits(when.hour) + ":" + twoDigits(when.minute) + ":" + twoDigits(when.second);
}

void MemoryFileSystem::put(const std::string& path, std::string data, bool executable) {
  std::lock_guard lock(mutex_);
  files_[path] = File{std::move(data), nextTime_++, nextInode_++, executable};
}

bool MemoryFileSystem::exists(const std::string& path) const {
  std::lock_guard lock(mutex_);
  return files_.count(path) != 0 || folders_.count(path) != 0;
}

std::string MemoryFileSystem::content(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = files_.find(path);
  return it == files_.end() ? std::string() : it->second.data;
}

ErrorOr<FileStatus> MemoryFileSystem::status(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (folders_.count(path)) {
    FileIdentity id = folderIdentity(path);
    return FileStatus{FileKind::Directory, 0, 0, id.device, id.inode, false, 0755};
  }
  auto it = files_.find(path);
  if (it == files_.end())
    return std::errc::no_such_file_or_directory;
  const File& f = it->second;
  auto mode = modes.find(path);
  std::uint32_t bits = mode != modes.end() ? mode->second : f.executable ? 0755 : 0644;
  return FileStatus{FileKind::Regular, f.data.size(), f.modifiedNs, 1, f.inode, f.executable, bits};
}

FileIdentity MemoryFileSystem::folderIdentity(const std::string& path) {
  return {2, std::hash<std::string>()(path)};
}

ErrorOr<std::unique_ptr<InputFile>> MemoryFileSystem::openRead(const std::string& path) {
  auto st = status(path);
  auto data = readFile(path);
  if (!data)
    return data.error();
  return std::unique_ptr<InputFile>(std::make_unique<MemoryInputFile>(std::move(*data), *st));
}

ErrorOr<std::unique_ptr<InputFile>> MemoryFileSystem::openEntry(const std::string& path) {
  return openRead(path); // this file system has no links
}

bool MemoryFileSystem::isWritable(const std::string& path) {
  return exists(path) && !readOnly.count(path);
}

ErrorOr<std::string> MemoryFileSystem::canonicalPath(const std::string& path) {
  if (!exists(path))
    return std::errc::no_such_file_or_directory;
  return path;
}

ErrorOr<std::vector<DirEntry>> MemoryFileSystem::listFolder(const std::string& path,
                                                            const FileIdentity* listed,
                                                            const HeadRequest& heads) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/')
    folder.pop_back();
  if (listed && folderIdentity(folder) != *listed)
    return FileError::Changed;
  auto entries = listDirectory(path);
  if (!entries || !heads.wanted)
    return entries;
  std::string prefix = folder == "/" ? folder : folder + "/";
  std::lock_guard lock(mutex_);
  for (DirEntry& entry : *entries) {
    if (entry.kind != FileKind::Regular || !heads.wanted(entry))
      continue;
    ++headsRead;
    auto file = files_.find(prefix + entry.name);
    if (file != files_.end())
      entry.head = file->second.data.substr(0, heads.size);
  }
  return entries;
}

std::error_code MemoryFileSystem::removeCheckedFile(const std::string& path,
                                                    const FileIdentity& checked) {
  {
    std::lock_guard lock(mutex_);
    auto it = files_.find(path);
    if (it == files_.end())
      return std::make_error_code(std::errc::no_such_file_or_directory);
    if (FileIdentity{1, it->second.inode} != checked)
      return FileError::Changed;
  }
  return removeFile(path);
}

std::error_code MemoryFileSystem::copyCheckedFile(const std::string& from,
                                                  const FileIdentity& checked,
                                                  const std::string& to, std::uint32_t mode) {
  auto st = status(from);
  if (st && st->kind != FileKind::Regular)
    return FileError::NotRegular;
  if (st && checked.known() && st->identity() != checked)
    return FileError::Changed;
  auto data = readFile(from);
  if (!data)
    return data.error();
  if (exists(to))
    return std::make_error_code(std::errc::file_exists);
  if (auto error = writeFile(to, *data))
    return error;
  std::lock_guard lock(mutex_);
  modes[to] = mode;
  return {};
}

std::error_code MemoryFileSystem::restoreFile(const std::string& from, const std::string& to,
                                              std::uint32_t mode) {
  auto data = readFile(from);
  if (!data)
    return data.error();
  if (exists(to))
    return std::make_error_code(std::errc::file_exists);
  createFolderPath(*this, parentOf(to));
  if (auto error = writeFile(to, *data))
    return error;
  std::lock_guard lock(mutex_);
  modes[to] = mode;
  files_[to].executable = (mode & 0111) != 0;
  return {};
}

std::error_code MemoryFileSystem::createPrivateDirectory(const std::string& path) {
  return createDirectory(path);
}

ErrorOr<std::unique_ptr<FileLock>> MemoryFileSystem::lock(const std::string& path) {
  for (;;) {
    auto held = tryLock(path);
    if (held || held.error() != std::errc::resource_unavailable_try_again)
      return held;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

ErrorOr<std::string> MemoryFileSystem::readFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  ++reads[path];
  if (unreadable.count(path))
    return std::errc::io_error;
  if (folders_.count(path))
    return std::errc::is_a_directory;
  auto it = files_.find(path);
  if (it == files_.end())
    return std::errc::no_such_file_or_directory;
  return it->second.data;
}

std::error_code MemoryFileSystem::writeFile(const std::string& path, std::string_view data) {
  std::lock_guard lock(mutex_);
  if (!folders_.count(parentOf(path)))
    return std::make_error_code(std::errc::no_such_file_or_directory);
  files_[path] = File{std::string(data), nextTime_++, nextInode_++, false};
  return {};
}

std::error_code MemoryFileSystem::createNewFile(const std::string& path, std::string_view data,
                                               std::uint32_t mode) {
  std::lock_guard lock(mutex_);
  if (!folders_.count(parentOf(path)))
    return std::make_error_code(std::errc::no_such_file_or_directory);
  if (files_.count(path) || folders_.count(path))
    return std::make_error_code(std::errc::file_exists);
  files_[path] = File{std::string(data), nextTime_++, nextInode_++, false};
  modes[path] = mode;
  return {};
}

std::error_code MemoryFileSystem::appendFile(const std::string& path, std::string_view data) {
  std::lock_guard lock(mutex_);
  if (!folders_.count(parentOf(path)))
    return std::make_error_code(std::errc::no_such_file_or_directory);
  auto [it, created] = files_.try_emplace(path, File{{}, nextTime_, nextInode_++, false});
  it->second.data.append(data);
  it->second.modifiedNs = nextTime_++;
  (void)created;
  return {};
}

std::error_code MemoryFileSystem::removeFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (undeletable.count(path))
    return std::make_error_code(std::errc::device_or_resource_busy);
  if (files_.erase(path) == 0)
    return std::make_error_code(std::errc::no_such_file_or_directory);
  return {};
}

ErrorOr<std::unique_ptr<FileLock>> MemoryFileSystem::tryLock(const std::string& path) {
  struct Held final : FileLock {
    std::shared_ptr<std::set<std::string>> locked;
    std::shared_ptr<std::mutex> mutex;
    std::string path;
    ~Held() override {
      std::lock_guard lock(*mutex);
      locked->erase(path);
    }
  };
  static auto lockMutex = std::make_shared<std::mutex>();
  std::lock_guard lock(*lockMutex);
  if (!locked_->insert(path).second)
    return std::errc::resource_unavailable_try_again;
  if (!exists(path))
    put(path, "");
  auto held = std::make_unique<Held>();
  held->locked = locked_;
  held->mutex = lockMutex;
  held->path = path;
  return std::unique_ptr<FileLock>(std::move(held));
}

std::error_code MemoryFileSystem::removeDirectory(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (!folders_.count(path))
    return std::make_error_code(std::errc::no_such_file_or_directory);
  std::string prefix = path + "/";
  for (const auto& [file, data] : files_)
    if (file.rfind(prefix, 0) == 0)
      return std::make_error_code(std::errc::directory_not_empty);
  for (const std::string& folder : folders_)
    if (folder.rfind(prefix, 0) == 0)
      return std::make_error_code(std::errc::directory_not_empty);
  folders_.erase(path);
  return {};
}

std::error_code MemoryFileSystem::createDirectory(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (files_.count(path))
    return std::make_error_code(std::errc::file_exists);
  if (!folders_.count(parentOf(path)))
    return std::make_error_code(std::errc::no_such_file_or_directory);
  folders_.insert(path);
  return {};
}

std::error_code MemoryFileSystem::copyFile(const std::string& from, const std::string& to) {
  auto data = readFile(from);
  if (!data)
    return data.error();
  return writeFile(to, *data);
}

ErrorOr<std::vector<DirEntry>> MemoryFileSystem::listDirectory(const std::string& given) {
  std::string path = given;
  while (path.size() > 1 && path.back() == '/')
    path.pop_back(); // "/t/" names the folder "/t", as on a real system
  std::lock_guard lock(mutex_);
  if (!folders_.count(path))
    return std::errc::no_such_file_or_directory;
  std::string prefix = path == "/" ? path : path + "/";
  std::vector<DirEntry> entries;
  auto direct = [&](const std::string& full) {
    return full.size() > prefix.size() && full.compare(0, prefix.size(), prefix) == 0 &&
           full.find('/', prefix.size()) == std::string::npos;
  };
  for (const std::string& folder : folders_)
    if (direct(folder))
      entries.push_back({folder.substr(prefix.size()),
                         FileKind::Directory,
                         false,
                         0,
                         folderIdentity(folder),
                         {}});
  for (const auto& [file, data] : files_)
    if (direct(file))
      entries.push_back({file.substr(prefix.size()),
                         FileKind::Regular,
                         data.executable,
                         data.data.size(),
                         FileIdentity{1, data.inode},
                         {}});
  return entries;
}

std::error_code MemoryFileSystem::makeWritable(const std::string& path) {
  std::lock_guard lock(mutex_);
  return files_.count(path) ? std::error_code()
                            : std::make_error_code(std::errc::no_such_file_or_directory);
}

ErrorOr<std::string> MemoryFileSystem::readHead(const std::string& path, std::size_t size) {
  auto data = readFile(path);
  if (!data)
    return data.error();
  return data->substr(0, size);
}

ErrorOr<std::vector<std::string>> FakeProcesses::modules(ProcessId pid) {
  for (const ProcessInfo& info : processes)
    if (info.pid == pid) {
      std::vector<std::string> result{info.programFile};
      auto more = moduleLists.find(pid);
      if (more != moduleLists.end())
        result.insert(result.end(), more->second.begin(), more->second.end());
      return result;
    }
  return std::errc::no_such_process;
}

std::error_code FakeProcesses::terminate(ProcessId pid) {
  for (auto it = processes.begin(); it != processes.end(); ++it)
    if (it->pid == pid) {
      processes.erase(it);
      terminated.push_back(pid);
      return {};
    }
  return std::make_error_code(std::errc::no_such_process);
}

} // namespace quorvane::platform::fake

namespace quorvane::platform::fake {

LocalDateTime FakeClock::localTimeOf(std::int64_t epochSeconds) {
  // Days to a civil date (Howard Hinnant's algorithm).
  std::int64_t days = epochSeconds >= 0 ? epochSeconds / 86400 : (epochSeconds - 86399) / 86400;
  std::int64_t rest = epochSeconds - days * 86400;
  std::int64_t z = days + 719468;
  std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  int weekday = static_cast<int>(((days % 7) + 11) % 7); // 1970-01-01 was a Thursday
  return {year, month, day, static_cast<int>(rest / 3600), static_cast<int>(rest % 3600 / 60),
          static_cast<int>(rest % 60), weekday};
}

ErrorOr<int> FakeHttp::get(const HttpRequest& request, HttpReceiver& receiver) {
  requests.push_back(request);
  auto it = responses.find(request.url);
  if (it == responses.end())
    return make_error_code(HttpError::ConnectFailed);
  const Response& response = it->second;
  std::optional<std::uint64_t> length;
  if (response.sendLength)
    length = response.body.size();
  if (!receiver.onResponse(response.status, length))
    return make_error_code(HttpError::Abandoned);
  std::string_view body = response.body;
  std::size_t step = response.chunk == 0 ? std::max<std::size_t>(body.size(), 1) : response.chunk;
  for (std::size_t at = 0; at < body.size(); at += step)
    if (!receiver.onData(body.substr(at, step)))
      return make_error_code(HttpError::Abandoned);
  if (response.failure)
    return response.failure;
  return response.status;
}

FakeExecRequest::FakeExecRequest(std::string path, std::string data, ExecFileVersion version,
                                 ProcessId pid)
    : path_(std::move(path)), data_(std::move(data)), version_(version), pid_(pid) {
  version_.size = data_.size();
  status_.kind = FileKind::Regular;
  status_.size = data_.size();
  status_.device = version_.device;
  status_.inode = version_.inode;
  status_.modifiedNs = version_.modifiedNs;
  status_.executable = true;
  status_.mode = 0755;
}

FakeExecRequest::~FakeExecRequest() {
  answer(true); // as the kernel does when the gate lets go unanswered
}

ErrorOr<std::unique_ptr<InputFile>> FakeExecRequest::open() {
  ++opens;
  while (stalled)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (unreadable)
    return std::make_error_code(std::errc::io_error);
  return std::unique_ptr<InputFile>(std::make_unique<MemoryInputFile>(data_, status_));
}

bool FakeExecRequest::answer(bool allow) {
  std::lock_guard lock(mutex_);
  if (answer_)
    return false;
  answer_ = allow;
  changed_.notify_all();
  return true;
}

bool FakeExecRequest::answered() const {
  std::lock_guard lock(mutex_);
  return answer_.has_value();
}

std::optional<bool> FakeExecRequest::waitForAnswer(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [this] { return answer_.has_value(); });
  return answer_;
}

std::shared_ptr<FakeExecRequest> FakeExecGate::submit(const std::string& path, std::string data,
                                                      ExecFileVersion version) {
  auto request = std::make_shared<FakeExecRequest>(path, std::move(data), version);
  submit(request);
  return request;
}

void FakeExecGate::submit(std::shared_ptr<FakeExecRequest> request) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(request));
  }
  arrived_.notify_one();
}

std::shared_ptr<ExecRequest> FakeExecGate::nextRequest(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  if (!arrived_.wait_for(lock, timeout, [this] { return !queue_.empty(); }))
    return nullptr;
  std::shared_ptr<FakeExecRequest> request = queue_.front();
  queue_.pop_front();
  return request;
}

} // namespace quorvane::platform::fake
