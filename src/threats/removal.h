// Removing detected threats: deleting or quarantining the ticked rows, cutting the autostart
// entries that name them, stopping what runs them, and deletion at the next start for files
// that cannot go at once (the "PendingFileRenameOperations" list).
#pragma once

#include "platform/platform.h"
#include "scan/scan_state.h"

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::threats {

inline constexpr const char* kRemovalRecordFile = "files.sig";
inline constexpr std::string_view kSessionManagerKey =
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
inline constexpr std::string_view kPendingValue = "PendingFileRenameOperations";
inline constexpr const char* kRestartQuestion =
    "There is harmful files still there you need to restart your SYSTEM to finish removing them\r"
    "Would you like to restart your SYSTEM now?";

/// The strings of a multi-string value (the closing empty string not included).
std::vector<std::string> DecodeMultiString(std::string_view data);
/// The value data of strings: each closed by a NUL, then the closing NUL.
std::string EncodeMultiString(const std::vector<std::string>& strings);

enum class RemovalMode { Delete, Quarantine };

class ThreatRemover {
public:
  ThreatRemover(platform::Platform& platform, std::string appFolder)
      : p_(platform), folder_(std::move(appFolder)) {}

  /// The pending list: the strings read from the registry and the pairs appended since.
  const std::vector<std::string>& PendingOperations() const { return pending_; }
  /// Reads "PendingFileRenameOperations"; an absent value gives an empty list.
  void loadpending();
  /// Writes the whole pending list back.
  void savepending();

  /// Deletes (or quarantines, then deletes) the file of every ticked row, then removes the
  /// ticked rows with their digests. Files still present afterwards get deletion pairs; the user
  /// is then asked whether to restart. Returns the paths of those survivors.
  std::vector<std::string> RemoveSelectedThreats(scan::ScanResults& results,
                                                 const std::vector<std::string>& autostartRefs,
                                                 RemovalMode mode);
  /// Stops every process that has the file of a selected row loaded; then empties the list.
  void RemoveThreatFromMemory(scan::ScanResults& results);

  /// The program's own deletion pairs in the pending list: "\??\" + path, then an empty string,
  /// for a path the program itself handled (listed in files.sig).
  std::vector<std::string> pendingDeletions();
  /// Deletes the files of the program's own deletion pairs and drops the pairs that are done (the
  /// file is gone); every other string stays. Returns the paths deleted.
  std::vector<std::string> CarryOutPendingDeletions();

private:
  /// The paths of files.sig: only these are ever deleted from the pending list, so a pair that
  /// somebody else put there cannot make the program delete an arbitrary file.
  std::set<std::string> handledPaths();
  bool isOwnDeletionPair(std::size_t i, const std::set<std::string>& handled) const;

  platform::Platform& p_;
  std::string folder_;
  std::vector<std::string> pending_;
  bool loaded_ = false;
};

} // namespace quorvane::threats
