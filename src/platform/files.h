// File-system facility: the few file operations the product needs, addressed by path.
#pragma once

#include "platform/error.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::platform {

enum class FileKind { Regular, Directory, Other };

/// What a status query tells of one path (links followed).
struct FileStatus {
  FileKind kind = FileKind::Other;
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0; ///< modification time, nanoseconds since the epoch
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool executable = false; ///< any execute permission bit set (regular files)

  /// True when both describe the same unchanged file (same identity, size and time).
  bool sameVersionAs(const FileStatus& other) const {
    return kind == other.kind && size == other.size && modifiedNs == other.modifiedNs &&
           device == other.device && inode == other.inode;
  }
};

/// One entry of a folder listing.
struct DirEntry {
  std::string name;
  FileKind kind = FileKind::Other; ///< links are reported as Other, never followed
  bool executable = false;         ///< a regular file with an execute permission bit
  std::uint64_t size = 0;          ///< of a regular file
};

/// A file opened for sequential reading.
class InputFile {
public:
  virtual ~InputFile() = default;
  /// Reads up to `size` bytes; 0 at the end of the file.
  virtual ErrorOr<std::size_t> read(void* buffer, std::size_t size) = 0;
};

/// A lock held on a file until this object goes.
class FileLock {
public:
  virtual ~FileLock() = default;
};

class FileSystem {
public:
  virtual ~FileSystem() = default;

  virtual ErrorOr<FileStatus> status(const std::string& path) = 0;
  virtual ErrorOr<std::unique_ptr<InputFile>> openRead(const std::string& path) = 0;
  /// The whole content of a file.
  virtual ErrorOr<std::string> readFile(const std::string& path) = 0;
  /// Replaces the file's content (the old content stays whole if writing fails).
  virtual std::error_code writeFile(const std::string& path, std::string_view data) = 0;
  /// Appends to the file, creating it when absent; the bytes land in one write.
  virtual std::error_code appendFile(const std::string& path, std::string_view data) = 0;
  virtual std::error_code removeFile(const std::string& path) = 0;
  /// Removes an empty folder.
  virtual std::error_code removeDirectory(const std::string& path) = 0;
  /// Creates one folder; an existing folder is not an error.
  virtual std::error_code createDirectory(const std::string& path) = 0;
  virtual std::error_code copyFile(const std::string& from, const std::string& to) = 0;
  virtual ErrorOr<std::vector<DirEntry>> listDirectory(const std::string& path) = 0;
  /// Clears what keeps the owner from changing or deleting the file (the read-only state).
  virtual std::error_code makeWritable(const std::string& path) = 0;
  /// Reads up to `size` bytes from the start of the file.
  virtual ErrorOr<std::string> readHead(const std::string& path, std::size_t size) = 0;
  /// Takes the exclusive lock of the file (created when missing) without waiting; another
  /// holder, in this or another process, gives std::errc::resource_unavailable_try_again.
  virtual ErrorOr<std::unique_ptr<FileLock>> tryLock(const std::string& path) = 0;
};

} // namespace quorvane::platform
