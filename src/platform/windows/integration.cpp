// Windows integration: the Run value and the folder and drive verbs are registry values, and the
// product writes them itself through the registry facility (they are the machine's own on
// Windows). This facility has nothing to add but to refuse what those values cannot start.
#include "platform/windows/wide.h"
#include "platform/windows/windows_platform.h"

#include <windows.h>

namespace quorvane::platform::windows {
namespace {

/// The program a command line names, as Windows finds it (".exe" may be left out).
bool programExists(const std::string& program) {
  for (const std::string& candidate : {program, program + ".exe"}) {
    DWORD attributes = ::GetFileAttributesW(widen(candidate).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return true;
  }
  return false;
}

std::error_code refusal(const std::string& program, const std::vector<std::string>& environment) {
  // A Run value or a verb is a command line: it starts the program with the user's own
  // environment, and only when the program is there.
  if (!programExists(program))
    return std::make_error_code(std::errc::no_such_file_or_directory);
  if (!environment.empty())
    return make_error_code(IntegrationError::EnvironmentNotCarried);
  return {};
}

} // namespace

std::error_code WindowsIntegration::createLogonTask(const LogonTask& task) {
  return refusal(task.program, task.environment);
}

std::error_code WindowsIntegration::deleteLogonTask(const std::string&) {
  return {};
}

std::error_code WindowsIntegration::installFolderAction(const FolderAction& action) {
  return refusal(action.program, action.environment);
}

std::error_code WindowsIntegration::removeFolderAction(const std::string&) {
  return {};
}

} // namespace quorvane::platform::windows
