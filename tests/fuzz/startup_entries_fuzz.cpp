// The texts that name programs started by themselves: crontabs (a user's and the system's),
// systemd units and desktop entries, and the program path taken from each command.
#include "fuzz_support.h"
#include "scan/startup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane;
  if (size == 0)
    return 0;
  // The first byte picks the reader, so one corpus covers the four.
  std::string_view text = fuzz::asText(data + 1, size - 1);
  auto lookup = [](const std::string& name) -> std::optional<std::string> {
    if (name == "HOME")
      return "/home/u";
    if (name == "PATH")
      return "/usr/bin:/bin";
    return std::nullopt;
  };
  auto isFile = [](const std::string& path) { return path.size() % 3 == 0; };
  std::vector<std::string> commands;
  switch (data[0] % 4) {
  case 0:
  case 1:
    commands = scan::parseCrontab(text, data[0] % 4 == 1);
    break;
  case 2:
    for (auto& [section, keys] : scan::parseUnitFile(text))
      for (auto& [key, values] : keys)
        for (const std::string& value : values)
          commands.push_back(scan::stripExecPrefixes(value));
    break;
  case 3:
    commands.push_back(scan::desktopEntryCommand(text));
    break;
  }
  for (const std::string& command : commands) {
    std::string program = scan::extractProgramPath(command, lookup, isFile);
    FUZZ_EXPECT(program.find('"') == std::string::npos);
  }
  return 0;
}
