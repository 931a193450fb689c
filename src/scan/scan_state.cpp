// What a run's state tells the pages: the end-of-scan notice, and whether the results open.
#include "scan/scan_state.h"

namespace quorvane::scan {

std::string_view endOfScanNotice(const ScanState& state) {
  bool found = state.memoryThreats > 0 || state.folderThreats > 0 || state.startupThreats > 0 ||
               state.componentThreats > 0;
  return found ? kThreatsFoundNotice : kNoThreatNotice;
}

bool openResultsFromAreaCount(const ScanState& state,
                              const std::function<void()>& loadPendingDeletions) {
  bool anyThreats = false;
  for (int area : kAreaOrder) {
    auto count = state.areaCounts.find(area);
    anyThreats = anyThreats || (count != state.areaCounts.end() && count->second > 0);
  }
  if (!anyThreats)
    return false;
  if (loadPendingDeletions)
    loadPendingDeletions();
  return state.holdFlag == 1;
}

} // namespace quorvane::scan
