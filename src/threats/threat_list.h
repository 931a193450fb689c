// The detected-threat list a scan fills and the user works on: its rows with their digests,
// ticking rows and their colours, marking rows as safe and dropping the ticked rows.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::threats {

/// Text colours of a detected-threat row (blue-green-red values).
inline constexpr std::uint32_t kTickedColor = 255;        // red
inline constexpr std::uint32_t kUntickedColor = 12632256; // light grey

/// A row of the detected-threat list.
struct ThreatRow {
  std::string fileName; ///< the text after the last separator of the path
  std::string fullPath; ///< the path as it was checked
  bool checked = false;
  std::optional<std::uint32_t> color; ///< none: the list's default colours
  bool selected = false;              ///< highlighted (for "Remove Threat from memory")
  /// The file that was checked; its removal acts on that file only (unknown: the file at the
  /// path must still have the row's digest).
  platform::FileIdentity identity;
  std::uint64_t size = 0; ///< the bytes hashed
  /// What the scan did with it at once: "none", "deleted", "quarantined", or "failed" (the
  /// scan's observer was told why).
  std::string action = "none";
};

/// The detected-threat list with its parallel digest list, and the current area's threat list.
struct ScanResults {
  std::vector<ThreatRow> rows;
  std::vector<std::string> digests;     ///< lower-case MD5 of row i at index i
  std::vector<std::string> areaThreats; ///< digest|file name|1, one per detection of the area

  void clear() {
    rows.clear();
    digests.clear();
    areaThreats.clear();
  }
};

/// Ticks (or unticks) every row and colours it; returns the check box's new caption
/// ("Select none" after ticking, "Select All" after unticking).
std::string selectAllThreats(ScanResults& results, bool ticked);

/// Recolours row `index` (from 0) after its tick changed.
void colorThreatRow(ScanResults& results, std::size_t index);

/// "Mark Selected as safe": fingerprints every ticked row's file again, appends their digests as
/// one line to safe.sig, then removes the ticked rows with their digests. Returns the rows
/// removed.
std::size_t markSelectedAsSafe(platform::Platform& platform, const std::string& appFolder,
                               ScanResults& results);

/// Removes every ticked row with its digest, from the last row to the first; returns how many.
std::size_t removeCheckedRows(ScanResults& results);

} // namespace quorvane::threats
