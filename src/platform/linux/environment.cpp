// Linux environment: variables, the passwd database, the host name and /proc/self/exe.
#include "platform/linux/linux_platform.h"

#include <cstdlib>
#include <limits.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace quorvane::platform {

std::optional<std::string> LinuxEnvironment::variable(const std::string& name) {
  if (const char* value = std::getenv(name.c_str()))
    return std::string(value);
  return std::nullopt;
}

std::string LinuxEnvironment::userName() {
  if (auto name = variable("UserName"); name && !name->empty())
    return *name;
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
    return found->pw_name;
  if (auto name = variable("USER"))
    return *name;
  return {};
}

std::string LinuxEnvironment::computerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0)
    return {};
  return name;
}

std::optional<std::string> LinuxEnvironment::accountIdentifier(const std::string& account) {
  if (account.empty())
    return std::nullopt;
  std::lock_guard lock(accountsMutex_);
  auto known = accounts_.find(account);
  if (known != accounts_.end())
    return known->second;
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  std::optional<std::string> identifier;
  // Unix users in the identifier form used for them by Windows interoperability tools.
  if (getpwnam_r(account.c_str(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
    identifier = "S-1-22-1-" + std::to_string(found->pw_uid);
  accounts_[account] = identifier; // the password database is read once per account
  return identifier;
}

std::string LinuxEnvironment::executablePath() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0)
    return {};
  return std::string(path, static_cast<std::size_t>(n));
}

std::string LinuxEnvironment::currentDirectory() {
  char path[PATH_MAX];
  if (!getcwd(path, sizeof path))
    return {};
  return path;
}

bool LinuxEnvironment::errorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool inputIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

} // namespace quorvane::platform
