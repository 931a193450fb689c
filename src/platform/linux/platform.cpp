// The facilities of a Linux system, put together.
#include "platform/linux/linux_platform.h"
#include "platform/registry_store.h"

namespace quorvane::platform {

SystemPlatform::SystemPlatform(const std::string& appFolder)
    : registry_(std::make_unique<SqliteRegistry>(
          appFolder.empty() ? std::string(":memory:") : joinPath(appFolder, "registry.db"))),
      files_(std::make_unique<LinuxFileSystem>()), clock_(std::make_unique<LinuxClock>()),
      environment_(std::make_unique<LinuxEnvironment>()),
      crypto_(std::make_unique<OpenSslCrypto>()), notifier_(std::make_unique<StderrNotifier>()),
      processes_(std::make_unique<LinuxProcesses>()), power_(std::make_unique<LinuxPower>()),
      http_(std::make_unique<CurlHttp>()), shell_(std::make_unique<LinuxShell>()),
      drives_(std::make_unique<LinuxDrives>()), integration_(std::make_unique<LinuxIntegration>()),
      platform_(std::make_unique<Platform>(Platform{*registry_, *files_, *clock_, *environment_,
                                                    *crypto_, *notifier_, *processes_, *power_,
                                                    *http_, *shell_, *drives_, *integration_})) {}

SystemPlatform::~SystemPlatform() = default;

std::unique_ptr<Environment> systemEnvironment() {
  return std::make_unique<LinuxEnvironment>();
}

std::unique_ptr<FileSystem> systemFileSystem() {
  return std::make_unique<LinuxFileSystem>();
}

} // namespace quorvane::platform
