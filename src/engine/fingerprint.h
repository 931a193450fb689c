// File fingerprints: the MD5 digest of a file's bytes and its upper-case hexadecimal text.
#pragma once

#include "engine/run_control.h"
#include "platform/platform.h"

#include <string>

namespace quorvane::engine {

/// Pieces of this many bytes are read and hashed per step unless a caller asks otherwise.
inline constexpr int kDefaultPieceSize = 1024;
/// A digest that took longer than this (from the start of hashing) is not trusted.
inline constexpr std::uint64_t kHashTimeLimitMs = 3000;

/// The digest of a file and what was read to make it.
struct HashedFile {
  platform::Md5Digest digest{};
  platform::FileStatus file;  ///< the status of the file that was read, taken when it was opened
  std::uint64_t length = 0;   ///< the bytes hashed
};

/// The MD5 digest of the whole regular file at `path` (links followed), read in pieces of
/// `pieceSize` bytes. Between pieces it waits while `control` is paused and gives up
/// (std::errc::operation_canceled) when it is cancelled; the time spent waiting is added to
/// `*pausedMs`. A FIFO or device is refused without waiting.
platform::ErrorOr<platform::Md5Digest>
hashFile(platform::Platform& platform, const std::string& path, int pieceSize = kDefaultPieceSize,
         engine::RunControl* control = nullptr, std::uint64_t* pausedMs = nullptr);
/// As HashFile, for the file a walk listed at `path`: a link in its place is refused (unless
/// `throughLink`: the kernel's link to a deleted file), and the result tells which file was read.
platform::ErrorOr<HashedFile> hashEntry(platform::Platform& platform, const std::string& path,
                                        int pieceSize = kDefaultPieceSize,
                                        engine::RunControl* control = nullptr,
                                        std::uint64_t* pausedMs = nullptr,
                                        bool throughLink = false);

/// As HashFile, for a file already open: reads it from where it stands to its end.
platform::ErrorOr<HashedFile> hashOpenFile(platform::Platform& platform, platform::InputFile& file,
                                           int pieceSize = kDefaultPieceSize,
                                           engine::RunControl* control = nullptr,
                                           std::uint64_t* pausedMs = nullptr);

/// The digest as 32 upper-case hexadecimal digits; the empty text when the file cannot be read
/// or no digest can be made (or the run was cancelled); 32 zeros when hashing took longer than
/// the time limit (measured on the monotonic tick count, time spent paused left out).
std::string getFileMD5HashCode(platform::Platform& platform, const std::string& path,
                               int pieceSize = kDefaultPieceSize,
                               engine::RunControl* control = nullptr);

/// A digest as 32 upper-case hexadecimal digits.
std::string digestText(const platform::Md5Digest& digest);

} // namespace quorvane::engine
