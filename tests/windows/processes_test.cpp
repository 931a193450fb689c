// The Windows process facility on processes the test starts itself (under Wine in CI).
#include "platform/windows/wide.h"
#include "platform/windows/windows_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>

namespace quorvane::platform::windows {
namespace {

using ::testing::HasSubstr;

// Started again by the test below as its child: this copy only waits to be ended.
TEST(WindowsChildProcess, WaitsWhenAskedTo) {
  if (!std::getenv("QUORVANE_TEST_CHILD"))
    GTEST_SKIP() << "the child's part of WindowsProcessesTest";
  ::Sleep(60000);
}

TEST(WindowsProcessesTest, AChildIsListedWithItsModulesAndEndedAlone) {
  WindowsFileSystem files;
  WindowsEnvironment environment;
  WindowsProcesses processes(files);
  std::string program = environment.executablePath();
  std::wstring command = L"\"" + widen(program) + L"\" --gtest_filter=WindowsChildProcess.*";
  ::SetEnvironmentVariableW(L"QUORVANE_TEST_CHILD", L"1");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                                  CREATE_NO_WINDOW, nullptr, nullptr, &startup, &child);
  ::SetEnvironmentVariableW(L"QUORVANE_TEST_CHILD", nullptr);
  ASSERT_TRUE(started);
  ProcessId pid = child.dwProcessId;
  ::WaitForInputIdle(child.hProcess, 2000);
  ::Sleep(500); // its modules loaded

  std::vector<ProcessInfo> all = processes.list();
  auto listed = std::find_if(all.begin(), all.end(),
                             [&](const ProcessInfo& info) { return info.pid == pid; });
  ASSERT_NE(listed, all.end());
  EXPECT_THAT(listed->imageName, HasSubstr("windows_platform_tests"));
  EXPECT_EQ(files.status(listed->programFile)->identity(), files.status(program)->identity());
  EXPECT_TRUE(std::is_sorted(all.begin(), all.end(),
                             [](const auto& a, const auto& b) { return a.pid < b.pid; }));
  std::vector<ProcessId> ids = processes.ids();
  EXPECT_TRUE(std::binary_search(ids.begin(), ids.end(), pid));

  auto modules = processes.modules(pid);
  ASSERT_TRUE(modules);
  ASSERT_FALSE(modules->empty());
  EXPECT_EQ(files.status(modules->front())->identity(), files.status(program)->identity())
      << "the program comes first";
  EXPECT_TRUE(std::any_of(modules->begin(), modules->end(), [](const std::string& module) {
    return module.find("kernel32") != std::string::npos ||
           module.find("KERNEL32") != std::string::npos;
  }));
  EXPECT_EQ(processes.programStatus(pid)->identity(), files.status(program)->identity());

  ASSERT_FALSE(processes.terminate(pid));
  EXPECT_EQ(::WaitForSingleObject(child.hProcess, 10000), WAIT_OBJECT_0);
  ::CloseHandle(child.hThread);
  ::CloseHandle(child.hProcess);
  EXPECT_FALSE(processes.info(pid)) << "ended";
}

} // namespace
} // namespace quorvane::platform::windows
