// Windows processes: a toolhelp snapshot for the list and the modules, the image path from the
// process itself, and TerminateProcess.
#include "platform/windows/windows_platform.h"

#include "platform/windows/handle.h"
#include "platform/windows/wide.h"

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>

namespace quorvane::platform::windows {
namespace {

/// A toolhelp snapshot of the processes, or of one process's modules.
Handle snapshotOf(DWORD what, DWORD pid = 0) {
  return Handle(::CreateToolhelp32Snapshot(what, pid));
}

/// The full path of the program a process runs, asked of the process; empty when it cannot be.
std::string imagePath(ProcessId pid) {
  Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process.valid())
    return {};
  std::wstring path(32768, L'\0');
  DWORD size = static_cast<DWORD>(path.size());
  bool ok = ::QueryFullProcessImageNameW(process.get(), 0, path.data(), &size);
  return ok ? narrow(std::wstring_view(path.data(), size)) : std::string();
}

} // namespace

std::vector<ProcessInfo> WindowsProcesses::list() {
  std::vector<ProcessInfo> processes;
  Handle snapshot = snapshotOf(TH32CS_SNAPPROCESS);
  if (!snapshot.valid())
    return processes;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry)) {
    ProcessInfo info;
    info.pid = entry.th32ProcessID;
    info.imageName = narrow(entry.szExeFile);
    info.programFile = imagePath(info.pid);
    processes.push_back(std::move(info));
  }
  std::sort(processes.begin(), processes.end(),
            [](const ProcessInfo& a, const ProcessInfo& b) { return a.pid < b.pid; });
  return processes;
}

std::vector<ProcessId> WindowsProcesses::ids() {
  std::vector<ProcessId> ids;
  Handle snapshot = snapshotOf(TH32CS_SNAPPROCESS);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = snapshot.valid() && ::Process32FirstW(snapshot.get(), &entry); more;
       more = ::Process32NextW(snapshot.get(), &entry))
    ids.push_back(entry.th32ProcessID);
  std::sort(ids.begin(), ids.end());
  return ids;
}

ErrorOr<ProcessInfo> WindowsProcesses::info(ProcessId pid) {
  for (ProcessInfo& process : list())
    if (process.pid == pid)
      return std::move(process);
  return std::errc::no_such_process;
}

ErrorOr<std::vector<std::string>> WindowsProcesses::modules(ProcessId pid) {
  std::string program = imagePath(pid);
  Handle snapshot = snapshotOf(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, pid);
  if (!snapshot.valid())
    return program.empty() ? lastWin32Error()
                           : ErrorOr<std::vector<std::string>>(std::vector{program});
  // The program first, then each other module once, in address order.
  std::vector<std::pair<std::uintptr_t, std::string>> loaded;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Module32FirstW(snapshot.get(), &entry); more;
       more = ::Module32NextW(snapshot.get(), &entry))
    loaded.emplace_back(reinterpret_cast<std::uintptr_t>(entry.modBaseAddr),
                        narrow(entry.szExePath));
  std::sort(loaded.begin(), loaded.end());
  std::vector<std::string> files;
  if (!program.empty())
    files.push_back(program);
  for (auto& [address, path] : loaded) {
    bool seen = std::any_of(files.begin(), files.end(), [&](const std::string& file) {
      return ::CompareStringOrdinal(widen(file).c_str(), -1, widen(path).c_str(), -1, TRUE) ==
             CSTR_EQUAL;
    });
    if (!seen)
      files.push_back(std::move(path));
  }
  return files;
}

std::error_code WindowsProcesses::terminate(ProcessId pid) {
  Handle process(::OpenProcess(PROCESS_TERMINATE, FALSE, pid));
  if (!process.valid())
    return lastWin32Error();
  return ::TerminateProcess(process.get(), 1) ? std::error_code() : lastWin32Error();
}

ErrorOr<FileStatus> WindowsProcesses::programStatus(ProcessId pid) {
  std::string program = imagePath(pid);
  if (program.empty())
    return std::errc::no_such_process;
  return files_.status(program);
}

} // namespace quorvane::platform::windows

namespace quorvane::platform {

ProcessId currentProcessId() {
  return static_cast<ProcessId>(::GetCurrentProcessId());
}

} // namespace quorvane::platform
