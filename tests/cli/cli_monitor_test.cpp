// `quorvane monitor` against real processes the test starts itself.
#include "support/child_process.h"
#include "support/run_cli.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>

namespace quorvane::testing {
namespace {

using ::testing::HasSubstr;

/// The monitor as a child process, its output in a file.
class MonitorProcess {
public:
  /// `extra` arguments follow `monitor --no-drives`; a `user` other than 0 runs it as that user.
  MonitorProcess(const std::string& home, const std::string& output,
                 std::vector<std::string> extra = {}, uid_t user = 0) {
    std::vector<std::string> words = {QUORVANE_BIN, "--home", home, "monitor", "--no-drives"};
    words.insert(words.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& word : words)
      argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      dup2(out, 1);
      dup2(out, 2);
      if (user != 0 && (setgid(user) != 0 || setuid(user) != 0))
        _exit(126);
      execv(QUORVANE_BIN, argv.data());
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

// The whole machine guarded for a moment: every mounted file system asks the monitor before a
// program starts.
TEST(CliMonitorTest, BlockRefusesAListedProgramOnEveryFileSystemUntilStopped) {
  if (geteuid() != 0)
    GTEST_SKIP() << "blocking needs root";
  TempDir dir;
  std::filesystem::create_directories(dir / "home");
  std::string listed = copyProgram("touch", dir / "qv-listed", "listed");
  std::string other = copyProgram("touch", dir / "qv-other", "other");
  ASSERT_EQ(runCli({"--home", dir / "home", "sig", "add", listed}).status, 0);

  MonitorProcess monitor(dir / "home", dir / "monitor.log",
                         {"--block", "--state-file", dir / "guard.state"});
  ASSERT_TRUE(waitFor([&] { return dir.read("monitor.log").find("Guard mode:") != std::string::npos; }))
      << dir.read("monitor.log");
  if (dir.read("monitor.log").find("blocking is off") != std::string::npos)
    GTEST_SKIP() << dir.read("monitor.log");
  EXPECT_THAT(dir.read("monitor.log"), HasSubstr("Guard mode: blocking: listed programs are refused"));
  EXPECT_THAT(dir.read("guard.state"), HasSubstr("mode=blocking\n"));

  EXPECT_EQ(runToEnd(listed, dir / "marker-listed"), EPERM);
  EXPECT_FALSE(std::filesystem::exists(dir / "marker-listed"));
  EXPECT_EQ(runToEnd(other, dir / "marker-other"), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "marker-other"));
  ASSERT_TRUE(waitFor([&] { return dir.read("monitor.log").find("Threat Found:") != std::string::npos; }));
  EXPECT_THAT(dir.read("monitor.log"), HasSubstr("Threat Found: qv-listed|"));
  EXPECT_THAT(dir.read("monitor.log"), HasSubstr("|" + listed + "|0"));
  EXPECT_THAT(runCli({"--home", dir / "home", "history"}).out, HasSubstr(listed));

  EXPECT_EQ(monitor.stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "guard.state"));
  EXPECT_EQ(runToEnd(listed, dir / "marker-listed"), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "marker-listed"));
}

/// A tmpfs mounted on a folder of the test's, unmounted when this goes.
class TemporaryMount {
public:
  explicit TemporaryMount(std::string point) : point_(std::move(point)) {
    std::filesystem::create_directories(point_);
    mounted_ = mount("qv-test", point_.c_str(), "tmpfs", 0, "size=8m") == 0;
  }
  ~TemporaryMount() {
    if (mounted_)
      umount2(point_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

private:
  std::string point_;
  bool mounted_ = false;
};

TEST(CliMonitorTest, BlockCoversAFileSystemMountedWhileItRuns) {
  if (geteuid() != 0)
    GTEST_SKIP() << "blocking needs root";
  TempDir dir;
  std::filesystem::create_directories(dir / "home");
  std::string listed = copyProgram("touch", dir / "qv-listed", "listed on a new mount");
  ASSERT_EQ(runCli({"--home", dir / "home", "sig", "add", listed}).status, 0);
  MonitorProcess monitor(dir / "home", dir / "monitor.log", {"--block"});
  ASSERT_TRUE(waitFor([&] { return dir.read("monitor.log").find("Guard mode:") != std::string::npos; }))
      << dir.read("monitor.log");
  if (dir.read("monitor.log").find("blocking is off") != std::string::npos)
    GTEST_SKIP() << dir.read("monitor.log");

  TemporaryMount mounted(dir / "stick");
  if (!mounted.mounted())
    GTEST_SKIP() << "cannot mount a tmpfs here";
  std::filesystem::copy_file(listed, dir / "stick/qv-listed");
  std::filesystem::permissions(dir / "stick/qv-listed", std::filesystem::perms::owner_all);
  // The guard looks for new mounts every second; until then the program may still start.
  bool refused = waitFor([&] { return runToEnd(dir / "stick/qv-listed", dir / "marker") == EPERM; });
  EXPECT_TRUE(refused) << dir.read("monitor.log");
  EXPECT_EQ(monitor.stop(), 0);
}

TEST(CliMonitorTest, BlockWithoutThePrivilegeFallsBackToCheckingAfterTheStart) {
  if (geteuid() != 0)
    GTEST_SKIP() << "the test drops root to show the fallback";
  TempDir dir;
  std::filesystem::create_directories(dir / "home");
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  std::filesystem::permissions(dir / "home", std::filesystem::perms::all);
  constexpr uid_t kNobody = 65534;
  MonitorProcess monitor(dir / "home", dir / "monitor.log", {"--block"}, kNobody);
  if (!waitFor([&] { return dir.read("monitor.log").find("Guard mode:") != std::string::npos; })) {
    if (int code = monitor.stop(); code == 126 || code == 127)
      GTEST_SKIP() << "the unprivileged user cannot run " << QUORVANE_BIN << " from here";
    FAIL() << dir.read("monitor.log");
  }
  EXPECT_THAT(dir.read("monitor.log"),
              HasSubstr("Guard mode: polling: programs are checked after they start (blocking is "
                        "off: it needs root (CAP_SYS_ADMIN))"));
  EXPECT_EQ(monitor.stop(), 0);
}

} // namespace
} // namespace quorvane::testing
