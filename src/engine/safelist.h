// The safe list: digests the user marked safe in safe.sig. A file whose digest is listed is not
// a threat, whatever the signature table says.
#pragma once

#include "platform/files.h"

#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::engine {

/// The digests of a safe.sig text, lower-cased: every run of hexadecimal digits is cut into
/// 32-digit digests (lines may hold several back to back); shorter leftovers and other
/// characters are ignored.
std::vector<std::string> parseSafeList(std::string_view text);

class SafeList {
public:
  SafeList(platform::FileSystem& files, std::string safeSigPath)
      : files_(files), path_(std::move(safeSigPath)) {}

  /// True when the digest (either case) is listed; safe.sig is read again when it changed.
  bool contains(std::string_view digest);

private:
  platform::FileSystem& files_;
  std::string path_;
  std::mutex mutex_;
  std::set<std::string> digests_;
  std::optional<platform::FileStatus> source_;
};

} // namespace quorvane::engine
