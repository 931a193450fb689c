// Path text helpers shared by every system.
#include "platform/platform.h"

#include <map>
#include <mutex>
#include <thread>

namespace quorvane::platform {

bool isPathSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

std::size_t lastPathSeparator(std::string_view path) {
  for (std::size_t i = path.size(); i-- > 0;)
    if (isPathSeparator(path[i]))
      return i;
  return std::string_view::npos;
}

std::string nativePath(std::string path) {
#ifdef _WIN32
  if (pathRootLength(path) > 1) // "C:\" or "\\server\share\": the paths the system spells
    for (char& c : path)
      if (c == '/')
        c = '\\';
#endif
  return path;
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

/// The lock files each thread holds, with how often it took each. Not a thread_local: on the
/// Windows build a thread_local's destructor may run on storage its runtime already freed.
std::mutex heldMutex;
std::map<std::pair<std::thread::id, std::string>, int> heldByThread;

/// Counts one more (or, with -1, one fewer) hold of `key` by this thread; the new count.
int countHold(const std::string& key, int change) {
  std::lock_guard lock(heldMutex);
  auto entry = heldByThread.try_emplace({std::this_thread::get_id(), key}, 0).first;
  int count = entry->second += change;
  if (count == 0)
    heldByThread.erase(entry);
  return count;
}

} // namespace

DataFilesLock::DataFilesLock(FileSystem& files, const std::string& appFolder)
    : key_(joinPath(appFolder, kDataLockFile)) {
  if (countHold(key_, 1) > 1)
    return;
  if (auto lock = files.lock(key_))
    held_ = std::move(*lock);
}

DataFilesLock::~DataFilesLock() { countHold(key_, -1); }

} // namespace quorvane::platform
