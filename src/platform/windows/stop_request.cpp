// Ctrl+C, Ctrl+Break and the console closing ask a long command to stop.
#include "platform/stop_request.h"

#include <windows.h>

#include <atomic>

namespace quorvane::platform {
namespace {

std::atomic<bool> gStop{false};

BOOL WINAPI onConsoleEvent(DWORD) {
  gStop = true;
  return TRUE; // handled: the command ends its work and exits by itself
}

} // namespace

void catchStopRequests() {
  ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool stopRequested() {
  return gStop;
}

} // namespace quorvane::platform
