// The detected-threat list's commands: ticking rows, their colours, marking rows as safe, and
// opening the results page from an area count.
#pragma once

#include "scan/scan_state.h"
#include "platform/platform.h"

#include <functional>
#include <string>

namespace quorvane::scan {

/// Ticks (or unticks) every row and colours it; returns the check box's new caption
/// ("Select none" after ticking, "Select All" after unticking).
std::string SelectAllThreats(ScanResults& results, bool ticked);

/// Recolours row `index` (from 0) after its tick changed.
void ColorThreatRow(ScanResults& results, std::size_t index);

/// "Mark Selected as safe": fingerprints every ticked row's file again, appends their digests as
/// one line to safe.sig, then removes the ticked rows with their digests. Returns the rows
/// removed.
std::size_t MarkSelectedAsSafe(platform::Platform& platform, const std::string& appFolder,
                               ScanResults& results);

/// Removes every ticked row with its digest, from the last row to the first; returns how many.
std::size_t RemoveCheckedRows(ScanResults& results);

/// A click on an area count: when any area shows threats, runs `loadpending`; true when the
/// results page may then be shown (no scan running, or the scan is paused).
bool OpenResultsFromAreaCount(const ScanState& state, const std::function<void()>& loadpending);

} // namespace quorvane::scan
