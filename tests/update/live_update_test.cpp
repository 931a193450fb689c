#include "update/live_update.h"

#include "platform/fake/fakes.h"
#include "platform/linux/linux_platform.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace quorvane::update {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

TEST(LiveUpdateTest, StartsTheUpdaterBesideTheProgramHidden) {
  platform::fake::FakePlatform fake;
  fake.environment.executable = "/opt/quorvane/quorvaneam";
  EXPECT_TRUE(launchLiveUpdate(fake.platform, "/data/q"));
  ASSERT_EQ(fake.shell.launches.size(), 1u);
  const platform::LaunchRequest& launch = fake.shell.launches[0];
  EXPECT_EQ(launch.program, "/opt/quorvane/exeupdt");
  EXPECT_THAT(launch.arguments, IsEmpty());
  EXPECT_EQ(launch.workingFolder, "/opt/quorvane");
  EXPECT_TRUE(launch.hidden);
  EXPECT_THAT(launch.environment, ElementsAre(Pair("QUORVANE_HOME", "/data/q")));
  EXPECT_THAT(fake.notifier.messages, IsEmpty());
}

TEST(LiveUpdateTest, AMissingUpdaterIsReported) {
  platform::fake::FakePlatform fake;
  fake.environment.executable = "/opt/quorvane/quorvaneam";
  fake.shell.missing.insert("/opt/quorvane/exeupdt");
  EXPECT_FALSE(launchLiveUpdate(fake.platform, "/data/q"));
  ASSERT_THAT(fake.notifier.messages, ElementsAre(std::string(kUpdaterMissingText)));
  EXPECT_EQ(fake.notifier.messageStyles[0].title, kUpdaterMissingTitle);
  EXPECT_EQ(fake.notifier.messageStyles[0].icon, platform::MessageIcon::Critical);
}

TEST(LinuxShellTest, LaunchesInTheFolderWithTheEnvironmentAndReportsMissingPrograms) {
  testing::TempDir dir;
  std::string script = dir.write("tool", "#!/bin/sh\necho \"$PWD|$QV_MARK|$1\" > \"$QV_OUT.tmp\"\n"
                                         "mv \"$QV_OUT.tmp\" \"$QV_OUT\"\n");
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  platform::LinuxShell shell;
  platform::LaunchRequest request{script, {"arg"}, dir.path(), true,
                                  {{"QV_MARK", "here"}, {"QV_OUT", dir / "out"}}};
  ASSERT_FALSE(shell.launch(request));
  for (int i = 0; i < 500 && !std::filesystem::exists(dir / "out"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(dir.read("out"), dir.path() + "|here|arg\n");

  request.program = dir / "absent";
  EXPECT_EQ(shell.launch(request), std::errc::no_such_file_or_directory);
  std::filesystem::permissions(script, std::filesystem::perms::owner_read);
  request.program = script;
  EXPECT_EQ(shell.launch(request), std::errc::permission_denied);
}

} // namespace
} // namespace quorvane::update
