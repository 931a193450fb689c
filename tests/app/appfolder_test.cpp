// Where the application folder is.
#include "app/appfolder.h"

#include "platform/fake/fakes.h"

#include <gtest/gtest.h>

namespace quorvane::app {
namespace {

TEST(AppFolderTest, CommandLineThenVariableThenProgramFolder) {
  platform::fake::FakeEnvironment env;
  env.executable = "/opt/quorvane/bin/quorvane";
  env.cwd = "/home/alice";
  EXPECT_EQ(ResolveAppFolder(std::nullopt, env), "/opt/quorvane/bin");
  env.variables["QUORVANE_HOME"] = "/srv/qv/";
  EXPECT_EQ(ResolveAppFolder(std::nullopt, env), "/srv/qv");
  EXPECT_EQ(ResolveAppFolder(std::string("data"), env), "/home/alice/data");
  EXPECT_EQ(ResolveAppFolder(std::string("/abs"), env), "/abs");
  env.variables["QUORVANE_HOME"] = "";
  EXPECT_EQ(ResolveAppFolder(std::nullopt, env), "/opt/quorvane/bin");
}

TEST(AppFolderTest, PathsAreMadeAbsoluteAndNormalized) {
  EXPECT_EQ(AbsolutePath(".", "/home/a"), "/home/a");
  EXPECT_EQ(AbsolutePath("./x/../y//z/", "/home/a"), "/home/a/y/z");
  EXPECT_EQ(AbsolutePath("../../../..", "/home/a"), "/");
  EXPECT_EQ(AbsolutePath("/abs/./p", "/home/a"), "/abs/p");
  EXPECT_EQ(AbsolutePath("", "/home/a"), "");
}

} // namespace
} // namespace quorvane::app
