// The facilities of a Windows system, put together.
#include "platform/platform.h"

#include "platform/windows/windows_platform.h"

namespace quorvane::platform {

// On Windows the registry is the machine's own: the application folder holds no store of it.
SystemPlatform::SystemPlatform(const std::string& /*appFolder*/)
    : registry_(std::make_unique<windows::WindowsRegistry>()),
      files_(std::make_unique<windows::WindowsFileSystem>()),
      clock_(std::make_unique<windows::WindowsClock>()),
      environment_(std::make_unique<windows::WindowsEnvironment>()),
      crypto_(std::make_unique<windows::CngCrypto>()),
      notifier_(std::make_unique<StderrNotifier>()),
      processes_(std::make_unique<windows::WindowsProcesses>(*files_)),
      power_(std::make_unique<windows::WindowsPower>()),
      http_(std::make_unique<windows::WinHttp>()),
      shell_(std::make_unique<windows::WindowsShell>()),
      drives_(std::make_unique<windows::WindowsDrives>()),
      integration_(std::make_unique<windows::WindowsIntegration>()),
      platform_(std::make_unique<Platform>(Platform{*registry_, *files_, *clock_, *environment_,
                                                    *crypto_, *notifier_, *processes_, *power_,
                                                    *http_, *shell_, *drives_, *integration_})) {}

SystemPlatform::~SystemPlatform() = default;

std::unique_ptr<Environment> systemEnvironment() {
  return std::make_unique<windows::WindowsEnvironment>();
}

std::unique_ptr<FileSystem> systemFileSystem() {
  return std::make_unique<windows::WindowsFileSystem>();
}

} // namespace quorvane::platform
