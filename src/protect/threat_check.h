// The check real-time protection makes of one file: is it a listed threat? Shared by the
// process guard and the drive guard.
#pragma once

#include "engine/safelist.h"
#include "engine/sigtable.h"
#include "platform/platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::protect {

/// Files of this many bytes or more are not checked.
inline constexpr std::uint64_t kSizeLimit = 5242880;

/// What the check of one file found.
struct FileVerdict {
  enum class Kind { NotListed, Listed, Unreadable };
  Kind kind = Kind::NotListed;
  std::string digest; ///< lower-case MD5, when listed
};

/// Opens the very file a check is about, from its first byte.
using FileOpener = std::function<platform::ErrorOr<std::unique_ptr<platform::InputFile>>()>;

class ThreatCheck {
public:
  ThreatCheck(platform::Platform& platform, const std::string& appFolder,
              engine::SignatureDatabase& signatures);
  /// The lower-case digest of the file when it is a regular file below the size limit whose key
  /// is listed and whose digest is not on the safe list; nothing otherwise (unreadable files
  /// included).
  std::optional<std::string> listedThreat(const std::string& path);
  /// Whether a file of this status is checked at all: a regular file below the size limit.
  static bool withinScope(const platform::FileStatus& status);
  /// The check of a file within scope whose status is known: nothing is read when no key
  /// carries its length or it is this program's own; otherwise `open` gives the file, read in
  /// pieces of `pieceSize` bytes. A file that cannot be read whole, or not at the length its
  /// status gave, is Unreadable. Safe to call from several threads at once.
  FileVerdict verdictOf(const platform::FileStatus& status, const FileOpener& open,
                        int pieceSize);

private:
  platform::Platform& p_;
  engine::SignatureDatabase& signatures_;
  engine::SafeList safe_;
  std::vector<platform::FileIdentity> ownPrograms_; ///< this program's installed files
};

/// The file's lower-case MD5, or "" when it cannot be read.
std::string lowerDigestOf(platform::Platform& platform, const std::string& path);

} // namespace quorvane::protect
