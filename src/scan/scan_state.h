// The state one scan run shares between its steps: counters, flags, the results list and the
// observer that front ends (command line, desktop window, tests) watch a run through.
#pragma once

#include "engine/run_control.h"
#include "platform/files.h"
#include "threats/threat_list.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
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

/// What a run tells the one watching it. Called on the thread that runs the scan.
class ScanObserver {
public:
  virtual ~ScanObserver() = default;
  /// A file is about to be checked; `filesScanned` counts the files before it.
  virtual void checking(const std::string& /*path*/, long long /*filesScanned*/) {}
  /// A file was found to be a threat and recorded.
  virtual void detected(const threats::ThreatRow& /*row*/, const std::string& /*digest*/) {}
  /// A file could not be checked or acted on as asked (it changed after it was checked, it could
  /// not be deleted, ...); `what` says so in a few words.
  virtual void problem(const std::string& /*path*/, const std::string& /*what*/) {}
  /// A step whose length is known beforehand (a list of candidates) reached `done` of `total`.
  virtual void progress(long long /*done*/, long long /*total*/) {}
  /// An area's step ended with this many threats in its count.
  virtual void areaFinished(int /*areaIndex*/, int /*count*/) {}
  /// A Quick or Smart run ended; its summary is filled in.
  virtual void runFinished(const struct ScanSummary& /*summary*/) {}
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
  std::string status;              ///< "Scan in progress, ..." / "Finished scanning"
  std::string nowChecking;         ///< live label: "Now Checking " and the path
  std::string filesLabel;          ///< live label: "Files scanned : " and the count before the file
  std::string threatsLabel;        ///< live label: "Threats Found : " and the memory threats
  std::map<int, AreaPanel> panels; ///< by area index
  ScanSummary summary;

  int& counterFor(ThreatCounter which) {
    switch (which) {
    case ThreatCounter::Memory:
      return memoryThreats;
    case ThreatCounter::Startup:
      return startupThreats;
    case ThreatCounter::Component:
      return componentThreats;
    case ThreatCounter::Folder:
      break;
    }
    return folderThreats;
  }
};

inline constexpr std::string_view kThreatsFoundNotice = "Finished scanning,Threats found.";
inline constexpr std::string_view kNoThreatNotice = "Finished scanning, No threat found.";

/// Which of the two end-of-scan notices shows.
std::string_view endOfScanNotice(const ScanState& state);

/// A click on an area count: when any area shows threats, runs `loadPendingDeletions`; true when
/// the results page may then be shown (no scan running, or the scan is paused).
bool openResultsFromAreaCount(const ScanState& state,
                              const std::function<void()>& loadPendingDeletions);

} // namespace quorvane::scan
