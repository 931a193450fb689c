// Shell facility: starting another program, detached from ours.
#pragma once

#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace quorvane::platform {

struct LaunchRequest {
  std::string program;                ///< full path
  std::vector<std::string> arguments; ///< after the program
  std::string workingFolder;          ///< empty: ours
  bool hidden = false;                ///< no window; standard streams go nowhere
  /// Environment variables set for the program on top of ours.
  std::vector<std::pair<std::string, std::string>> environment;
};

class Shell {
public:
  virtual ~Shell() = default;
  /// Starts the program without waiting for it; an error when it could not be started (a
  /// missing or non-executable file above all).
  virtual std::error_code launch(const LaunchRequest& request) = 0;
};

} // namespace quorvane::platform
