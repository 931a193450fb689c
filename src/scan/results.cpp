// The detected-threat list's commands.
#include "scan/results.h"

#include "engine/datafiles.h"
#include "engine/fingerprint.h"

namespace quorvane::scan {

std::string SelectAllThreats(ScanResults& results, bool ticked) {
  for (ThreatRow& row : results.rows) {
    row.checked = ticked;
    row.color = ticked ? kTickedColor : kUntickedColor;
  }
  return ticked ? "Select none" : "Select All";
}

void ColorThreatRow(ScanResults& results, std::size_t index) {
  if (index >= results.rows.size())
    return;
  ThreatRow& row = results.rows[index];
  row.color = row.checked ? kTickedColor : kUntickedColor;
}

std::size_t MarkSelectedAsSafe(platform::Platform& platform, const std::string& appFolder,
                               ScanResults& results) {
  std::vector<std::string> digests;
  for (const ThreatRow& row : results.rows)
    if (row.checked)
      digests.push_back(engine::GetFileMD5HashCode(platform, row.fullPath));
  engine::AppendSafeRecord(platform.files, platform::joinPath(appFolder, engine::kSafeFile),
                           digests);
  return RemoveCheckedRows(results);
}

std::size_t RemoveCheckedRows(ScanResults& results) {
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

bool OpenResultsFromAreaCount(const ScanState& state, const std::function<void()>& loadpending) {
  bool anyThreats = false;
  for (int area : kAreaOrder) {
    auto count = state.areaCounts.find(area);
    anyThreats = anyThreats || (count != state.areaCounts.end() && count->second > 0);
  }
  if (!anyThreats)
    return false;
  if (loadpending)
    loadpending();
  return state.holdFlag == 1;
}

} // namespace quorvane::scan
