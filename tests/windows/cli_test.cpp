// quorvane.exe itself, run the way a user runs it (under Wine in CI).
#include "platform/windows/windows_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace quorvane::platform::windows {
namespace {

namespace fs = std::filesystem;

/// Runs a command line; its standard output and exit status.
std::pair<std::string, int> run(const std::string& command) {
  FILE* pipe = ::_popen(("\"" + command + "\"").c_str(), "r");
  std::string out;
  char buffer[512];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe))
    out += buffer;
  int status = pipe ? ::_pclose(pipe) : -1;
  return {out, status};
}

TEST(WindowsCliTest, AScanOfAFolderWithTheEicarFileReportsItAndExitsOne) {
  fs::path program = fs::path(WindowsEnvironment().executablePath()).parent_path() / "quorvane.exe";
  ASSERT_TRUE(fs::exists(program));
  fs::path root =
      fs::temp_directory_path() / ("quorvane-cli-" + std::to_string(::GetCurrentProcessId()));
  fs::remove_all(root);
  fs::create_directories(root / "home");
  fs::create_directories(root / "files");
  std::ofstream(root / "files" / "eicar.com", std::ios::binary)
      << "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
  std::ofstream(root / "files" / "clean.exe", std::ios::binary) << "nothing to see";
  std::ofstream(root / "keys.txt") << "44d88612fea8a8f36de82e1278abb02f:68\n";
  std::string home = "\"" + program.string() + "\" --home \"" + (root / "home").string() + "\"";

  auto [built, buildStatus] = run(home + " sig build \"" + (root / "keys.txt").string() +
                                  "\" -o \"" + (root / "home" / "vir.sig").string() + "\"");
  ASSERT_EQ(buildStatus, 0) << built;
  auto [out, status] = run(home + " scan \"" + (root / "files").string() + "\"");
  EXPECT_EQ(status, 1) << out;
  EXPECT_THAT(out, ::testing::HasSubstr("eicar.com: Quorvane.Threat FOUND"));
  EXPECT_THAT(out, ::testing::HasSubstr("Total files scanned : 2"));
  EXPECT_THAT(out, ::testing::Not(::testing::HasSubstr("clean.exe: Quorvane.Threat FOUND")));
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

} // namespace
} // namespace quorvane::platform::windows
