// The check of one file against the signature table, and the recording of a detection: its
// processes are ended, it is logged, and it is deleted, quarantined or left as the user chose.
#pragma once

#include "app/settings.h"
#include "engine/sigtable.h"
#include "platform/platform.h"
#include "scan/scan_state.h"
#include "threats/quarantine.h"
#include "threats/threatlog.h"

#include <array>
#include <optional>
#include <string>

namespace quorvane::engine {

/// Files of this size or more are never looked up.
inline constexpr std::uint64_t kSizeLimit = 5242880;

/// The program's own files, never looked up (a case-sensitive substring of the path).
inline constexpr std::array<const char*, 4> kOwnFileNames = {"quorvaneam.exe", "nivtamsetup.exe",
                                                             "zentuserv.exe", "exeupdt.exe"};
bool IsOwnFile(std::string_view path);

/// What happens to a recorded threat file ("threatfound": 1 delete, 2 quarantine, else leave).
enum class ThreatAction { Leave, Delete, Quarantine };
ThreatAction ThreatActionFromSetting(std::string_view text);

class FileChecker {
public:
  FileChecker(platform::Platform& platform, std::string appFolder, SignatureDatabase& signatures,
              scan::ScanState& state, scan::ScanResults& results);

  /// Overrides the "threatfound" setting (for one command-line run).
  std::optional<ThreatAction> actionOverride;
  scan::ScanObserver* observer = nullptr;

  /// Checks one file found by a walk: counts it, and records it when its key is listed.
  void checkvir(const std::string& path);
  /// Records one detection: ends the processes running the file, logs it, then deletes,
  /// quarantines or leaves the file. The digest is not used.
  void virus(const std::string& digest, const std::string& path);

  threats::ThreatLog& threatLog() { return log_; }
  threats::Quarantine& quarantine() { return quarantine_; }

private:
  platform::Platform& p_;
  std::string folder_;
  SignatureDatabase& signatures_;
  scan::ScanState& state_;
  scan::ScanResults& results_;
  threats::ThreatLog log_;
  threats::Quarantine quarantine_;
};

} // namespace quorvane::engine
