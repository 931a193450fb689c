// Environment facility: variables, the current user and computer, account look-up and the
// program's own location.
#pragma once

#include <optional>
#include <string>

namespace quorvane::platform {

class Environment {
public:
  virtual ~Environment() = default;
  virtual std::optional<std::string> variable(const std::string& name) = 0;
  /// The interactive user: the variable "UserName" when set, else the login name.
  virtual std::string userName() = 0;
  virtual std::string computerName() = 0;
  /// The account identifier of a user name, or nothing when no such account exists.
  virtual std::optional<std::string> accountIdentifier(const std::string& account) = 0;
  /// Full path of the running program file; empty when it cannot be told.
  virtual std::string executablePath() = 0;
  /// The working folder of the process.
  virtual std::string currentDirectory() = 0;
  /// True when standard error goes to a terminal.
  virtual bool errorIsTerminal() = 0;
  /// The system's own folder of programs: the Windows folder on Windows, "/usr" on Linux.
  virtual std::string systemFolder() = 0;
  /// The user's folder whose files the system opens at log-on ("Startup" on Windows); none
  /// where the system has no such folder.
  virtual std::optional<std::string> userStartupFolder() = 0;
  /// The folder the system itself names for each user's program data (Local AppData on
  /// Windows); none where the convention is told by variables instead (XDG on Linux).
  virtual std::optional<std::string> userDataFolder() = 0;
};

/// True when standard input comes from a terminal, where somebody can answer a question.
bool inputIsTerminal();

/// The identifier of the built-in group "everyone".
inline constexpr const char* kEveryoneIdentifier = "S-1-1-0";

} // namespace quorvane::platform
