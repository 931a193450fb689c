// The threat log: one line per detection in threatlog.sig, and the lifetime "threats" counter.
#pragma once

#include "app/settings.h"
#include "platform/platform.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorvane::threats {

inline constexpr const char* kThreatLogFile = "threatlog.sig";

/// One line of the threat log or the quarantine index: three fields joined by "|" (the
/// quarantine index may carry a fourth, the name of the record's own copy).
struct ThreatRecord {
  std::string name; ///< the file name (image name for a process)
  std::string date; ///< local date and time in the system's general date format
  std::string path; ///< full path of the threat file
  std::string copy; ///< quarantine only: the copy's file name when the record names it
};

/// The records of a log or index text; blank lines are skipped, missing fields are empty, lines
/// may end in LF or CR LF.
std::vector<ThreatRecord> ParseThreatRecords(std::string_view text);

class ThreatLog {
public:
  ThreatLog(platform::Platform& platform, std::string appFolder)
      : p_(platform), folder_(std::move(appFolder)) {}

  /// Counts the detection in "threats" and appends its record to the log.
  void LogThreat(const std::string& name, const std::string& path);
  /// The log's records, in file order.
  std::vector<ThreatRecord> ShowScanHistory();
  /// Deletes the log; the counter keeps its value.
  void ClearScanHistory();

private:
  platform::Platform& p_;
  std::string folder_;
};

} // namespace quorvane::threats
