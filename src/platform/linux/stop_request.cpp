// Stop requests: SIGINT and SIGTERM.
#include "platform/stop_request.h"

#include <csignal>

namespace quorvane::platform {
namespace {

volatile std::sig_atomic_t gStop = 0;

void onStopSignal(int) { gStop = 1; }

} // namespace

void catchStopRequests() {
  struct sigaction action {};
  action.sa_handler = onStopSignal; // no SA_RESTART: a wait in progress ends at once
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool stopRequested() {
  return gStop != 0;
}

} // namespace quorvane::platform
