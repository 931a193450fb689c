// Process and file helpers, on the fake process table and on real child processes.
#include "threats/process_helpers.h"

#include "platform/fake/fakes.h"
#include "platform/linux/linux_platform.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvane::threats {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ProcessHelpersTest : public ::testing::Test {
protected:
  platform::fake::FakePlatform fake;
  platform::Platform& p = fake.platform;
};

TEST_F(ProcessHelpersTest, KillByNameMatchesWholeNamesIgnoringCase) {
  fake.processes.add(10, "/usr/sbin/svchost.exe");
  fake.processes.add(11, "/opt/a/host.exe");
  fake.processes.add(12, "/opt/b/HOST.EXE");
  EXPECT_FALSE(killProcessesByName(p, ""));
  EXPECT_TRUE(killProcessesByName(p, "host.exe"));
  EXPECT_THAT(fake.processes.terminated, ElementsAre(11, 12)); // every instance, not svchost
  EXPECT_FALSE(killProcessesByName(p, "nothing.exe"));
}

TEST_F(ProcessHelpersTest, KillByNameWithAFileSparesOtherProgramsOfThatName) {
  fake.files.put("/tmp/dl/bash", "x");
  fake.processes.add(20, "/usr/bin/bash");
  fake.processes.add(21, "/tmp/dl/bash");
  EXPECT_TRUE(killProcessesByName(p, "bash", "/tmp/dl/bash"));
  EXPECT_THAT(fake.processes.terminated, ElementsAre(21));
}

TEST_F(ProcessHelpersTest, KillByNameWithAFileComparesIdentityOverPath) {
  // A link elsewhere to the running file is the same file; a file replaced under the same path
  // is not.
  fake.files.put("/opt/tool", "x");
  auto identity = *fake.files.status("/opt/tool");
  fake.processes.add(50, "/usr/local/bin/tool"); // started through a link
  fake.processes.programs[50] = identity;
  fake.processes.add(51, "/opt/tool");
  fake.processes.programs[51] = identity;
  fake.processes.programs[51].inode += 1000; // the old file, since replaced
  EXPECT_TRUE(killProcessesByName(p, "tool", "/opt/tool"));
  EXPECT_THAT(fake.processes.terminated, ElementsAre(50));
}

TEST_F(ProcessHelpersTest, FindersReturnTheFirstMatchOrZero) {
  fake.processes.add(30, "/bin/Tool");
  fake.processes.add(31, "/usr/bin/tool");
  EXPECT_EQ(findProcessId(p, "tool"), 30u);
  EXPECT_EQ(getProcessIdByName(p, "TOOL"), 30u);
  EXPECT_EQ(getProcessIdByName(p, "none"), 0u);
  EXPECT_TRUE(killProcess(p, "tool"));
  EXPECT_TRUE(killProcess(p, "none")); // always true
  terminateProcessById(p, 0);          // no process 0 is ever ended
  EXPECT_THAT(fake.processes.terminated, ElementsAre(30));
}

TEST_F(ProcessHelpersTest, ModulesOfEveryProcessProgramFirst) {
  fake.processes.add(40, "/bin/a");
  fake.processes.add(41, "/bin/b");
  fake.processes.moduleLists[40] = {"/lib/libc.so.6", " "};
  std::vector<std::string> modules{"stale"};
  EXPECT_EQ(listProcessModules(p, modules), 2);
  EXPECT_THAT(modules, ElementsAre("/bin/a", "/lib/libc.so.6", "/bin/b"));
}

TEST_F(ProcessHelpersTest, FileExistsAndDelete) {
  fake.files.put("/data/empty", "");
  fake.files.createDirectory("/data");
  EXPECT_TRUE(fileExists(p, "/data/empty")); // length 0 still exists
  EXPECT_FALSE(fileExists(p, "/data/none"));
  EXPECT_FALSE(fileExists(p, "/data")); // a folder is not a file
  auto identity = confirmCheckedFile(p, "/data/empty", {});
  ASSERT_TRUE(identity);
  EXPECT_FALSE(deleteCheckedFile(p, "/data/empty", *identity));
  EXPECT_FALSE(fileExists(p, "/data/empty"));
  EXPECT_TRUE(deleteCheckedFile(p, "/data/none", *identity)); // an error, not a crash
}

TEST_F(ProcessHelpersTest, OnlyTheFileThatWasCheckedIsConfirmedAndDeleted) {
  fake.files.createDirectory("/data");
  fake.files.put("/data/threat.exe", "threat");
  auto checked = fake.files.status("/data/threat.exe")->identity();
  // Without an identity, the content must still be the threat's.
  EXPECT_EQ(confirmCheckedFile(p, "/data/threat.exe", {}, "58E95539B680D49A50EF898E56A5BBB0"),
            checked);
  EXPECT_FALSE(confirmCheckedFile(p, "/data/threat.exe", {}, "a7c5b6c6c5ab6a2b67b05d5a7a4d3b08"));
  // A new file at the same path (same name, same content) is not the file that was checked.
  fake.files.put("/data/threat.exe", "threat");
  EXPECT_FALSE(confirmCheckedFile(p, "/data/threat.exe", checked));
  EXPECT_EQ(deleteCheckedFile(p, "/data/threat.exe", checked),
            make_error_code(platform::FileError::Changed));
  EXPECT_TRUE(fileExists(p, "/data/threat.exe"));
}

TEST(ParseProcMapsTest, FileBackedMappingsOnceInOrder) {
  const char* maps =
      "55d0c0a00000-55d0c0a02000 r--p 00000000 fd:01 1234   /usr/bin/sleep\n"
      "55d0c0a02000-55d0c0a06000 r-xp 00002000 fd:01 1234   /usr/bin/sleep\n"
      "55d0c1e3c000-55d0c1e5d000 rw-p 00000000 00:00 0      [heap]\n"
      "7f1a2b000000-7f1a2b022000 r--p 00000000 fd:01 5678   /usr/lib/x86_64-linux-gnu/libc.so.6\n"
      "7f1a2b300000-7f1a2b301000 rw-p 00000000 00:00 0 \n"
      "7f1a2b400000-7f1a2b401000 r--p 00000000 fd:01 91     /tmp/my lib.so (deleted)\n"
      "7ffd5a1f0000-7ffd5a211000 rw-p 00000000 00:00 0      [stack]\n";
  using platform::MappedFile;
  EXPECT_THAT(platform::parseProcMaps(maps),
              ElementsAre(MappedFile{"/usr/bin/sleep", "55d0c0a00000-55d0c0a02000", false},
                          MappedFile{"/usr/lib/x86_64-linux-gnu/libc.so.6",
                                     "7f1a2b000000-7f1a2b022000", false},
                          MappedFile{"/tmp/my lib.so", "7f1a2b400000-7f1a2b401000", true}));
  EXPECT_THAT(platform::parseProcMaps(""), IsEmpty());
  // A first field that is not "start-end" in hexadecimal is no mapping: its link name would
  // lead out of map_files.
  EXPECT_THAT(platform::parseProcMaps("../../1-2 r--p 0 fd:01 9 /tmp/a (deleted)\n"
                                      "1-2-3 r--p 0 fd:01 9 /tmp/b\n-2 r--p 0 fd:01 9 /tmp/c\n"),
              IsEmpty());
}

using testing::SleepingChild;
using testing::sleepProgram;

TEST(LinuxProcessesTest, FilesDeletedAfterLoadingAreReadThroughTheKernelsLinks) {
  // A program and a library of its own, both deleted once the child has loaded them.
  testing::TempDir dir;
  std::string program = dir / "qv-unlinked";
  std::string library = dir / "libqv-unlinked.so";
  std::filesystem::copy_file(sleepProgram(), program);
  std::filesystem::copy_file("/lib/x86_64-linux-gnu/libutil.so.1", library);
  std::string libraryContent = dir.read("libqv-unlinked.so");
  ::setenv("LD_PRELOAD", library.c_str(), 1); // for the child only
  SleepingChild child(program);
  ::unsetenv("LD_PRELOAD");
  child.waitForExec(program);
  std::filesystem::remove(program);
  std::filesystem::remove(library);

  platform::LinuxProcesses processes;
  platform::LinuxFileSystem files;
  auto pid = static_cast<platform::ProcessId>(child.pid());
  std::string base = "/proc/" + std::to_string(child.pid());
  auto info = processes.info(pid);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->programFile, program);
  EXPECT_EQ(info->deletedProgram, base + "/exe");
  auto modules = processes.modules(pid);
  ASSERT_TRUE(modules);
  EXPECT_EQ(modules->front(), base + "/exe");
  EXPECT_EQ(files.canonicalPath(modules->front()).valueOr(""), program + " (deleted)");
  std::string mapped;
  for (const std::string& module : *modules)
    if (module.rfind(base + "/map_files/", 0) == 0)
      mapped = module;
  ASSERT_FALSE(mapped.empty()) << "the deleted library is named by its map_files link";
  EXPECT_EQ(files.canonicalPath(mapped).valueOr(""), library + " (deleted)");
  auto input = files.openRead(mapped);
  ASSERT_TRUE(input);
  EXPECT_EQ((*input)->status().size, libraryContent.size());
}

TEST(LinuxProcessesTest, ListsModulesAndEndsOurOwnChild) {
  testing::TempDir dir;
  std::string program = dir / "qv-test-sleeper";
  std::filesystem::copy_file(sleepProgram(), program);
  SleepingChild child(program);
  ASSERT_GT(child.pid(), 0);
  child.waitForExec(program);

  platform::LinuxProcesses processes;
  bool listed = false;
  for (const platform::ProcessInfo& info : processes.list())
    if (info.pid == static_cast<platform::ProcessId>(child.pid())) {
      listed = true;
      EXPECT_EQ(info.imageName, "qv-test-sleeper");
      EXPECT_EQ(info.programFile, program);
    }
  EXPECT_TRUE(listed);
  auto modules = processes.modules(static_cast<platform::ProcessId>(child.pid()));
  ASSERT_TRUE(modules);
  EXPECT_EQ(modules->front(), program);
  EXPECT_GT(modules->size(), 1u); // the C library at least
  EXPECT_FALSE(processes.modules(0));
  auto identity = processes.programStatus(static_cast<platform::ProcessId>(child.pid()));
  ASSERT_TRUE(identity);
  EXPECT_TRUE(identity->sameVersionAs(*platform::LinuxFileSystem().status(program)));

  ASSERT_FALSE(processes.terminate(static_cast<platform::ProcessId>(child.pid())));
  EXPECT_TRUE(child.ended());
}

TEST(LinuxProcessesTest, ThreatFileEndsOnlyItsOwnProcess) {
  // Two children run two different files of the same name; the detected one alone ends.
  testing::TempDir dir;
  std::filesystem::create_directories(dir / "downloads");
  std::filesystem::create_directories(dir / "bin");
  std::string threat = dir / "downloads/qv-sleeper";
  std::string innocent = dir / "bin/qv-sleeper";
  std::filesystem::copy_file(sleepProgram(), threat);
  std::filesystem::copy_file(sleepProgram(), innocent);
  SleepingChild threatChild(threat), innocentChild(innocent);
  threatChild.waitForExec(threat);
  innocentChild.waitForExec(innocent);

  platform::fake::FakePlatform fake;
  platform::LinuxProcesses processes;
  platform::LinuxFileSystem files;
  platform::Platform p{fake.registry, files,        fake.clock, fake.environment,
                       fake.crypto,   fake.notifier, processes, fake.power,
                       fake.http,     fake.shell,    fake.drives,
                       fake.integration};
  EXPECT_TRUE(killProcessesByName(p, "qv-sleeper", threat));
  EXPECT_TRUE(threatChild.ended());
  EXPECT_TRUE(innocentChild.running());
}

} // namespace
} // namespace quorvane::threats
