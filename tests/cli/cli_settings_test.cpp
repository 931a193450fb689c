// `quorvane settings`: list, read and store settings; the application folder options.
#include "support/run_cli.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace quorvane::testing {
namespace {

using ::testing::HasSubstr;

TEST(CliSettingsTest, StoreReadAndList) {
  TempDir home;
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--home", home.path(), "settings"});
    return runCli(args);
  };
  EXPECT_EQ(run({}).out, "");
  EXPECT_EQ(run({"threatfound"}).out, "\n"); // absent reads as empty
  EXPECT_EQ(run({"threatfound", "2"}).status, 0);
  EXPECT_EQ(run({"language", "english.ini"}).status, 0);
  EXPECT_EQ(run({"threatfound"}).out, "2\n");
  EXPECT_EQ(run({}).out, "threatfound=2\nlanguage=english.ini\n");


  for (const char* read : {"windows folder", "info site", "update server"}) {
    CliResult known = run({read, "x"});
    EXPECT_EQ(known.err, "") << read << " is a setting the program reads";
  }

  CliResult nameless = run({"", "x"});
  EXPECT_EQ(nameless.status, 2);
  EXPECT_THAT(nameless.err, HasSubstr("a setting needs a name"));

  CliResult unknown = run({"thretfound", "1"});
  EXPECT_EQ(unknown.status, 0);
  EXPECT_THAT(unknown.err, HasSubstr("not a setting Quorvane reads"));

  // Settings live in the registry store under the product's key.
  CliResult q = runCli({"--home", home.path(), "reg", "query",
                        "HKLM\\SOFTWARE\\quorvane\\Quorvane Antimalware", "/v", "threatfound"});
  EXPECT_THAT(q.out, HasSubstr("threatfound    REG_SZ    2"));
}

TEST(CliSettingsTest, HomeComesFromTheOptionOrTheVariable) {
  TempDir dir;
  std::string home = dir / "fresh/home"; // made on first use
  EXPECT_EQ(runCli({"--home", home, "settings", "shutdown", "1"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(home + "/registry.db"));
  std::string command = "QUORVANE_HOME=" + shellQuote(home) + " " + shellQuote(QUORVANE_BIN) +
                        " settings shutdown > " + shellQuote(dir / "out");
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(dir.read("out"), "1\n");

  dir.write("file", "x");
  CliResult blocked = runCli({"--home", dir / "file", "settings"});
  EXPECT_EQ(blocked.status, 2);
  EXPECT_THAT(blocked.err, HasSubstr("cannot use the application folder"));
}

TEST(CliSettingsTest, PathsAndVersionTellWhichFolderIsUsedAndWhy) {
  TempDir dir;
  EXPECT_EQ(runCli({"--home", dir / "h", "paths"})
                .out.find("application folder: " + dir / "h" + " (given with --home)\n"),
            0u);
  CliResult variable = runCli({"paths"}, "", "", {"QUORVANE_HOME=" + dir / "v"});
  EXPECT_THAT(variable.out, HasSubstr("application folder: " + dir / "v" + " (from QUORVANE_HOME)"));
  // The build tree's program folder holds vir.sig and may be written: a portable folder.
  CliResult portable = runCli({"paths"});
  EXPECT_THAT(portable.out,
              HasSubstr(std::filesystem::path(QUORVANE_BIN).parent_path().string() +
                        " (the program's own folder, a portable one)"));
  EXPECT_FALSE(std::filesystem::exists(dir / "h")) << "telling creates nothing";
  EXPECT_THAT(runCli({"--version"}).out, HasSubstr("quorvane 0.1.0"));
}

} // namespace
} // namespace quorvane::testing
