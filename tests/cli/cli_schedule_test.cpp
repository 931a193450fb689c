#include "support/run_cli.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace quorvane::testing {
namespace {

using ::testing::HasSubstr;

TEST(CliScheduleTest, StoresAndPrintsTheSchedule) {
  TempDir home;
  CliResult stored = runCli({"--home", home.path(), "schedule", "--hour", "7", "--minute", "5",
                             "--days", "mon,Fri", "--mode", "smart", "--shutdown", "on"});
  ASSERT_EQ(stored.status, 0) << stored.err;
  EXPECT_EQ(stored.out, "time: 07:05\ndays: mon,fri\nmode: smart\nshutdown: on\nperiod: once\n");
  CliResult settings = runCli({"--home", home.path(), "settings"});
  for (const char* line : {"starthour=7", "startmin=5", "everyweek_mon=1", "everyweek_fri=1",
                           "everyweek_tue=0", "everyweek_all=0", "scanmode=2", "shutdown=1"})
    EXPECT_THAT(settings.out, HasSubstr(line));
  EXPECT_EQ(runCli({"--home", home.path(), "schedule", "--days", "all"}).out,
            "time: 07:05\ndays: all\nmode: smart\nshutdown: on\nperiod: once\n");
  for (std::vector<std::string> bad : {std::vector<std::string>{"--hour", "24"},
                                       {"--minute", "x"},
                                       {"--days", "mon,funday"},
                                       {"--mode", "deep"}}) {
    bad.insert(bad.begin(), {"--home", home.path(), "schedule"});
    EXPECT_EQ(runCli(bad).status, 2) << bad[3];
  }
  EXPECT_THAT(runCli({"--home", home.path(), "schedule"}).out, HasSubstr("days: all"));
}

TEST(CliIntegrateTest, SwitchesWriteTheSessionFilesAndTheRegistry) {
  TempDir dir;
  std::vector<std::string> env = {"XDG_CONFIG_HOME=" + dir / "config",
                                  "XDG_DATA_HOME=" + dir / "data"};
  CliResult on =
      runCli({"--home", dir / "home", "integrate", "--startup", "on", "--context-menu", "on"}, "",
             "", env);
  ASSERT_EQ(on.status, 0) << on.err;
  EXPECT_EQ(on.out, "startup: on\ncontext-menu: on\n");
  EXPECT_THAT(dir.read("config/autostart/quorvane-anti-malware.desktop"), HasSubstr("quorvaneam s\n"));
  EXPECT_THAT(dir.read("data/applications/scan-with-quorvane-antimalware.desktop"),
              HasSubstr("MimeType=inode/directory;"));
  CliResult run = runCli({"--home", dir / "home", "reg", "query",
                          "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"});
  EXPECT_THAT(run.out, HasSubstr("quorvaneam s"));

  CliResult off =
      runCli({"--home", dir / "home", "integrate", "--startup", "off", "--context-menu", "off"}, "",
             "", env);
  EXPECT_EQ(off.out, "startup: off\ncontext-menu: off\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "config/autostart/quorvane-anti-malware.desktop"));

  dir.write("blocked", "a file, not a folder");
  CliResult blocked = runCli({"--home", dir / "home", "integrate", "--startup", "on"}, "", "",
                             {"XDG_CONFIG_HOME=" + dir / "blocked"});
  EXPECT_EQ(blocked.status, 2);
  EXPECT_THAT(blocked.err, HasSubstr("start with the session"));
  EXPECT_THAT(blocked.out, HasSubstr("startup: off"));
}

TEST(CliRestoreDefaultsTest, PrintsTheFinalMessage) {
  TempDir home;
  ASSERT_EQ(runCli({"--home", home.path(), "reg", "add",
                    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", "/v",
                    "DisableTaskMgr", "/t", "REG_DWORD", "/d", "1", "/f"})
                .status,
            0);
  CliResult result = runCli({"--home", home.path(), "restore-defaults"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Finished restoring your system default settings\n");
  EXPECT_NE(runCli({"--home", home.path(), "reg", "query",
                    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", "/v",
                    "DisableTaskMgr"})
                .status,
            0);
}

} // namespace
} // namespace quorvane::testing
