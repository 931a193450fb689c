// The Linux file system facility, on a temporary folder.
#include "platform/linux/linux_platform.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

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

namespace fs = std::filesystem;

/// Makes `link` belong to another user, as a link planted by a local user would; false when
/// this process may not (not root).
bool plantedByAnotherUser(const std::string& link) { return ::lchown(link.c_str(), 65534, 65534) == 0; }

TEST_F(LinuxFilesTest, AFolderSwappedForALinkAfterTheCheckLosesNothing) {
  // The checked file lives in t/dir; before it is deleted, t/dir becomes a link to a folder
  // holding a file of the same name (another user's, the system's).
  std::string checked = dir.write("t/dir/evil.exe", "threat");
  std::string victim = dir.write("victim/evil.exe", "threat");
  FileIdentity identity = files.status(checked)->identity();
  fs::rename(dir / "t/dir", dir / "t/old");
  fs::create_directory_symlink(dir / "victim", dir / "t/dir");

  EXPECT_EQ(files.removeCheckedFile(checked, identity), make_error_code(FileError::Changed));
  EXPECT_EQ(files.copyCheckedFile(checked, identity, dir / "copy", 0600),
            make_error_code(FileError::Changed));
  EXPECT_TRUE(fs::exists(victim));
  EXPECT_FALSE(fs::exists(dir / "copy"));
  // The file itself, reached without the link, still goes.
  EXPECT_FALSE(files.removeCheckedFile(dir / "t/old/evil.exe", identity));
  EXPECT_FALSE(fs::exists(dir / "t/old/evil.exe"));
}

TEST_F(LinuxFilesTest, ALinkInTheFilesPlaceIsNeverReadCopiedOrDeleted) {
  std::string target = dir.write("target.exe", "threat");
  FileIdentity identity = files.status(target)->identity();
  fs::create_symlink(target, dir / "link.exe");
  EXPECT_EQ(files.openEntry(dir / "link.exe").error(), make_error_code(FileError::UnsafeLink));
  EXPECT_TRUE(files.openRead(dir / "link.exe")) << "named data files may be links";
  EXPECT_EQ(files.removeCheckedFile(dir / "link.exe", identity), make_error_code(FileError::Changed));
  EXPECT_TRUE(files.copyCheckedFile(dir / "link.exe", identity, dir / "copy", 0600));
  EXPECT_TRUE(files.makeWritable(dir / "link.exe"));
  EXPECT_TRUE(fs::exists(target));
  EXPECT_TRUE(fs::is_symlink(dir / "link.exe"));
}

TEST_F(LinuxFilesTest, FifosAndDevicesAreRefusedWithoutWaiting) {
  std::string fifo = dir / "pipe.exe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/null"), std::string("/dev/zero")}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(files.openRead(path).error(), make_error_code(FileError::NotRegular));
    EXPECT_EQ(files.openEntry(path).error(), make_error_code(FileError::NotRegular));
    EXPECT_FALSE(files.readHead(path, 4));
  }
  EXPECT_FALSE(files.readFile(fifo));
  EXPECT_EQ(files.copyCheckedFile(fifo, {}, dir / "copy", 0600), make_error_code(FileError::NotRegular));
}

TEST_F(LinuxFilesTest, CopiesClaimTheirNameAndKeepTheModeGiven) {
  std::string from = dir.write("a.exe", "A");
  FileIdentity identity = files.status(from)->identity();
  ASSERT_FALSE(files.createPrivateDirectory(dir / "qrnt"));
  EXPECT_EQ(fs::status(dir / "qrnt").permissions() & fs::perms::all, fs::perms::owner_all);
  ASSERT_FALSE(files.copyCheckedFile(from, identity, dir / "qrnt/a.exe.qrt", 0600));
  EXPECT_EQ(fs::status(dir / "qrnt/a.exe.qrt").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(files.copyCheckedFile(from, identity, dir / "qrnt/a.exe.qrt", 0600),
            std::make_error_code(std::errc::file_exists));
  EXPECT_EQ(dir.read("qrnt/a.exe.qrt"), "A");
  // A folder that others could enter is closed; a link in its place is refused.
  fs::create_directory(dir / "open");
  fs::permissions(dir / "open", fs::perms::all);
  ASSERT_FALSE(files.createPrivateDirectory(dir / "open"));
  EXPECT_EQ(fs::status(dir / "open").permissions() & fs::perms::all, fs::perms::owner_all);
  fs::create_directory_symlink(dir / "open", dir / "linked");
  EXPECT_EQ(files.createPrivateDirectory(dir / "linked"), make_error_code(FileError::UnsafeLink));
}

TEST_F(LinuxFilesTest, RestoreNeverOverwritesAndKeepsTheMode) {
  std::string copy = dir.write("qrnt/tool.qrt", "tool");
  fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_FALSE(files.restoreFile(copy, dir / "back/in/tool", 0755));
  EXPECT_EQ(dir.read("back/in/tool"), "tool");
  EXPECT_EQ(fs::status(dir / "back/in/tool").permissions() & fs::perms::all,
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                fs::perms::others_read | fs::perms::others_exec);
  struct Taken {
    const char* what;
    std::function<void(const std::string&)> make;
  } taken[] = {
      {"a newer file", [&](const std::string& p) { dir.write(p.substr(dir.path().size() + 1), "newer"); }},
      {"a link to another file", [&](const std::string& p) { fs::create_symlink(dir.write("other", "x"), p); }},
      {"a dangling link", [&](const std::string& p) { fs::create_symlink(dir / "nowhere", p); }},
      {"a folder", [&](const std::string& p) { fs::create_directory(p); }},
  };
  int n = 0;
  for (const Taken& t : taken) {
    SCOPED_TRACE(t.what);
    std::string target = dir / ("taken" + std::to_string(n++));
    t.make(target);
    EXPECT_EQ(files.restoreFile(copy, target, 0644), std::make_error_code(std::errc::file_exists));
  }
  EXPECT_EQ(dir.read("other"), "x");
  EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

TEST_F(LinuxFilesTest, RestoreFollowsNoLinkThatAnotherUserPlanted) {
  std::string copy = dir.write("qrnt/tool.qrt", "tool");
  fs::create_directory(dir / "elsewhere");
  fs::create_directory_symlink(dir / "elsewhere", dir / "home");
  // Our own links (and the system's) are followed: that is how /lib leads to /usr/lib.
  ASSERT_FALSE(files.restoreFile(copy, dir / "home/mine", 0644));
  EXPECT_EQ(dir.read("elsewhere/mine"), "tool");
  if (!plantedByAnotherUser(dir / "home"))
    GTEST_SKIP() << "only root can make a link look planted by another user";
  EXPECT_EQ(files.restoreFile(copy, dir / "home/theirs", 0644), make_error_code(FileError::UnsafeLink));
  EXPECT_EQ(files.restoreFile(copy, dir / "home/sub/theirs", 0644),
            make_error_code(FileError::UnsafeLink));
  EXPECT_FALSE(fs::exists(dir / "elsewhere/theirs"));
  EXPECT_FALSE(fs::exists(dir / "elsewhere/sub"));
}

TEST_F(LinuxFilesTest, ASubfolderIsListedOnlyWhileItIsTheOneListed) {
  dir.write("t/dir/a.exe", "A");
  dir.write("victim/b.exe", "B");
  auto entries = files.listDirectory(dir / "t");
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  FileIdentity listed = (*entries)[0].identity;
  ASSERT_TRUE(files.listCheckedDirectory(dir / "t/dir", listed));
  fs::rename(dir / "t/dir", dir / "t/old");
  fs::create_directory_symlink(dir / "victim", dir / "t/dir");
  EXPECT_EQ(files.listCheckedDirectory(dir / "t/dir", listed).error(),
            make_error_code(FileError::Changed));
  fs::remove(dir / "t/dir");
  fs::create_directory(dir / "t/dir"); // another folder under the same name
  EXPECT_EQ(files.listCheckedDirectory(dir / "t/dir", listed).error(),
            make_error_code(FileError::Changed));
}

TEST_F(LinuxFilesTest, AWalkListingReadsHeadsOnlyOfTheFilesItListed) {
  dir.write("t/prog", std::string("\x7f"
                                  "ELF\x02\x01\x01",
                                  7));
  dir.write("t/skipped", std::string("\x7f"
                                     "ELF",
                                     4));
  dir.write("t/swapped", "ELF?");
  dir.write("t/linked", "ELF?");
  dir.write("t/piped", "ELF?");
  dir.write("t/short", "ab");
  dir.write("other", std::string("\x7f"
                                 "ELF",
                                 4));
  std::vector<std::string> asked;
  HeadRequest heads;
  heads.size = 4;
  heads.wanted = [&](const DirEntry& entry) {
    asked.push_back(entry.name);
    // Each of these is replaced between the listing's status and its open.
    if (entry.name == "swapped")
      fs::rename(dir / "other", dir / "t/swapped");
    if (entry.name == "linked") {
      fs::remove(dir / "t/linked");
      fs::create_symlink(dir / "t/prog", dir / "t/linked");
    }
    if (entry.name == "piped") {
      fs::remove(dir / "t/piped");
      EXPECT_EQ(::mkfifo((dir / "t/piped").c_str(), 0600), 0); // no writer: an open would wait
    }
    return entry.name != "skipped";
  };
  auto listed = files.listFolder(dir / "t", nullptr, heads);
  ASSERT_TRUE(listed);
  std::map<std::string, std::string> headOf;
  for (const DirEntry& entry : *listed)
    headOf[entry.name] = entry.head;
  EXPECT_EQ(headOf["prog"], std::string("\x7f"
                                        "ELF",
                                        4));
  EXPECT_EQ(headOf["short"], "ab");
  EXPECT_EQ(headOf["skipped"], "") << "not asked for";
  EXPECT_EQ(headOf["swapped"], "") << "another file than the one listed";
  EXPECT_EQ(headOf["linked"], "") << "read through a link";
  EXPECT_EQ(headOf["piped"], "");
  EXPECT_EQ(asked.size(), 6u);

  // The listing of a subfolder checks it is the folder its parent listed.
  FileIdentity wrong{1, 1};
  EXPECT_EQ(files.listFolder(dir / "t", &wrong, heads).error(),
            make_error_code(FileError::Changed));
}

TEST_F(LinuxFilesTest, TheLockExcludesASecondHandleUntilReleased) {
  std::string path = dir / "datafiles.lock";
  auto first = files.lock(path);
  ASSERT_TRUE(first);
  EXPECT_EQ(files.tryLock(path).error(), std::errc::resource_unavailable_try_again);
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  first->reset();
  EXPECT_TRUE(files.tryLock(path));
}

} // namespace
} // namespace quorvane::platform
