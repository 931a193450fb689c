// The facilities of a Linux system, put together.
#include "platform/linux/linux_platform.h"
#include "platform/registry_store.h"

#include <iostream>

namespace quorvane::platform {

void StderrNotifier::messageBox(const std::string& text) { std::cerr << text << '\n'; }

SystemPlatform::SystemPlatform(const std::string& appFolder)
    : registry_(std::make_unique<SqliteRegistry>(
          appFolder.empty() ? std::string(":memory:") : joinPath(appFolder, "registry.db"))),
      files_(std::make_unique<LinuxFileSystem>()), clock_(std::make_unique<LinuxClock>()),
      environment_(std::make_unique<LinuxEnvironment>()),
      crypto_(std::make_unique<OpenSslCrypto>()), notifier_(std::make_unique<StderrNotifier>()),
      processes_(std::make_unique<LinuxProcesses>()),
      platform_(std::make_unique<Platform>(Platform{*registry_, *files_, *clock_, *environment_,
                                                    *crypto_, *notifier_, *processes_})) {}

SystemPlatform::~SystemPlatform() = default;

} // namespace quorvane::platform
