// In-memory stand-ins for the platform facilities, for tests.
#pragma once

#include "platform/exec_gate.h"
#include "platform/fake/memory_registry.h"
#include "platform/platform.h"
#ifdef _WIN32
#include "platform/windows/windows_platform.h"
#else
#include "platform/linux/linux_platform.h"
#endif
#include "platform/tray.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace quorvane::platform::fake {

/// A clock that stands still unless told to move; each tick-count read can advance it.
class FakeClock final : public Clock {
public:
  std::atomic<std::uint64_t> ticks{1000};
  std::atomic<std::uint64_t> ticksPerRead{0}; ///< added after every tickCount() call
  LocalDateTime now{2026, 12, 9, 14, 30, 5, 3};

  std::uint64_t tickCount() override {
    return ticks.fetch_add(ticksPerRead);
  }
  std::atomic<std::uint64_t> resumes{0}; ///< raised by tests as a Ctrl-Z and fg would
  std::atomic<std::uint64_t> resumesPerRead{0}; ///< added after every resumeCount() call
  std::uint64_t resumeCount() override { return resumes.fetch_add(resumesPerRead); }
  LocalDateTime localNow() override { return now; }
  /// The moment in UTC, as if the local zone were UTC.
  LocalDateTime localTimeOf(std::int64_t epochSeconds) override;
  /// dd/mm/yyyy
  std::string shortDate(const LocalDateTime& when) override;
  /// hh:mm:ss
  std::string longTime(const LocalDateTime& when) override;
};

class FakeEnvironment final : public Environment {
public:
  std::map<std::string, std::string> variables;
  std::string user = "alice";
  std::string computer = "testbox";
  std::map<std::string, std::string> accounts{{"alice", "S-1-22-1-1000"}};
  std::string executable = "/opt/quorvane/quorvane";

  std::optional<std::string> variable(const std::string& name) override {
    auto it = variables.find(name);
    return it == variables.end() ? std::nullopt : std::optional(it->second);
  }
  std::string userName() override {
    auto it = variables.find("UserName");
    return it != variables.end() && !it->second.empty() ? it->second : user;
  }
  std::string computerName() override { return computer; }
  std::optional<std::string> accountIdentifier(const std::string& account) override {
    auto it = accounts.find(account);
    return it == accounts.end() ? std::nullopt : std::optional(it->second);
  }
  std::string executablePath() override { return executable; }
  std::string cwd = "/home/alice";
  std::string currentDirectory() override { return cwd; }
  bool terminal = false;
  bool errorIsTerminal() override { return terminal; }
  std::string systemFolderPath = "/usr";
  std::string systemFolder() override { return systemFolderPath; }
  std::optional<std::string> startupFolder;
  std::optional<std::string> userStartupFolder() override { return startupFolder; }
  std::optional<std::string> dataFolder;
  std::optional<std::string> userDataFolder() override { return dataFolder; }
};

/// Records every message box, question and alert instead of showing it.
class RecordingNotifier final : public Notifier {
public:
  std::vector<std::string> messages;
  std::vector<MessageStyle> messageStyles; ///< one per message
  std::vector<std::string> questions;
  std::vector<std::string> alerts;
  bool answer = false; ///< the answer to every question
  using Notifier::ask;
  using Notifier::messageBox;
  void messageBox(const std::string& text, const MessageStyle& style) override {
    messages.push_back(text);
    messageStyles.push_back(style);
  }
  bool ask(const std::string& text, const MessageStyle&) override {
    questions.push_back(text);
    return answer;
  }
  void showThreatAlert(const std::string& record) override { alerts.push_back(record); }
};

/// Counts power actions; never acts on the machine.
class FakePower final : public Power {
public:
  int restarts = 0, shutdowns = 0, logOffs = 0, powerOffs = 0;
  std::error_code logOff() override {
    ++logOffs;
    return {};
  }
  std::error_code powerOff() override {
    ++powerOffs;
    return {};
  }
  std::error_code restart() override {
    ++restarts;
    return {};
  }
  std::error_code shutdown() override {
    ++shutdowns;
    return {};
  }
};

/// Real MD5, or a missing provider when `available` is false.
class FakeCrypto final : public Crypto {
public:
  bool available = true;
  ErrorOr<std::unique_ptr<Md5Hash>> newMd5() override {
    if (!available)
      return std::errc::function_not_supported;
    return real_.newMd5();
  }

private:
#ifdef _WIN32
  windows::CngCrypto real_;
#else
  OpenSslCrypto real_;
#endif
};

/// A file system held in memory: files by full path, folders as a set of paths.
class MemoryFileSystem final : public FileSystem {
public:
  struct File {
    std::string data;
    std::int64_t modifiedNs = 0;
    std::uint64_t inode = 0;
    bool executable = false;
  };

  /// Puts a file in place (its folder need not exist); each put is a new version.
  void put(const std::string& path, std::string data, bool executable = false);
  bool exists(const std::string& path) const;
  std::string content(const std::string& path) const;
  /// Paths whose reads fail with an I/O error.
  std::set<std::string> unreadable;
  /// Paths that cannot be deleted (a locked file).
  std::set<std::string> undeletable;
  /// How often each path was opened or read.
  std::map<std::string, int> reads;

  ErrorOr<FileStatus> status(const std::string& path) override;
  ErrorOr<std::unique_ptr<InputFile>> openRead(const std::string& path) override;
  ErrorOr<std::string> readFile(const std::string& path) override;
  std::error_code writeFile(const std::string& path, std::string_view data) override;
  std::error_code createNewFile(const std::string& path, std::string_view data,
                                std::uint32_t mode) override;
  std::error_code appendFile(const std::string& path, std::string_view data) override;
  std::error_code removeFile(const std::string& path) override;
  std::error_code removeDirectory(const std::string& path) override;
  std::error_code createDirectory(const std::string& path) override;
  std::error_code copyFile(const std::string& from, const std::string& to) override;
  ErrorOr<std::vector<DirEntry>> listDirectory(const std::string& path) override;
  std::error_code makeWritable(const std::string& path) override;
  ErrorOr<std::string> readHead(const std::string& path, std::size_t size) override;
  ErrorOr<std::unique_ptr<FileLock>> tryLock(const std::string& path) override;
  ErrorOr<std::unique_ptr<InputFile>> openEntry(const std::string& path) override;
  ErrorOr<std::string> canonicalPath(const std::string& path) override;
  bool isWritable(const std::string& path) override;
  /// Paths this user may not write (isWritable is false for them and for what does not exist).
  std::set<std::string> readOnly;
  /// How many file heads listFolder has read (files opened by a walk's listing).
  std::atomic<int> headsRead{0};
  ErrorOr<std::vector<DirEntry>> listFolder(const std::string& path, const FileIdentity* listed,
                                            const HeadRequest& heads) override;
  std::error_code removeCheckedFile(const std::string& path, const FileIdentity& checked) override;
  std::error_code copyCheckedFile(const std::string& from, const FileIdentity& checked,
                                  const std::string& to, std::uint32_t mode) override;
  std::error_code restoreFile(const std::string& from, const std::string& to,
                              std::uint32_t mode) override;
  std::error_code createPrivateDirectory(const std::string& path) override;
  ErrorOr<std::unique_ptr<FileLock>> lock(const std::string& path) override;

  /// The identity a folder of this file system has (folders have no inode of their own here).
  static FileIdentity folderIdentity(const std::string& path);
  /// The permission bits given to a file (0644 unless set, 0755 for executable puts).
  std::map<std::string, std::uint32_t> modes;

private:
  mutable std::mutex mutex_;
  std::map<std::string, File> files_;
  std::set<std::string> folders_{"/"};
  std::shared_ptr<std::set<std::string>> locked_ = std::make_shared<std::set<std::string>>();
  std::uint64_t nextInode_ = 100;
  std::int64_t nextTime_ = 1;
};

/// A process table held in memory; terminated processes leave it and are recorded.
class FakeProcesses final : public Processes {
public:
  std::vector<ProcessInfo> processes;
  std::map<ProcessId, std::vector<std::string>> moduleLists; ///< further modules per process
  std::vector<ProcessId> terminated;
  std::map<ProcessId, FileStatus> programs; ///< program file identities, when given

  void add(ProcessId pid, const std::string& programFile) {
    processes.push_back(
        {pid, programFile.substr(programFile.find_last_of('/') + 1), programFile, {}});
  }
  int listCalls = 0; ///< how often the whole table was read
  std::vector<ProcessInfo> list() override {
    ++listCalls;
    return processes;
  }
  std::vector<ProcessId> ids() override {
    std::vector<ProcessId> out;
    for (const ProcessInfo& process : processes)
      out.push_back(process.pid);
    return out;
  }
  ErrorOr<ProcessInfo> info(ProcessId pid) override {
    for (const ProcessInfo& process : processes)
      if (process.pid == pid)
        return process;
    return std::errc::no_such_process;
  }
  ErrorOr<std::vector<std::string>> modules(ProcessId pid) override;
  std::error_code terminate(ProcessId pid) override;
  ErrorOr<FileStatus> programStatus(ProcessId pid) override {
    auto it = programs.find(pid);
    if (it == programs.end())
      return std::errc::no_such_process;
    return it->second;
  }
};

/// Answers requests from a table of responses by URL; anything else is a connection failure.
class FakeHttp final : public Http {
public:
  struct Response {
    Response(int status = 200, std::string body = {}, bool sendLength = true,
             std::error_code failure = {}, std::size_t chunk = 0)
        : status(status), body(std::move(body)), sendLength(sendLength), failure(failure),
          chunk(chunk) {}
    int status = 200;
    std::string body;
    bool sendLength = true;  ///< a "Content-Length" of the body's size
    std::error_code failure; ///< reported after the body, when set
    std::size_t chunk = 0;   ///< the body is handed over in pieces of this size (0: whole)
  };
  std::map<std::string, Response> responses;
  std::vector<HttpRequest> requests;
  ErrorOr<int> get(const HttpRequest& request, HttpReceiver& receiver) override;
};

/// Records launches; programs listed as missing cannot be started.
class FakeShell final : public Shell {
public:
  std::vector<LaunchRequest> launches;
  std::set<std::string> missing;
  std::error_code launch(const LaunchRequest& request) override {
    if (missing.count(request.program))
      return std::make_error_code(std::errc::no_such_file_or_directory);
    launches.push_back(request);
    return {};
  }
};

/// Drives by root, in the order given; a change is reported once per notice().
class FakeDrives final : public Drives {
public:
  std::vector<std::pair<std::string, DeviceInfo>> drives;
  std::atomic<int> changes{0};
  void notice() { ++changes; }
  std::vector<std::string> roots() override {
    std::vector<std::string> out;
    for (const auto& drive : drives)
      out.push_back(drive.first);
    return out;
  }
  DeviceInfo deviceInfo(const std::string& root) override {
    for (const auto& drive : drives)
      if (drive.first == root)
        return drive.second;
    return {};
  }
  bool waitForChange(std::chrono::milliseconds) override {
    int pending = changes.load();
    while (pending > 0 && !changes.compare_exchange_weak(pending, pending - 1)) {
    }
    return pending > 0;
  }
};

/// Keeps log-on tasks and folder actions in memory.
class FakeIntegration final : public Integration {
public:
  std::map<std::string, LogonTask> tasks;
  std::map<std::string, FolderAction> actions;
  bool failing = false; ///< every call fails as an unwritable folder would
  std::error_code createLogonTask(const LogonTask& task) override {
    if (failing)
      return std::make_error_code(std::errc::permission_denied);
    tasks[task.name] = task;
    return {};
  }
  std::error_code deleteLogonTask(const std::string& name) override {
    if (failing)
      return std::make_error_code(std::errc::permission_denied);
    tasks.erase(name);
    return {};
  }
  std::error_code installFolderAction(const FolderAction& action) override {
    if (failing)
      return std::make_error_code(std::errc::permission_denied);
    actions[action.name] = action;
    return {};
  }
  std::error_code removeFolderAction(const std::string& name) override {
    if (failing)
      return std::make_error_code(std::errc::permission_denied);
    actions.erase(name);
    return {};
  }
};

/// Records the notification-area calls; an icon must be added before it can be changed.
class FakeTray final : public Tray {
public:
  bool present = true;
  std::vector<std::pair<TrayCall, TrayIconRecord>> calls;
  std::set<std::uint32_t> shown; ///< identifiers of the icons present
  bool available() override { return present; }
  bool notify(TrayCall call, const TrayIconRecord& record) override {
    calls.emplace_back(call, record);
    if (!present)
      return false;
    switch (call) {
    case TrayCall::Add: return shown.insert(record.identifier).second;
    case TrayCall::Modify: return shown.count(record.identifier) > 0;
    case TrayCall::Delete: return shown.erase(record.identifier) > 0;
    }
    return false;
  }
};

/// A program start held by a FakeExecGate: the bytes of the file and the answer it got.
class FakeExecRequest final : public ExecRequest {
public:
  FakeExecRequest(std::string path, std::string data, ExecFileVersion version, ProcessId pid = 4242);
  ~FakeExecRequest() override;

  /// While set, reading the file waits until it is cleared (a file on a stuck network share).
  std::atomic<bool> stalled{false};
  /// Reading the file fails with an I/O error.
  bool unreadable = false;
  /// The answer: none yet, allowed, refused. Waits up to `timeout` for one.
  std::optional<bool> waitForAnswer(std::chrono::milliseconds timeout);
  std::atomic<int> opens{0};

  ProcessId pid() const override { return pid_; }
  const FileStatus& status() const override { return status_; }
  const ExecFileVersion& version() const override { return version_; }
  const std::string& path() const override { return path_; }
  ErrorOr<std::unique_ptr<InputFile>> open() override;
  bool answer(bool allow) override;
  bool answered() const override;

private:
  std::string path_, data_;
  ExecFileVersion version_;
  FileStatus status_;
  ProcessId pid_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::optional<bool> answer_;
};

/// An exec gate fed by the test: each request is handed to the next reader that asks.
class FakeExecGate final : public ExecGate {
public:
  /// A start of the file `path` holding `data`; `version` tells which version it is (its size is
  /// taken from the data).
  std::shared_ptr<FakeExecRequest> submit(const std::string& path, std::string data,
                                          ExecFileVersion version);
  /// A start prepared by the test (stalled or unreadable before any reader sees it).
  void submit(std::shared_ptr<FakeExecRequest> request);
  std::shared_ptr<ExecRequest> nextRequest(std::chrono::milliseconds timeout) override;
  void coverNewMounts() override { ++mountLooks; }
  std::string coverage() const override { return "1 folder"; }
  std::uint64_t overflows() const override { return 0; }
  std::atomic<int> mountLooks{0};

private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::shared_ptr<FakeExecRequest>> queue_;
};

/// All fakes together, with a registry kept in memory.
class FakePlatform {
public:
  MemoryRegistry registry;
  MemoryFileSystem files;
  FakeClock clock;
  FakeEnvironment environment;
  FakeCrypto crypto;
  RecordingNotifier notifier;
  FakeProcesses processes;
  FakePower power;
  FakeHttp http;
  FakeShell shell;
  FakeDrives drives;
  FakeIntegration integration;
  Platform platform{registry,  files, clock, environment, crypto, notifier,
                    processes, power, http,  shell,       drives, integration};
};

} // namespace quorvane::platform::fake
