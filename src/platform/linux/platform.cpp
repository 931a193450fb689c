// The facilities of a Linux system, put together.
#include "platform/linux/linux_platform.h"
#include "platform/registry_store.h"

#include <iostream>

namespace quorvane::platform {

void StderrNotifier::messageBox(const std::string& text, const MessageStyle&) {
  std::cerr << text << '\n';
}

bool StderrNotifier::ask(const std::string& text, const MessageStyle&) {
  if (!inputIsTerminal()) {
    // Nobody to answer (a script, a pipe): the safe answer, said.
    std::cerr << text << " no (standard input is not a terminal)\n";
    return false;
  }
  std::cerr << text << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer))
    return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

void StderrNotifier::showThreatAlert(const std::string& record) {
  std::cerr << "Threat Found: " << record << '\n';
}

SystemPlatform::SystemPlatform(const std::string& appFolder)
    : registry_(std::make_unique<SqliteRegistry>(
          appFolder.empty() ? std::string(":memory:") : joinPath(appFolder, "registry.db"))),
      files_(std::make_unique<LinuxFileSystem>()), clock_(std::make_unique<LinuxClock>()),
      environment_(std::make_unique<LinuxEnvironment>()),
      crypto_(std::make_unique<OpenSslCrypto>()), notifier_(std::make_unique<StderrNotifier>()),
      processes_(std::make_unique<LinuxProcesses>()), power_(std::make_unique<LinuxPower>()),
      http_(std::make_unique<CurlHttp>()), shell_(std::make_unique<LinuxShell>()),
      drives_(std::make_unique<LinuxDrives>()),
      integration_(std::make_unique<LinuxIntegration>()),
      platform_(std::make_unique<Platform>(Platform{*registry_, *files_, *clock_, *environment_,
                                                    *crypto_, *notifier_, *processes_,
                                                    *power_, *http_, *shell_,
                                                    *drives_, *integration_})) {}

SystemPlatform::~SystemPlatform() = default;

} // namespace quorvane::platform
