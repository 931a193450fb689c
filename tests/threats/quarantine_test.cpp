// The quarantine: copies, index, restore and delete.
#include "threats/quarantine.h"

#include "platform/fake/fakes.h"

#include <gtest/gtest.h>

namespace quorvane::threats {
namespace {

class QuarantineTest : public ::testing::Test {
protected:
  platform::fake::FakePlatform fake;
  Quarantine q{fake.platform, "/app"};
  void SetUp() override {
    fake.files.createDirectory("/app");
    fake.files.createDirectory("/data");
    fake.files.createDirectory("/data/one");
    fake.files.createDirectory("/data/two");
  }
  std::vector<QuarantineRow> tick(std::vector<int> rows) {
    auto all = q.showQuarantine();
    for (int i : rows)
      all[static_cast<std::size_t>(i)].checked = true;
    return all;
  }
};

TEST_F(QuarantineTest, CopiesUnderTheGivenNameAndIndexesIt) {
  fake.files.put("/data/Evil.EXE", "bytes");
  ASSERT_TRUE(q.quarantineFile("Evil.EXE", "/data/Evil.EXE"));
  EXPECT_EQ(fake.files.content("/app/qrnt/Evil.EXE.qrt"), "bytes");
  EXPECT_TRUE(fake.files.exists("/data/Evil.EXE")); // removing it is the caller's part
  EXPECT_EQ(fake.files.content("/app/qrntfiles.sig"),
            "Evil.EXE|09/12/2026 14:30:05|/data/Evil.EXE|Evil.EXE.qrt|644\r\n");
  auto rows = q.showQuarantine();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].record.name, "Evil.EXE");
  EXPECT_FALSE(rows[0].checked);
}

TEST_F(QuarantineTest, SameNamesKeepCopiesOfTheirOwn) {
  fake.files.put("/data/one/setup.exe", "first");
  fake.files.put("/data/two/setup.exe", "second");
  ASSERT_TRUE(q.quarantineFile("setup.exe", "/data/one/setup.exe"));
  ASSERT_TRUE(q.quarantineFile("setup.exe", "/data/two/setup.exe"));
  fake.files.removeFile("/data/one/setup.exe");
  fake.files.removeFile("/data/two/setup.exe");

  EXPECT_TRUE(q.restoreQuarantined(tick({1})).empty());
  EXPECT_EQ(fake.files.content("/data/two/setup.exe"), "second");
  ASSERT_EQ(q.showQuarantine().size(), 1u);
  EXPECT_TRUE(q.restoreQuarantined(tick({0})).empty());
  EXPECT_EQ(fake.files.content("/data/one/setup.exe"), "first");
  EXPECT_TRUE(q.showQuarantine().empty());
  EXPECT_FALSE(fake.files.exists("/app/qrnt/setup.exe.qrt"));
  EXPECT_FALSE(fake.files.exists("/app/qrnt/setup.exe.2.qrt"));
}

TEST_F(QuarantineTest, ThreeFieldIndexLinesStillLoadAndRestore) {
  fake.files.createDirectory("/app/qrnt");
  fake.files.put("/app/qrnt/a.exe.qrt", "A");
  fake.files.put("/app/qrnt/b.exe.qrt", "B");
  fake.files.put("/app/qrnt/c.exe.qrt", "C");
  fake.files.put("/app/qrntfiles.sig", "a.exe|d|/data/a.exe\r\n\r\nb.exe|d|/data/b.exe\n"
                                       "c.exe|d|/data/c.exe\r\n");
  ASSERT_EQ(q.showQuarantine().size(), 3u);
  // Two adjacent rows of three restored: the index keeps exactly the unticked row's line.
  EXPECT_TRUE(q.restoreQuarantined(tick({0, 1})).empty());
  EXPECT_EQ(fake.files.content("/data/a.exe"), "A");
  EXPECT_EQ(fake.files.content("/data/b.exe"), "B");
  EXPECT_EQ(fake.files.content("/app/qrntfiles.sig"), "c.exe|d|/data/c.exe\r\n");
}

TEST_F(QuarantineTest, OldSharedCopyIsKeptWhileAnotherRecordNeedsIt) {
  fake.files.createDirectory("/app/qrnt");
  fake.files.put("/app/qrnt/x.exe.qrt", "X");
  fake.files.put("/app/qrntfiles.sig", "x.exe|d|/data/one/x.exe\r\nx.exe|d|/data/two/x.exe\r\n");
  EXPECT_TRUE(q.restoreQuarantined(tick({0})).empty());
  EXPECT_TRUE(fake.files.exists("/app/qrnt/x.exe.qrt"));
  EXPECT_TRUE(q.restoreQuarantined(tick({0})).empty());
  EXPECT_EQ(fake.files.content("/data/two/x.exe"), "X");
  EXPECT_FALSE(fake.files.exists("/app/qrnt/x.exe.qrt"));
}

TEST_F(QuarantineTest, FailedRestoreKeepsCopyAndRecord) {
  fake.files.put("/data/one/a.exe", "A");
  ASSERT_TRUE(q.quarantineFile("a.exe", "/data/one/a.exe"));
  fake.files.put("/data/gone/b.exe", "B");
  ASSERT_TRUE(q.quarantineFile("b.exe", "/data/gone/b.exe"));
  fake.files.removeFile("/data/one/a.exe");
  fake.files.removeFile("/data/gone/b.exe");
  fake.files.put("/data/gone", "a file where its folder was: nowhere to restore into");
  auto failed = q.restoreQuarantined(tick({0, 1}));
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].record.path, "/data/gone/b.exe");
  EXPECT_TRUE(fake.files.exists("/app/qrnt/b.exe.qrt"));
  auto left = q.showQuarantine();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].record.name, "b.exe");
}

TEST_F(QuarantineTest, RestoreMakesAMissingFolderAgain) {
  fake.files.createDirectory("/data");
  fake.files.put("/data/stick/RECYCLER/x.exe", "X");
  ASSERT_TRUE(q.quarantineFile("x.exe", "/data/stick/RECYCLER/x.exe"));
  fake.files.removeFile("/data/stick/RECYCLER/x.exe");
  EXPECT_TRUE(q.restoreQuarantined(tick({0})).empty());
  EXPECT_EQ(fake.files.content("/data/stick/RECYCLER/x.exe"), "X");
}

TEST_F(QuarantineTest, RecordWithoutCopyLeavesOnRestore) {
  fake.files.put("/app/qrntfiles.sig", "lost.exe|d|/data/lost.exe\r\n");
  EXPECT_TRUE(q.restoreQuarantined(tick({0})).empty());
  EXPECT_FALSE(fake.files.exists("/data/lost.exe"));
  EXPECT_TRUE(q.showQuarantine().empty());
}

TEST_F(QuarantineTest, DeleteRemovesCopiesOfTickedRowsOnly) {
  fake.files.put("/data/a.exe", "A");
  fake.files.put("/data/b.exe", "B");
  q.quarantineFile("a.exe", "/data/a.exe");
  q.quarantineFile("b.exe", "/data/b.exe");
  q.deleteQuarantined(tick({0}));
  EXPECT_FALSE(fake.files.exists("/app/qrnt/a.exe.qrt"));
  EXPECT_TRUE(fake.files.exists("/app/qrnt/b.exe.qrt"));
  ASSERT_EQ(q.showQuarantine().size(), 1u);
  EXPECT_EQ(q.showQuarantine()[0].record.name, "b.exe");
}

TEST_F(QuarantineTest, NoFolderNoCopyNoRecord) {
  fake.files.put("/data/a.exe", "A");
  fake.files.put("/app/qrnt", "a file in the way");
  EXPECT_FALSE(q.quarantineFile("a.exe", "/data/a.exe"));
  EXPECT_FALSE(q.quarantineFile("missing.exe", "/data/missing.exe"));
  EXPECT_TRUE(q.showQuarantine().empty());
  EXPECT_FALSE(fake.files.exists("/app/qrntfiles.sig"));
}

TEST_F(QuarantineTest, CopiesThatNoRecordNamesAreRemovedOnlyAgainstAReadableIndex) {
  fake.files.put("/data/a.exe", "A");
  ASSERT_TRUE(q.quarantineFile("a.exe", "/data/a.exe"));
  fake.files.put("/app/qrnt/b.exe.qrt", "a copy whose run was killed before its record");
  fake.files.put("/app/qrnt/notes.txt", "not a copy");
  fake.files.put("/app/qrnt/old.exe.qrt", "named by a three-field record");
  fake.files.appendFile("/app/qrntfiles.sig", "old.exe|d|/data/old.exe\r\n");
  EXPECT_EQ(q.removeOrphanCopies(), 1);
  EXPECT_FALSE(fake.files.exists("/app/qrnt/b.exe.qrt"));
  for (const char* kept : {"/app/qrnt/a.exe.qrt", "/app/qrnt/notes.txt", "/app/qrnt/old.exe.qrt"})
    EXPECT_TRUE(fake.files.exists(kept)) << kept;

  fake.files.unreadable.insert("/app/qrntfiles.sig");
  fake.files.put("/app/qrnt/c.exe.qrt", "C");
  EXPECT_EQ(q.removeOrphanCopies(), 0) << "an index that cannot be read tells nothing";
  EXPECT_TRUE(fake.files.exists("/app/qrnt/a.exe.qrt"));
}

} // namespace
} // namespace quorvane::threats
