// `quorvane monitor`: real-time protection in the foreground until interrupted.
#include "cli/context.h"

#include "app/appfolder.h"
#include "engine/datafiles.h"
#include "engine/sigtable.h"
#include "platform/stop_request.h"
#include "protect/autoprotect.h"
#include "protect/drive_protect.h"
#include "protect/exec_blocker.h"
#include "protect/guard_state.h"
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

/// Why blocking could not start, for people.
std::string blockingUnavailable(std::error_code error) {
  if (error == std::errc::operation_not_permitted)
    return "it needs root (CAP_SYS_ADMIN)";
  if (error == std::errc::function_not_supported || error == std::errc::invalid_argument)
    return "this kernel cannot ask before a program starts (Linux 5.0 or later is needed)";
  if (error == std::errc::not_supported)
    return "this system cannot ask before a program starts";
  return error.message();
}

/// The blocking guard and the gate it answers, while they run; the state file says so to the
/// desktop program for as long as it lives.
struct BlockingGuard {
  std::unique_ptr<platform::ExecGate> gate;
  std::unique_ptr<protect::ExecBlocker> blocker;
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
  auto block = std::make_shared<bool>(false);
  cmd->add_flag("--block", *block,
                "Refuse a listed program before it runs (Linux, root): every mounted file "
                "system asks the guard before it starts a program; without the privilege the "
                "guard checks programs after they start");
  auto blockFolders = std::make_shared<std::vector<std::string>>();
  cmd->add_option("--block-folder", *blockFolders,
                  "With --block: guard only the programs directly in this folder (repeatable; "
                  "for trying the guard without covering the whole machine)")
      ->allow_extra_args(false);
  auto stateFile = std::make_shared<std::string>();
  cmd->add_option("--state-file", *stateFile,
                  "Write the guard's mode to this file while it runs (the system unit's "
                  "/run/quorvane/guard.state, which the desktop program shows)");
  cmd->callback([&context, &status, noDrives, block, blockFolders, stateFile] {
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

    BlockingGuard blocking;
    std::string mode = "polling: programs are checked after they start";
    if (*block) {
      platform::ExecGateOptions options;
      options.folders = *blockFolders;
      options.exempt.push_back(p.environment.executablePath());
      auto gate = platform::openExecGate(options);
      if (gate) {
        blocking.gate = std::move(*gate);
        blocking.blocker =
            std::make_unique<protect::ExecBlocker>(p, *blocking.gate, folder, signatures);
        blocking.blocker->start();
        mode = "blocking: listed programs are refused before they run (" +
               blocking.gate->coverage() + "); programs already running are checked too";
      } else {
        mode += " (blocking is off: " + blockingUnavailable(gate.error()) + ")";
      }
    }
    if (!stateFile->empty())
      p.files.writeFile(*stateFile, protect::guardStateText({blocking.blocker != nullptr,
                                                             platform::currentProcessId(), mode}));
    auto reportBlocked = [&] {
      if (!blocking.blocker)
        return;
      blocking.blocker->reportRefused();
      for (const std::string& notice : blocking.blocker->takeNotices())
        std::cerr << "quorvane: " << printable(notice) << std::endl;
    };

    using Clock = std::chrono::steady_clock;
    const auto tickInterval = std::chrono::milliseconds(protect::kAutoProtectTickMs);
    autoProtect.tick(); // the first pass checks every program already running
    std::cout << "Monitoring: " << signatures.current()->signatureCount() << " signatures, "
              << autoProtect.knownCount() << " processes checked, "
              << driveProtect.knownDrives().size() << " USB drives present" << std::endl;
    std::cout << "Guard mode: " << mode << std::endl;
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
      reportBlocked();
      nextTick = std::max(nextTick + tickInterval, Clock::now());
      if (now >= nextReload) {
        signatures.reloadSignatureTableTick();
        nextReload = now + kReloadInterval;
      }
    }
    if (blocking.blocker) {
      blocking.blocker->stop();
      reportBlocked();
    }
    blocking = {}; // closing the gate lets every start through
    if (!stateFile->empty())
      p.files.removeFile(*stateFile);
    std::cout << "Monitoring stopped" << std::endl;
    status = kExitOk;
  });
}

} // namespace quorvane::cli
