// Linux power actions through systemd's control command.
#include "platform/linux/linux_platform.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace quorvane::platform {
namespace {

std::error_code run(std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (int error = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ))
    return errnoCode(error);
  int status = 0;
  if (waitpid(pid, &status, 0) < 0)
    return errnoCode(errno);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return std::make_error_code(std::errc::operation_not_permitted);
  return {};
}

} // namespace

std::error_code LinuxPower::restart() { return run({"systemctl", "reboot"}); }
std::error_code LinuxPower::shutdown() { return run({"systemctl", "poweroff"}); }
std::error_code LinuxPower::powerOff() { return run({"systemctl", "poweroff"}); }

std::error_code LinuxPower::logOff() {
  // The session this program runs in, else every session of its user.
  if (const char* session = std::getenv("XDG_SESSION_ID"); session && *session)
    return run({"loginctl", "terminate-session", session});
  return run({"loginctl", "terminate-user", std::to_string(getuid())});
}

} // namespace quorvane::platform
