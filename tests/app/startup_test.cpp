#include "app/startup.h"

#include "platform/fake/fakes.h"
#include "platform/linux/linux_platform.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::app {
namespace {

TEST(StartupArgumentsTest, ModeAndFolderRequestOfTheArgumentText) {
  struct Case {
    const char* arguments;
    StartMode mode;
    bool folder;
  } cases[] = {
      {"", StartMode::Normal, false},
      {"s", StartMode::Silent, false},
      {"S ", StartMode::Silent, false},
      {"  m", StartMode::Silent, false},
      {"sm", StartMode::Normal, false},
      {"/home/u/Data", StartMode::Normal, true},
      {"\"/home/u/My Data\"", StartMode::Normal, true},
      {"D:\\Data", StartMode::Normal, true},
      {"relative/path", StartMode::Normal, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(startModeOf(c.arguments), c.mode) << c.arguments;
    EXPECT_EQ(isFolderRequest(c.arguments), c.folder) << c.arguments;
  }
  const char* argv[] = {"quorvaneam", "/home/u/My", "Data"};
  EXPECT_EQ(argumentText(3, argv), "/home/u/My Data");
  EXPECT_EQ(argumentText(1, argv), "");
}

TEST(RunStartupTest, ASecondInstanceLeavesItsRequestAndEnds) {
  platform::fake::FakePlatform fake;
  fake.files.createDirectory("/app");
  StartupResult first = runStartup(fake.platform, "/app", "S ");
  EXPECT_FALSE(first.anotherInstance);
  EXPECT_EQ(first.mode, StartMode::Silent);
  EXPECT_FALSE(fake.files.exists("/app/folderscan.sig"));

  StartupResult second = runStartup(fake.platform, "/app", "\"/home/u/Data\"");
  EXPECT_TRUE(second.anotherInstance);
  EXPECT_TRUE(second.requestWritten);
  EXPECT_EQ(fake.files.content("/app/folderscan.sig"), "\"/home/u/Data\"\r\n");

  first.instanceLock.reset(); // the first instance ends
  StartupResult third = runStartup(fake.platform, "/app", "/home/u/Other");
  EXPECT_FALSE(third.anotherInstance) << "no instance runs: this one goes on";
  EXPECT_EQ(third.mode, StartMode::Normal);
  EXPECT_EQ(fake.files.content("/app/folderscan.sig"), "/home/u/Other\r\n");
}

TEST(RunStartupTest, TheLockIsARealFileLockBetweenProcesses) {
  testing::TempDir home;
  platform::LinuxFileSystem files;
  auto held = files.tryLock(home / kInstanceLockFile);
  ASSERT_TRUE(held);
  EXPECT_EQ(files.tryLock(home / kInstanceLockFile).error(),
            std::errc::resource_unavailable_try_again);
  // Another process sees the lock too.
  std::string command = "flock -n " + home / kInstanceLockFile + " true";
  EXPECT_NE(std::system(command.c_str()), 0);
  held->reset();
  EXPECT_TRUE(files.tryLock(home / kInstanceLockFile));
}

} // namespace
} // namespace quorvane::app
