// The guard's state file.
#include "protect/guard_state.h"

#include "app/text.h"

#include <sstream>

namespace quorvane::protect {

std::string guardStateText(const GuardState& state) {
  std::string detail = state.detail;
  for (char& c : detail)
    if (c == '\n' || c == '\r')
      c = ' ';
  return "mode=" + std::string(state.blocking ? "blocking" : "polling") +
         "\npid=" + std::to_string(state.pid) + "\ndetail=" + detail + "\n";
}

std::optional<GuardState> readGuardState(platform::Platform& platform, const std::string& path) {
  auto text = platform.files.readFile(path);
  if (!text || text->size() > 64 * 1024)
    return std::nullopt;
  GuardState state;
  bool sawMode = false;
  std::istringstream lines(*text);
  for (std::string line; std::getline(lines, line);) {
    std::size_t equals = line.find('=');
    if (equals == std::string::npos)
      continue;
    std::string key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key == "mode") {
      if (value != "blocking" && value != "polling")
        return std::nullopt;
      state.blocking = value == "blocking";
      sawMode = true;
    } else if (key == "pid") {
      long long pid = app::leadingInteger(value);
      if (pid <= 0 || pid > 0x7FFFFFFF)
        return std::nullopt;
      state.pid = static_cast<platform::ProcessId>(pid);
    } else if (key == "detail") {
      state.detail = value;
    }
  }
  if (!sawMode || state.pid == 0 || !platform.processes.info(state.pid))
    return std::nullopt;
  return state;
}

std::string systemGuardStateFile(platform::Platform& platform) {
  auto named = platform.environment.variable("QUORVANE_GUARD_STATE");
  return named && !named->empty() ? *named : std::string(kSystemGuardStateFile);
}

std::string guardStatusLine(const GuardState& state) {
  return state.blocking ? "System guard: blocking (listed programs are refused before they run)"
                        : "System guard: on (programs are checked after they start)";
}

} // namespace quorvane::protect
