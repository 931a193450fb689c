// The check of one file by real-time protection.
#include "protect/threat_check.h"

#include "app/appfolder.h"
#include "app/text.h"
#include "engine/datafiles.h"
#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "scan/file_check.h"

#include <algorithm>

namespace quorvane::protect {

ThreatCheck::ThreatCheck(platform::Platform& platform, const std::string& appFolder,
                         engine::SignatureDatabase& signatures)
    : p_(platform), signatures_(signatures),
      safe_(platform.files, platform::joinPath(appFolder, app::kSafeFile)),
      ownPrograms_(scan::ownProgramIdentities(platform)) {}

std::string lowerDigestOf(platform::Platform& platform, const std::string& path) {
  auto digest = engine::hashFile(platform, path);
  return digest ? app::toLower(engine::digestText(*digest)) : std::string();
}

bool ThreatCheck::withinScope(const platform::FileStatus& status) {
  return status.kind == platform::FileKind::Regular && status.size < kSizeLimit;
}

FileVerdict ThreatCheck::verdictOf(const platform::FileStatus& status, const FileOpener& open,
                                   int pieceSize) {
  std::shared_ptr<const engine::SignatureTable> table = signatures_.current();
  if (!table->mayMatchLength(status.size))
    return {}; // no key carries this length: no need to read the file
  if (std::find(ownPrograms_.begin(), ownPrograms_.end(), status.identity()) != ownPrograms_.end())
    return {}; // this program's own files are never threats
  auto file = open();
  if (!file)
    return {FileVerdict::Kind::Unreadable, {}};
  auto hashed = engine::hashOpenFile(p_, **file, pieceSize);
  // A file that grew or shrank since its status was taken was not read as that file.
  if (!hashed || hashed->length != status.size)
    return {FileVerdict::Kind::Unreadable, {}};
  std::string digest = app::toLower(engine::digestText(hashed->digest));
  if (!table->contains(engine::fileKey(digest, status.size)) || safe_.contains(digest))
    return {};
  return {FileVerdict::Kind::Listed, std::move(digest)};
}

std::optional<std::string> ThreatCheck::listedThreat(const std::string& path) {
  auto status = p_.files.status(path);
  if (!status || !withinScope(*status))
    return std::nullopt;
  FileVerdict verdict = verdictOf(
      *status, [&] { return p_.files.openRead(path); }, engine::kDefaultPieceSize);
  if (verdict.kind != FileVerdict::Kind::Listed)
    return std::nullopt;
  return std::move(verdict.digest);
}

} // namespace quorvane::protect
