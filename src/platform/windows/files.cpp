// Windows file system: the Win32 file calls on wide paths. Identities are the volume serial
// number and the file index; a reparse point (a symbolic link or a junction) is a link: walks
// never follow it, and nothing is read, written or deleted through one where the Linux body
// refuses a link.
#include "platform/windows/windows_platform.h"

#include "platform/platform.h"
#include "platform/windows/handle.h"
#include "platform/windows/wide.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace quorvane::platform::windows {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

/// The wide form of a path: separators made backslashes, and a long absolute path given the
/// "\\?\" prefix that lifts MAX_PATH.
std::wstring win32Path(const std::string& path) {
  std::wstring wide = widen(path);
  for (wchar_t& c : wide)
    if (c == L'/')
      c = L'\\';
  if (wide.size() >= MAX_PATH - 12 && wide.rfind(L"\\\\?\\", 0) != 0) {
    if (wide.size() > 2 && wide[1] == L':')
      return L"\\\\?\\" + wide;
    if (wide.rfind(L"\\\\", 0) == 0)
      return L"\\\\?\\UNC\\" + wide.substr(2);
  }
  return wide;
}

std::int64_t nanosecondsSinceEpoch(const FILETIME& time) {
  std::int64_t ticks = (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return (ticks - 116444736000000000LL) * 100;
}

FileStatus toStatus(const BY_HANDLE_FILE_INFORMATION& info, bool disk) {
  FileStatus status;
  bool link = info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
  status.kind = link || !disk                                        ? FileKind::Other
                : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Directory
                                                                     : FileKind::Regular;
  status.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  status.modifiedNs = nanosecondsSinceEpoch(info.ftLastWriteTime);
  status.device = info.dwVolumeSerialNumber;
  status.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  status.mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  if (status.kind == FileKind::Directory)
    status.mode |= 0111;
  return status;
}

ErrorOr<BY_HANDLE_FILE_INFORMATION> informationOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info))
    return lastWin32Error();
  return info;
}

bool isLink(const BY_HANDLE_FILE_INFORMATION& info) {
  return info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
}

ErrorOr<FileStatus> statusOfHandle(HANDLE handle) {
  auto info = informationOf(handle);
  if (!info)
    return info.error();
  return toStatus(*info, ::GetFileType(handle) == FILE_TYPE_DISK);
}

/// Opens `path`; with `noLink` a reparse point in its place is opened as itself, not followed.
ErrorOr<Handle> openPath(const std::string& path, DWORD access, DWORD disposition, bool noLink,
                         DWORD flags = 0) {
  flags |= FILE_FLAG_BACKUP_SEMANTICS; // folders open too
  if (noLink)
    flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  Handle handle(::CreateFileW(win32Path(path).c_str(), access, kShareAll, nullptr, disposition,
                              flags, nullptr));
  if (!handle.valid())
    return lastWin32Error();
  return handle;
}

/// Opens a regular file for reading; a folder, a device or (with `noLink`) a link is refused.
ErrorOr<std::pair<Handle, FileStatus>> openRegular(const std::string& path, bool noLink) {
  auto handle = openPath(path, GENERIC_READ, OPEN_EXISTING, noLink, FILE_FLAG_SEQUENTIAL_SCAN);
  if (!handle)
    return handle.error();
  auto info = informationOf(handle->get());
  if (!info)
    return info.error();
  if (isLink(*info))
    return FileError::UnsafeLink;
  FileStatus status = toStatus(*info, ::GetFileType(handle->get()) == FILE_TYPE_DISK);
  if (status.kind == FileKind::Directory)
    return std::errc::is_a_directory;
  if (status.kind != FileKind::Regular)
    return FileError::NotRegular;
  return std::pair<Handle, FileStatus>(std::move(*handle), status);
}

std::error_code writeAll(HANDLE handle, std::string_view data) {
  while (!data.empty()) {
    DWORD piece = data.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(data.size());
    DWORD written = 0;
    if (!::WriteFile(handle, data.data(), piece, &written, nullptr))
      return lastWin32Error();
    data.remove_prefix(written);
  }
  return {};
}

/// Reads up to `size` bytes; fewer only at the end.
ErrorOr<std::size_t> readSome(HANDLE handle, void* buffer, std::size_t size) {
  DWORD piece = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  DWORD read = 0;
  if (!::ReadFile(handle, buffer, piece, &read, nullptr))
    return lastWin32Error();
  return read;
}

class Win32InputFile final : public InputFile {
public:
  Win32InputFile(Handle handle, FileStatus status) : handle_(std::move(handle)), status_(status) {}
  ErrorOr<std::size_t> read(void* buffer, std::size_t size) override {
    return readSome(handle_.get(), buffer, size);
  }
  FileStatus status() const override { return status_; }

private:
  Handle handle_;
  FileStatus status_;
};

/// A regular file opened for reading, through a final link unless `noLink`.
ErrorOr<std::unique_ptr<InputFile>> openInput(const std::string& path, bool noLink) {
  auto file = openRegular(path, noLink);
  if (!file)
    return file.error();
  return std::unique_ptr<InputFile>(
      std::make_unique<Win32InputFile>(std::move(file->first), file->second));
}

std::error_code copyContent(HANDLE in, HANDLE out) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    auto n = readSome(in, buffer.data(), buffer.size());
    if (!n)
      return n.error();
    if (*n == 0)
      break;
    if (auto error = writeAll(out, std::string_view(buffer.data(), *n)))
      return error;
  }
  if (!::FlushFileBuffers(out))
    return lastWin32Error();
  return {};
}

/// Creates the new file `to` (never an existing one, nor through a link) and fills it from
/// `in`; the read-only state follows `mode`. A failed copy leaves nothing at `to`.
std::error_code copyIntoNewFile(HANDLE in, const std::string& to, std::uint32_t mode) {
  auto out = openPath(to, GENERIC_WRITE | DELETE, CREATE_NEW, true);
  if (!out)
    return out.error();
  std::error_code error = copyContent(in, out->get());
  if (!error && !(mode & 0200)) {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_READONLY;
    if (!::SetFileInformationByHandle(out->get(), FileBasicInfo, &basic, sizeof basic))
      error = lastWin32Error();
  }
  if (error) {
    FILE_DISPOSITION_INFO gone{TRUE};
    ::SetFileInformationByHandle(out->get(), FileDispositionInfo, &gone, sizeof gone);
  }
  return error;
}

/// Lists the open folder `folder` (one query per batch of entries, each with its file index).
ErrorOr<std::vector<DirEntry>> listOpenFolder(HANDLE folder, const std::string& path,
                                              const HeadRequest& heads) {
  auto self = informationOf(folder);
  if (!self)
    return self.error();
  std::vector<DirEntry> entries;
  std::vector<unsigned char> buffer(64 * 1024);
  FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;
  while (::GetFileInformationByHandleEx(folder, query, buffer.data(),
                                        static_cast<DWORD>(buffer.size()))) {
    query = FileIdBothDirectoryInfo;
    for (std::size_t at = 0;;) {
      const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
      std::wstring_view name(info->FileName, info->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        DirEntry& entry = entries.emplace_back();
        entry.name = narrow(name);
        DWORD attributes = info->FileAttributes;
        entry.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? FileKind::Other
                     : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? FileKind::Directory
                                                                 : FileKind::Regular;
        entry.size = static_cast<std::uint64_t>(info->EndOfFile.QuadPart);
        entry.identity = {self->dwVolumeSerialNumber,
                          static_cast<std::uint64_t>(info->FileId.QuadPart)};
        if (entry.kind == FileKind::Regular && heads.wanted && heads.wanted(entry)) {
          // Read from the file the listing saw, never through a link swapped in since.
          if (auto file = openRegular(joinPath(path, entry.name), true);
              file && file->second.identity() == entry.identity) {
            entry.head.resize(heads.size);
            auto n = readSome(file->first.get(), entry.head.data(), heads.size);
            entry.head.resize(n ? *n : 0);
          }
        }
      }
      if (info->NextEntryOffset == 0)
        break;
      at += info->NextEntryOffset;
    }
  }
  if (DWORD error = ::GetLastError(); error != ERROR_NO_MORE_FILES)
    return win32Error(error);
  return entries;
}

} // namespace

ErrorOr<FileStatus> WindowsFileSystem::status(const std::string& path) {
  auto handle = openPath(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, false);
  if (!handle)
    return handle.error();
  return statusOfHandle(handle->get());
}

ErrorOr<std::unique_ptr<InputFile>> WindowsFileSystem::openRead(const std::string& path) {
  return openInput(path, false);
}

ErrorOr<std::unique_ptr<InputFile>> WindowsFileSystem::openEntry(const std::string& path) {
  return openInput(path, true);
}

bool WindowsFileSystem::isWritable(const std::string& path) {
  DWORD attributes = ::GetFileAttributesW(win32Path(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return false;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return static_cast<bool>(openPath(path, FILE_ADD_FILE, OPEN_EXISTING, false));
  return !(attributes & FILE_ATTRIBUTE_READONLY) &&
         static_cast<bool>(openPath(path, FILE_WRITE_DATA, OPEN_EXISTING, false));
}

ErrorOr<std::string> WindowsFileSystem::canonicalPath(const std::string& path) {
  auto handle = openPath(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, false);
  if (!handle)
    return handle.error();
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD n = ::GetFinalPathNameByHandleW(handle->get(), buffer.data(),
                                          static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
    if (n == 0)
      return lastWin32Error();
    if (n < buffer.size()) {
      std::wstring_view full(buffer.data(), n);
      if (full.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return "\\\\" + narrow(full.substr(8));
      if (full.rfind(L"\\\\?\\", 0) == 0 && full.size() < MAX_PATH + 4)
        full.remove_prefix(4); // a path short enough for every call keeps its plain form
      return narrow(full);
    }
    buffer.resize(n + 1);
  }
}

ErrorOr<std::string> WindowsFileSystem::readFile(const std::string& path) {
  auto file = openRegular(path, false);
  if (!file)
    return file.error();
  std::string data;
  data.reserve(static_cast<std::size_t>(file->second.size));
  char piece[65536]; // the file may have grown since its size was read
  for (;;) {
    auto n = readSome(file->first.get(), piece, sizeof piece);
    if (!n)
      return n.error();
    if (*n == 0)
      return data;
    data.append(piece, *n);
  }
}

std::error_code WindowsFileSystem::writeFile(const std::string& path, std::string_view data) {
  // Write a sibling and move it over the file, so a failed write leaves the old content.
  std::string temp = path + ".tmp-" + std::to_string(::GetCurrentProcessId());
  ::DeleteFileW(win32Path(temp).c_str()); // left by a killed process of the same number
  std::error_code error;
  {
    auto out = openPath(temp, GENERIC_WRITE, CREATE_NEW, true);
    if (!out)
      return out.error();
    error = writeAll(out->get(), data);
    if (!error && !::FlushFileBuffers(out->get()))
      error = lastWin32Error();
  }
  if (!error && !::MoveFileExW(win32Path(temp).c_str(), win32Path(path).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    error = lastWin32Error();
  if (error)
    ::DeleteFileW(win32Path(temp).c_str());
  return error;
}

std::error_code WindowsFileSystem::createNewFile(const std::string& path, std::string_view data,
                                                std::uint32_t) {
  std::error_code error;
  {
    auto out = openPath(path, GENERIC_WRITE, CREATE_NEW, true);
    if (!out)
      return out.error();
    error = writeAll(out->get(), data);
  }
  if (error)
    ::DeleteFileW(win32Path(path).c_str());
  return error;
}

std::error_code WindowsFileSystem::appendFile(const std::string& path, std::string_view data) {
  auto out = openPath(path, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, OPEN_ALWAYS, true);
  if (!out)
    return out.error();
  if (auto info = informationOf(out->get()); info && isLink(*info))
    return FileError::UnsafeLink;
  return writeAll(out->get(), data);
}

std::error_code WindowsFileSystem::removeFile(const std::string& path) {
  return ::DeleteFileW(win32Path(path).c_str()) ? std::error_code() : lastWin32Error();
}

std::error_code WindowsFileSystem::removeDirectory(const std::string& path) {
  return ::RemoveDirectoryW(win32Path(path).c_str()) ? std::error_code() : lastWin32Error();
}

std::error_code WindowsFileSystem::createDirectory(const std::string& path) {
  if (::CreateDirectoryW(win32Path(path).c_str(), nullptr))
    return {};
  std::error_code error = lastWin32Error();
  if (error == std::errc::file_exists) {
    auto status = this->status(path);
    if (status && status->kind == FileKind::Directory)
      return {};
  }
  return error;
}

std::error_code WindowsFileSystem::copyFile(const std::string& from, const std::string& to) {
  return ::CopyFileW(win32Path(from).c_str(), win32Path(to).c_str(), FALSE) ? std::error_code()
                                                                            : lastWin32Error();
}

ErrorOr<std::vector<DirEntry>> WindowsFileSystem::listDirectory(const std::string& path) {
  return listFolder(path, nullptr, {});
}

ErrorOr<std::vector<DirEntry>> WindowsFileSystem::listFolder(const std::string& path,
                                                             const FileIdentity* listed,
                                                             const HeadRequest& heads) {
  auto folder =
      openPath(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, OPEN_EXISTING, listed != nullptr);
  if (!folder)
    return folder.error();
  if (listed) {
    auto status = statusOfHandle(folder->get());
    if (!status || status->kind != FileKind::Directory || status->identity() != *listed)
      return FileError::Changed; // a link, or another folder, swapped in since it was listed
  }
  return listOpenFolder(folder->get(), path, heads);
}

std::error_code WindowsFileSystem::makeWritable(const std::string& path) {
  std::wstring wide = win32Path(path);
  DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return lastWin32Error();
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return FileError::UnsafeLink;
  if ((attributes & FILE_ATTRIBUTE_READONLY) &&
      !::SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
    return lastWin32Error();
  return {};
}

ErrorOr<std::string> WindowsFileSystem::readHead(const std::string& path, std::size_t size) {
  auto file = openRegular(path, false);
  if (!file)
    return file.error();
  std::string data(size, '\0');
  auto n = readSome(file->first.get(), data.data(), size);
  if (!n)
    return n.error();
  data.resize(*n);
  return data;
}

namespace {

/// Holds a lock on the whole of an open file until it goes.
struct HeldLock final : FileLock {
  explicit HeldLock(Handle file) : handle(std::move(file)) {}
  ~HeldLock() override {
    OVERLAPPED at{};
    ::UnlockFileEx(handle.get(), 0, MAXDWORD, MAXDWORD, &at);
  }
  Handle handle;
};

ErrorOr<std::unique_ptr<FileLock>> lockFile(const std::string& path, bool wait) {
  auto file = openPath(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, true);
  if (!file)
    return file.error();
  OVERLAPPED at{};
  DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  if (!::LockFileEx(file->get(), flags, 0, MAXDWORD, MAXDWORD, &at))
    return lastWin32Error(); // another holder: ERROR_LOCK_VIOLATION, "try again"
  return std::unique_ptr<FileLock>(std::make_unique<HeldLock>(std::move(*file)));
}

} // namespace

ErrorOr<std::unique_ptr<FileLock>> WindowsFileSystem::tryLock(const std::string& path) {
  return lockFile(path, false);
}

ErrorOr<std::unique_ptr<FileLock>> WindowsFileSystem::lock(const std::string& path) {
  return lockFile(path, true);
}

std::error_code WindowsFileSystem::removeCheckedFile(const std::string& path,
                                                     const FileIdentity& checked) {
  // Opened as itself (a link in its place is not followed), compared, and deleted through the
  // same handle: what goes is the file that was checked or nothing.
  auto handle = openPath(path, DELETE | FILE_READ_ATTRIBUTES, OPEN_EXISTING, true);
  if (!handle)
    return handle.error();
  auto status = statusOfHandle(handle->get());
  if (!status)
    return status.error();
  if (status->kind != FileKind::Regular || status->identity() != checked)
    return FileError::Changed;
  FILE_DISPOSITION_INFO gone{TRUE};
  if (!::SetFileInformationByHandle(handle->get(), FileDispositionInfo, &gone, sizeof gone))
    return lastWin32Error();
  return {};
}

std::error_code WindowsFileSystem::copyCheckedFile(const std::string& from,
                                                   const FileIdentity& checked,
                                                   const std::string& to, std::uint32_t mode) {
  auto in = openRegular(from, true);
  if (!in)
    return in.error();
  if (in->second.identity() != checked)
    return FileError::Changed;
  return copyIntoNewFile(in->first.get(), to, mode);
}

std::error_code WindowsFileSystem::restoreFile(const std::string& from, const std::string& to,
                                               std::uint32_t mode) {
  auto in = openRegular(from, true);
  if (!in)
    return in.error();
  // The folders above `to`: made when missing; an existing one that is a link is refused (no
  // owner test on Windows: any link above the file is refused).
  std::string folder;
  for (std::size_t cut = to.find_first_of("/\\", 1); cut != std::string::npos;
       cut = to.find_first_of("/\\", cut + 1)) {
    folder = to.substr(0, cut);
    if (folder.size() == 2 && folder[1] == ':')
      continue; // the drive
    DWORD attributes = ::GetFileAttributesW(win32Path(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      if (!::CreateDirectoryW(win32Path(folder).c_str(), nullptr))
        return lastWin32Error();
    } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      return FileError::UnsafeLink;
    } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return std::make_error_code(std::errc::not_a_directory);
    }
  }
  return copyIntoNewFile(in->first.get(), to, mode);
}

std::error_code WindowsFileSystem::createPrivateDirectory(const std::string& path) {
  // Full control for the owner and the system only, nothing inherited from above.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)", SDDL_REVISION_1, &descriptor, nullptr))
    return lastWin32Error();
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  std::error_code error;
  std::wstring wide = win32Path(path);
  if (!::CreateDirectoryW(wide.c_str(), &attributes)) {
    error = lastWin32Error();
    DWORD existing = ::GetFileAttributesW(wide.c_str());
    if (error == std::errc::file_exists && existing != INVALID_FILE_ATTRIBUTES &&
        (existing & FILE_ATTRIBUTE_DIRECTORY)) {
      if (existing & FILE_ATTRIBUTE_REPARSE_POINT)
        error = FileError::UnsafeLink;
      else if (!::SetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, descriptor))
        error = lastWin32Error();
      else
        error = {};
    }
  }
  ::LocalFree(descriptor);
  return error;
}

} // namespace quorvane::platform::windows
