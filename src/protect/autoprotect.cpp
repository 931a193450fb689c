// Auto-protect.
#include "protect/autoprotect.h"

#include "app/text.h"
#include "threats/process_helpers.h"

#include <vector>

namespace quorvane::protect {
namespace {

/// A program seen this few passes ago may still replace itself (a fork before its exec): it is
/// looked at again on every pass. Older ones are looked at again every kSweepPasses passes (two seconds).
constexpr std::uint64_t kYoungPasses = 8;
constexpr std::uint64_t kSweepPasses = 8;

} // namespace

std::string isApplicationRunning(platform::Platform& platform, const std::string& name) {
  std::string wanted = app::toUpper(name);
  for (const platform::ProcessInfo& process : platform.processes.list())
    if (!process.programFile.empty() &&
        app::toUpper(process.programFile).find(wanted) != std::string::npos)
      return process.programFile;
  return {};
}

AutoProtect::AutoProtect(platform::Platform& platform, std::string appFolder,
                         engine::SignatureDatabase& signatures)
    : p_(platform), folder_(std::move(appFolder)), check_(platform, folder_, signatures),
      log_(platform, folder_) {}

std::string AutoProtect::toggleAutoProtect() {
  bool on = !enabled_;
  enabled_ = on;
  return std::string(on ? kDisableAutoProtectCaption : kEnableAutoProtectCaption);
}

void AutoProtect::tick() {
  if (enabled_)
    checkNewProcesses();
}

void AutoProtect::look(platform::ProcessId pid, Known& entry, bool check) {
  auto process = p_.processes.info(pid);
  if (!process || process->programFile == entry.programFile)
    return;
  entry.programFile = process->programFile;
  if (check)
    checkProgram(*process);
}

void AutoProtect::checkNewProcesses() {
  ++pass_;
  std::vector<platform::ProcessId> running = p_.processes.ids();
  // Forget the processes that ended: a program that starts again is new again.
  std::map<platform::ProcessId, Known> still;
  std::size_t at = 0;
  for (auto& [pid, entry] : known_) {
    while (at < running.size() && running[at] < pid)
      ++at;
    if (at < running.size() && running[at] == pid)
      still.emplace(pid, std::move(entry));
  }
  known_.swap(still);

  bool sweep = pass_ % kSweepPasses == 0;
  for (platform::ProcessId pid : running) {
    auto [it, added] = known_.try_emplace(pid, Known{std::string(), pass_});
    // The first pass checks every program running; later passes the new ones.
    if (added)
      look(pid, it->second, true);
    else if (sweep || pass_ - it->second.firstSeen <= kYoungPasses)
      look(pid, it->second, true); // checked again only when its program changed
  }
  firstPassDone_ = true;
}

bool AutoProtect::checkProgram(const platform::ProcessInfo& process) {
  if (process.programFile.empty())
    return false;
  // A program deleted after it started is read through the kernel's link to it, and named with
  // the deleted mark.
  bool deleted = !process.deletedProgram.empty();
  std::string path =
      deleted ? process.programFile + std::string(platform::kDeletedMark) : process.programFile;
  std::optional<std::string> digest =
      check_.listedThreat(deleted ? process.deletedProgram : process.programFile);
  if (!digest)
    return false;
  // Every process running this very file ends; others that share its name keep running.
  platform::FileIdentity identity;
  if (auto status = p_.processes.programStatus(process.pid))
    identity = status->identity();
  threats::killProcessesByName(p_, process.imageName, process.programFile, identity);
  threats::terminateProcessById(p_, process.pid);
  log_.logThreat(process.imageName, path);

  threats::AlertRecord record{process.imageName, *digest, path, 0};
  auto left = p_.processes.info(process.pid);
  if (left && left->programFile == process.programFile)
    record.pid = process.pid; // it could not be ended
  threats::ThreatAlert(p_, folder_).showThreatAlert(record);
  if (onThreat)
    onThreat(record);
  return true;
}

} // namespace quorvane::protect
