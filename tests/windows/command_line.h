// Runs a command line the way the tests' own shell would, for the Windows suite.
#pragma once

#include <cstdio>
#include <string>
#include <utility>

namespace quorvane::testing {

/// What a command line prints on its standard output, and its exit status. The whole line is
/// quoted once more, so that one starting with a quoted program reaches the command interpreter
/// as it was written.
inline std::pair<std::string, int> runCommand(const std::string& command) {
  FILE* pipe = ::_popen(("\"" + command + "\"").c_str(), "r");
  std::string out;
  char buffer[512];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe))
    out += buffer;
  int status = pipe ? ::_pclose(pipe) : -1;
  return {out, status};
}

/// What a command line prints on its standard output.
inline std::string outputOf(const std::string& command) { return runCommand(command).first; }

} // namespace quorvane::testing
