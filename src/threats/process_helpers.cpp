// Helpers shared by every road that deals with a threat.
#include "threats/process_helpers.h"

#include "app/text.h"
#include "engine/fingerprint.h"

namespace quorvane::threats {

bool fileExists(platform::Platform& platform, const std::string& path) {
  auto status = platform.files.status(path);
  return status && status->kind != platform::FileKind::Directory;
}

std::optional<platform::FileIdentity> confirmCheckedFile(platform::Platform& platform,
                                                         const std::string& path,
                                                         const platform::FileIdentity& checked,
                                                         std::string_view digest) {
  if (!digest.empty()) {
    auto hashed = engine::hashEntry(platform, path, 1 << 20);
    if (!hashed || !app::equalsIgnoreCase(engine::digestText(hashed->digest), digest) ||
        (checked.known() && hashed->file.identity() != checked))
      return std::nullopt;
    return hashed->file.identity();
  }
  auto file = platform.files.openEntry(path);
  if (!file || (checked.known() && (*file)->status().identity() != checked))
    return std::nullopt;
  return (*file)->status().identity();
}

std::error_code deleteCheckedFile(platform::Platform& platform, const std::string& path,
                                  const platform::FileIdentity& checked) {
  // The facility clears whatever would keep the file from going (a read-only state), on the
  // entry it compared, never through a link.
  return platform.files.removeCheckedFile(path, checked);
}

bool killProcessesByName(platform::Platform& platform, const std::string& name,
                         const std::string& programFile,
                         const platform::FileIdentity& programIdentity,
                         const std::vector<platform::ProcessInfo>* running) {
  if (name.empty())
    return false;
  std::optional<platform::FileIdentity> target;
  if (programIdentity.known())
    target = programIdentity;
  else if (!programFile.empty())
    if (auto status = platform.files.status(programFile))
      target = status->identity();
  bool matched = false;
  std::vector<platform::ProcessInfo> now;
  if (!running) {
    now = platform.processes.list();
    running = &now;
  }
  for (const platform::ProcessInfo& process : *running) {
    if (!app::equalsIgnoreCase(app::fileNameOf(process.imageName), name))
      continue;
    if (!programFile.empty()) {
      // The same file: the same identity, or the same path when an identity is not to be had.
      auto program = target ? platform.processes.programStatus(process.pid)
                            : platform::ErrorOr<platform::FileStatus>(std::errc::no_such_process);
      bool sameFile = program ? program->identity() == *target : process.programFile == programFile;
      if (!sameFile)
        continue;
    }
    matched = true;
    platform.processes.terminate(process.pid);
  }
  return matched;
}

ProcessId findProcessId(platform::Platform& platform, const std::string& name) {
  for (const platform::ProcessInfo& process : platform.processes.list())
    if (!process.programFile.empty() &&
        app::equalsIgnoreCase(app::fileNameOf(process.programFile), name))
      return process.pid;
  return 0;
}

bool killProcess(platform::Platform& platform, const std::string& name) {
  if (ProcessId pid = findProcessId(platform, name))
    platform.processes.terminate(pid);
  return true;
}

ProcessId getProcessIdByName(platform::Platform& platform, const std::string& name) {
  for (const platform::ProcessInfo& process : platform.processes.list())
    if (app::equalsIgnoreCase(process.imageName, name))
      return process.pid;
  return 0;
}

void terminateProcessById(platform::Platform& platform, ProcessId pid) {
  if (pid != 0)
    platform.processes.terminate(pid);
}

int listProcessModules(platform::Platform& platform, std::vector<std::string>& modules) {
  modules.clear();
  int listed = 0;
  for (const platform::ProcessInfo& process : platform.processes.list()) {
    auto found = platform.processes.modules(process.pid);
    if (!found)
      continue; // exited meanwhile, or not ours to read
    ++listed;
    for (std::string& module : *found)
      if (!app::trimBlanks(module).empty())
        modules.push_back(std::move(module));
  }
  return listed;
}

} // namespace quorvane::threats
