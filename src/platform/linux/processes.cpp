// Linux processes: /proc and signals.
#include "platform/linux/linux_platform.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

namespace quorvane::platform {
namespace {

std::string readLink(const std::string& path) {
  char target[PATH_MAX];
  ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
  if (n <= 0)
    return {};
  return std::string(target, static_cast<std::size_t>(n));
}

std::string stripDeleted(std::string path) {
  static const std::string kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() &&
      path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
    path.resize(path.size() - kDeleted.size());
  return path;
}

} // namespace

std::vector<std::string> ParseProcMaps(std::string_view text) {
  std::vector<std::string> paths;
  std::set<std::string> seen;
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    // address perms offset dev inode pathname: the path starts after five fields.
    std::size_t pos = 0;
    for (int field = 0; field < 5 && pos != std::string_view::npos; ++field) {
      pos = line.find_first_not_of(' ', pos);
      pos = pos == std::string_view::npos ? pos : line.find(' ', pos);
    }
    if (pos == std::string_view::npos)
      continue;
    pos = line.find_first_not_of(' ', pos);
    if (pos == std::string_view::npos || line[pos] != '/')
      continue; // anonymous, [heap], [stack], [vdso], ...
    std::string path = stripDeleted(std::string(line.substr(pos)));
    if (seen.insert(path).second)
      paths.push_back(std::move(path));
  }
  return paths;
}

std::vector<ProcessId> LinuxProcesses::ids() {
  std::vector<ProcessId> out;
  DIR* proc = ::opendir("/proc");
  if (!proc)
    return out;
  while (struct dirent* entry = ::readdir(proc)) {
    char* end = nullptr;
    unsigned long pid = std::strtoul(entry->d_name, &end, 10);
    if (*entry->d_name != '\0' && *end == '\0' && pid != 0)
      out.push_back(static_cast<ProcessId>(pid));
  }
  ::closedir(proc);
  std::sort(out.begin(), out.end());
  return out;
}

ErrorOr<ProcessInfo> LinuxProcesses::info(ProcessId pid) {
  std::string base = "/proc/" + std::to_string(pid);
  ProcessInfo info;
  info.pid = pid;
  info.programFile = stripDeleted(readLink(base + "/exe"));
  if (!info.programFile.empty()) {
    info.imageName = info.programFile.substr(info.programFile.find_last_of('/') + 1);
  } else if (auto comm = files_.readFile(base + "/comm")) {
    info.imageName = *comm;
    while (!info.imageName.empty() && info.imageName.back() == '\n')
      info.imageName.pop_back();
  } else {
    return std::errc::no_such_process; // gone already
  }
  return info;
}

std::vector<ProcessInfo> LinuxProcesses::list() {
  std::vector<ProcessInfo> out;
  for (ProcessId pid : ids())
    if (auto process = info(pid))
      out.push_back(std::move(*process));
  return out;
}

ErrorOr<std::vector<std::string>> LinuxProcesses::modules(ProcessId pid) {
  std::string base = "/proc/" + std::to_string(pid);
  std::string program = stripDeleted(readLink(base + "/exe"));
  if (program.empty())
    return errnoCode(errno ? errno : ESRCH);
  auto maps = files_.readFile(base + "/maps");
  std::vector<std::string> result{program};
  if (maps)
    for (std::string& path : ParseProcMaps(*maps))
      if (path != program)
        result.push_back(std::move(path));
  return result;
}

ErrorOr<FileStatus> LinuxProcesses::programStatus(ProcessId pid) {
  return files_.status("/proc/" + std::to_string(pid) + "/exe");
}

std::error_code LinuxProcesses::terminate(ProcessId pid) {
  if (pid == 0 || ::kill(static_cast<pid_t>(pid), SIGKILL) != 0)
    return errnoCode(pid == 0 ? ESRCH : errno);
  return {};
}

} // namespace quorvane::platform
