// The folder-scan hand-over line and the safe record.
#include "engine/datafiles.h"

#include "platform/fake/fakes.h"

#include <gtest/gtest.h>

namespace quorvane::engine {
namespace {

struct FieldCase {
  std::string line;
  std::string field;
};

class FirstFieldTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FirstFieldTest, ReadsTheFirstDelimitedField) {
  EXPECT_EQ(FirstDelimitedField(GetParam().line), GetParam().field) << GetParam().line;
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
  ASSERT_FALSE(AppendSafeRecord(files, "/app/safe.sig", {"abc123", "DEF456"}));
  ASSERT_FALSE(AppendSafeRecord(files, "/app/safe.sig", {"0f"}));
  ASSERT_FALSE(AppendSafeRecord(files, "/app/safe.sig", {})); // nothing ticked, nothing written
  EXPECT_EQ(files.content("/app/safe.sig"), "ABC123DEF456\r\n0F\r\n");
}

} // namespace
} // namespace quorvane::engine
