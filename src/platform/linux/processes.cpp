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

} // namespace

std::vector<MappedFile> parseProcMaps(std::string_view text) {
  std::vector<MappedFile> files;
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
    // The first field is "start-end" in hexadecimal: anything else is no mapping of ours.
    std::string_view addresses = line.substr(0, line.find(' '));
    std::size_t dash = addresses.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == addresses.size() ||
        addresses.find_first_not_of("0123456789abcdef-") != std::string_view::npos ||
        addresses.find('-', dash + 1) != std::string_view::npos)
      continue;
    auto [path, deleted] = withoutDeletedMark(line.substr(pos));
    if (seen.insert(std::string(path)).second)
      files.push_back({std::string(path), std::string(addresses), deleted});
  }
  return files;
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
  std::string program = readLink(base + "/exe");
  auto [path, deleted] = withoutDeletedMark(program);
  info.programFile = path;
  if (deleted)
    info.deletedProgram = base + "/exe";
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
  std::string link = readLink(base + "/exe");
  if (link.empty())
    return errnoCode(errno ? errno : ESRCH);
  auto [program, deleted] = withoutDeletedMark(link);
  // A deleted file is read through the kernel's own link to it.
  std::vector<std::string> result{deleted ? base + "/exe" : std::string(program)};
  if (auto maps = files_.readFile(base + "/maps"))
    for (MappedFile& file : parseProcMaps(*maps))
      if (file.path != program)
        result.push_back(file.deleted ? base + "/map_files/" + file.addresses
                                      : std::move(file.path));
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

ProcessId currentProcessId() {
  return static_cast<ProcessId>(::getpid());
}

} // namespace quorvane::platform
