// The quarantine: byte-for-byte copies of threat files in qrnt/, listed in qrntfiles.sig, that
// can be put back or deleted.
#pragma once

#include "threats/threatlog.h"

#include <string>
#include <vector>

namespace quorvane::threats {

inline constexpr const char* kQuarantineIndexFile = "qrntfiles.sig";
inline constexpr const char* kQuarantineFolder = "qrnt";

/// A row of the quarantine page.
struct QuarantineRow {
  ThreatRecord record;
  bool checked = false;
};

class Quarantine {
public:
  Quarantine(platform::Platform& platform, std::string appFolder)
      : p_(platform), folder_(std::move(appFolder)) {}

  /// Copies the file into the quarantine under `name` and records it. Every file gets a copy of
  /// its own ("name.qrt", else "name.2.qrt", ...). False when no copy could be made; the caller
  /// then keeps the threat file.
  bool QuarantineFile(const std::string& name, const std::string& path);
  /// The index rows, unchecked, in index order.
  std::vector<QuarantineRow> ShowQuarantine();
  /// Copies each checked row's file back to its path and deletes the copy. A row whose copy
  /// cannot be put back stays (with its copy); the others leave the index. Returns the rows that
  /// could not be restored.
  std::vector<QuarantineRow> RestoreQuarantined(const std::vector<QuarantineRow>& rows);
  /// Deletes each checked row's copy and drops the row from the index.
  void DeleteQuarantined(const std::vector<QuarantineRow>& rows);

  /// Full path of the copy a record stands for.
  std::string copyPath(const ThreatRecord& record) const;

private:
  std::string indexPath() const;
  std::string folderPath() const;
  void rewriteIndex(const std::vector<QuarantineRow>& rows);
  void removeCopies(const std::vector<std::string>& copies, const std::vector<QuarantineRow>& kept);
  std::string freeCopyName(const std::string& name);

  platform::Platform& p_;
  std::string folder_;
};

} // namespace quorvane::threats
