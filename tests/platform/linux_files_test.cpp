// The Linux file system facility, on a temporary folder.
#include "platform/linux/linux_platform.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace quorvane::platform {
namespace {

class LinuxFilesTest : public ::testing::Test {
protected:
  testing::TempDir dir;
  LinuxFileSystem files;
};

TEST_F(LinuxFilesTest, StatusTellsVersionsApart) {
  std::string path = dir.write("a.sig", "1\n");
  auto first = files.status(path);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->kind, FileKind::Regular);
  EXPECT_EQ(first->size, 2u);
  EXPECT_TRUE(first->sameVersionAs(*files.status(path)));
  // Replaced by another file of the same size: a new identity.
  std::string other = dir.write("b.sig", "2\n");
  std::filesystem::rename(other, path);
  EXPECT_FALSE(first->sameVersionAs(*files.status(path)));
  EXPECT_EQ(files.status(dir / "none").error(), std::make_error_code(std::errc::no_such_file_or_directory));
}

TEST_F(LinuxFilesTest, ReadWriteAppendRemove) {
  std::string path = dir / "log.sig";
  ASSERT_FALSE(files.appendFile(path, "one\r\n"));
  ASSERT_FALSE(files.appendFile(path, "two\r\n"));
  EXPECT_EQ(*files.readFile(path), "one\r\ntwo\r\n");
  ASSERT_FALSE(files.writeFile(path, "new"));
  EXPECT_EQ(*files.readFile(path), "new");
  ASSERT_FALSE(files.removeFile(path));
  EXPECT_FALSE(files.readFile(path));
  EXPECT_TRUE(files.writeFile(dir / "no/such/folder/x", "data"));
  EXPECT_FALSE(files.readFile(dir.path())); // a folder is not a file
}

TEST_F(LinuxFilesTest, ReadsInPiecesToTheEnd) {
  std::string content(100000, 'q');
  std::string path = dir.write("big", content);
  auto file = files.openRead(path);
  ASSERT_TRUE(file);
  std::string back;
  char buffer[4096];
  for (;;) {
    auto n = (*file)->read(buffer, sizeof buffer);
    ASSERT_TRUE(n);
    if (*n == 0)
      break;
    back.append(buffer, *n);
  }
  EXPECT_EQ(back, content);
}

TEST_F(LinuxFilesTest, ListingDoesNotFollowLinks) {
  dir.write("top/file.exe", "x");
  std::filesystem::create_directories(dir / "top/sub");
  std::filesystem::create_directory_symlink(dir / "top", dir / "top/loop");
  auto entries = files.listDirectory(dir / "top");
  ASSERT_TRUE(entries);
  std::sort(entries->begin(), entries->end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  ASSERT_EQ(entries->size(), 3u);
  EXPECT_EQ((*entries)[0].name, "file.exe");
  EXPECT_EQ((*entries)[0].kind, FileKind::Regular);
  EXPECT_EQ((*entries)[1].name, "loop");
  EXPECT_EQ((*entries)[1].kind, FileKind::Other);
  EXPECT_EQ((*entries)[2].kind, FileKind::Directory);
}

TEST_F(LinuxFilesTest, CopyAndCreateDirectory) {
  std::string from = dir.write("src.bin", std::string("a\0b", 3));
  ASSERT_FALSE(files.createDirectory(dir / "qrnt"));
  ASSERT_FALSE(files.createDirectory(dir / "qrnt")); // already there is fine
  ASSERT_FALSE(files.copyFile(from, dir / "qrnt/src.bin.qrt"));
  EXPECT_EQ(dir.read("qrnt/src.bin.qrt"), std::string("a\0b", 3));
  EXPECT_TRUE(files.createDirectory(from)); // a file stands there
}

} // namespace
} // namespace quorvane::platform
