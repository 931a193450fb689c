// Linux power actions through systemd's control command.
#include "platform/linux/linux_platform.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace quorvane::platform {
namespace {

std::error_code runSystemctl(const char* verb) {
  char program[] = "systemctl";
  char* argv[] = {program, const_cast<char*>(verb), nullptr};
  pid_t pid = 0;
  if (int error = posix_spawnp(&pid, "systemctl", nullptr, nullptr, argv, environ))
    return errnoCode(error);
  int status = 0;
  if (waitpid(pid, &status, 0) < 0)
    return errnoCode(errno);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return std::make_error_code(std::errc::operation_not_permitted);
  return {};
}

} // namespace

std::error_code LinuxPower::restart() { return runSystemctl("reboot"); }
std::error_code LinuxPower::shutdown() { return runSystemctl("poweroff"); }

} // namespace quorvane::platform
