// `quorvane monitor`: real-time protection in the foreground until interrupted.
#include "cli/context.h"

#include "engine/datafiles.h"
#include "engine/sigtable.h"
#include "protect/autoprotect.h"
#include "protect/dispatcher.h"
#include "protect/drive_protect.h"

#include <chrono>
#include <csignal>
#include <iostream>

namespace quorvane::cli {
namespace {

volatile std::sig_atomic_t gStop = 0;

void onStopSignal(int) { gStop = 1; }

/// Alerts and messages as lines on standard output, flushed at once (a log follows them live).
class MonitorNotifier final : public platform::Notifier {
public:
  using Notifier::ask;
  using Notifier::messageBox;
  void messageBox(const std::string& text, const platform::MessageStyle&) override {
    std::cout << printable(text) << std::endl;
  }
  bool ask(const std::string& text, const platform::MessageStyle&) override {
    std::cout << printable(text) << " (no one to answer: no)" << std::endl;
    return false;
  }
  void showThreatAlert(const std::string& record) override {
    std::cout << "Threat Found: " << printable(record) << std::endl;
  }
};

constexpr protect::WindowHandle kMonitorWindow = 1;
constexpr auto kReloadInterval = std::chrono::seconds(10);

} // namespace

void addMonitorCommand(CLI::App& app, Context& context, int& status) {
  auto* cmd = app.add_subcommand(
      "monitor", "Guard in the foreground until interrupted: check every program that starts "
                 "and every USB drive that arrives; one line per threat");
  auto noDrives = std::make_shared<bool>(false);
  cmd->add_flag("--no-drives", *noDrives, "Leave arriving drives alone");
  cmd->callback([&context, &status, noDrives] {
    MonitorNotifier notifier;
    platform::Platform p = platform::withNotifier(context.platform(), notifier);
    const std::string& folder = context.appFolder();
    engine::SignatureDatabase signatures(p.files, platform::joinPath(folder, engine::kVirSigFile));
    signatures.LoadSignatureTable();

    protect::AutoProtect autoProtect(p, folder, signatures);
    protect::DriveProtect driveProtect(p, folder, signatures, autoProtect);
    protect::cSubclass dispatcher;
    dispatcher.SubClass(kMonitorWindow, driveProtect);
    if (!*noDrives) {
      dispatcher.AddMsg(kMonitorWindow, protect::kDeviceChangeMessage, protect::cSubclass::After);
      driveProtect.ListUsbDrives();
    }

    struct sigaction action {};
    action.sa_handler = onStopSignal; // no SA_RESTART: a signal ends the wait at once
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    using Clock = std::chrono::steady_clock;
    const auto tickInterval = std::chrono::milliseconds(protect::kAutoProtectTickMs);
    autoProtect.tick(); // the first pass checks every program already running
    std::cout << "Monitoring: " << signatures.current()->SignatureCount() << " signatures, "
              << autoProtect.knownCount() << " processes checked, "
              << driveProtect.knownDrives().size() << " USB drives present" << std::endl;
    auto nextTick = Clock::now() + tickInterval;
    auto nextReload = Clock::now() + kReloadInterval;
    while (!gStop) {
      auto now = Clock::now();
      if (now < nextTick) {
        auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - now);
        bool changed = p.drives.waitForChange(wait + std::chrono::milliseconds(1));
        if (changed && !*noDrives)
          dispatcher.dispatch(kMonitorWindow, protect::kDeviceChangeMessage);
        continue;
      }
      autoProtect.tick();
      nextTick = std::max(nextTick + tickInterval, Clock::now());
      if (now >= nextReload) {
        signatures.ReloadSignatureTableTick();
        nextReload = now + kReloadInterval;
      }
    }
    std::cout << "Monitoring stopped" << std::endl;
    status = kExitOk;
  });
}

} // namespace quorvane::cli
