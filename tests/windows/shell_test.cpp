// Program starts on Windows (under Wine in CI): the command line a started program splits, its
// environment and working folder.
#include "platform/windows/wide.h"
#include "platform/windows/windows_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace quorvane::platform::windows {
namespace {

std::vector<std::wstring> splitAgain(const std::wstring& commandLine) {
  int count = 0;
  LPWSTR* parts = ::CommandLineToArgvW(commandLine.c_str(), &count);
  std::vector<std::wstring> out(parts, parts + count);
  ::LocalFree(parts);
  return out;
}

TEST(WindowsShellTest, EveryArgumentIsSplitOutAgainAsItWas) {
  for (std::wstring argument : {L"plain", L"with space", L"", L"quote\"inside", L"C:\\dir\\",
                                L"C:\\my dir\\", L"a\\\\\"b", L"tab\there", L"\\\\server\\share"}) {
    std::wstring line = L"prog.exe " + quoteArgument(argument) + L" next";
    std::vector<std::wstring> parts = splitAgain(line);
    ASSERT_EQ(parts.size(), 3u) << narrow(line);
    EXPECT_EQ(parts[1], argument) << narrow(line);
    EXPECT_EQ(parts[2], L"next");
  }
}

// Started by the test below: reports its working folder and command line, then ends.
TEST(WindowsShellChild, ReportsWhatItWasGiven) {
  const char* report = std::getenv("QUORVANE_TEST_REPORT");
  if (!report)
    GTEST_SKIP() << "the child's part of WindowsShellTest";
  std::vector<std::wstring> parts = splitAgain(::GetCommandLineW());
  std::ofstream out(report);
  out << std::filesystem::current_path().filename().string() << "\n";
  for (std::size_t i = 2; i < parts.size(); ++i) // after the program and the filter
    out << narrow(parts[i]) << "\n";
}

TEST(WindowsShellTest, AStartedProgramGetsItsArgumentsEnvironmentAndFolder) {
  namespace fs = std::filesystem;
  fs::path folder =
      fs::temp_directory_path() / ("quorvane-shell-" + std::to_string(::GetCurrentProcessId()));
  fs::create_directories(folder);
  fs::path report = folder / "report.txt";
  LaunchRequest request;
  request.program = WindowsEnvironment().executablePath();
  request.arguments = {"--gtest_filter=WindowsShellChild.*", "two words", "C:\\end\\"};
  request.workingFolder = folder.string();
  request.hidden = true;
  request.environment = {{"QUORVANE_TEST_REPORT", report.string()}};
  ASSERT_FALSE(WindowsShell().launch(request));
  for (int i = 0; i < 200 && !fs::exists(report); ++i)
    ::Sleep(50);
  ::Sleep(200); // written whole
  std::ifstream in(report);
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(in, line))
    lines.push_back(line);
  EXPECT_THAT(lines, ::testing::ElementsAre(folder.filename().string(), "two words", "C:\\end\\"));
  EXPECT_FALSE(std::getenv("QUORVANE_TEST_REPORT")) << "set for the child only";

  request.program = (folder / "missing.exe").string();
  EXPECT_TRUE(WindowsShell().launch(request)) << "a missing program is an error";
  in.close();
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

} // namespace
} // namespace quorvane::platform::windows
