// Scan runs: the folder scan of one tree and the custom scan, over the state they share.
#pragma once

#include "scan/check_pipeline.h"
#include "scan/directory_walker.h"
#include "scan/file_check.h"
#include "scan/scan_state.h"
#include "scan/startup.h"

#include <functional>
#include <memory>
#include <thread>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::scan {

/// The folder of a scan request: the text trimmed, every double quote removed.
std::string requestedFolderPath(std::string_view text);

class ScanRunner {
public:
  ScanRunner(platform::Platform& platform, std::string appFolder,
             engine::SignatureDatabase& signatures);

  ScanState& state() { return state_; }
  threats::ScanResults& results() { return results_; }
  scan::FileChecker& checker() { return checker_; }
  DirectoryWalker& search() { return search_; }
  /// Patterns a folder walk hands over (default kFolderScanPatterns).
  std::string patterns = kFolderScanPatterns;

  /// Walks a folder (a relative one means the application folder) and checks every file the
  /// patterns match; detections update the count of the given area.
  void scanFolderTree(const std::string& folder, int areaIndex);
  /// A custom scan of folders and single files: counters reset, each folder walked and each
  /// file checked, then "last scan" stored. Returns the number of threats found.
  int startCustomScan(const std::vector<std::string>& targets);
  /// The Quick scan: the files of every module of every running process. Returns the threats.
  int startQuickScan();
  /// The Smart Scan: memory, the Windows folder, startup entries and registered components.
  int startSmartScan();
  /// The third and fourth steps of the Smart Scan.
  void scanStartupEntries();
  void scanRegisteredComponents();
  /// The folder the Smart Scan walks: the setting "windows folder", else /usr.
  std::string windowsFolder();
  /// Where the startup entries are looked for (tests point it at their own folders).
  StartupCollector& startup() { return startup_; }
  /// Where each candidate of the last candidate scan came from (see StartupCandidate).
  const std::vector<std::string>& references() const { return references_; }

  /// The memory scan: module files of all processes, each once, checked as candidates.
  void scanMemory();
  /// Checks a list of paths for one area (kAreaMemory or kAreaRegistry) in list order.
  void checkCandidateList(int areaIndex, ThreatCounter counter);
  /// The candidate list the candidate scans fill.
  std::vector<std::string>& candidates() { return candidates_; }
  /// The Windows folder's drive ("C:"), put in front of module paths of the form \SystemRoot\...;
  /// empty where paths have no drives.
  std::string systemDrive;

  /// Asks the running scan to stop at its next check; a file being read stops within itself.
  void cancelScan();
  /// Holds and releases the running scan: every walk and loop, and the reading of files.
  void pause();
  void resume();
  /// Pause when running, resume when paused; returns the button's new caption.
  std::string togglePause();
  bool running() const { return running_; }

  /// The folder-scan request file: its first field when it holds one and no scan is running (a
  /// request waits for the running scan to end); the file is deleted once read.
  std::optional<std::string> pollFolderScanRequest();
  /// A custom scan of the requested path (quotes dropped); an empty request does nothing.
  /// Returns the threats found, or nothing when no scan ran.
  std::optional<int> startRequestedFolderScan(const std::string& text);
  /// Waits until the tick count passes now + `ms`.
  void waitMilliseconds(std::uint64_t ms);
  /// Worker threads reading files (0: one per core).
  unsigned workers = 0;

  /// Walk handlers.
  void onFolderEntered(const std::string& folder);
  void onFileFound(const std::string& folder, const std::string& name);

private:
  void storeLastScan();
  void runStart(const std::vector<int>& areas);
  void runEnd(int threats, long long unknown);
  void startPipeline();
  void stopPipeline();

  platform::Platform& p_;
  std::string folder_;
  ScanState state_;
  threats::ScanResults results_;
  scan::FileChecker checker_;
  DirectoryWalker search_;
  engine::RunControl control_;
  std::unique_ptr<scan::CheckPipeline> pipeline_; ///< the running run's, when one runs
  std::vector<std::string> candidates_;
  std::vector<std::string> references_;
  std::atomic<bool> running_{false};
  StartupCollector startup_;
};

/// Runs scans on a thread of their own, one at a time; pause and cancel go to the runner from
/// any thread, and the run is watched through the runner's observer.
class ScanWorker {
public:
  explicit ScanWorker(ScanRunner& runner) : runner_(runner) {}
  ~ScanWorker() { join(); }
  ScanWorker(const ScanWorker&) = delete;
  ScanWorker& operator=(const ScanWorker&) = delete;

  /// Starts `run` on the worker thread; false (nothing started) while a scan is still running.
  bool start(std::function<void(ScanRunner&)> run);
  /// Waits for the running scan to end.
  void join();
  bool busy() const { return busy_; }

private:
  ScanRunner& runner_;
  std::thread thread_;
  std::atomic<bool> busy_{false};
};

} // namespace quorvane::scan
