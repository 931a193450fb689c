// The folder-scan hand-over line and the safe record.
#include "engine/datafiles.h"
#include "engine/safelist.h"

#include "platform/fake/fakes.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quorvane::engine {
namespace {

struct FieldCase {
  std::string line;
  std::string field;
};

class FirstFieldTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FirstFieldTest, ReadsTheFirstDelimitedField) {
  EXPECT_EQ(firstDelimitedField(GetParam().line), GetParam().field) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FirstFieldTest,
    ::testing::Values(FieldCase{R"("C:\My Files\new")", R"(C:\My Files\new)"},
                      FieldCase{R"(D:\Data,old)", R"(D:\Data)"},
                      FieldCase{R"("D:\Data,old")", R"(D:\Data,old)"},
                      FieldCase{"   /home/a b  ", "/home/a b"},
                      FieldCase{"  \"/x y\" , z", "/x y"},
                      FieldCase{"\"/unterminated", "/unterminated"},
                      FieldCase{"/first\r\n/second", "/first"}, FieldCase{"", ""},
                      FieldCase{"   ", ""}, FieldCase{",rest", ""}));

TEST(SafeRecordTest, AppendsOneLinePerMarking) {
  platform::fake::MemoryFileSystem files;
  files.createDirectory("/app");
  ASSERT_FALSE(appendSafeRecord(files, "/app/safe.sig", {"abc123", "DEF456"}));
  ASSERT_FALSE(appendSafeRecord(files, "/app/safe.sig", {"0f"}));
  ASSERT_FALSE(appendSafeRecord(files, "/app/safe.sig", {})); // nothing ticked, nothing written
  EXPECT_EQ(files.content("/app/safe.sig"), "ABC123DEF456\r\n0F\r\n");
}

TEST(SafeRecordTest, ALastLineWithoutItsEndDoesNotSwallowTheNewDigest) {
  platform::fake::MemoryFileSystem files;
  files.createDirectory("/app");
  files.put("/app/safe.sig", "# reviewed, ticket 1a2b");
  const std::string digest = "44d88612fea8a8f36de82e1278abb02f";
  ASSERT_FALSE(appendSafeRecord(files, "/app/safe.sig", {digest}));
  EXPECT_EQ(files.content("/app/safe.sig"),
            "# reviewed, ticket 1a2b\r\n44D88612FEA8A8F36DE82E1278ABB02F\r\n");
  auto listed = parseSafeList(files.content("/app/safe.sig"));
  EXPECT_NE(std::find(listed.begin(), listed.end(), digest), listed.end());
}

} // namespace
} // namespace quorvane::engine
