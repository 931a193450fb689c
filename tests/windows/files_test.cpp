// The Windows file system on the real Win32 API (under Wine in CI), in a folder of its own.
#include "platform/windows/windows_platform.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <map>

namespace quorvane::platform::windows {
namespace {

namespace fs = std::filesystem;

class WindowsFilesTest : public ::testing::Test {
protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("quorvane-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(root_ / "ro.txt", fs::perms::owner_write, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
  }
  std::string path(const std::string& name) const { return (root_ / name).string(); }

  fs::path root_;
  WindowsFileSystem files;
};

TEST_F(WindowsFilesTest, WriteReadAppendAndAReplacedFileIsAnotherVersion) {
  std::string file = path("a.sig");
  ASSERT_FALSE(files.writeFile(file, "one\n"));
  EXPECT_EQ(files.readFile(file).valueOr("?"), "one\n");
  ASSERT_FALSE(files.appendFile(file, "two\n"));
  EXPECT_EQ(files.readFile(file).valueOr("?"), "one\ntwo\n");
  auto before = files.status(file);
  ASSERT_TRUE(before);
  EXPECT_EQ(before->kind, FileKind::Regular);
  EXPECT_EQ(before->size, 8u);
  EXPECT_TRUE(before->identity().known());
  ASSERT_FALSE(files.writeFile(file, "ONE\nTWO\n")); // same size, written aside and moved over
  auto after = files.status(file);
  ASSERT_TRUE(after);
  EXPECT_FALSE(before->sameVersionAs(*after));
  EXPECT_EQ(files.readHead(file, 3).valueOr("?"), "ONE");

  EXPECT_EQ(files.status(path("missing")).error(), std::errc::no_such_file_or_directory);
  EXPECT_EQ(files.readFile(root_.string()).error(), std::errc::is_a_directory);
  ASSERT_FALSE(files.removeFile(file));
  EXPECT_FALSE(files.status(file));
}

TEST_F(WindowsFilesTest, AListingGivesIdentitiesAndReadsOnlyTheHeadsAskedFor) {
  ASSERT_FALSE(files.createDirectory(path("sub")));
  EXPECT_FALSE(files.createDirectory(path("sub"))) << "an existing folder is not an error";
  ASSERT_FALSE(files.writeFile(path("prog"), std::string("MZ\x90\x00rest", 8)));
  ASSERT_FALSE(files.writeFile(path("notes.txt"), "text"));
  HeadRequest heads;
  heads.size = 2;
  heads.wanted = [](const DirEntry& entry) { return entry.name == "prog"; };
  auto listed = files.listFolder(root_.string(), nullptr, heads);
  ASSERT_TRUE(listed);
  std::map<std::string, DirEntry> byName;
  for (const DirEntry& entry : *listed)
    byName[entry.name] = entry;
  ASSERT_EQ(byName.size(), 3u);
  EXPECT_EQ(byName["sub"].kind, FileKind::Directory);
  EXPECT_EQ(byName["prog"].head, "MZ");
  EXPECT_EQ(byName["notes.txt"].head, "") << "not asked for";
  EXPECT_EQ(byName["notes.txt"].size, 4u);
  EXPECT_EQ(byName["notes.txt"].identity, files.status(path("notes.txt"))->identity());

  // A subfolder is listed only while it is the folder its parent listed.
  FileIdentity sub = byName["sub"].identity;
  EXPECT_TRUE(files.listFolder(path("sub"), &sub, {}));
  fs::rename(path("sub"), path("old")); // kept: its index is not given to the new folder
  ASSERT_FALSE(files.createDirectory(path("sub")));
  EXPECT_EQ(files.listFolder(path("sub"), &sub, {}).error(), make_error_code(FileError::Changed));
}

TEST_F(WindowsFilesTest, OnlyTheCheckedFileIsDeletedOrCopied) {
  std::string file = path("evil.exe");
  ASSERT_FALSE(files.writeFile(file, "threat"));
  FileIdentity checked = files.status(file)->identity();
  // Another file under the same name since the check: neither copied nor deleted.
  ASSERT_FALSE(files.writeFile(file, "threat"));
  EXPECT_EQ(files.copyCheckedFile(file, checked, path("copy"), 0600),
            make_error_code(FileError::Changed));
  EXPECT_FALSE(fs::exists(path("copy")));
  EXPECT_EQ(files.removeCheckedFile(file, checked), make_error_code(FileError::Changed));
  EXPECT_TRUE(fs::exists(file));

  checked = files.status(file)->identity();
  ASSERT_FALSE(files.copyCheckedFile(file, checked, path("copy"), 0600));
  EXPECT_EQ(files.readFile(path("copy")).valueOr("?"), "threat");
  EXPECT_EQ(files.copyCheckedFile(file, checked, path("copy"), 0600), std::errc::file_exists)
      << "a copy never overwrites";
  ASSERT_FALSE(files.removeCheckedFile(file, checked));
  EXPECT_FALSE(fs::exists(file));

  // Put back, folders made on the way; read-only when the mode says so.
  ASSERT_FALSE(files.restoreFile(path("copy"), path("back/deep/ro.txt"), 0444));
  EXPECT_EQ(files.readFile(path("back/deep/ro.txt")).valueOr("?"), "threat");
  EXPECT_EQ(files.status(path("back/deep/ro.txt"))->mode & 0200, 0u);
  EXPECT_EQ(files.restoreFile(path("copy"), path("back/deep/ro.txt"), 0644),
            std::errc::file_exists);
  ASSERT_FALSE(files.makeWritable(path("back/deep/ro.txt")));
  EXPECT_NE(files.status(path("back/deep/ro.txt"))->mode & 0200, 0u);
}

TEST_F(WindowsFilesTest, ALockExcludesASecondHandleUntilReleased) {
  std::string lockFile = path("datafiles.lock");
  auto first = files.tryLock(lockFile);
  ASSERT_TRUE(first);
  EXPECT_EQ(files.tryLock(lockFile).error(), std::errc::resource_unavailable_try_again);
  first->reset();
  EXPECT_TRUE(files.tryLock(lockFile));
}

TEST_F(WindowsFilesTest, CanonicalPathsAndPrivateFolders) {
  ASSERT_FALSE(files.createDirectory(path("a")));
  ASSERT_FALSE(files.writeFile(path("a/f.txt"), "x"));
  auto canonical = files.canonicalPath(path("a/../a/f.txt"));
  ASSERT_TRUE(canonical) << canonical.error().message();
  EXPECT_EQ(files.status(*canonical)->identity(), files.status(path("a/f.txt"))->identity());
  EXPECT_EQ(canonical->find(".."), std::string::npos) << *canonical;
  EXPECT_EQ(files.canonicalPath(path("nothing")).error(), std::errc::no_such_file_or_directory);

  ASSERT_FALSE(files.createPrivateDirectory(path("qrnt")));
  EXPECT_EQ(files.status(path("qrnt"))->kind, FileKind::Directory);
  EXPECT_FALSE(files.createPrivateDirectory(path("qrnt"))) << "an existing folder is made so";
  EXPECT_TRUE(files.isWritable(path("qrnt")));
  EXPECT_FALSE(files.isWritable(path("nothing")));
}

} // namespace
} // namespace quorvane::platform::windows
