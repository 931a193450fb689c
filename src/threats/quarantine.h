// The quarantine: byte-for-byte copies of threat files in qrnt/, listed in qrntfiles.sig, that
// can be put back or deleted.
#pragma once

#include "threats/threatlog.h"

#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace quorvane::threats {

inline constexpr const char* kQuarantineIndexFile = "qrntfiles.sig";
inline constexpr const char* kQuarantineFolder = "qrnt";

/// A row of the quarantine page.
struct QuarantineRow {
  ThreatRecord record;
  bool checked = false;
  std::error_code problem; ///< why a command left the row (set on the rows it returns)
};

/// Why a command left a row, for a person: "the path is taken", "the record names no
/// quarantined copy", else the error's own message.
std::string describeProblem(const QuarantineRow& row);

/// True when `name` can name a file inside one folder: not empty, no "/", not "." or "..".
bool isPlainFileName(std::string_view name);

class Quarantine {
public:
  Quarantine(platform::Platform& platform, std::string appFolder)
      : p_(platform), folder_(std::move(appFolder)) {}

  /// Copies the file into the quarantine and records it under `name`. The copy is made from
  /// `path` only while it is the file `checked` names (when known; a link there is never
  /// followed), under a name of its own claimed by creating it ("name.qrt", else
  /// "name.2.qrt", ...; characters that do not belong in a file name become "_"), readable by
  /// this user only. False when no copy could be made; the caller then keeps the threat file.
  bool quarantineFile(const std::string& name, const std::string& path,
                      const platform::FileIdentity& checked = {});
  /// The index rows, unchecked, in index order.
  std::vector<QuarantineRow> showQuarantine();
  /// Puts each checked row's file back at its path with its recorded permissions and deletes
  /// the copy. Nothing is overwritten: a row whose path is taken (or whose copy cannot be put
  /// back) stays with its copy. Returns the rows left, each with its problem.
  std::vector<QuarantineRow> restoreQuarantined(const std::vector<QuarantineRow>& rows);
  /// The same, putting each file into `folder` under its own name instead.
  std::vector<QuarantineRow> restoreQuarantinedTo(const std::vector<QuarantineRow>& rows,
                                                  const std::string& folder);
  /// Deletes each checked row's copy and drops the row from the index. Returns the rows left.
  std::vector<QuarantineRow> deleteQuarantined(const std::vector<QuarantineRow>& rows);

  /// Removes the copies in qrnt/ that no record of the index names: what a run killed between
  /// making a copy and recording it left behind (no copy is half made while the lock is held).
  /// Without a readable index nothing is removed. Returns how many went.
  int removeOrphanCopies();

  /// Full path of the copy a record stands for; nothing when the record names no plain file of
  /// qrnt/ (such a record is shown, never acted on).
  std::optional<std::string> copyPath(const ThreatRecord& record) const;

private:
  std::string indexPath() const;
  std::string folderPath() const;
  std::vector<QuarantineRow>
  restoreOrDelete(const std::vector<QuarantineRow>& rows, bool restore,
                  const std::optional<std::string>& intoFolder);

  platform::Platform& p_;
  std::string folder_;
};

/// What a run killed midway left in the application folder goes, before anything else reads the
/// folder: temporaries of gone processes and quarantine copies that no record names.
void cleanUpAfterAKilledRun(platform::Platform& platform, const std::string& appFolder);

} // namespace quorvane::threats
