// `quorvane monitor`: real-time protection in the foreground until interrupted.
#include "cli/context.h"

#include "app/appfolder.h"
#include "engine/datafiles.h"
#include "engine/sigtable.h"
#include "platform/stop_request.h"
#include "protect/autoprotect.h"
#include "protect/drive_protect.h"
#include "protect/message_dispatcher.h"
#include "scan/scan_runs.h"
#include "schedule/scheduler.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include <chrono>
#include <iostream>

namespace quorvane::cli {
namespace {

/// The scheduled scan on a thread of its own, with a platform of its own (its own connection to
/// the registry store), so that protection goes on while a scan runs.
class ScheduleThread {
public:
  explicit ScheduleThread(std::string folder) : folder_(std::move(folder)) {
    thread_ = std::thread([this] { run(); });
  }
  ~ScheduleThread() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

private:
  void run() {
    platform::SystemPlatform system(folder_);
    StdoutNotifier notifier(false, false);
    platform::Platform p = platform::withNotifier(system.get(), notifier);
    engine::SignatureDatabase signatures(p.files, platform::joinPath(folder_, app::kVirSigFile));
    auto scan = [&](const char* name, int (scan::ScanRunner::*start)()) {
      signatures.loadSignatureTable();
      scan::ScanRunner runner(p, folder_, signatures);
      std::cout << "Scheduled scan: " << name << " started" << std::endl;
      int found = (runner.*start)();
      std::cout << "Scheduled scan: " << name << " finished, " << found << " threats found"
                << std::endl;
    };
    schedule::Scheduler scheduler(p,
                                  {{},
                                   [&] { scan("Quick Scan", &scan::ScanRunner::startQuickScan); },
                                   [&] { scan("Smart Scan", &scan::ScanRunner::startSmartScan); }});
    std::unique_lock lock(mutex_);
    for (int second = 0; !stop_; ++second) {
      lock.unlock();
      if (second % 10 == 0)
        scheduler.loadSchedule(); // a schedule stored meanwhile is taken up
      scheduler.tick();
      lock.lock();
      wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; });
    }
  }

  std::string folder_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

constexpr protect::WindowHandle kMonitorWindow = 1;
constexpr auto kReloadInterval = std::chrono::seconds(10);

} // namespace

void addMonitorCommand(CLI::App& app, Context& context, int& status) {
  auto* cmd = app.add_subcommand(
      "monitor", "Guard in the foreground until interrupted: check every program that starts "
                 "and every USB drive that arrives, and run the scheduled scan; one line per "
                 "threat");
  auto noDrives = std::make_shared<bool>(false);
  cmd->add_flag("--no-drives", *noDrives, "Leave arriving drives alone");
  cmd->callback([&context, &status, noDrives] {
    StdoutNotifier notifier(false, false); // nobody is there to answer
    platform::Platform p = platform::withNotifier(context.platform(), notifier);
    const std::string& folder = context.appFolder();
    engine::SignatureDatabase signatures(p.files, platform::joinPath(folder, app::kVirSigFile));
    signatures.loadSignatureTable();

    protect::AutoProtect autoProtect(p, folder, signatures);
    protect::DriveProtect driveProtect(p, folder, signatures, autoProtect);
    protect::MessageDispatcher dispatcher;
    dispatcher.attach(kMonitorWindow, driveProtect);
    if (!*noDrives) {
      dispatcher.addMessage(kMonitorWindow, protect::kDeviceChangeMessage,
                            protect::MessageDispatcher::After);
      driveProtect.listUsbDrives();
    }

    platform::catchStopRequests();

    using Clock = std::chrono::steady_clock;
    const auto tickInterval = std::chrono::milliseconds(protect::kAutoProtectTickMs);
    autoProtect.tick(); // the first pass checks every program already running
    std::cout << "Monitoring: " << signatures.current()->signatureCount() << " signatures, "
              << autoProtect.knownCount() << " processes checked, "
              << driveProtect.knownDrives().size() << " USB drives present" << std::endl;
    ScheduleThread scheduled(folder);
    auto nextTick = Clock::now() + tickInterval;
    auto nextReload = Clock::now() + kReloadInterval;
    while (!platform::stopRequested()) {
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
        signatures.reloadSignatureTableTick();
        nextReload = now + kReloadInterval;
      }
    }
    std::cout << "Monitoring stopped" << std::endl;
    status = kExitOk;
  });
}

} // namespace quorvane::cli
