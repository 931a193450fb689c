// `quorvane key`: keys of files, errors for missing ones.
#include "support/run_cli.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::testing {
namespace {

using ::testing::HasSubstr;

TEST(CliKeyTest, PrintsKeyDigestAndPathPerFile) {
  TempDir dir;
  dir.write("eicar.com", eicarText());
  dir.write("empty", "");
  CliResult r = runCli({"key", "eicar.com", "empty"}, "", dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "44588612762828736568261278233027.68\t44D88612FEA8A8F36DE82E1278ABB02F\teicar.com\n"
            "54158459870032046980099864784276.0\tD41D8CD98F00B204E9800998ECF8427E\tempty\n");
}

TEST(CliKeyTest, ShippedSignatureFileListsTheEicarKey) {
  TempDir dir;
  dir.write("eicar.com", eicarText());
  CliResult r = runCli({"key", "eicar.com"}, "", dir.path());
  std::string key = r.out.substr(0, r.out.find('\t'));
  std::ifstream shipped(std::string(QUORVANE_DATA_DIR) + "/vir.sig", std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(shipped)), {});
  EXPECT_EQ(content, key + "\r\n");
}

TEST(CliKeyTest, MissingFilesFailButTheOthersStillPrint) {
  TempDir dir;
  dir.write("a", "abc");
  CliResult r = runCli({"key", "missing", "a", "."}, "", dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.out, HasSubstr("900150983CD24FB0D6963F7D28E17F72\ta\n"));
  EXPECT_THAT(r.err, HasSubstr("missing: No such file or directory"));
  EXPECT_THAT(r.err, HasSubstr(".: Is a directory"));
}

TEST(CliKeyTest, OddNamesStayOnOneLine) {
  TempDir dir;
  std::string name = "new\nline\xff.exe";
  dir.write(name, "abc");
  CliResult r = runCli({"key", name}, "", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.out, HasSubstr("\tnew\\nline\\xFF.exe\n"));
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
}

TEST(CliTest, HelpOnEverySubcommand) {
  for (std::vector<std::string> args :
       {std::vector<std::string>{"--help"}, {"key", "--help"}, {"reg", "--help"},
        {"reg", "query", "--help"}, {"settings", "--help"}}) {
    CliResult r = runCli(args);
    EXPECT_EQ(r.status, 0) << args.back();
    EXPECT_THAT(r.out, HasSubstr("Usage")) << args.front();
  }
  EXPECT_EQ(runCli({}).status, 2);
  EXPECT_EQ(runCli({"frobnicate"}).status, 2);
}

} // namespace
} // namespace quorvane::testing
