// The engine check of a normal start: a missing or nearly empty signature table is downloaded
// from the update server before the program goes on.
#pragma once

#include "engine/sigtable.h"
#include "platform/platform.h"
#include "update/download.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvane::update {

inline constexpr std::string_view kNoEngineTitle = "No Anti Malware engine found";
inline constexpr std::string_view kNoEngineText =
    "Error loading Anti Malware Engine\rAnti Malware database not found you need to download it "
    "now!";
/// A table of this many entries or fewer counts as missing.
inline constexpr std::int32_t kEngineThreshold = 2;

struct EngineCheckResult {
  std::int32_t countBefore = 0;
  std::int32_t countAfter = 0;
  bool downloaded = false; ///< a new vir.sig was installed
  std::string failure;     ///< why the download was not installed, when it was needed
  bool authenticated = false; ///< a trusted key was demanded of the download
  bool ok() const { return countBefore > kEngineThreshold || downloaded; }
};

/// Loads the table from vir.sig; when it has kEngineThreshold entries or fewer, says so,
/// downloads "/vir.zip" from the update server, installs it as vir.sig when it is a complete
/// signature file (the old file stays otherwise) and loads the table again.
/// A failure is told through the notifier unless `tellFailure` is false (the desktop program
/// tells it itself, with the way to the settings).
EngineCheckResult runEngineCheck(platform::Platform& platform, const std::string& appFolder,
                                 engine::SignatureDatabase& database,
                                 const ProgressFn& progress = {}, bool tellFailure = true);

/// What a failed first download means and what to do about it, for people.
std::string missingDatabaseAdvice(platform::Platform& platform, const EngineCheckResult& result);

} // namespace quorvane::update
