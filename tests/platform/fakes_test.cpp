// The in-memory file system behaves like the real one where tests rely on it.
#include "platform/fake/fakes.h"

#include <gtest/gtest.h>

namespace quorvane::platform::fake {
namespace {

TEST(MemoryFileSystemTest, FoldersHoldFilesAndListDirectChildrenOnly) {
  MemoryFileSystem files;
  ASSERT_FALSE(files.createDirectory("/a"));
  ASSERT_FALSE(files.createDirectory("/a/b"));
  EXPECT_TRUE(files.createDirectory("/x/y")); // parent missing
  files.put("/a/one.exe", "1");
  files.put("/a/b/two.dll", "2");
  auto entries = files.listDirectory("/a");
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 2u);
  EXPECT_EQ((*entries)[0].name, "b");
  EXPECT_EQ((*entries)[0].kind, FileKind::Directory);
  EXPECT_EQ((*entries)[1].name, "one.exe");
  EXPECT_TRUE(files.appendFile("/nofolder/log", "x"));
}

TEST(MemoryFileSystemTest, EveryPutIsANewVersion) {
  MemoryFileSystem files;
  files.put("/f", "same");
  FileStatus first = *files.status("/f");
  files.put("/f", "same");
  EXPECT_FALSE(first.sameVersionAs(*files.status("/f")));
}

TEST(FakeClockTest, GeneralDateLeavesOutMidnight) {
  FakeClock clock;
  EXPECT_EQ(clock.generalDate({2026, 12, 9, 14, 30, 5, 3}), "09/12/2026 14:30:05");
  EXPECT_EQ(clock.generalDate({2026, 12, 9, 0, 0, 0, 3}), "09/12/2026");
  clock.now = {2026, 12, 9, 1, 2, 3, 3};
  EXPECT_EQ(clock.secondsSinceMidnight(), 3723);
}

} // namespace
} // namespace quorvane::platform::fake
