// Removing a threat on the real system (under Wine in CI): a file another program holds open
// without leave to delete it is put on the list Windows carries out at the next start, in the
// very value Windows reads, and goes at the program's own next start once it is free.
#include "platform/fake/fakes.h"
#include "platform/windows/wide.h"
#include "platform/windows/windows_platform.h"
#include "threats/removal.h"

#include "command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace quorvane::threats {
namespace {

using quorvane::testing::outputOf;

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

/// The machine's registry, files and processes; questions answered and power actions counted by
/// fakes (a test never restarts the machine).
struct RealSystem {
  platform::windows::WindowsRegistry registry;
  platform::windows::WindowsFileSystem files;
  platform::windows::WindowsClock clock;
  platform::windows::WindowsEnvironment environment;
  platform::windows::CngCrypto crypto;
  platform::fake::RecordingNotifier notifier;
  platform::windows::WindowsProcesses processes{files};
  platform::fake::FakePower power;
  platform::fake::FakeHttp http;
  platform::fake::FakeShell shell;
  platform::fake::FakeDrives drives;
  platform::fake::FakeIntegration integration;
  platform::Platform platform{registry,  files, clock, environment, crypto, notifier,
                              processes, power, http,  shell,       drives, integration};
};

TEST(WindowsRemovalTest, AFileHeldOpenIsDeletedAtTheNextStartThroughTheSystemsOwnList) {
  RealSystem system;
  fs::path root =
      fs::temp_directory_path() / ("quorvane-removal-" + std::to_string(::GetCurrentProcessId()));
  fs::remove_all(root);
  fs::create_directories(root / "home");
  fs::path threat = root / "held.exe";
  std::ofstream(threat, std::ios::binary) << "a program somebody keeps open";
  // What the list held before the test, put back at its end.
  auto before = system.registry.queryValue(platform::Hive::LocalMachine, kSessionManagerKey,
                                           kPendingValue);

  HANDLE holder = ::CreateFileW(threat.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  std::string path = root.string() + "/held.exe"; // the core's own spelling, '/' inside
  ScanResults results;
  results.rows.push_back({"held.exe", path, true, std::nullopt, false,
                          system.files.status(path)->identity()});
  results.digests.push_back("00000000000000000000000000000000");
  ThreatRemover remover(system.platform, (root / "home").string());
  std::vector<std::string> survivors =
      remover.removeSelectedThreats(results, {}, RemovalMode::Delete);
  std::string native = platform::nativePath(path);
  EXPECT_THAT(survivors, ElementsAre(native));
  EXPECT_TRUE(fs::exists(threat)) << "held open: it could not go now";
  EXPECT_THAT(system.notifier.questions, ElementsAre(std::string(kRestartQuestion)));
  EXPECT_EQ(system.power.restarts, 0) << "the user said no";

  // Windows' own tool shows the pair where Windows reads it at restart, spelt its way.
  std::string shown = outputOf("reg.exe query \"HKLM\\" + std::string(kSessionManagerKey) +
                               "\" /v " + std::string(kPendingValue));
  EXPECT_THAT(shown, HasSubstr("\\??\\" + native)) << shown;
  EXPECT_THAT(remover.pendingDeletions(), ElementsAre(native));

  // Freed, it goes at the program's next start, and the pair with it.
  ::CloseHandle(holder);
  ThreatRemover nextStart(system.platform, (root / "home").string());
  EXPECT_THAT(nextStart.carryOutAtStart(), ElementsAre(native));
  EXPECT_FALSE(fs::exists(threat));
  shown = outputOf("reg.exe query \"HKLM\\" + std::string(kSessionManagerKey) + "\" /v " +
                   std::string(kPendingValue));
  EXPECT_THAT(shown, Not(HasSubstr(native))) << shown;

  if (before)
    system.registry.setValue(platform::Hive::LocalMachine, kSessionManagerKey, kPendingValue,
                             before->type, before->data);
  else
    system.registry.deleteValue(platform::Hive::LocalMachine, kSessionManagerKey, kPendingValue);
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

} // namespace
} // namespace quorvane::threats
