// The check of one file and the recording of a detection.
#include "scan/file_check.h"

#include "app/appfolder.h"
#include "app/text.h"
#include "engine/datafiles.h"
#include "engine/filekey.h"
#include "threats/process_helpers.h"

#include <algorithm>

namespace quorvane::scan {

bool isOwnFile(std::string_view path) {
  for (const char* name : kOwnFileNames)
    if (path.find(name) != std::string_view::npos)
      return true;
  return false;
}

std::vector<platform::FileIdentity> ownProgramIdentities(platform::Platform& platform) {
  std::vector<platform::FileIdentity> identities;
  std::string program = platform.environment.executablePath();
  std::string folder = app::folderOf(program);
  if (folder.empty())
    return identities;
  for (const char* name : kInstalledProgramNames)
    for (const std::string& file : {std::string(name), std::string(name) + ".exe"}) // Windows'
      if (auto status = platform.files.status(platform::joinPath(folder, file));
          status && status->kind == platform::FileKind::Regular)
        identities.push_back(status->identity());
  return identities;
}

ThreatAction threatActionFromSetting(std::string_view text) {
  switch (app::leadingInteger(text)) {
  case 1:
    return ThreatAction::Delete;
  case 2:
    return ThreatAction::Quarantine;
  default:
    return ThreatAction::Leave;
  }
}

FileChecker::FileChecker(platform::Platform& platform, std::string appFolder,
                         engine::SignatureDatabase& signatures, scan::ScanState& state,
                         threats::ScanResults& results)
    : p_(platform), folder_(std::move(appFolder)), signatures_(signatures), state_(state),
      results_(results), log_(platform, folder_), quarantine_(platform, folder_),
      safe_(platform.files, platform::joinPath(folder_, app::kSafeFile)) {
  ownPrograms = ownProgramIdentities(platform);
}

void FileChecker::checkFile(const std::string& path, std::optional<ListedFile> listed) {
  record(path, readScreened(path, screen(path, listed), nullptr, engine::kDefaultPieceSize));
}

PreparedFile FileChecker::prepare(const std::string& path, engine::RunControl* control,
                                  int pieceSize) {
  return readScreened(path, screen(path), control, pieceSize);
}

FileChecker::Screened FileChecker::screen(const std::string& path,
                                          std::optional<ListedFile> listed) {
  for (const std::string& own : ownFiles)
    if (path.find(own) != std::string::npos)
      return {};
  // The size is known before reading: a file at the limit, or of a length that no key carries,
  // is counted but never read.
  Screened screened;
  if (listed) {
    screened.size = listed->size;
    screened.identity = listed->identity;
  } else {
    // A candidate path (a module, a startup entry) may pass through links: the file they lead
    // to is checked, and is the one acted on. A path that names nothing (a stale entry) is
    // nothing to check; one that cannot be reached is a file not checked.
    auto real = p_.files.canonicalPath(path);
    bool deleted = real && platform::withoutDeletedMark(*real).second;
    auto status = real ? p_.files.status(deleted ? path : *real)
                       : platform::ErrorOr<platform::FileStatus>(real.error());
    if (!status) {
      Screened unreachable;
      if (status.error() != std::errc::no_such_file_or_directory)
        unreachable.problem = status.error().message();
      return unreachable;
    }
    if (status->kind != platform::FileKind::Regular)
      return {};
    screened.size = status->size;
    screened.identity = status->identity();
    if (deleted)
      screened.deletedFile = path;
    if (*real != path)
      screened.path = std::move(*real);
  }
  if (!worthReading(screened.size))
    return {};
  if (std::find(ownPrograms.begin(), ownPrograms.end(), screened.identity) != ownPrograms.end())
    return {}; // this program's own files, under whatever name
  screened.read = true;
  return screened;
}

PreparedFile FileChecker::readScreened(const std::string& path, const Screened& screened,
                                       engine::RunControl* control, int pieceSize) {
  PreparedFile prepared;
  prepared.notChecked = screened.problem;
  if (!screened.read)
    return prepared;
  const std::string& readPath = !screened.deletedFile.empty() ? screened.deletedFile
                                : screened.path.empty()       ? path
                                                              : screened.path;
  std::uint64_t start = p_.clock.tickCount();
  std::uint64_t resumes = p_.clock.resumeCount();
  std::uint64_t paused = 0;
  auto hashed =
      engine::hashEntry(p_, readPath, pieceSize, control, &paused, !screened.deletedFile.empty());
  if (!hashed) {
    if (hashed.error() != std::errc::operation_canceled)
      prepared.notChecked = hashed.error().message(); // unreadable, vanished, an I/O error
    return prepared;
  }
  // A file that could not be read in time is not checked, never clean. Time the whole process
  // spent stopped (Ctrl-Z, then fg) is not the file's.
  if (p_.clock.resumeCount() == resumes &&
      p_.clock.tickCount() - start - paused > engine::kHashTimeLimitMs) {
    prepared.notChecked = "reading it took longer than 3 seconds";
    return prepared;
  }
  prepared.path = screened.path;
  prepared.identity = hashed->file.identity();
  if (screened.identity.known() && prepared.identity != screened.identity) {
    prepared.changed = true; // swapped since it was listed: what was read is not that file
    prepared.notChecked = "it changed while it was being checked";
    return prepared;
  }
  prepared.digest = app::toLower(engine::digestText(hashed->digest));
  prepared.size = hashed->file.size;
  prepared.lookUp = prepared.size < kSizeLimit;
  return prepared;
}

void FileChecker::record(const std::string& path, const PreparedFile& prepared) {
  bool detected = recordOne(path, prepared);
  if (onRecorded)
    onRecorded(path, detected);
}

bool FileChecker::recordOne(const std::string& path, const PreparedFile& prepared) {
  if (observer)
    observer->checking(path, state_.filesScanned);
  state_.nowChecking = "Now Checking " + path;
  state_.filesLabel = "Files scanned : " + std::to_string(state_.filesScanned);
  ++state_.filesScanned;
  if (!prepared.notChecked.empty()) {
    ++state_.filesNotChecked;
    if (observer)
      observer->problem(path, "cannot be checked: " + prepared.notChecked);
  }
  if (!prepared.lookUp)
    return false;
  const std::string& digest = prepared.digest;
  state_.lastKeyText = engine::fileKeyText(digest, prepared.size);
  state_.lastKey = engine::keyTextToNumber(state_.lastKeyText);
  if (!table()->contains(state_.lastKey) || safe_.contains(digest))
    return false; // not listed, or marked safe by the user

  const std::string& threatPath = prepared.path.empty() ? path : prepared.path;
  std::string action = recordThreat(digest, threatPath, prepared.identity);
  std::string name(app::fileNameOf(platform::withoutDeletedMark(threatPath).first));
  results_.digests.push_back(digest);
  results_.areaThreats.push_back(digest + "|" + name + "|1");
  results_.rows.push_back({name, threatPath, false, std::nullopt, false, prepared.identity,
                           prepared.size, std::move(action)});
  int& counter = state_.counterFor(state_.counter);
  counter = static_cast<int>(results_.areaThreats.size());
  state_.threatsLabel = "Threats Found : " + std::to_string(state_.memoryThreats);
  if (state_.counter == scan::ThreatCounter::Component)
    ++state_.areaCounts[state_.areaIndex]; // shares the registry area with the startup entries
  else
    state_.areaCounts[state_.areaIndex] = counter;
  if (observer)
    observer->detected(results_.rows.back(), digest);
  return true;
}

std::string FileChecker::recordThreat(const std::string& digest, const std::string& path,
                               const platform::FileIdentity& checked) {
  auto [livePath, deleted] = platform::withoutDeletedMark(path);
  std::string name(app::fileNameOf(livePath));
  // Only processes running this very file end; a program elsewhere that merely shares the
  // file's name is left alone.
  if (pinned_ && !processes_)
    processes_ = p_.processes.list();
  threats::killProcessesByName(p_, name, std::string(livePath), checked,
                               processes_ ? &*processes_ : nullptr);
  log_.logThreat(name, path);
  if (deleted)
    return "none"; // no name is left to delete or quarantine: the file goes with its last process

  ThreatAction action =
      actionOverride ? *actionOverride
                     : threatActionFromSetting(app::SettingsStore(p_).setting("threatfound"));
  if (action == ThreatAction::Leave)
    return "none";
  if (beforeAction)
    beforeAction(path);
  std::optional<platform::FileIdentity> identity =
      threats::confirmCheckedFile(p_, path, checked, checked.known() ? std::string() : digest);
  std::string failure;
  if (!identity) {
    failure = make_error_code(platform::FileError::Changed).message();
  } else if (action == ThreatAction::Quarantine &&
             !quarantine_.quarantineFile(name, path, *identity)) {
    failure = "no copy could be made in the quarantine"; // the file goes only once it has one
  } else if (std::error_code error = threats::deleteCheckedFile(p_, path, *identity)) {
    failure = error.message();
  }
  if (failure.empty())
    return action == ThreatAction::Quarantine ? "quarantined" : "deleted";
  if (observer)
    observer->problem(path,
                      (action == ThreatAction::Quarantine ? "not quarantined: " : "not deleted: ") +
                          failure + "; left in place");
  return "failed";
}

} // namespace quorvane::scan
