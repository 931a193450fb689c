// Where the application folder is.
#include "app/appfolder.h"

#include "platform/fake/fakes.h"

#include <gtest/gtest.h>

#include <functional>

namespace quorvane::app {
namespace {

class AppFolderTest : public ::testing::Test {
protected:
  platform::fake::FakeEnvironment env;
  platform::fake::MemoryFileSystem files;
  void SetUp() override {
    env.executable = "/opt/quorvane/bin/quorvane";
    env.cwd = "/home/alice";
    env.variables["HOME"] = "/home/alice";
    for (const char* folder : {"/opt", "/opt/quorvane", "/opt/quorvane/bin", "/home", "/home/alice"})
      files.createDirectory(folder);
  }
  AppFolderChoice choose(std::optional<std::string> given = std::nullopt) {
    return chooseAppFolder(given, env, files);
  }
};

TEST_F(AppFolderTest, CommandLineThenVariableThenPortableThenPerUser) {
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::optional<std::string> given;
    std::string folder;
    AppFolderSource source;
  } cases[] = {
      {"an installed program: the user's data folder", [] {}, std::nullopt,
       "/home/alice/.local/share/quorvane", AppFolderSource::PerUser},
      {"XDG_DATA_HOME", [&] { env.variables["XDG_DATA_HOME"] = "/data/alice"; }, std::nullopt,
       "/data/alice/quorvane", AppFolderSource::PerUser},
      {"a relative XDG_DATA_HOME is ignored", [&] { env.variables["XDG_DATA_HOME"] = "rel"; },
       std::nullopt, "/home/alice/.local/share/quorvane", AppFolderSource::PerUser},
      {"a program folder holding vir.sig that cannot be written: still per user",
       [&] {
         files.put("/opt/quorvane/bin/vir.sig", "");
         files.readOnly.insert("/opt/quorvane/bin");
       },
       std::nullopt, "/home/alice/.local/share/quorvane", AppFolderSource::PerUser},
      {"a portable folder: vir.sig and writable",
       [&] { files.put("/opt/quorvane/bin/vir.sig", ""); }, std::nullopt, "/opt/quorvane/bin",
       AppFolderSource::Portable},
      {"QUORVANE_HOME", [&] { env.variables["QUORVANE_HOME"] = "/srv/qv/"; }, std::nullopt,
       "/srv/qv", AppFolderSource::Variable},
      {"an empty QUORVANE_HOME counts as none", [&] { env.variables["QUORVANE_HOME"] = ""; },
       std::nullopt, "/home/alice/.local/share/quorvane", AppFolderSource::PerUser},
      {"--home, relative", [&] { env.variables["QUORVANE_HOME"] = "/srv/qv"; },
       std::string("data"), "/home/alice/data", AppFolderSource::CommandLine},
      {"--home, absolute", [] {}, std::string("/abs"), "/abs", AppFolderSource::CommandLine},
      {"no HOME, nothing else: none", [&] { env.variables.erase("HOME"); }, std::nullopt, "",
       AppFolderSource::PerUser},
      {"a data folder the system names comes before the variables",
       [&] {
         env.dataFolder = "/appdata/alice";
         env.variables["XDG_DATA_HOME"] = "/data/alice";
       },
       std::nullopt, "/appdata/alice/quorvane", AppFolderSource::PerUser},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    env.variables = {{"HOME", "/home/alice"}};
    env.dataFolder.reset();
    files.readOnly.clear();
    files.removeFile("/opt/quorvane/bin/vir.sig");
    c.arrange();
    AppFolderChoice choice = choose(c.given);
    EXPECT_EQ(choice.folder, c.folder);
    EXPECT_EQ(choice.source, c.source);
  }
}

TEST_F(AppFolderTest, ANewFolderIsPrivateAndSeededWithoutOverwriting) {
  files.createDirectory("/opt/quorvane/share");
  files.createDirectory("/opt/quorvane/share/quorvane");
  files.createDirectory("/opt/quorvane/share/quorvane/lang");
  files.put("/opt/quorvane/share/quorvane/vir.sig", "shipped");
  files.put("/opt/quorvane/share/quorvane/lang/english.ini", "[001]");
  files.createDirectory("/opt/quorvane/share/quorvane/keys");
  files.put("/opt/quorvane/share/quorvane/keys/publisher.pub", "PUBLIC KEY");
  AppFolderChoice choice = choose();
  EXPECT_EQ(choice.dataFolder, "/opt/quorvane/share/quorvane");
  ASSERT_FALSE(prepareAppFolder(choice, files));
  EXPECT_EQ(files.content("/home/alice/.local/share/quorvane/vir.sig"), "shipped");
  EXPECT_EQ(files.content("/home/alice/.local/share/quorvane/lang/english.ini"), "[001]");
  // The publisher's keys: from here on, updates must be signed by them.
  EXPECT_EQ(files.content("/home/alice/.local/share/quorvane/keys/publisher.pub"), "PUBLIC KEY");

  // An updated vir.sig and a user's own language file stay as they are.
  files.put("/home/alice/.local/share/quorvane/vir.sig", "updated");
  files.put("/home/alice/.local/share/quorvane/lang/english.ini", "mine");
  files.put("/opt/quorvane/share/quorvane/lang/french.ini", "[001]");
  ASSERT_FALSE(prepareAppFolder(choice, files));
  EXPECT_EQ(files.content("/home/alice/.local/share/quorvane/vir.sig"), "updated");
  EXPECT_EQ(files.content("/home/alice/.local/share/quorvane/lang/english.ini"), "mine");
  EXPECT_EQ(files.content("/home/alice/.local/share/quorvane/lang/french.ini"), "[001]");
}

TEST(StaleTemporariesTest, OnlyTemporariesOfProcessesThatAreGoneAreRemoved) {
  platform::fake::FakePlatform fake;
  fake.files.createDirectory("/app");
  fake.processes.add(4242, "/usr/bin/quorvane");
  for (const char* name : {"vir.sig.tmp-99999", "qrntfiles.sig.tmp-4242", "notes.tmp-abc", "vir.sig",
                           ".tmp-1"})
    fake.files.put(std::string("/app/") + name, "x");
  EXPECT_EQ(removeStaleTemporaries(fake.platform, "/app"), 1);
  EXPECT_FALSE(fake.files.exists("/app/vir.sig.tmp-99999"));
  for (const char* kept : {"qrntfiles.sig.tmp-4242", "notes.tmp-abc", "vir.sig", ".tmp-1"})
    EXPECT_TRUE(fake.files.exists(std::string("/app/") + kept)) << kept;
}

TEST(PathTextTest, PathsAreMadeAbsoluteAndNormalized) {
  EXPECT_EQ(absolutePath(".", "/home/a"), "/home/a");
  EXPECT_EQ(absolutePath("./x/../y//z/", "/home/a"), "/home/a/y/z");
  EXPECT_EQ(absolutePath("../../../..", "/home/a"), "/");
  EXPECT_EQ(absolutePath("/abs/./p", "/home/a"), "/abs/p");
  EXPECT_EQ(absolutePath("", "/home/a"), "");
}

TEST(PathTextTest, TheFolderOfAPathKeepsItsRoot) {
  EXPECT_EQ(folderOf("/opt/q/quorvane"), "/opt/q");
  EXPECT_EQ(folderOf("/quorvane"), "/");
  EXPECT_EQ(folderOf("quorvane"), "");
#ifdef _WIN32
  // The program's own path as Windows gives it.
  EXPECT_EQ(folderOf("C:\\Program Files\\Quorvane\\quorvane.exe"), "C:\\Program Files\\Quorvane");
  EXPECT_EQ(folderOf("C:\\quorvane.exe"), "C:\\");
  EXPECT_EQ(folderOf("\\\\server\\share\\q.exe"), "\\\\server\\share\\");
#endif
}

} // namespace
} // namespace quorvane::app
