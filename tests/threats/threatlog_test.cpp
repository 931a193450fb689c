// The threat log and the threat counter.
#include "threats/threatlog.h"

#include "platform/fake/fakes.h"

#include <gtest/gtest.h>

namespace quorvane::threats {
namespace {

class ThreatLogTest : public ::testing::Test {
protected:
  platform::fake::FakePlatform fake;
  ThreatLog log{fake.platform, "/app"};
  app::SettingsStore settings{fake.platform};
  void SetUp() override { fake.files.createDirectory("/app"); }
};

TEST_F(ThreatLogTest, RecordsCountAndAppendOneLineEach) {
  log.logThreat("evil.exe", "/data/evil.exe");
  EXPECT_EQ(settings.setting("threats"), "1"); // absent counted as 0
  fake.clock.now = {2026, 12, 10, 0, 0, 0, 4};
  log.logThreat("b.dll", "/data/b.dll");
  EXPECT_EQ(settings.setting("threats"), "2");
  EXPECT_EQ(fake.files.content("/app/threatlog.sig"),
            "evil.exe|09/12/2026 14:30:05|/data/evil.exe\r\n"
            "b.dll|10/12/2026|/data/b.dll\r\n");
  auto rows = log.showScanHistory();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].name, "b.dll");
  EXPECT_EQ(rows[1].date, "10/12/2026");
  EXPECT_EQ(rows[1].path, "/data/b.dll");
}

TEST_F(ThreatLogTest, ClearingKeepsTheCounterAndTheNextDetectionStartsANewLog) {
  log.logThreat("a", "/a");
  log.clearScanHistory();
  EXPECT_FALSE(fake.files.exists("/app/threatlog.sig"));
  EXPECT_TRUE(log.showScanHistory().empty());
  EXPECT_EQ(settings.setting("threats"), "1");
  log.logThreat("b", "/b");
  EXPECT_EQ(log.showScanHistory().size(), 1u);
  EXPECT_EQ(settings.setting("threats"), "2");
}

TEST(ParseThreatRecordsTest, ToleratesBlankLinesMixedEndsAndMissingFields) {
  auto rows = parseThreatRecords("a|d1|/a\r\n\r\n   \nb|d2\nc\r\nd|d4|/x|y|z\n");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].path, "/a");
  EXPECT_EQ(rows[1].name, "b");
  EXPECT_EQ(rows[1].date, "d2");
  EXPECT_EQ(rows[1].path, "");
  EXPECT_EQ(rows[2].name, "c");
  EXPECT_EQ(rows[3].path, "/x");
  EXPECT_EQ(rows[3].copy, "y");
  EXPECT_EQ(rows[3].mode, "z");
}

TEST(RecordFieldTest, AnyNameRoundTripsAndPlainFieldsStayAsTheyAre) {
  for (std::string field : {std::string("plain name.exe"), std::string("a|b.exe"),
                            std::string("x\nevil.exe|yesterday|"), std::string("100% \r\n%7C"),
                            std::string("\xff\xfe bytes"), std::string()}) {
    ThreatRecord record{field, "d", "/dir/" + field, {}, {}};
    std::string line = recordLine(record);
    EXPECT_EQ(line.find_first_of("\r\n"), line.size() - 2) << "one line, CR LF at its end";
    auto back = parseThreatRecords(line);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0], record);
  }
  EXPECT_EQ(recordLine({"a.exe", "09/12/2026 14:30:05", "/d/a.exe", {}, {}}),
            "a.exe|09/12/2026 14:30:05|/d/a.exe\r\n");
  // Other "%" texts of older files read as they always did.
  EXPECT_EQ(decodeRecordField("50%off %4 %zz %"), "50%off %4 %zz %");
}

TEST_F(ThreatLogTest, AForgedLineInAFolderNameStaysOneRecord) {
  std::string path = "/home/mallory/x\nevil.exe|yesterday|/etc/passwd/t.exe";
  log.logThreat("t.exe", path);
  auto rows = log.showScanHistory();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name, "t.exe");
  EXPECT_EQ(rows[0].path, path);
}

} // namespace
} // namespace quorvane::threats
