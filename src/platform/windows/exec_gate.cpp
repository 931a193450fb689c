// Windows has no exec gate a user-mode program can open (asking before a program starts takes a
// file-system minifilter driver): real-time protection checks programs after they start.
#include "platform/exec_gate.h"

namespace quorvane::platform {

ErrorOr<std::unique_ptr<ExecGate>> openExecGate(const ExecGateOptions&) {
  return std::errc::not_supported;
}

} // namespace quorvane::platform
