// The set of platform facilities a subsystem is handed, and the factory for the real ones.
#pragma once

#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/drives.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/http.h"
#include "platform/integration.h"
#include "platform/notifier.h"
#include "platform/power.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/shell.h"

#include <memory>
#include <string>
#include <string_view>

namespace quorvane::platform {

/// References to the facilities; the owner keeps them alive.
struct Platform {
  Registry& registry;
  FileSystem& files;
  Clock& clock;
  Environment& environment;
  Crypto& crypto;
  Notifier& notifier;
  Processes& processes;
  Power& power;
  Http& http;
  Shell& shell;
  Drives& drives;
  Integration& integration;
};

/// The same facilities, with messages going to `notifier` instead.
inline Platform withNotifier(const Platform& p, Notifier& notifier) {
  return {p.registry,  p.files, p.clock, p.environment, p.crypto, notifier,
          p.processes, p.power, p.http,  p.shell,       p.drives, p.integration};
}

/// The facilities of the running system, owning what they hold.
class SystemPlatform {
public:
  /// Opens the registry store kept in `appFolder` (an empty folder: a store in memory only);
  /// throws RegistryStoreError when it cannot.
  explicit SystemPlatform(const std::string& appFolder);
  ~SystemPlatform();
  Platform& get() { return *platform_; }

private:
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<FileSystem> files_;
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<Environment> environment_;
  std::unique_ptr<Crypto> crypto_;
  std::unique_ptr<Notifier> notifier_;
  std::unique_ptr<Processes> processes_;
  std::unique_ptr<Power> power_;
  std::unique_ptr<Http> http_;
  std::unique_ptr<Shell> shell_;
  std::unique_ptr<Drives> drives_;
  std::unique_ptr<Integration> integration_;
  std::unique_ptr<Platform> platform_;
};

/// Creates the folder and every missing folder above it.
/// The system's own environment and file system alone, for what runs before the application
/// folder (and so the SystemPlatform) is known.
std::unique_ptr<Environment> systemEnvironment();
std::unique_ptr<FileSystem> systemFileSystem();

std::error_code createFolderPath(FileSystem& files, const std::string& path);

/// Joins a folder and a file name with one separator.
std::string joinPath(const std::string& folder, const std::string& name);
/// A path from a drive or share root with the system's own separator throughout (on Windows
/// '\\' for every '/'), as the system itself spells paths where no program reads them first;
/// any other path as it is.
std::string nativePath(std::string path);
/// True for the system's path separators ('/'; on Windows '\\' too).
bool isPathSeparator(char c);
/// The position of the last path separator; npos when there is none.
std::size_t lastPathSeparator(std::string_view path);
/// The length of the root an absolute path starts with ("/"; on Windows also "C:\\" and
/// "\\\\server\\share\\"); 0 for a relative path.
std::size_t pathRootLength(std::string_view path);

/// The lock file of the application folder's data files.
inline constexpr const char* kDataLockFile = "datafiles.lock";

/// Holds the exclusive lock of an application folder's data files for its lifetime: every
/// read-modify-write of the quarantine index, the threat log, vir.sig, safe.sig or files.sig
/// runs under it, so two processes (or two threads) never interleave their cycles. A thread that
/// already holds it takes it again at no cost. When the lock file cannot be made (a folder that
/// cannot be written) the work goes on unlocked: its own writes fail there anyway.
class DataFilesLock {
public:
  DataFilesLock(FileSystem& files, const std::string& appFolder);
  ~DataFilesLock();
  DataFilesLock(const DataFilesLock&) = delete;
  DataFilesLock& operator=(const DataFilesLock&) = delete;

private:
  std::string key_;
  std::unique_ptr<FileLock> held_;
};

} // namespace quorvane::platform
