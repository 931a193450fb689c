// `quorvane scan`: a custom scan of folders and files, reported the way clamscan does.
#include "cli/context.h"

#include "app/appfolder.h"
#include "engine/datafiles.h"
#include "scan/scan_runs.h"
#include "scan/scan_state.h"
#include "threats/removal.h"
#include "threats/threat_list.h"

#include <chrono>
#include <iostream>

namespace quorvane::cli {
namespace {

/// Prints one line per detection on standard output and, on a terminal, a progress line on
/// standard error.
class CliObserver final : public scan::ScanObserver {
public:
  explicit CliObserver(bool progress) : progress_(progress) {}
  ~CliObserver() override { clearProgress(); }

  void checking(const std::string& path, long long filesScanned) override {
    if (!progress_)
      return;
    // A line per file would cost a terminal write per file: the line changes ten times a second.
    auto now = std::chrono::steady_clock::now();
    if (shown_ && now - lastShown_ < std::chrono::milliseconds(100))
      return;
    lastShown_ = now;
    std::string shown = printable(path);
    if (shown.size() > 60)
      shown = "..." + shown.substr(shown.size() - 57);
    std::cerr << "\r\033[K" << "Files scanned : " << filesScanned << "  " << shown << std::flush;
    shown_ = true;
  }
  void detected(const threats::ThreatRow& row, const std::string&) override {
    clearProgress();
    std::cout << printable(row.fullPath) << ": Quorvane.Threat FOUND" << std::endl;
  }
  void problem(const std::string& path, const std::string& what) override {
    clearProgress();
    std::cerr << "quorvane: " << printable(path) << ": " << what << std::endl;
  }
  void clearProgress() {
    if (shown_)
      std::cerr << "\r\033[K" << std::flush;
    shown_ = false;
  }

private:
  bool progress_;
  std::chrono::steady_clock::time_point lastShown_;
  bool shown_ = false;
};

/// What every scan command shares: the options, the signatures and the runner.
struct ScanOptions {
  std::vector<std::string> paths;
  std::string action;
  bool allFiles = false;
  bool remove = false;
  bool quarantineAll = false;
};

void addActionOption(CLI::App* cmd, ScanOptions& options) {
  cmd->add_option("--action", options.action,
                  "What to do with a threat for this run (default: the threatfound setting)")
      ->check(CLI::IsMember({"leave", "delete", "quarantine"}));
  auto* remove = cmd->add_flag("--remove", options.remove,
                               "After the run, remove every detected threat (delete)");
  cmd->add_flag("--quarantine-all", options.quarantineAll,
                "After the run, quarantine and remove every detected threat")
      ->excludes(remove);
}

/// --remove and --quarantine-all: every detected row is ticked and removed.
void removeDetected(scan::ScanRunner& runner, platform::Platform& p, const std::string& home,
                    const ScanOptions& options) {
  if (!options.remove && !options.quarantineAll)
    return;
  threats::selectAllThreats(runner.results(), true);
  threats::ThreatRemover remover(p, home);
  for (const std::string& path : remover.removeSelectedThreats(
           runner.results(), runner.references(),
           options.quarantineAll ? threats::RemovalMode::Quarantine : threats::RemovalMode::Delete))
    std::cout << "scheduled for deletion at the next start: " << printable(path) << '\n';
  for (const std::string& path : remover.leftAlone())
    std::cerr << "quorvane: " << printable(path)
              << ": not removed: the file changed after it was checked; left in place\n";
}

/// Runs `body` with a runner over the application folder's signatures, printing detections and
/// the progress line; returns what `body` returns.
template <typename Body>
int withRunner(Context& context, const ScanOptions& options, Body&& body) {
  platform::Platform& p = context.platform();
  const std::string& home = context.appFolder();
  std::string virSig = platform::joinPath(home, app::kVirSigFile);
  engine::SignatureDatabase signatures(p.files, virSig);
  signatures.loadSignatureTable();
  if (!signatures.current()->holdsAnyKey())
    std::cerr << "quorvane: warning: no signatures in " << printable(virSig)
              << "; nothing can be detected\n";

  scan::ScanRunner runner(p, home, signatures);
  if (options.allFiles)
    runner.patterns = scan::kAllFilesPattern;
  if (options.action == "leave")
    runner.checker().actionOverride = scan::ThreatAction::Leave;
  else if (options.action == "delete")
    runner.checker().actionOverride = scan::ThreatAction::Delete;
  else if (options.action == "quarantine")
    runner.checker().actionOverride = scan::ThreatAction::Quarantine;
  // Files left for deletion at a start go first: no system does it for us.
  for (const std::string& path : threats::ThreatRemover(p, home).carryOutPendingDeletions())
    std::cerr << "quorvane: deleted " << printable(path)
              << " (a threat left for deletion at the next start)\n";
  CliObserver observer(p.environment.errorIsTerminal());
  runner.checker().observer = &observer;
  int found = body(runner, p);
  observer.clearProgress();
  removeDetected(runner, p, home, options);
  return found;
}

/// The files meant to be checked that could not be, each told on standard error already.
void printNotChecked(scan::ScanRunner& runner) {
  if (runner.state().filesNotChecked > 0)
    std::cout << "Files not checked : " << runner.state().filesNotChecked << std::endl;
}

/// 1 when a threat was found; else 2 when something could not be checked (or failed); else 0.
int exitStatus(int found, bool incomplete) {
  return found > 0 ? kExitFound : incomplete ? kExitError : kExitOk;
}

void printSummary(scan::ScanRunner& runner) {
  const scan::ScanSummary& summary = runner.state().summary;
  std::cout << "\nTotal files scanned : " << summary.totalFiles << "\n"
            << "Safe files scanned: " << summary.safeFiles << "\n"
            << "Threats Found : " << summary.threats << "\n"
            << "Unknown Files: " << summary.unknownFiles << "\n";
  for (int index : scan::kAreaOrder) {
    auto panel = runner.state().panels.find(index);
    if (panel != runner.state().panels.end() && panel->second.shown)
      std::cout << panel->second.title << " : " << runner.state().areaCounts[index] << "\n";
  }
  std::cout << std::flush;
}

} // namespace

void addScanCommand(CLI::App& app, Context& context, int& status) {
  auto* cmd = app.add_subcommand("scan", "Scan folders and files for known threats");
  auto options = std::make_shared<ScanOptions>();
  cmd->add_option("PATH", options->paths, "Folders to walk and files to check")->required();
  addActionOption(cmd, *options);
  cmd->add_flag("--all-files", options->allFiles,
                "Check every regular file, not only programs");
  cmd->callback([&context, &status, options] {
    bool failed = false;
    long long notChecked = 0;
    int found = withRunner(context, *options, [&](scan::ScanRunner& runner, platform::Platform& p) {
      std::vector<std::string> targets;
      for (const std::string& given : options->paths) {
        std::string path = app::absolutePath(given, p.environment.currentDirectory());
        // The links of a named path are resolved once, here: what is walked and acted on is
        // then addressed by its real path.
        auto real = p.files.canonicalPath(path);
        auto st = real ? p.files.status(*real) : platform::ErrorOr<platform::FileStatus>(real.error());
        std::error_code error = st ? std::error_code() : st.error();
        if (st && st->kind == platform::FileKind::Other)
          error = platform::FileError::NotRegular;
        if (error) {
          std::cerr << "quorvane: " << printable(given) << ": " << error.message() << '\n';
          failed = true;
          continue;
        }
        targets.push_back(*real);
      }
      int threats = runner.startCustomScan(targets);
      std::cout << "\nTotal files scanned : " << runner.state().filesScanned << "\n"
                << "Threats Found : " << threats << std::endl;
      printNotChecked(runner);
      notChecked = runner.state().filesNotChecked;
      return threats;
    });
    status = failed ? kExitError : exitStatus(found, notChecked > 0); // a bad name wins
  });

  struct RunCommand {
    const char* name;
    const char* help;
    int (scan::ScanRunner::*run)();
  };
  static const RunCommand kRuns[] = {
      {"quick", "Quick Scan: the files of every module of every running process",
       &scan::ScanRunner::startQuickScan},
      {"smart",
       "Smart Scan: memory, the system folder (setting \"windows folder\", else /usr or the "
       "Windows folder), startup entries and registered components",
       &scan::ScanRunner::startSmartScan},
  };
  for (const RunCommand& command : kRuns) {
    auto* cmd = app.add_subcommand(command.name, command.help);
    auto runOptions = std::make_shared<ScanOptions>();
    addActionOption(cmd, *runOptions);
    cmd->callback([&context, &status, runOptions, &command] {
      long long notChecked = 0;
      int found =
          withRunner(context, *runOptions, [&](scan::ScanRunner& runner, platform::Platform&) {
            int threats = (runner.*command.run)();
            printSummary(runner);
            printNotChecked(runner);
            notChecked = runner.state().filesNotChecked;
            return threats;
          });
      status = exitStatus(found, notChecked > 0);
    });
  }
}

} // namespace quorvane::cli
