// The state one scan run shares between its steps: counters, flags, the results list and the
// observer that front ends (command line, desktop window, tests) watch a run through.
#pragma once

#include "platform/files.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quorvane::scan {

/// Which area count a check's detections update.
inline constexpr int kAreaCustomFolder = 6;
inline constexpr int kAreaWindowsFolder = 23;
inline constexpr int kAreaMemory = 8;
inline constexpr int kAreaRegistry = 4;

/// The areas in the order the scan page shows them.
inline constexpr int kAreaOrder[] = {kAreaMemory, kAreaWindowsFolder, kAreaRegistry,
                                     kAreaCustomFolder};

/// The title and subtitle of an area's panel on the scan page.
struct AreaText {
  int index;
  const char* title;
  const char* subtitle;
};
inline constexpr AreaText kAreaTexts[] = {
    {kAreaMemory, "System Memory", "Programs loaded in memory"},
    {kAreaWindowsFolder, "System files/folders", "Files Found in system folder"},
    {kAreaRegistry, "System Registry", "File existing in system registry"},
    {kAreaCustomFolder, "Custom Scan", "Files found in custom path"},
};

/// Which threat counter a check's detections set.
enum class ThreatCounter { Memory, Folder, Startup, Component };

/// Text colours of a detected-threat row (blue-green-red values).
inline constexpr std::uint32_t kTickedColor = 255;        // red
inline constexpr std::uint32_t kUntickedColor = 12632256; // light grey

/// A row of the detected-threat list.
struct ThreatRow {
  std::string fileName; ///< the text after the last separator of the path
  std::string fullPath; ///< the path as it was checked
  bool checked = false;
  std::optional<std::uint32_t> color; ///< none: the list's default colours
  bool selected = false;              ///< highlighted (for "Remove Threat from memory")
  /// The file that was checked; its removal acts on that file only (unknown: the file at the
  /// path must still have the row's digest).
  platform::FileIdentity identity;
};

/// The detected-threat list with its parallel digest list, and the current area's threat list.
struct ScanResults {
  std::vector<ThreatRow> rows;
  std::vector<std::string> digests;     ///< lower-case MD5 of row i at index i
  std::vector<std::string> areaThreats; ///< digest|file name|1, one per detection of the area

  void clear() {
    rows.clear();
    digests.clear();
    areaThreats.clear();
  }
};

/// What a run tells the one watching it. Called on the thread that runs the scan.
class ScanObserver {
public:
  virtual ~ScanObserver() = default;
  /// A file is about to be checked; `filesScanned` counts the files before it.
  virtual void checking(const std::string& /*path*/, long long /*filesScanned*/) {}
  /// A file was found to be a threat and recorded.
  virtual void detected(const ThreatRow& /*row*/, const std::string& /*digest*/) {}
  /// A file could not be checked or acted on as asked (it changed after it was checked, it could
  /// not be deleted, ...); `what` says so in a few words.
  virtual void problem(const std::string& /*path*/, const std::string& /*what*/) {}
  /// An area's step ended with this many threats in its count.
  virtual void areaFinished(int /*areaIndex*/, int /*count*/) {}
  /// A Quick or Smart run ended; its summary is filled in.
  virtual void runFinished(const struct ScanSummary& /*summary*/) {}
};

/// Pause and cancel of a running walk or loop, safe to use from any thread.
class RunControl {
public:
  void pause();
  void resume();
  void cancel();
  /// Clears both pause and cancel, for the next run.
  void reset();
  bool paused() const;
  bool cancelled() const { return cancelled_.load(); }
  /// Waits while paused (and not cancelled); false when the run is to stop.
  bool checkpoint();

private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool paused_ = false;
  std::atomic<bool> cancelled_{false};
};

/// One panel of the scan page's area box.
struct AreaPanel {
  enum class Status { Pending, Threat, Clean };
  std::string title;
  std::string subtitle;
  Status status = Status::Pending;
  bool shown = false;
};

/// The summary box of a finished Quick or Smart scan.
struct ScanSummary {
  long long totalFiles = 0;
  long long safeFiles = 0;
  int threats = 0;
  int unknownFiles = 0;
};

/// Counters and flags of the current scan.
struct ScanState {
  long long filesScanned = 0;
  long long filesNotChecked = 0; ///< meant to be checked and could not be (reported each)
  int memoryThreats = 0;
  int folderThreats = 0;
  int startupThreats = 0;
  int componentThreats = 0;
  int unknownFiles[4] = {};
  int areaIndex = kAreaCustomFolder;
  ThreatCounter counter = ThreatCounter::Folder;
  std::map<int, int> areaCounts; ///< area index -> threats shown for the area
  std::atomic<int> holdFlag{1};  ///< 0 while a scan runs, 1 when paused or idle
  std::atomic<int> cancelFlag{0};
  std::string lastKeyText; ///< the last key looked up
  double lastKey = 0;
  std::string status; ///< "Scan in progress, ..." / "Finished scanning"
  std::string nowChecking;  ///< live label: "Now Checking " and the path
  std::string filesLabel;   ///< live label: "Files scanned : " and the count before the file
  std::string threatsLabel; ///< live label: "Threats Found : " and the memory threats
  std::map<int, AreaPanel> panels; ///< by area index
  ScanSummary summary;

  int& counterFor(ThreatCounter which) {
    switch (which) {
    case ThreatCounter::Memory: return memoryThreats;
    case ThreatCounter::Startup: return startupThreats;
    case ThreatCounter::Component: return componentThreats;
    case ThreatCounter::Folder: break;
    }
    return folderThreats;
  }
};

} // namespace quorvane::scan
