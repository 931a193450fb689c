// The Linux implementations of the platform facilities.
#pragma once

#include "platform/platform.h"

#include <map>
#include <mutex>

namespace quorvane::platform {

class LinuxFileSystem final : public FileSystem {
public:
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
  ErrorOr<std::vector<DirEntry>> listFolder(const std::string& path, const FileIdentity* listed,
                                            const HeadRequest& heads) override;
  std::error_code removeCheckedFile(const std::string& path, const FileIdentity& checked) override;
  std::error_code copyCheckedFile(const std::string& from, const FileIdentity& checked,
                                  const std::string& to, std::uint32_t mode) override;
  std::error_code restoreFile(const std::string& from, const std::string& to,
                              std::uint32_t mode) override;
  std::error_code createPrivateDirectory(const std::string& path) override;
  ErrorOr<std::unique_ptr<FileLock>> lock(const std::string& path) override;
};

class LinuxClock final : public Clock {
public:
  std::uint64_t tickCount() override;
  LocalDateTime localNow() override;
  LocalDateTime localTimeOf(std::int64_t epochSeconds) override;
  std::string shortDate(const LocalDateTime& when) override;
  std::string longTime(const LocalDateTime& when) override;
  std::uint64_t resumeCount() override;
};

class LinuxEnvironment final : public Environment {
public:
  std::optional<std::string> variable(const std::string& name) override;
  std::string userName() override;
  std::string computerName() override;
  std::optional<std::string> accountIdentifier(const std::string& account) override;
  std::string executablePath() override;
  std::string currentDirectory() override;
  bool errorIsTerminal() override;
  std::string systemFolder() override { return "/usr"; }
  /// None: the XDG autostart entries are not files that start as they are.
  std::optional<std::string> userStartupFolder() override { return std::nullopt; }
  std::optional<std::string> userDataFolder() override { return std::nullopt; }

private:
  std::mutex accountsMutex_;
  std::map<std::string, std::optional<std::string>> accounts_;
};

/// A file-backed mapping of a /proc/PID/maps text.
struct MappedFile {
  std::string path;      ///< without kDeletedMark
  std::string addresses; ///< "start-end", the name of its link in /proc/PID/map_files
  bool deleted = false;  ///< the file was deleted since it was mapped
  bool operator==(const MappedFile&) const = default;
};
/// The file-backed mappings of a /proc/PID/maps text, each file once (its first mapping), in
/// order.
std::vector<MappedFile> parseProcMaps(std::string_view text);

class LinuxProcesses final : public Processes {
public:
  std::vector<ProcessInfo> list() override;
  std::vector<ProcessId> ids() override;
  ErrorOr<ProcessInfo> info(ProcessId pid) override;
  ErrorOr<std::vector<std::string>> modules(ProcessId pid) override;
  std::error_code terminate(ProcessId pid) override;
  ErrorOr<FileStatus> programStatus(ProcessId pid) override;

private:
  LinuxFileSystem files_;
};

/// MD5 through OpenSSL's EVP interface.
class OpenSslCrypto final : public Crypto {
public:
  ErrorOr<std::unique_ptr<Md5Hash>> newMd5() override;
};

class LinuxPower final : public Power {
public:
  std::error_code restart() override;
  std::error_code shutdown() override;
  std::error_code logOff() override;
  std::error_code powerOff() override;
};

/// HTTP(S) through libcurl: only http and https, system certificate authorities plus the
/// request's own file, a connection time limit and a stall limit.
class CurlHttp final : public Http {
public:
  CurlHttp();
  ErrorOr<int> get(const HttpRequest& request, HttpReceiver& receiver) override;
};

/// Starts programs with fork and exec, in a session of their own; the exec failure of the
/// child is reported back through a close-on-exec pipe.
class LinuxShell final : public Shell {
public:
  std::error_code launch(const LaunchRequest& request) override;
};

/// One line of a mountinfo text: the mount point, the device numbers, the source and the type.
struct MountEntry {
  std::string mountPoint;
  unsigned major = 0, minor = 0;
  std::string source;
  std::string fsType;
};
/// The mounts of a mountinfo text; with `devicesOnly`, only file systems on devices under /dev.
std::vector<MountEntry> parseMountInfo(std::string_view text, bool devicesOnly = true);

/// Drives from the mount table, devices from sysfs: "removable" of the disk, USB when the
/// device's sysfs path runs through a USB port or udev says ID_BUS=usb. The roots of the three
/// trees can be moved for tests.
class LinuxDrives final : public Drives {
public:
  explicit LinuxDrives(std::string mountInfo = "/proc/self/mountinfo", std::string sysRoot = "/sys",
                       std::string udevRoot = "/run/udev/data");
  ~LinuxDrives() override;
  std::vector<std::string> roots() override;
  DeviceInfo deviceInfo(const std::string& root) override;
  bool waitForChange(std::chrono::milliseconds timeout) override;

private:
  std::string mountInfo_, sysRoot_, udevRoot_;
  int watch_ = -1; ///< the mount table, open for change notices
};

/// Log-on tasks as XDG autostart entries, the folder action as a desktop entry for
/// inode/directory. Both are written whole or not at all.
class LinuxIntegration final : public Integration {
public:
  /// The user's folders ($XDG_CONFIG_HOME/autostart, $XDG_DATA_HOME/applications).
  LinuxIntegration();
  LinuxIntegration(std::string autostartFolder, std::string applicationsFolder);
  std::error_code createLogonTask(const LogonTask& task) override;
  std::error_code deleteLogonTask(const std::string& name) override;
  std::error_code installFolderAction(const FolderAction& action) override;
  std::error_code removeFolderAction(const std::string& name) override;
  std::string logonTaskFile(const std::string& name) const;
  std::string folderActionFile(const std::string& name) const;

private:
  std::string autostart_, applications_;
  LinuxFileSystem files_;
};

} // namespace quorvane::platform
