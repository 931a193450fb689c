// The Windows bodies of the platform facilities, on the Win32 API (wide-character calls, UTF-8
// at the boundary).
#pragma once

#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/drives.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/integration.h"
#include "platform/power.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell.h"

namespace quorvane::platform::windows {

/// The machine's registry (the 64-bit view; "Wow6432Node" paths name the 32-bit one).
class WindowsRegistry final : public Registry {
public:
  std::error_code createKey(Hive hive, std::string_view path) override;
  bool keyExists(Hive hive, std::string_view path) override;
  ErrorOr<std::vector<std::string>> subkeys(Hive hive, std::string_view path) override;
  ErrorOr<std::vector<RegistryValue>> values(Hive hive, std::string_view path) override;
  ErrorOr<RegistryValue> queryValue(Hive hive, std::string_view path,
                                    std::string_view name) override;
  std::error_code setValue(Hive hive, std::string_view path, std::string_view name, ValueType type,
                           std::string_view data) override;
  std::error_code deleteValue(Hive hive, std::string_view path, std::string_view name) override;
  /// Other copies of the product wait between the read and the write (a named mutex); other
  /// programs writing the same value are not held back.
  ErrorOr<RegistryValue> modifyValue(Hive hive, std::string_view path, std::string_view name,
                                     const ValueChange& change) override;
  std::error_code walkTree(Hive hive, std::string_view path,
                           const std::function<bool(const KeyVisit&)>& visit) override;
  std::error_code deleteKey(Hive hive, std::string_view path) override;
  std::error_code deleteTree(Hive hive, std::string_view path) override;
  ErrorOr<AccessList> accessList(Hive hive, std::string_view path) override;
  std::error_code setAccessList(Hive hive, std::string_view path, const AccessList& list) override;
};

class WindowsFileSystem final : public FileSystem {
public:
  ErrorOr<FileStatus> status(const std::string& path) override;
  ErrorOr<std::unique_ptr<InputFile>> openRead(const std::string& path) override;
  ErrorOr<std::unique_ptr<InputFile>> openEntry(const std::string& path) override;
  bool isWritable(const std::string& path) override;
  ErrorOr<std::string> canonicalPath(const std::string& path) override;
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
  ErrorOr<std::vector<DirEntry>> listFolder(const std::string& path, const FileIdentity* listed,
                                            const HeadRequest& heads) override;
  std::error_code makeWritable(const std::string& path) override;
  std::error_code removeCheckedFile(const std::string& path, const FileIdentity& checked) override;
  std::error_code copyCheckedFile(const std::string& from, const FileIdentity& checked,
                                  const std::string& to, std::uint32_t mode) override;
  std::error_code restoreFile(const std::string& from, const std::string& to,
                              std::uint32_t mode) override;
  std::error_code createPrivateDirectory(const std::string& path) override;
  ErrorOr<std::string> readHead(const std::string& path, std::size_t size) override;
  ErrorOr<std::unique_ptr<FileLock>> tryLock(const std::string& path) override;
  ErrorOr<std::unique_ptr<FileLock>> lock(const std::string& path) override;
};

/// The running processes, from a toolhelp snapshot; program paths asked of each process.
class WindowsProcesses final : public Processes {
public:
  explicit WindowsProcesses(FileSystem& files) : files_(files) {}
  std::vector<ProcessInfo> list() override;
  std::vector<ProcessId> ids() override;
  ErrorOr<ProcessInfo> info(ProcessId pid) override;
  ErrorOr<std::vector<std::string>> modules(ProcessId pid) override;
  std::error_code terminate(ProcessId pid) override;
  ErrorOr<FileStatus> programStatus(ProcessId pid) override;

private:
  FileSystem& files_;
};

/// Restart, shut down and log off through ExitWindowsEx.
class WindowsPower final : public Power {
public:
  std::error_code restart() override;
  std::error_code shutdown() override;
  std::error_code logOff() override;
  std::error_code powerOff() override;
};

/// The command line CreateProcessW is given for one argument: quoted so that the C run-time of
/// the started program splits out the same text.
std::wstring quoteArgument(const std::wstring& argument);

class WindowsShell final : public Shell {
public:
  std::error_code launch(const LaunchRequest& request) override;
};

/// The drive letters of fixed, removable and optical drives.
class WindowsDrives final : public Drives {
public:
  std::vector<std::string> roots() override;
  /// The device behind a drive letter ("E:\"), through IOCTL_STORAGE_QUERY_PROPERTY.
  DeviceInfo deviceInfo(const std::string& root) override;
  /// True once the set of drive letters changed since the last call (the first call only
  /// starts watching).
  bool waitForChange(std::chrono::milliseconds timeout) override;

private:
  bool watching_ = false;
  unsigned long known_ = 0; ///< the letters in use when last looked at (a bit per letter)
};

/// HTTP(S) through WinHTTP: only http and https, the system's certificate authorities plus the
/// request's own file, a connection time limit and a stall limit.
class WinHttp final : public Http {
public:
  ErrorOr<int> get(const HttpRequest& request, HttpReceiver& receiver) override;
};

/// The log-on task and the folder action are the Run value and the verbs the product writes
/// into the registry itself; a task or action that needs environment settings is refused, as a
/// command line in the registry cannot carry them.
class WindowsIntegration final : public Integration {
public:
  std::error_code createLogonTask(const LogonTask& task) override;
  std::error_code deleteLogonTask(const std::string& name) override;
  std::error_code installFolderAction(const FolderAction& action) override;
  std::error_code removeFolderAction(const std::string& name) override;
};

class CngCrypto final : public Crypto {
public:
  ErrorOr<std::unique_ptr<Md5Hash>> newMd5() override;
};

class WindowsClock final : public Clock {
public:
  std::uint64_t tickCount() override;
  LocalDateTime localNow() override;
  LocalDateTime localTimeOf(std::int64_t epochSeconds) override;
  /// In the user's short date and long time formats (the regional settings).
  std::string shortDate(const LocalDateTime& when) override;
  std::string longTime(const LocalDateTime& when) override;
};

class WindowsEnvironment final : public Environment {
public:
  std::optional<std::string> variable(const std::string& name) override;
  std::string userName() override;
  std::string computerName() override;
  /// The account's security identifier in its text form ("S-1-5-21-...").
  std::optional<std::string> accountIdentifier(const std::string& account) override;
  std::string executablePath() override;
  std::string currentDirectory() override;
  bool errorIsTerminal() override;
  std::string systemFolder() override;
  std::optional<std::string> userStartupFolder() override;
  std::optional<std::string> userDataFolder() override;
};

} // namespace quorvane::platform::windows
