// The detected-threat list's commands.
#include "threats/threat_list.h"

#include "app/appfolder.h"
#include "engine/datafiles.h"
#include "engine/fingerprint.h"

namespace quorvane::threats {

std::string selectAllThreats(ScanResults& results, bool ticked) {
  for (ThreatRow& row : results.rows) {
    row.checked = ticked;
    row.color = ticked ? kTickedColor : kUntickedColor;
  }
  return ticked ? "Select none" : "Select All";
}

void colorThreatRow(ScanResults& results, std::size_t index) {
  if (index >= results.rows.size())
    return;
  ThreatRow& row = results.rows[index];
  row.color = row.checked ? kTickedColor : kUntickedColor;
}

std::size_t markSelectedAsSafe(platform::Platform& platform, const std::string& appFolder,
                               ScanResults& results) {
  std::vector<std::string> digests;
  for (const ThreatRow& row : results.rows)
    if (row.checked)
      digests.push_back(engine::getFileMD5HashCode(platform, row.fullPath));
  engine::appendSafeRecord(platform.files, platform::joinPath(appFolder, app::kSafeFile), digests);
  return removeCheckedRows(results);
}

std::size_t removeCheckedRows(ScanResults& results) {
  std::size_t removed = 0;
  for (std::size_t i = results.rows.size(); i-- > 0;) {
    if (!results.rows[i].checked)
      continue;
    results.rows.erase(results.rows.begin() + static_cast<std::ptrdiff_t>(i));
    if (i < results.digests.size())
      results.digests.erase(results.digests.begin() + static_cast<std::ptrdiff_t>(i));
    ++removed;
  }
  return removed;
}

} // namespace quorvane::threats
