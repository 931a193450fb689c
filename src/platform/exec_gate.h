// Exec gate: the kernel asks before a program file is started, and waits for the answer. This is
// what lets real-time protection refuse a listed program before its first instruction runs,
// instead of ending it after it started.
#pragma once

#include "platform/error.h"
#include "platform/files.h"
#include "platform/processes.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvane::platform {

/// Which version of a file a request is about: its identity, size and both of its times. The
/// status-change time moves on every write and every time-stamp change, so a file that was
/// written and had its modification time set back still counts as another version.
struct ExecFileVersion {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;
  std::int64_t changedNs = 0;
  bool operator==(const ExecFileVersion&) const = default;
};

/// One program file the kernel is about to start. The process that asked waits until the request
/// is answered; a request dropped unanswered lets the program start.
class ExecRequest {
public:
  virtual ~ExecRequest() = default;
  /// The process that is starting the program.
  virtual ProcessId pid() const = 0;
  /// The status of the very file being started (not of whatever its path names now).
  virtual const FileStatus& status() const = 0;
  virtual const ExecFileVersion& version() const = 0;
  /// The path the kernel names the file by now (kDeletedMark at the end when it was deleted).
  virtual const std::string& path() const = 0;
  /// A reader of the very file being started, from its first byte. Each call gives a reader of
  /// its own.
  virtual ErrorOr<std::unique_ptr<InputFile>> open() = 0;
  /// Answers the request: only the first answer counts, from any thread. True when this call
  /// was the one that answered.
  virtual bool answer(bool allow) = 0;
  virtual bool answered() const = 0;
};

struct ExecGateOptions {
  /// Empty: every mounted file system, and those mounted later. Otherwise only the programs
  /// directly in these folders (for trials that must not touch the rest of the machine).
  std::vector<std::string> folders;
  /// Files the gate never asks about (this program's own).
  std::vector<std::string> exempt;
};

/// A live gate: while it exists the kernel holds every start of a program it covers until a
/// request is answered. Closing it lets every held and later start go ahead.
class ExecGate {
public:
  virtual ~ExecGate() = default;
  /// Waits up to `timeout` for the next request; none when nothing came (or another reader took
  /// it). Several threads may wait at once. Starts by this very process are let through at once
  /// and never come here.
  virtual std::shared_ptr<ExecRequest> nextRequest(std::chrono::milliseconds timeout) = 0;
  /// Covers the file systems mounted since the gate was opened (nothing for a gate on folders).
  virtual void coverNewMounts() = 0;
  /// What is covered, for people: "3 file systems", "1 folder".
  virtual std::string coverage() const = 0;
  /// Starts the gate had to let through unasked because its queue overflowed, so far.
  virtual std::uint64_t overflows() const = 0;
};

/// Opens the system's exec gate. Fails where the system has none, the kernel is too old or the
/// caller lacks the privilege; the error's message says which.
ErrorOr<std::unique_ptr<ExecGate>> openExecGate(const ExecGateOptions& options);

} // namespace quorvane::platform
