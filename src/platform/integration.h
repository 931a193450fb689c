// Session integration facility: a program started at every log-on, and a file-manager action
// for folders.
#pragma once

#include <string>
#include <system_error>
#include <vector>

namespace quorvane::platform {

struct LogonTask {
  std::string name;                   ///< "Quorvane Anti Malware"
  std::string program;                ///< full path
  std::vector<std::string> arguments;
  std::vector<std::string> environment; ///< NAME=VALUE settings the program starts with
};

/// An entry of the file manager's menu for folders; the folder's path is added as the last
/// argument.
struct FolderAction {
  std::string name; ///< the menu text
  std::string program;
  std::string icon;
  std::vector<std::string> environment; ///< NAME=VALUE settings the program starts with
};

/// Refusals of the integration facility.
enum class IntegrationError {
  /// The system starts the program from a command line alone: settings of the environment (an
  /// application folder of its own) cannot go with it.
  EnvironmentNotCarried = 1,
};
const std::error_category& integrationErrorCategory();
inline std::error_code make_error_code(IntegrationError error) {
  return {static_cast<int>(error), integrationErrorCategory()};
}

class Integration {
public:
  virtual ~Integration() = default;
  /// Creates the task, or replaces one of the same name.
  virtual std::error_code createLogonTask(const LogonTask& task) = 0;
  /// Deletes the task; a task that does not exist is no error.
  virtual std::error_code deleteLogonTask(const std::string& name) = 0;
  virtual std::error_code installFolderAction(const FolderAction& action) = 0;
  /// Removes the action; one that does not exist is no error.
  virtual std::error_code removeFolderAction(const std::string& name) = 0;
};

} // namespace quorvane::platform

template <>
struct std::is_error_code_enum<quorvane::platform::IntegrationError> : std::true_type {};
