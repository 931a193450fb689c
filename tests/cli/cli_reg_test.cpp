// `quorvane reg`: reg.exe's arguments and output over the registry store.
#include "support/run_cli.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::testing {
namespace {

using ::testing::HasSubstr;

class CliRegTest : public ::testing::Test {
protected:
  TempDir home;
  CliResult reg(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"--home", home.path(), "reg"});
    return runCli(args, input);
  }
};

TEST_F(CliRegTest, AddThenQueryShowsRegExeLayout) {
  const std::string key = "HKLM\\SOFTWARE\\Test";
  ASSERT_EQ(reg({"add", key, "/v", "Name", "/d", "hello world", "/f"}).out,
            "The operation completed successfully.\n");
  ASSERT_EQ(reg({"add", key, "/v", "Count", "/t", "REG_DWORD", "/d", "256", "/f"}).status, 0);
  ASSERT_EQ(reg({"add", key, "/v", "Hex", "/t", "reg_dword", "/d", "0x1F", "/f"}).status, 0);
  ASSERT_EQ(reg({"add", key, "/v", "List", "/t", "REG_MULTI_SZ", "/d", "a\\0b c", "/f"}).status, 0);
  ASSERT_EQ(reg({"add", key, "/v", "Raw", "/t", "REG_BINARY", "/d", "00ff10", "/f"}).status, 0);
  ASSERT_EQ(reg({"add", key, "/ve", "/d", "dflt", "/f"}).status, 0);
  ASSERT_EQ(reg({"add", key + "\\Child"}).status, 0);

  CliResult r = reg({"query", key});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "\n"
                   "HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\n"
                   "    Name    REG_SZ    hello world\n"
                   "    Count    REG_DWORD    0x100\n"
                   "    Hex    REG_DWORD    0x1f\n"
                   "    List    REG_MULTI_SZ    a\\0b c\n"
                   "    Raw    REG_BINARY    00FF10\n"
                   "    (Default)    REG_SZ    dflt\n"
                   "\n"
                   "HKEY_LOCAL_MACHINE\\SOFTWARE\\Test\\Child\n");

  EXPECT_EQ(reg({"query", "hkey_local_machine\\software\\test", "/v", "count"}).out,
            "\nHKEY_LOCAL_MACHINE\\software\\test\n    Count    REG_DWORD    0x100\n\n");
  EXPECT_EQ(reg({"query", key, "/ve"}).out,
            "\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Test\n    (Default)    REG_SZ    dflt\n\n");
}

TEST_F(CliRegTest, RecursiveQueryWalksTheTree) {
  reg({"add", "HKCU\\A\\B", "/v", "x", "/d", "1", "/f"});
  reg({"add", "HKCU\\A", "/v", "x", "/d", "0", "/f"});
  CliResult r = reg({"query", "HKCU\\A", "/s"});
  EXPECT_EQ(r.out, "\nHKEY_CURRENT_USER\\A\n    x    REG_SZ    0\n\n"
                   "HKEY_CURRENT_USER\\A\\B\n    x    REG_SZ    1\n\n");
  CliResult search = reg({"query", "HKCU\\A", "/v", "x", "/s"});
  EXPECT_THAT(search.out, HasSubstr("End of search: 2 match(es) found."));
}

TEST_F(CliRegTest, OverwriteAndDeleteAskUnlessForced) {
  const std::string key = "HKLM\\SOFTWARE\\Ask";
  reg({"add", key, "/v", "v", "/d", "old", "/f"});
  CliResult refused = reg({"add", key, "/v", "v", "/d", "new"}, "n\n");
  EXPECT_EQ(refused.status, 1);
  EXPECT_THAT(reg({"query", key, "/v", "v"}).out, HasSubstr("old"));
  EXPECT_EQ(reg({"add", key, "/v", "v", "/d", "new"}, "yes\n").status, 0);
  EXPECT_THAT(reg({"query", key, "/v", "v"}).out, HasSubstr("new"));

  EXPECT_EQ(reg({"delete", key, "/v", "v"}, "").status, 1); // no answer is no
  EXPECT_EQ(reg({"delete", key, "/v", "v", "/f"}).status, 0);
  EXPECT_EQ(reg({"query", key, "/v", "v"}).status, 1);
  reg({"add", key + "\\Deep\\Er", "/f"});
  EXPECT_EQ(reg({"delete", key, "/f"}).status, 0); // a key goes with its subkeys
  CliResult gone = reg({"query", key});
  EXPECT_EQ(gone.status, 1);
  EXPECT_THAT(gone.err, HasSubstr("unable to find the specified registry key"));
}

TEST_F(CliRegTest, BadArgumentsAreClearErrors) {
  EXPECT_THAT(reg({"query", "HKXX\\Software"}).err, HasSubstr("Invalid key name"));
  EXPECT_THAT(reg({"add", "HKLM\\S", "/v", "n", "/t", "REG_DWORD", "/d", "12x", "/f"}).err,
              HasSubstr("Invalid REG_DWORD data"));
  EXPECT_THAT(reg({"add", "HKLM\\S", "/v", "n", "/t", "REG_QWORD", "/d", "1", "/f"}).err,
              HasSubstr("Invalid value type"));
  EXPECT_THAT(reg({"add", "HKLM\\S", "/v", "n", "/t", "REG_BINARY", "/d", "abc", "/f"}).err,
              HasSubstr("Invalid REG_BINARY data"));
  EXPECT_THAT(reg({"query", "HKLM\\S", "/x"}).err, HasSubstr("Unknown argument: /x"));
  EXPECT_THAT(reg({"query", "HKLM\\S", "/v"}).err, HasSubstr("/v needs a value"));
  EXPECT_NE(reg({"delete", "HKLM", "/f"}).status, 0);
  EXPECT_FALSE(reg({"query", "HKLM\\S"}).status == 0); // nothing was created by the failures
}

TEST_F(CliRegTest, AStoreThatIsNotADatabaseIsReportedAndKept) {
  std::string junk = "not a database at all\n";
  home.write("registry.db", junk);
  CliResult r = reg({"query", "HKLM\\SOFTWARE"});
  EXPECT_EQ(r.status, 2);
  EXPECT_THAT(r.err, HasSubstr("registry.db"));
  EXPECT_THAT(r.err, HasSubstr("not a database"));
  EXPECT_EQ(home.read("registry.db"), junk);
}

} // namespace
} // namespace quorvane::testing
