// Stop requests from outside: Ctrl-C, or the service manager stopping the program.
#pragma once

namespace quorvane::platform {

/// From now on a stop request sets a flag (and cuts short any wait in progress) instead of
/// ending the program at once.
void catchStopRequests();
/// True once a stop was requested.
bool stopRequested();

} // namespace quorvane::platform
