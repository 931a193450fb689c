#include "support/run_cli.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::testing {
namespace {

using ::testing::HasSubstr;

TEST(CliSigTest, AddBuildVerify) {
  TempDir home, work;
  work.write("eicar.com", eicarText());
  work.write("list.txt", "44D88612FEA8A8F36DE82E1278ABB02F:68:Eicar\r\n"
                         "10000000000000000000000000000000.5\r\n");
  CliResult built = runCli({"sig", "build", "list.txt"}, "", work.path());
  EXPECT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(built.out, "10000000000000000000000000000000.5\r\n"
                       "44588612762828736568261278233027.68\r\n");
  EXPECT_EQ(runCli({"sig", "build", "list.txt", "-o", "vir.sig"}, "", work.path()).status, 0);
  EXPECT_EQ(runCli({"sig", "verify", "vir.sig"}, "", work.path()).out, "2 keys, 0 problems\n");

  work.write("bad.sig", "44588612762828736568261278233027.68\r\n12\r\n");
  CliResult bad = runCli({"sig", "verify", "bad.sig"}, "", work.path());
  EXPECT_EQ(bad.status, 2);
  EXPECT_THAT(bad.out, HasSubstr("bad.sig:2: not a key"));

  // Adding to the application's vir.sig keeps it sorted and free of repeats, and the scan
  // then finds the file.
  home.write("vir.sig", "10000000000000000000000000000000.5\r\n");
  EXPECT_EQ(runCli({"--home", home.path(), "sig", "add", "eicar.com", "eicar.com"}, "", work.path())
                .status,
            0);
  EXPECT_EQ(home.read("vir.sig"), built.out);
  EXPECT_EQ(runCli({"--home", home.path(), "scan", "eicar.com"}, "", work.path()).status, 1);
}

TEST(CliSigTest, BuildNamesEveryBadLine) {
  TempDir work;
  work.write("list.txt", "44D88612FEA8A8F36DE82E1278ABB02F:68\n\nnonsense\n"
                         "44D88612FEA8A8F36DE82E1278ABB02F:x\n");
  CliResult result = runCli({"sig", "build", "list.txt"}, "", work.path());
  EXPECT_EQ(result.status, 2);
  EXPECT_THAT(result.err, HasSubstr("list.txt:3: not a key text"));
  EXPECT_THAT(result.err, HasSubstr("list.txt:4: not a key text"));
}

TEST(CliSigTest, AddLeavesAVirSigWithForeignLinesAlone) {
  TempDir home, work;
  work.write("eicar.com", eicarText());
  home.write("vir.sig", "10000000000000000000000000000000.5\r\nkept by hand\r\n");
  CliResult result = runCli({"--home", home.path(), "sig", "add", "eicar.com"}, "", work.path());
  EXPECT_EQ(result.status, 2);
  EXPECT_THAT(result.err, HasSubstr("vir.sig:2"));
  EXPECT_EQ(home.read("vir.sig"), "10000000000000000000000000000000.5\r\nkept by hand\r\n");
}

TEST(CliSigTest, VerifyReportsOrder) {
  TempDir work;
  work.write("v.sig", "44588612762828736568261278233027.68\r\n10000000000000000000000000000000.5\r\n");
  CliResult result = runCli({"sig", "verify", "v.sig"}, "", work.path());
  EXPECT_EQ(result.status, 2);
  EXPECT_THAT(result.out, HasSubstr("v.sig:2: out of order"));
  EXPECT_THAT(result.out, HasSubstr("2 keys, 1 problems"));
}

} // namespace
} // namespace quorvane::testing
