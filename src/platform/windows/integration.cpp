// Windows integration: the Run value and the folder and drive verbs are registry values, and the
// product writes them itself through the registry facility (they are the machine's own on
// Windows). This facility has nothing to add but to refuse what those values cannot carry.
#include "platform/windows/windows_platform.h"

namespace quorvane::platform::windows {

std::error_code WindowsIntegration::createLogonTask(const LogonTask& task) {
  // A Run value is a command line: it starts the program with the user's own environment.
  if (!task.environment.empty())
    return std::make_error_code(std::errc::not_supported);
  return {};
}

std::error_code WindowsIntegration::deleteLogonTask(const std::string&) {
  return {};
}

std::error_code WindowsIntegration::installFolderAction(const FolderAction& action) {
  if (!action.environment.empty())
    return std::make_error_code(std::errc::not_supported);
  return {};
}

std::error_code WindowsIntegration::removeFolderAction(const std::string&) {
  return {};
}

} // namespace quorvane::platform::windows
