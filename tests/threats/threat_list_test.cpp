// The detected-threat list's commands.
#include "threats/threat_list.h"

#include "engine/fingerprint.h"
#include "platform/fake/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::threats {
namespace {

using ::testing::ElementsAre;

ScanResults fourRows() {
  ScanResults results;
  for (int i = 1; i <= 4; ++i) {
    std::string name = "f" + std::to_string(i) + ".exe";
    results.rows.push_back({name, "/d/" + name, false, std::nullopt, false, {}});
    results.digests.push_back("digest" + std::to_string(i));
  }
  return results;
}

TEST(ThreatListTest, TickingColoursOnlyThatRow) {
  ScanResults results = fourRows();
  results.rows[1].checked = true;
  colorThreatRow(results, 1);
  EXPECT_EQ(results.rows[1].color, kTickedColor);
  EXPECT_EQ(results.rows[0].color, std::nullopt);
  results.rows[1].checked = false;
  colorThreatRow(results, 1);
  EXPECT_EQ(results.rows[1].color, kUntickedColor);
  colorThreatRow(results, 99); // no such row: nothing happens
}

TEST(ThreatListTest, SelectAllTicksAndColoursEveryRow) {
  ScanResults results = fourRows();
  EXPECT_EQ(selectAllThreats(results, true), "Select none");
  for (const ThreatRow& row : results.rows) {
    EXPECT_TRUE(row.checked);
    EXPECT_EQ(row.color, kTickedColor);
  }
  EXPECT_EQ(selectAllThreats(results, false), "Select All");
  EXPECT_EQ(results.rows[3].color, kUntickedColor);
  ScanResults empty;
  EXPECT_EQ(selectAllThreats(empty, true), "Select none");
}

TEST(ThreatListTest, MarkSafeRemovesTickedRowsWithTheirDigests) {
  platform::fake::FakePlatform fake;
  fake.files.createDirectory("/app");
  fake.files.put("/d/f2.exe", "abc");
  ScanResults results = fourRows();
  results.rows[1].checked = results.rows[2].checked = true; // f3 is gone from disk
  EXPECT_EQ(markSelectedAsSafe(fake.platform, "/app", results), 2u);
  ASSERT_EQ(results.rows.size(), 2u);
  EXPECT_EQ(results.rows[0].fileName, "f1.exe");
  EXPECT_EQ(results.rows[1].fileName, "f4.exe");
  EXPECT_THAT(results.digests, ElementsAre("digest1", "digest4"));
  EXPECT_EQ(fake.files.content("/app/safe.sig"), "900150983CD24FB0D6963F7D28E17F72\r\n");
}

} // namespace
} // namespace quorvane::threats
