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
/// quarantine index may carry a fourth, the name of the record's own copy, and a fifth, the
/// file's permission bits).
struct ThreatRecord {
  std::string name; ///< the file name (image name for a process)
  std::string date; ///< local date and time in the system's general date format
  std::string path; ///< full path of the threat file
  std::string copy; ///< quarantine only: the copy's file name when the record names it
  std::string mode; ///< quarantine only: the file's permission bits in octal, when recorded

  bool operator==(const ThreatRecord&) const = default;
};

/// A field as stored in a record line: "%", "|", CR and LF become %25, %7C, %0D and %0A, every
/// other byte stays, so a field without them is stored exactly as it is.
std::string encodeRecordField(std::string_view field);
/// The field a stored text stands for: those four escapes (hexadecimal digits in either case)
/// turned back; any other "%" stays as it is.
std::string decodeRecordField(std::string_view stored);
/// One record as a stored line, closed by CR LF; the fields after the third only when set.
std::string recordLine(const ThreatRecord& record);

/// The records of a log or index text; blank lines are skipped, missing fields are empty, lines
/// may end in LF or CR LF.
std::vector<ThreatRecord> parseThreatRecords(std::string_view text);

class ThreatLog {
public:
  ThreatLog(platform::Platform& platform, std::string appFolder)
      : p_(platform), folder_(std::move(appFolder)) {}

  /// Counts the detection in "threats" and appends its record to the log.
  void logThreat(const std::string& name, const std::string& path);
  /// The log's records, in file order.
  std::vector<ThreatRecord> showScanHistory();
  /// Deletes the log; the counter keeps its value.
  void clearScanHistory();

private:
  platform::Platform& p_;
  std::string folder_;
};

} // namespace quorvane::threats
