// The check of one file against the signature table, and the recording of a detection: its
// processes are ended, it is logged, and it is deleted, quarantined or left as the user chose.
#pragma once

#include "app/settings.h"
#include "engine/fingerprint.h"
#include "engine/safelist.h"
#include "engine/sigtable.h"
#include "platform/platform.h"
#include "scan/scan_state.h"
#include "threats/quarantine.h"
#include "threats/threatlog.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::scan {

/// Files of this size or more are never looked up.
inline constexpr std::uint64_t kSizeLimit = 5242880;

/// The program's own files, never looked up (a case-sensitive substring of the path).
inline constexpr std::array<const char*, 4> kOwnFileNames = {"quorvaneam.exe", "nivtamsetup.exe",
                                                             "zentuserv.exe", "exeupdt.exe"};
bool isOwnFile(std::string_view path);

/// The program files installed beside this one (the command, the desktop program, the
/// updater), by identity: whatever their names or paths, these files are never looked up.
inline constexpr std::array<const char*, 3> kInstalledProgramNames = {"quorvane", "quorvaneam",
                                                                      "exeupdt"};
std::vector<platform::FileIdentity> ownProgramIdentities(platform::Platform& platform);

/// What happens to a recorded threat file ("threatfound": 1 delete, 2 quarantine, else leave).
enum class ThreatAction { Leave, Delete, Quarantine };
ThreatAction threatActionFromSetting(std::string_view text);

/// What the part of a check that may run on any thread found out about one file.
struct PreparedFile {
  bool lookUp = false; ///< false: counted, never looked up
  std::uint64_t size = 0;
  std::string digest;              ///< lower-case MD5 when lookUp
  platform::FileIdentity identity; ///< the file that was read
  std::string path;     ///< where that file was read (a candidate's links resolved); "" = as given
  bool changed = false; ///< the entry was another file than the one listed: not checked
  std::string notChecked; ///< why the file meant to be checked could not be: never "clean"
};

/// What a folder listing said of a file: checks of it read that file or none.
struct ListedFile {
  std::uint64_t size = 0;
  platform::FileIdentity identity;
};

class FileChecker {
public:
  FileChecker(platform::Platform& platform, std::string appFolder,
              engine::SignatureDatabase& signatures, scan::ScanState& state,
              threats::ScanResults& results);

  /// The own-file names skipped (the component scan leaves out "nivtamsetup.exe").
  std::vector<std::string> ownFiles{kOwnFileNames.begin(), kOwnFileNames.end()};
  /// The program's own installed files, skipped by identity.
  std::vector<platform::FileIdentity> ownPrograms;
  /// Called after every recorded file, with whether it was a detection.
  std::function<void(const std::string& path, bool detected)> onRecorded;

  /// Overrides the "threatfound" setting (for one command-line run).
  std::optional<ThreatAction> actionOverride;
  scan::ScanObserver* observer = nullptr;

  /// Checks one file found by a walk: counts it, and records it when its key is listed.
  void checkFile(const std::string& path, std::optional<ListedFile> listed = std::nullopt);

  /// The first half of a check, safe to run on several threads at once: skips the program's own
  /// files, files at the size limit and files whose length no key carries, and reads the rest.
  /// `control` pauses and cancels the reading between pieces.
  PreparedFile prepare(const std::string& path, engine::RunControl* control = nullptr,
                       int pieceSize = engine::kDefaultPieceSize);
  /// The part of prepare() that reads no file content: the size and whether the file needs to be
  /// read at all. `listed` is what a folder listing said of the file, saving a status query; a
  /// path given without one (a candidate of the memory or startup checks) has its links
  /// resolved, and the file they lead to is the one checked.
  struct Screened {
    bool read = false;
    std::uint64_t size = 0;
    platform::FileIdentity identity; ///< the file expected at the path
    std::string path;                ///< the path to read; "" = as given
    std::string problem;             ///< why a file meant to be read cannot be
    /// For a file deleted since a process loaded it (`path` ends in kDeletedMark): the kernel's
    /// link that still reads it.
    std::string deletedFile;
  };
  Screened screen(const std::string& path, std::optional<ListedFile> listed = std::nullopt);
  /// The part of prepare() that reads the file.
  PreparedFile readScreened(const std::string& path, const Screened& screened,
                            engine::RunControl* control, int pieceSize);
  /// The second half, in walk order on one thread: counts the file, looks it up and records it.
  void record(const std::string& path, const PreparedFile& prepared);

  /// False for a file whose content cannot matter: at the size limit, or of a length no key
  /// carries.
  bool worthReading(std::uint64_t size) const {
    if (size >= kSizeLimit)
      return false;
    return pinned_ ? pinned_->mayMatchLength(size) : table()->mayMatchLength(size);
  }

  /// Pins the current signature table for a run (scans keep the table they started with);
  /// unpinned, every check takes the current one.
  /// A run also takes one snapshot of the process table, at its first detection, for ending the
  /// processes that run a detected file.
  void pinTable() {
    pinned_ = signatures_.current();
    processes_.reset();
  }
  void unpinTable() {
    pinned_.reset();
    processes_.reset();
  }
  /// Records one detection: ends the processes running the file, logs it, then deletes,
  /// quarantines or leaves the file. The file deleted or quarantined is the file `checked` names
  /// (when unknown: the file at the path, while its digest is still `digest`); an entry that is
  /// another file by then is reported and left alone.
  std::string recordThreat(const std::string& digest, const std::string& path,
                    const platform::FileIdentity& checked = {});

  /// Called after a detection is logged, right before its file is deleted or quarantined.
  std::function<void(const std::string& path)> beforeAction;

  threats::ThreatLog& threatLog() { return log_; }
  threats::Quarantine& quarantine() { return quarantine_; }

private:
  bool recordOne(const std::string& path, const PreparedFile& prepared);

  platform::Platform& p_;
  std::string folder_;
  engine::SignatureDatabase& signatures_;
  scan::ScanState& state_;
  threats::ScanResults& results_;
  threats::ThreatLog log_;
  threats::Quarantine quarantine_;
  engine::SafeList safe_;
  std::shared_ptr<const engine::SignatureTable> pinned_;
  std::optional<std::vector<platform::ProcessInfo>> processes_;

  std::shared_ptr<const engine::SignatureTable> table() const {
    return pinned_ ? pinned_ : signatures_.current();
  }
};

} // namespace quorvane::scan
