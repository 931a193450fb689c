// Removing detected threats: deleting or quarantining the ticked rows, cutting the autostart
// entries that name them, stopping what runs them, and deletion at the next start for files
// that cannot go at once (the "PendingFileRenameOperations" list).
#pragma once

#include "platform/platform.h"
#include "threats/threat_list.h"

#include <map>
#include <optional>
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
std::vector<std::string> decodeMultiString(std::string_view data);
/// The value data of strings: each closed by a NUL, then the closing NUL.
std::string encodeMultiString(const std::vector<std::string>& strings);

enum class RemovalMode { Delete, Quarantine };

class ThreatRemover {
public:
  ThreatRemover(platform::Platform& platform, std::string appFolder)
      : p_(platform), folder_(std::move(appFolder)) {}

  /// The pending list: the strings read from the registry and the pairs appended since.
  const std::vector<std::string>& pendingOperations() const { return pending_; }
  /// Reads "PendingFileRenameOperations"; an absent value gives an empty list.
  void loadPendingDeletions();
  /// Writes the whole pending list back.
  void savePendingDeletions();

  /// Deletes (or quarantines, then deletes) the file of every ticked row, then removes the
  /// ticked rows with their digests. Only the file that was checked goes: a row whose path names
  /// another file by now (swapped, replaced, a link) is left alone and listed in leftAlone().
  /// Files still present afterwards get deletion pairs, with their identity recorded in
  /// files.sig; the user is then asked whether to restart. Returns the paths of those survivors.
  std::vector<std::string> removeSelectedThreats(threats::ScanResults& results,
                                                 const std::vector<std::string>& autostartRefs,
                                                 RemovalMode mode);
  /// Stops every process that has the file of a selected row loaded; then empties the list.
  void removeThreatFromMemory(threats::ScanResults& results);

  /// The rows of the last RemoveSelectedThreats that were not removed because their path no
  /// longer names the file that was checked.
  const std::vector<std::string>& leftAlone() const { return leftAlone_; }

  /// The program's own deletion pairs in the pending list: "\??\" + path, then an empty string,
  /// for a file the program itself could not delete (its identity is in files.sig).
  std::vector<std::string> pendingDeletions();
  /// Deletes the files of the program's own deletion pairs, each only while it is still the file
  /// that was recorded (device, inode, size and digest), and drops the pairs that are done: the
  /// file is gone, or another file stands at its path now (that one stays). Every other string
  /// stays. Returns the paths deleted.
  std::vector<std::string> carryOutPendingDeletions();

  /// The start of a run of the desktop program: carries out the program's own pending
  /// deletions, then clears the removal record, keeping only what the pairs still pending need
  /// (their files' identities). Returns the paths deleted.
  std::vector<std::string> carryOutAtStart();

  /// What files.sig says of a file that could not be deleted.
  struct RecordedFile {
    platform::FileIdentity identity;
    std::uint64_t size = 0;
    std::string digest; ///< lower-case MD5
  };

private:
  /// The files of files.sig recorded with their identity: only these are ever deleted from the
  /// pending list, so a pair that somebody else put there cannot make the program delete an
  /// arbitrary file, nor a later file at the same path go in its place.
  std::map<std::string, RecordedFile> recordedFiles();
  bool isOwnDeletionPair(std::size_t i, const std::map<std::string, RecordedFile>& recorded) const;

  platform::Platform& p_;
  std::string folder_;
  std::vector<std::string> pending_;
  bool loaded_ = false;
  std::vector<std::string> leftAlone_;
};

/// A files.sig line for a file that could not be deleted: the path (stored as record fields
/// are), then device, inode, size and digest, joined by "|". Readers of the one-path layout take
/// the whole line for a path that no pending pair names, so they skip it.
std::string recordedFileLine(const std::string& path, const ThreatRemover::RecordedFile& file);
/// The path and file of such a line; nothing for a line of the one-path layout or a bad line.
std::optional<std::pair<std::string, ThreatRemover::RecordedFile>>
parseRecordedFileLine(std::string_view line);

} // namespace quorvane::threats
