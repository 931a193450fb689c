// Path text helpers shared by every system.
#include "platform/platform.h"

#include <map>

namespace quorvane::platform {

bool isPathSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

std::size_t pathRootLength(std::string_view path) {
  if (!path.empty() && isPathSeparator(path.front())) {
#ifdef _WIN32
    // "\\server\share\": the share is part of the root.
    if (path.size() > 1 && isPathSeparator(path[1])) {
      std::size_t server = path.find_first_of("/\\", 2);
      if (server == std::string_view::npos)
        return path.size();
      std::size_t share = path.find_first_of("/\\", server + 1);
      return share == std::string_view::npos ? path.size() : share + 1;
    }
#endif
    return 1;
  }
#ifdef _WIN32
  if (path.size() >= 3 && path[1] == ':' && isPathSeparator(path[2]) &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')))
    return 3; // "C:\"
#endif
  return 0;
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty())
    return name;
  if (isPathSeparator(folder.back()))
    return folder + name;
  return folder + '/' + name;
}

} // namespace quorvane::platform

namespace quorvane::platform {

std::error_code createFolderPath(FileSystem& files, const std::string& path) {
  std::error_code error;
  for (std::size_t cut = path.find('/', 1);; cut = path.find('/', cut + 1)) {
    error = files.createDirectory(path.substr(0, cut)); // each missing level in turn
    if (error || cut == std::string::npos)
      return error;
  }
}

} // namespace quorvane::platform

namespace quorvane::platform {
namespace {

/// The lock files this thread holds, with how often each was taken.
thread_local std::map<std::string, int> heldByThisThread;

} // namespace

DataFilesLock::DataFilesLock(FileSystem& files, const std::string& appFolder)
    : key_(joinPath(appFolder, kDataLockFile)) {
  if (heldByThisThread[key_]++ > 0)
    return;
  if (auto lock = files.lock(key_))
    held_ = std::move(*lock);
}

DataFilesLock::~DataFilesLock() {
  if (--heldByThisThread[key_] == 0)
    heldByThisThread.erase(key_);
}

} // namespace quorvane::platform
