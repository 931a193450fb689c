// `quorvane monitor` against real processes the test starts itself.
#include "support/child_process.h"
#include "support/run_cli.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <thread>

namespace quorvane::testing {
namespace {

using ::testing::HasSubstr;

/// The monitor as a child process, its output in a file.
class MonitorProcess {
public:
  MonitorProcess(const std::string& home, const std::string& output) {
    pid_ = fork();
    if (pid_ == 0) {
      int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(out, 1);
      dup2(out, 2);
      execl(QUORVANE_BIN, QUORVANE_BIN, "--home", home.c_str(), "monitor", "--no-drives",
            static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~MonitorProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL); // our own child only
      waitpid(pid_, nullptr, 0);
    }
  }
  /// Asks it to stop and returns its exit status.
  int stop() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

private:
  pid_t pid_ = -1;
};

bool waitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(CliMonitorTest, EndsAPlantedThreatAndSparesItsNamesake) {
  TempDir dir;
  std::string threat = dir / "downloads/qv-guarded";
  std::string innocent = dir / "bin/qv-guarded";
  std::filesystem::create_directories(dir / "downloads");
  std::filesystem::create_directories(dir / "bin");
  copySleep(threat, "planted threat");
  copySleep(innocent, "an innocent program");
  std::filesystem::create_directories(dir / "home");
  ASSERT_EQ(runCli({"--home", dir / "home", "sig", "add", threat}).status, 0);

  MonitorProcess monitor(dir / "home", dir / "monitor.log");
  ASSERT_TRUE(waitFor([&] { return dir.read("monitor.log").find("Monitoring:") != std::string::npos; }))
      << dir.read("monitor.log");
  SleepingChild innocentChild(innocent);
  SleepingChild threatChild(threat);
  EXPECT_TRUE(threatChild.ended());
  ASSERT_TRUE(waitFor([&] { return dir.read("monitor.log").find("Threat Found:") != std::string::npos; }));
  EXPECT_TRUE(innocentChild.running());
  EXPECT_THAT(dir.read("monitor.log"), HasSubstr("Threat Found: qv-guarded|"));
  EXPECT_THAT(dir.read("monitor.log"), HasSubstr("|" + threat + "|"));
  EXPECT_EQ(monitor.stop(), 0);
  EXPECT_THAT(dir.read("monitor.log"), HasSubstr("Monitoring stopped"));
  CliResult history = runCli({"--home", dir / "home", "history"});
  EXPECT_THAT(history.out, HasSubstr(threat));
}

TEST(CliMonitorTest, EndsAThreatWhoseProgramWasDeletedAfterItStarted) {
  TempDir dir;
  std::string threat = dir / "tmp/qv-unlinked";
  std::filesystem::create_directories(dir / "tmp");
  copySleep(threat, "run and unlinked");
  std::filesystem::create_directories(dir / "home");
  ASSERT_EQ(runCli({"--home", dir / "home", "sig", "add", threat}).status, 0);
  SleepingChild threatChild(threat);
  threatChild.waitForExec(threat);
  std::filesystem::remove(threat);

  MonitorProcess monitor(dir / "home", dir / "monitor.log");
  EXPECT_TRUE(threatChild.ended());
  ASSERT_TRUE(waitFor([&] {
    return dir.read("monitor.log").find("Threat Found:") != std::string::npos;
  })) << dir.read("monitor.log");
  EXPECT_THAT(dir.read("monitor.log"), HasSubstr("|" + threat + " (deleted)|"));
  EXPECT_EQ(monitor.stop(), 0);
}

} // namespace
} // namespace quorvane::testing
