// Power facility: restarting, shutting down and logging off the machine.
#pragma once

#include <system_error>

namespace quorvane::platform {

class Power {
public:
  virtual ~Power() = default;
  virtual std::error_code restart() = 0;
  virtual std::error_code shutdown() = 0;
  /// Ends the user's session.
  virtual std::error_code logOff() = 0;
  /// Shuts down and switches the power off.
  virtual std::error_code powerOff() = 0;
};

} // namespace quorvane::platform
