// Path text helpers shared by every system.
#include "platform/platform.h"

#include <map>

namespace quorvane::platform {

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty())
    return name;
  if (folder.back() == '/')
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
