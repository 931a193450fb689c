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

} // namespace
} // namespace quorvane::app
