// The check real-time protection makes of one file: is it a listed threat? Shared by the
// process guard and the drive guard.
#pragma once

#include "engine/safelist.h"
#include "engine/sigtable.h"
#include "platform/platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::protect {

/// Files of this many bytes or more are not checked.
inline constexpr std::uint64_t kSizeLimit = 5242880;

class ThreatCheck {
public:
  ThreatCheck(platform::Platform& platform, const std::string& appFolder,
              engine::SignatureDatabase& signatures);
  /// The lower-case digest of the file when it is a regular file below the size limit whose key
  /// is listed and whose digest is not on the safe list; nothing otherwise (unreadable files
  /// included).
  std::optional<std::string> listedThreat(const std::string& path);

private:
  platform::Platform& p_;
  engine::SignatureDatabase& signatures_;
  engine::SafeList safe_;
  std::vector<platform::FileIdentity> ownPrograms_; ///< this program's installed files
};

/// The file's lower-case MD5, or "" when it cannot be read.
std::string lowerDigestOf(platform::Platform& platform, const std::string& path);

} // namespace quorvane::protect
