// The blocking guard on the kernel's own exec gate, guarding only a folder of the test's: listed
// programs there cannot start, others can, and nothing is held once the guard stops. Needs
// root (CAP_SYS_ADMIN); skipped otherwise.
#include "protect/exec_blocker.h"

#include "app/text.h"
#include "engine/datafiles.h"
#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "platform/exec_gate.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane::protect {
namespace {

using quorvane::testing::TempDir;

class ExecGateLinuxTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (geteuid() != 0)
      GTEST_SKIP() << "the exec gate needs root";
    std::filesystem::create_directories(dir / "home");
    std::filesystem::create_directories(dir / "guarded");
    platform::ExecGateOptions options;
    options.folders = {dir / "guarded"};
    auto opened = platform::openExecGate(options);
    if (!opened)
      GTEST_SKIP() << "no exec gate here: " << opened.error().message();
    gate = std::move(*opened);
    system = std::make_unique<platform::SystemPlatform>(dir / "home");
    signatures = std::make_unique<engine::SignatureDatabase>(system->get().files,
                                                             dir / "home/vir.sig");
  }
  void TearDown() override {
    if (blocker)
      blocker->stop();
  }

  /// A copy of `touch` in the guarded folder, made unique by `extra` trailing bytes.
  std::string program(const std::string& name, const std::string& extra) {
    return testing::copyProgram("touch", dir / ("guarded/" + name), extra);
  }
  std::string digestOf(const std::string& path) {
    return app::toLower(engine::digestText(*engine::hashFile(system->get(), path)));
  }
  /// Lists these files in vir.sig and starts the guard (or has it take up the new table).
  void list(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths)
      text += engine::fileKeyText(app::toUpper(digestOf(path)), std::filesystem::file_size(path)) +
              "\r\n";
    std::ofstream(dir / "home/vir.sig", std::ios::binary) << text;
    signatures->loadSignatureTable();
    if (!blocker) {
      blocker = std::make_unique<ExecBlocker>(system->get(), *gate, dir / "home", *signatures);
      blocker->start();
    }
  }
  bool exists(const std::string& name) { return std::filesystem::exists(dir / name); }

  TempDir dir;
  std::unique_ptr<platform::ExecGate> gate;
  std::unique_ptr<platform::SystemPlatform> system;
  std::unique_ptr<engine::SignatureDatabase> signatures;
  std::unique_ptr<ExecBlocker> blocker;
};

TEST_F(ExecGateLinuxTest, EveryListedCopyIsRefusedBeforeItRunsAndOthersRun) {
  std::vector<std::string> listed;
  for (int i = 0; i < 100; ++i)
    listed.push_back(program("listed-" + std::to_string(i), std::string(1 + i, 'x')));
  std::string harmless = program("harmless", "harmless");
  list(listed);

  for (int i = 0; i < 100; ++i) {
    std::string marker = dir / ("marker-" + std::to_string(i));
    EXPECT_EQ(testing::runToEnd(listed[static_cast<std::size_t>(i)], marker), EPERM) << "try " << i;
    EXPECT_FALSE(std::filesystem::exists(marker)) << "try " << i;
  }
  EXPECT_EQ(testing::runToEnd(harmless, dir / "marker-harmless"), 0);
  EXPECT_TRUE(exists("marker-harmless"));

  std::vector<threats::AlertRecord> reported = blocker->reportRefused();
  ASSERT_EQ(reported.size(), 100u);
  EXPECT_EQ(reported[0].text(), "listed-0|" + digestOf(listed[0]) + "|" + listed[0] + "|0");
}

TEST_F(ExecGateLinuxTest, AListedProgramMadeSafeRuns) {
  std::string tool = program("tool", "v1");
  list({tool});
  EXPECT_EQ(testing::runToEnd(tool, dir / "marker"), EPERM);
  engine::appendSafeRecord(system->get().files, dir / "home/safe.sig", {digestOf(tool)});
  EXPECT_EQ(testing::runToEnd(tool, dir / "marker"), 0);
  EXPECT_TRUE(exists("marker"));
}

TEST_F(ExecGateLinuxTest, AFileChangedAfterItsVerdictIsCheckedAgain) {
  std::string tool = program("tool", "harmless");
  // Listed bytes of the same length: only the file's status-change time tells the versions apart.
  std::string evil = dir / "evil-bytes";
  std::filesystem::copy_file(tool, evil);
  std::fstream(evil, std::ios::binary | std::ios::in | std::ios::out).seekp(-1, std::ios::end) << "!";
  list({evil});
  EXPECT_EQ(testing::runToEnd(tool, dir / "marker-1"), 0); // allowed, and the verdict kept

  // The same file rewritten in place with the listed bytes, its modification time set back.
  struct stat before{};
  ASSERT_EQ(stat(tool.c_str(), &before), 0);
  std::filesystem::copy_file(evil, tool, std::filesystem::copy_options::overwrite_existing);
  struct timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, tool.c_str(), times, 0), 0);
  struct stat after{};
  ASSERT_EQ(stat(tool.c_str(), &after), 0);
  ASSERT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(testing::runToEnd(tool, dir / "marker-2"), EPERM);
  EXPECT_FALSE(exists("marker-2"));
}

TEST_F(ExecGateLinuxTest, StoppingTheGuardLetsEveryProgramRun) {
  std::string tool = program("tool", "v1");
  list({tool});
  EXPECT_EQ(testing::runToEnd(tool, dir / "marker"), EPERM);
  blocker->stop();
  blocker.reset();
  gate.reset();
  EXPECT_EQ(testing::runToEnd(tool, dir / "marker"), 0);
  EXPECT_TRUE(exists("marker"));
}

} // namespace
} // namespace quorvane::protect
