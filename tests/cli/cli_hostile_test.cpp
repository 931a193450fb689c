// `quorvane` over trees and data files that other users control, end to end: folders swapped for
// links while a root scan deletes, names that hold "|" and line ends, crafted index records,
// restores onto taken paths, FIFOs and devices, and two processes working at once.
#include "support/run_cli.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

/// Runs a shell command line, given `seconds` at the most (a hang ends with status 124).
CliResult runShell(const std::string& line, int seconds = 60) {
  return runCommandLine("timeout " + std::to_string(seconds) + " sh -c " + shellQuote(line));
}

std::size_t countLines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class CliHostileTest : public ::testing::Test {
protected:
  TempDir home, tree;
  const std::string bin = QUORVANE_BIN;

  void SetUp() override {
    fs::copy_file(std::string(QUORVANE_DATA_DIR) + "/vir.sig", home / "vir.sig");
  }
  CliResult q(std::vector<std::string> args) {
    args.insert(args.begin(), {"--home", home.path()});
    return runCli(args, "", tree.path());
  }
  /// `quorvane --home HOME` as a shell word list.
  std::string cli() const { return shellQuote(bin) + " --home " + shellQuote(home.path()); }
  std::vector<std::string> records(const char* file) {
    std::string text = home.read(file);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
      std::size_t end = text.find("\r\n", at);
      lines.push_back(text.substr(at, end - at));
      at = end == std::string::npos ? text.size() : end + 2;
    }
    return lines;
  }
};

TEST_F(CliHostileTest, ARootScanNeverDeletesThroughAFolderSwappedInALoop) {
  // A user's tree whose folder t/dir is exchanged, again and again, with a link t/lnk to a
  // folder of someone else's holding a file of the same name and content.
  std::string victim = tree.write("victim/evil.exe", eicarText());
  std::atomic<bool> swapping{false};
  std::atomic<long> swaps{0};
  auto swapper = [&] {
    std::string a = tree / "t/dir", b = tree / "t/lnk";
    while (swapping)
      if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0)
        ++swaps;
  };
  auto start = std::chrono::steady_clock::now();
  int runs = 0;
  for (; runs < 40 && std::chrono::steady_clock::now() - start < std::chrono::seconds(8); ++runs) {
    fs::remove_all(tree / "t");
    tree.write("t/dir/evil.exe", eicarText());
    fs::create_directory_symlink(tree / "victim", tree / "t/lnk");
    swapping = true;
    std::thread thread(swapper);
    CliResult r = q({"scan", "--action", "delete", tree / "t"});
    swapping = false;
    thread.join();
    // 2 only for an entry swapped while it was read: it is told, and counts as not checked.
    ASSERT_TRUE(r.status == 0 || r.status == 1 || r.err.find("cannot be checked") != std::string::npos)
        << r.status << ": " << r.err;
    ASSERT_TRUE(fs::exists(victim)) << "run " << runs << ": " << r.out << r.err;
  }
  EXPECT_GT(swaps.load(), runs) << "the folder was swapped while the scans ran";
}

TEST_F(CliHostileTest, NamesWithBarsAndLineEndsKeepTheirRecords) {
  std::string barred = tree.write("a|b.exe", eicarText());
  std::string forged = tree.write("x\nevil.exe|yesterday|/etc/evil.exe/t.exe", eicarText());
  CliResult scanned = q({"scan", "--action", "quarantine", "."});
  EXPECT_EQ(scanned.status, 1) << scanned.err;
  EXPECT_FALSE(fs::exists(barred));
  EXPECT_FALSE(fs::exists(forged));

  // One record per file, whatever its name holds, shown escaped on one line each.
  CliResult history = q({"history"});
  EXPECT_EQ(countLines(history.out), 2u) << history.out;
  EXPECT_THAT(history.out, HasSubstr("x\\nevil.exe|yesterday|"));
  CliResult list = q({"quarantine", "list"});
  ASSERT_EQ(countLines(list.out), 2u) << list.out;
  EXPECT_EQ(records("qrntfiles.sig").size(), 2u);

  CliResult restored = q({"quarantine", "restore", "1", "2"});
  EXPECT_EQ(restored.status, 0) << restored.err;
  EXPECT_EQ(tree.read("a|b.exe"), eicarText());
  EXPECT_EQ(tree.read("x\nevil.exe|yesterday|/etc/evil.exe/t.exe"), eicarText());
  EXPECT_FALSE(fs::exists("/etc/evil.exe"));
  EXPECT_EQ(q({"quarantine", "list"}).out, "");
  EXPECT_TRUE(fs::is_empty(home / "qrnt")) << "no orphaned copy";
}

TEST_F(CliHostileTest, ARecordNamingACopyOutsideTheQuarantineIsNeverActedOn) {
  std::string victim = tree.write("victim.exe", "someone's file");
  fs::create_directories(home / "qrnt");
  for (std::string copy : {"../../" + fs::path(tree.path()).filename().string() + "/victim.exe",
                           tree / "victim.exe"}) {
    SCOPED_TRACE(copy);
    home.write("qrntfiles.sig", "x.exe|d|" + (tree / "restored.exe") + "|" + copy + "\r\n");
    CliResult removed = q({"quarantine", "delete", "1"});
    EXPECT_EQ(removed.status, 2);
    EXPECT_THAT(removed.err, HasSubstr("names no quarantined copy"));
    CliResult restored = q({"quarantine", "restore", "1"});
    EXPECT_EQ(restored.status, 2);
    EXPECT_EQ(tree.read("victim.exe"), "someone's file");
    EXPECT_FALSE(fs::exists(tree / "restored.exe"));
    EXPECT_EQ(countLines(q({"quarantine", "list"}).out), 1u) << "shown, kept";
  }
}

TEST_F(CliHostileTest, RestoreOverwritesNothingAndBringsTheModeBack) {
  std::string tool = tree.write("bin/tool.exe", eicarText());
  fs::remove(tool);
  tool = tree.write("bin/tool.exe", eicarText());
  fs::permissions(tool, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  ASSERT_EQ(q({"scan", "--action", "quarantine", "bin"}).status, 1);
  ASSERT_FALSE(fs::exists(tool));

  // Another user's link: as root, a link the test makes is given to "nobody".
  bool root = ::geteuid() == 0;
  struct Taken {
    const char* what;
    std::function<void()> make;
  } taken[] = {
      {"a newer file", [&] { tree.write("bin/tool.exe", "the user's newer file"); }},
      {"a link to another file",
       [&] {
         fs::create_directories(tree / "bin");
         fs::create_symlink(tree.write("other.txt", "other"), tool);
       }},
      {"its folder swapped for a link to a folder holding that name",
       [&] {
         tree.write("elsewhere/tool.exe", "the file the link leads to");
         fs::create_directory_symlink(tree / "elsewhere", tree / "bin");
       }},
      {"its folder swapped for another user's link",
       [&] {
         fs::create_directories(tree / "empty");
         fs::create_directory_symlink(tree / "empty", tree / "bin");
         ASSERT_EQ(::lchown((tree / "bin").c_str(), 65534, 65534), 0);
       }},
  };
  for (const Taken& t : taken) {
    SCOPED_TRACE(t.what);
    if (std::string(t.what).find("another user") != std::string::npos && !root)
      continue; // only root can make a link look planted by someone else
    fs::remove_all(tree / "bin"); // a link there goes, not what it leads to
    t.make();
    CliResult refused = q({"quarantine", "restore", "1"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_THAT(refused.err, HasSubstr("cannot restore"));
    EXPECT_THAT(refused.err, HasSubstr("the quarantined copy is kept"));
    EXPECT_EQ(countLines(q({"quarantine", "list"}).out), 1u);
  }
  EXPECT_EQ(tree.read("other.txt"), "other");
  EXPECT_EQ(tree.read("elsewhere/tool.exe"), "the file the link leads to");
  EXPECT_TRUE(fs::is_empty(tree / "empty"));

  CliResult elsewhere = q({"quarantine", "restore", "--to", tree / "put-here", "1"});
  EXPECT_EQ(elsewhere.status, 0) << elsewhere.err;
  EXPECT_EQ(tree.read("put-here/tool.exe"), eicarText());
  EXPECT_EQ(fs::status(tree / "put-here/tool.exe").permissions() & fs::perms::all,
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  EXPECT_EQ(q({"quarantine", "list"}).out, "");
}

TEST_F(CliHostileTest, FifosAndDevicesAreRefusedNotWaitedOn) {
  std::string fifo = tree / "pipe.exe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, std::string("/dev/null"), std::string("/dev/zero")}) {
    SCOPED_TRACE(path);
    for (std::string command : {"key", "sig add", "safe add", "scan"}) {
      SCOPED_TRACE(command);
      CliResult r = runShell(cli() + " " + command + " " + shellQuote(path), 20);
      EXPECT_EQ(r.status, 2) << r.out << r.err; // 124 would be the time-out: a hang
      EXPECT_THAT(r.err, HasSubstr("not a regular file"));
    }
  }
  EXPECT_EQ(home.read("vir.sig"), fs::exists(home / "vir.sig") ? home.read("vir.sig") : "");
  EXPECT_FALSE(fs::exists(home / "safe.sig") && !home.read("safe.sig").empty());
  // A listed file swapped for a FIFO after the listing is not waited on either: the walk reads
  // it as the file it listed or not at all (no hang).
  tree.write("walk/ok.exe", "clean");
  ::mkfifo((tree / "walk/fifo.exe").c_str(), 0600);
  CliResult walked = runShell(cli() + " scan --all-files " + shellQuote(tree / "walk"), 20);
  EXPECT_EQ(walked.status, 0) << walked.err;
}

TEST_F(CliHostileTest, WhatCouldNotBeCheckedIsToldCountedAndNeverCalledClean) {
  // As a user who may not read everything: root runs the scan as "nobody".
  bool root = ::geteuid() == 0;
  TempDir userHome;
  for (const std::string& folder : {tree.path(), userHome.path()})
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                                fs::perms::group_read | fs::perms::others_read);
  userHome.write("app/vir.sig", home.read("vir.sig"));
  if (root) {
    for (const std::string& owned : {userHome.path(), userHome / "app", userHome / "app/vir.sig"})
      ASSERT_EQ(::chown(owned.c_str(), 65534, 65534), 0);
  }
  tree.write("t/listed.exe", eicarText());
  std::string locked = tree.write("t/locked.exe", eicarText());
  tree.write("t/closed/inside.exe", eicarText());
  fs::permissions(locked, fs::perms::none);
  fs::permissions(tree / "t/closed", fs::perms::none);
  std::string as = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  auto scanAsUser = [&] {
    return runCommandLine(as + "env HOME=" + shellQuote(userHome.path()) + " " + shellQuote(bin) +
                          " --home " + shellQuote(userHome / "app") + " scan " +
                          shellQuote(tree / "t"));
  };
  CliResult r = scanAsUser();
  EXPECT_EQ(r.status, 1) << "a threat found wins: " << r.err;
  EXPECT_THAT(r.err, HasSubstr(locked + ": cannot be checked: Permission denied"));
  EXPECT_THAT(r.err, HasSubstr(tree / "t/closed/" + ": cannot be checked: Permission denied"));
  EXPECT_THAT(r.out, HasSubstr("Files not checked : 2\n"));

  fs::remove(tree / "t/listed.exe");
  CliResult incomplete = scanAsUser();
  EXPECT_EQ(incomplete.status, 2) << "nothing found, but not everything checked: " << incomplete.out;
  fs::permissions(tree / "t/closed", fs::perms::owner_all); // so the folder can be removed
}

/// Folders of 200-character names, `depth` deep under `parent`, made one name at a time (the
/// whole path is past PATH_MAX); returns the path of the deepest.
std::string makeDeepFolders(const std::string& parent, int depth) {
  std::string name(200, 'd');
  int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY);
  std::string path = parent;
  for (int i = 0; i < depth && fd >= 0; ++i) {
    ::mkdirat(fd, name.c_str(), 0755);
    int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
    path += "/" + name;
  }
  if (fd >= 0)
    ::close(fd);
  return path;
}

/// Writes a file at the end of a path past PATH_MAX, reached a folder at a time.
void writeDeepFile(const std::string& path, const std::string& data) {
  int fd = AT_FDCWD;
  std::string rest = path;
  while (rest.size() >= PATH_MAX) {
    std::size_t cut = rest.rfind('/', PATH_MAX - 1);
    int next = ::openat(fd, rest.substr(0, cut).c_str(), O_RDONLY | O_DIRECTORY);
    if (fd != AT_FDCWD)
      ::close(fd);
    fd = next;
    rest = rest.substr(cut + 1);
  }
  int file = ::openat(fd, rest.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(file, 0) << "cannot make the deep file";
  ASSERT_EQ(::write(file, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  ::close(file);
  if (fd != AT_FDCWD)
    ::close(fd);
}

/// Removes a tree whose paths may be past PATH_MAX (std::filesystem cannot).
void removeDeepTree(int parent, const char* name) {
  int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
  if (fd >= 0) {
    for (const auto& entry : fs::directory_iterator("/proc/self/fd/" + std::to_string(fd)))
      removeDeepTree(fd, entry.path().filename().c_str());
    ::close(fd);
    ::unlinkat(parent, name, AT_REMOVEDIR);
  } else {
    ::unlinkat(parent, name, 0);
  }
}

TEST_F(CliHostileTest, FilesPastTheLongestPathAreCheckedAndRemoved) {
  fs::create_directories(tree / "t");
  std::string deep = makeDeepFolders(tree / "t", 30);
  ASSERT_GT(deep.size(), std::size_t{PATH_MAX});
  std::string threat = deep + "/listed.exe";
  writeDeepFile(threat, eicarText());
  writeDeepFile(deep + "/clean.exe", "nothing");

  CliResult r = q({"scan", tree / "t"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_THAT(r.out, HasSubstr(threat + ": Quorvane.Threat FOUND\n"));
  EXPECT_THAT(r.out, HasSubstr("Total files scanned : 2\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("not checked : 1")));

  CliResult removed = q({"scan", "--action", "quarantine", tree / "t"});
  EXPECT_EQ(removed.status, 1) << removed.err;
  EXPECT_EQ(removed.err, "");
  CliResult again = q({"scan", tree / "t"});
  EXPECT_EQ(again.status, 0) << again.out << again.err;
  EXPECT_THAT(again.out, HasSubstr("Total files scanned : 1\n"));
  EXPECT_THAT(q({"quarantine", "list"}).out, HasSubstr("listed.exe"));

  int top = ::open(tree.path().c_str(), O_RDONLY | O_DIRECTORY);
  removeDeepTree(top, "t");
  ::close(top);
}

TEST_F(CliHostileTest, AVirSigOfJunkIsWarnedAbout) {
  home.write("vir.sig", std::string("\x7f" "ELF\x02\x01\x01 junk\nnot a key\n\n", 24));
  tree.write("a.exe", "clean");
  CliResult r = q({"scan", "."});
  EXPECT_THAT(r.err, HasSubstr("warning: no signatures in"));
}

TEST_F(CliHostileTest, WhatAKilledRunLeftIsCleanedAtTheNextStart) {
  ASSERT_EQ(q({"scan", "--action", "quarantine", "."}).status, 0); // makes the folder
  tree.write("t/evil.exe", eicarText());
  ASSERT_EQ(q({"scan", "--action", "quarantine", "t"}).status, 1);
  home.write("vir.sig.tmp-999999999", "half a signature file");
  home.write("qrnt/half.exe.qrt", "a copy whose record was never written");
  EXPECT_EQ(q({"history"}).status, 0);
  EXPECT_FALSE(fs::exists(home / "vir.sig.tmp-999999999"));
  EXPECT_FALSE(fs::exists(home / "qrnt/half.exe.qrt"));
  EXPECT_TRUE(fs::exists(home / "qrnt/evil.exe.qrt"));
}

TEST_F(CliHostileTest, TwoQuarantiningScansAtOnceKeepEveryCopy) {
  constexpr int kFiles = 30;
  for (int i = 0; i < kFiles; ++i)
    for (const char* side : {"one", "two"})
      tree.write(std::string(side) + "/f" + std::to_string(i) + "/setup.exe", eicarText());
  CliResult both = runShell(cli() + " scan --action quarantine " + shellQuote(tree / "one") +
                            " >/dev/null & " + cli() + " scan --action quarantine " +
                            shellQuote(tree / "two") + " >/dev/null & wait");
  EXPECT_EQ(both.err, "");
  std::size_t copies = 0;
  for (const auto& entry : fs::directory_iterator(home / "qrnt")) {
    EXPECT_EQ(fs::file_size(entry.path()), eicarText().size());
    ++copies;
  }
  EXPECT_EQ(copies, 2u * kFiles);
  EXPECT_EQ(records("qrntfiles.sig").size(), 2u * kFiles);
  for (int i = 0; i < kFiles; ++i)
    EXPECT_FALSE(fs::exists(tree / ("one/f" + std::to_string(i) + "/setup.exe")));
}

TEST_F(CliHostileTest, DeletingFromTheQuarantineWhileAScanAddsLosesNoRecord) {
  constexpr int kFiles = 120;
  for (int i = 0; i < kFiles; ++i)
    tree.write("t/f" + std::to_string(i) + ".exe", eicarText());
  // Deletions of row 1 run while the scan appends; each that succeeds removes one record.
  CliResult r = runShell(cli() + " scan --action quarantine " + shellQuote(tree / "t") +
                         " >/dev/null & ok=0; for i in $(seq 40); do " + cli() +
                         " quarantine delete 1 2>/dev/null && ok=$((ok+1)); done; wait; echo $ok");
  int deleted = std::stoi(r.out);
  auto left = records("qrntfiles.sig");
  std::size_t copies = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(home / "qrnt"))
    ++copies;
  EXPECT_EQ(left.size() + static_cast<std::size_t>(deleted), static_cast<std::size_t>(kFiles))
      << deleted << " deleted";
  EXPECT_EQ(copies, left.size()) << "every record has its copy, and no copy is orphaned";
  for (int i = 0; i < kFiles; ++i)
    EXPECT_FALSE(fs::exists(tree / ("t/f" + std::to_string(i) + ".exe")));
}

TEST_F(CliHostileTest, ConcurrentSignatureAdditionsAreAllKept) {
  std::string script;
  for (int i = 0; i < 5; ++i)
    script += cli() + " sig add " + shellQuote(tree.write("s" + std::to_string(i), "sample " + std::to_string(i))) + " & ";
  CliResult r = runShell(script + "wait");
  EXPECT_EQ(r.err, "");
  CliResult verified = q({"sig", "verify", home / "vir.sig"});
  EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
  EXPECT_EQ(countLines(home.read("vir.sig")), 6u) << "the shipped key and the five added";
}

} // namespace
} // namespace quorvane::testing
