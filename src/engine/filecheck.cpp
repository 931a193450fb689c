// The check of one file and the recording of a detection.
#include "engine/filecheck.h"

#include "app/text.h"
#include "engine/datafiles.h"
#include "engine/filekey.h"
#include "threats/process_helpers.h"

namespace quorvane::engine {

bool IsOwnFile(std::string_view path) {
  for (const char* name : kOwnFileNames)
    if (path.find(name) != std::string_view::npos)
      return true;
  return false;
}

ThreatAction ThreatActionFromSetting(std::string_view text) {
  switch (app::LeadingInteger(text)) {
  case 1: return ThreatAction::Delete;
  case 2: return ThreatAction::Quarantine;
  default: return ThreatAction::Leave;
  }
}

FileChecker::FileChecker(platform::Platform& platform, std::string appFolder,
                         SignatureDatabase& signatures, scan::ScanState& state,
                         scan::ScanResults& results)
    : p_(platform), folder_(std::move(appFolder)), signatures_(signatures), state_(state),
      results_(results), log_(platform, folder_), quarantine_(platform, folder_),
      safe_(platform.files, platform::joinPath(folder_, kSafeFile)) {}

void FileChecker::checkvir(const std::string& path) { record(path, prepare(path)); }

PreparedFile FileChecker::prepare(const std::string& path, scan::RunControl* control,
                                  int pieceSize) {
  return readScreened(path, screen(path), control, pieceSize);
}

FileChecker::Screened FileChecker::screen(const std::string& path,
                                          std::optional<std::uint64_t> known) {
  for (const std::string& own : ownFiles)
    if (path.find(own) != std::string::npos)
      return {};
  // The size is known before reading: a file at the limit, or of a length that no key carries,
  // is counted but never read.
  std::uint64_t size = 0;
  if (known) {
    size = *known;
  } else {
    auto status = p_.files.status(path);
    if (!status || status->kind != platform::FileKind::Regular)
      return {};
    size = status->size;
  }
  if (size >= kSizeLimit || !table()->mayMatchLength(size))
    return {};
  return {true, size};
}

PreparedFile FileChecker::readScreened(const std::string& path, const Screened& screened,
                                       scan::RunControl* control, int pieceSize) {
  PreparedFile prepared;
  if (!screened.read)
    return prepared;
  prepared.digest = app::toLower(GetFileMD5HashCode(p_, path, pieceSize, control));
  prepared.size = screened.size;
  prepared.lookUp = !app::trimBlanks(prepared.digest).empty();
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
  if (!prepared.lookUp)
    return false;
  const std::string& digest = prepared.digest;
  state_.lastKeyText = FileKeyText(digest, prepared.size);
  state_.lastKey = KeyTextToNumber(state_.lastKeyText);
  if (!table()->contains(state_.lastKey) || safe_.contains(digest))
    return false; // not listed, or marked safe by the user

  virus(digest, path);
  std::string name(app::fileNameOf(path));
  results_.digests.push_back(digest);
  results_.areaThreats.push_back(digest + "|" + name + "|1");
  results_.rows.push_back({name, path, false, std::nullopt, false});
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

void FileChecker::virus(const std::string& /*digest*/, const std::string& path) {
  std::string name(app::fileNameOf(path));
  // Only processes running this very file end; a program elsewhere that merely shares the
  // file's name is left alone.
  threats::KillProcessesByName(p_, name, path);
  log_.LogThreat(name, path);

  ThreatAction action = actionOverride
                            ? *actionOverride
                            : ThreatActionFromSetting(app::SettingsStore(p_).setting("threatfound"));
  switch (action) {
  case ThreatAction::Delete: threats::DeleteAFile(p_, path); break;
  case ThreatAction::Quarantine:
    // The file goes only once its copy is safe in the quarantine.
    if (quarantine_.QuarantineFile(name, path))
      threats::DeleteAFile(p_, path);
    break;
  case ThreatAction::Leave: break;
  }
}

} // namespace quorvane::engine
