// Process facility: list running processes, their program files and loaded modules, and end
// them.
#pragma once

#include "platform/error.h"
#include "platform/files.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane::platform {

using ProcessId = std::uint32_t;

struct ProcessInfo {
  ProcessId pid = 0;
  std::string imageName;   ///< the program file's name (or the kernel's short name when hidden)
  std::string programFile; ///< full path of the program file; empty when it cannot be read
  /// Set when the program file was deleted after the process started: a path that still reads
  /// it (on Linux /proc/PID/exe), whose canonicalPath() is programFile + kDeletedMark.
  std::string deletedProgram;
};

/// The id of this very process.
ProcessId currentProcessId();

class Processes {
public:
  virtual ~Processes() = default;
  /// Every running process the caller can see, in ascending id order.
  virtual std::vector<ProcessInfo> list() = 0;
  /// The ids of the running processes, ascending; much cheaper than list().
  virtual std::vector<ProcessId> ids() = 0;
  /// One process as list() describes it; an error when it is gone.
  virtual ErrorOr<ProcessInfo> info(ProcessId pid) = 0;
  /// The files a process has loaded: its program file first, then each other file-backed module
  /// once, in address order. A file deleted since it was loaded is named by a path that still
  /// reads it (on Linux under /proc/PID), whose canonicalPath() ends in kDeletedMark.
  virtual ErrorOr<std::vector<std::string>> modules(ProcessId pid) = 0;
  virtual std::error_code terminate(ProcessId pid) = 0;
  /// The status (and so the identity: device and inode) of the file a process runs.
  virtual ErrorOr<FileStatus> programStatus(ProcessId pid) = 0;
};

} // namespace quorvane::platform
