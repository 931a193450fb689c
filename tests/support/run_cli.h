// Runs the built `quorvane` program and captures what it prints.
#pragma once

#include "support/temp_dir.h"

#include <algorithm>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace quorvane::testing {

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string shellQuote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

/// Runs a shell command line with standard input from `input`, capturing what it prints.
inline CliResult runCommandLine(std::string command, const std::string& input = "") {
  TempDir io;
  io.write("in", input);
  command += " <" + shellQuote(io / "in") + " >" + shellQuote(io / "out") + " 2>" +
             shellQuote(io / "err");
  int raw = std::system(command.c_str());
  CliResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = io.read("out");
  result.err = io.read("err");
  return result;
}

/// Runs quorvane with `args` (standard input from `input`), in the folder `workDir`, with the
/// `environment` variables set.
inline CliResult runCli(const std::vector<std::string>& args, const std::string& input = "",
                        const std::string& workDir = "",
                        const std::vector<std::string>& environment = {}) {
  std::string command;
  if (!workDir.empty())
    command += "cd " + shellQuote(workDir) + " && ";
  command += "env -u QUORVANE_HOME";
  for (const std::string& setting : environment)
    command += " " + shellQuote(setting);
  command += " " + shellQuote(QUORVANE_BIN);
  for (const std::string& arg : args)
    command += " " + shellQuote(arg);
  return runCommandLine(command, input);
}

} // namespace quorvane::testing
