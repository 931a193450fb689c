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

std::optional<std::string> ThreatCheck::listedThreat(const std::string& path) {
  auto status = p_.files.status(path);
  if (!status || status->kind != platform::FileKind::Regular || status->size >= kSizeLimit)
    return std::nullopt;
  std::shared_ptr<const engine::SignatureTable> table = signatures_.current();
  if (!table->mayMatchLength(status->size))
    return std::nullopt; // no key carries this length: no need to read the file
  if (std::find(ownPrograms_.begin(), ownPrograms_.end(), status->identity()) != ownPrograms_.end())
    return std::nullopt; // this program's own files are never threats
  std::string digest = lowerDigestOf(p_, path);
  if (digest.empty() || !table->contains(engine::fileKey(digest, status->size)) ||
      safe_.contains(digest))
    return std::nullopt;
  return digest;
}

} // namespace quorvane::protect
