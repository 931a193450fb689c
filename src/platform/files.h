// File-system facility: the few file operations the product needs, addressed by path. The
// operations that act on a file that was checked (delete, copy into the quarantine) take the
// identity of the checked file and act on that file only, never on what a link or a swapped
// folder puts at the path a moment later.
#pragma once

#include "platform/error.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane::platform {

enum class FileKind { Regular, Directory, Other };

/// Which file a path named at one moment: its device and inode.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool known() const { return device != 0 || inode != 0; }
  bool operator==(const FileIdentity&) const = default;
};

/// What a status query tells of one path (links followed).
struct FileStatus {
  FileKind kind = FileKind::Other;
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0; ///< modification time, nanoseconds since the epoch
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool executable = false; ///< any execute permission bit set (regular files)
  std::uint32_t mode = 0;  ///< the permission bits (07777)

  FileIdentity identity() const { return {device, inode}; }

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
  FileIdentity identity;           ///< of the entry itself (a link's own, never its target's)
  /// The first bytes of the file, when the listing was asked to read them (see HeadRequest);
  /// empty when it was not, or when the file could not be read.
  std::string head;
};

/// What a walk's listing reads of its files while it has the folder open: the first `size` bytes
/// of each regular file that `wanted` accepts (called with the entry's kind, mode, size and
/// identity filled in).
struct HeadRequest {
  std::size_t size = 0;
  std::function<bool(const DirEntry&)> wanted;
};

/// A file opened for sequential reading.
class InputFile {
public:
  virtual ~InputFile() = default;
  /// Reads up to `size` bytes; 0 at the end of the file.
  virtual ErrorOr<std::size_t> read(void* buffer, std::size_t size) = 0;
  /// The status of the open file (what was opened, whatever the path names now).
  virtual FileStatus status() const = 0;
};

/// A lock held on a file until this object goes.
class FileLock {
public:
  virtual ~FileLock() = default;
};

/// Ends the path of a file that was deleted while a process still had it open or loaded.
inline constexpr std::string_view kDeletedMark = " (deleted)";

/// The path without kDeletedMark, and whether it carried it.
inline std::pair<std::string_view, bool> withoutDeletedMark(std::string_view path) {
  if (path.size() > kDeletedMark.size() && path.ends_with(kDeletedMark))
    return {path.substr(0, path.size() - kDeletedMark.size()), true};
  return {path, false};
}

class FileSystem {
public:
  virtual ~FileSystem() = default;

  virtual ErrorOr<FileStatus> status(const std::string& path) = 0;
  /// Opens a regular file for reading (links followed). A FIFO, device or socket is refused
  /// (FileError::NotRegular) without waiting for a writer.
  virtual ErrorOr<std::unique_ptr<InputFile>> openRead(const std::string& path) = 0;
  /// As openRead, but a link in the last place of the path is refused too: what a walk listed as
  /// a file is read as that file or not at all.
  virtual ErrorOr<std::unique_ptr<InputFile>> openEntry(const std::string& path) = 0;
  /// True when this user may create and change files in the folder (or change the file).
  virtual bool isWritable(const std::string& path) = 0;
  /// The path with every link, "." and ".." resolved. A link the kernel keeps to a file deleted
  /// since it was opened (a running program's, on Linux /proc/PID/exe) resolves to the file's
  /// old path followed by kDeletedMark; the link itself still reads the file.
  virtual ErrorOr<std::string> canonicalPath(const std::string& path) = 0;
  /// The whole content of a file.
  virtual ErrorOr<std::string> readFile(const std::string& path) = 0;
  /// Replaces the file's content (the old content stays whole if writing fails).
  virtual std::error_code writeFile(const std::string& path, std::string_view data) = 0;
  /// Creates the file with `data`, readable and writable as `mode` allows (0600: this user
  /// only). An existing path of any kind, a link included, is refused (std::errc::file_exists);
  /// a failed write leaves no file.
  virtual std::error_code createNewFile(const std::string& path, std::string_view data,
                                        std::uint32_t mode) = 0;
  /// Appends to the file, creating it when absent; the bytes land in one write.
  virtual std::error_code appendFile(const std::string& path, std::string_view data) = 0;
  virtual std::error_code removeFile(const std::string& path) = 0;
  /// Removes an empty folder.
  virtual std::error_code removeDirectory(const std::string& path) = 0;
  /// Creates one folder; an existing folder is not an error.
  virtual std::error_code createDirectory(const std::string& path) = 0;
  virtual std::error_code copyFile(const std::string& from, const std::string& to) = 0;
  virtual ErrorOr<std::vector<DirEntry>> listDirectory(const std::string& path) = 0;
  /// Lists the folder at `path` only when it is the folder `listed` names (a walk's subfolder as
  /// its parent listed it): a link or another folder swapped in since gives FileError::Changed.
  ErrorOr<std::vector<DirEntry>> listCheckedDirectory(const std::string& path,
                                                      const FileIdentity& listed) {
    return listFolder(path, &listed, {});
  }
  /// Lists the folder at `path` (when `listed` is given, only while it is that folder, as
  /// listCheckedDirectory) and reads the heads `heads` asks for. Each head is read from the file
  /// the listing saw, named relative to the open folder: never through a link, never from a file
  /// swapped in since (its head stays empty), and without reading ahead of the bytes asked for.
  virtual ErrorOr<std::vector<DirEntry>>
  listFolder(const std::string& path, const FileIdentity* listed, const HeadRequest& heads) = 0;
  /// Clears what keeps the owner from changing or deleting the file (the read-only state). A link
  /// is not followed.
  virtual std::error_code makeWritable(const std::string& path) = 0;

  /// Deletes the regular file at `path` only while it is the file `checked` names: the entry is
  /// compared and removed within one open handle of its folder, so a link put in its place or a
  /// folder swapped for a link makes nothing else go (FileError::Changed).
  virtual std::error_code removeCheckedFile(const std::string& path,
                                            const FileIdentity& checked) = 0;
  /// Copies the regular file at `from`, when it is the file `checked` names, to the new file `to`
  /// created with `mode`. `to` must not exist (std::errc::file_exists): a name is claimed by
  /// creating it. A failed copy leaves no file at `to`.
  virtual std::error_code copyCheckedFile(const std::string& from, const FileIdentity& checked,
                                          const std::string& to, std::uint32_t mode) = 0;
  /// Puts the regular file at `from` (no link) back at `to` with `mode`, creating the missing
  /// folders above it. Nothing is written through a link: `to` must not exist in any form
  /// (std::errc::file_exists), folders it creates are never followed, and a link above it is
  /// followed only when it belongs to the system or to this user (FileError::UnsafeLink).
  virtual std::error_code restoreFile(const std::string& from, const std::string& to,
                                      std::uint32_t mode) = 0;
  /// Creates a folder only this user may enter (an existing folder is made so); a link in its
  /// place is refused.
  virtual std::error_code createPrivateDirectory(const std::string& path) = 0;
  /// Reads up to `size` bytes from the start of the file.
  virtual ErrorOr<std::string> readHead(const std::string& path, std::size_t size) = 0;
  /// Takes the exclusive lock of the file (created when missing) without waiting; another
  /// holder, in this or another process, gives std::errc::resource_unavailable_try_again.
  virtual ErrorOr<std::unique_ptr<FileLock>> tryLock(const std::string& path) = 0;
  /// Takes the exclusive lock of the file (created when missing, readable by this user only),
  /// waiting while another holder has it. Two handles of one process exclude each other too.
  virtual ErrorOr<std::unique_ptr<FileLock>> lock(const std::string& path) = 0;
};

} // namespace quorvane::platform
