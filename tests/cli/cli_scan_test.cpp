// `quorvane scan`, `history` and `quarantine` end to end, on a temporary tree with planted
// threats.
#include "support/run_cli.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace quorvane::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

/// A home with the shipped vir.sig plus keys of two more planted files, and a tree to scan.
class CliScanTest : public ::testing::Test {
protected:
  TempDir home, tree;
  std::string big; // planted, listed, and 5,242,879 bytes long
  std::string huge; // same content plus one byte: at the limit, never looked up

  void SetUp() override {
    std::filesystem::copy_file(std::string(QUORVANE_DATA_DIR) + "/vir.sig", home / "vir.sig");
    big.assign(5242879, 'b');
    huge = big + "b";
    tree.write("big/near-limit.dll", big);
    tree.write("big/at-limit.dll", huge);
    std::string keys = runCli({"key", tree / "big/near-limit.dll", tree / "big/at-limit.dll"}).out;
    std::string virSig = home.read("vir.sig");
    for (std::size_t pos = 0; pos < keys.size();) {
      std::size_t tab = keys.find('\t', pos);
      virSig += keys.substr(pos, tab - pos) + "\r\n";
      pos = keys.find('\n', pos) + 1;
    }
    home.write("vir.sig", virSig);

    tree.write("Eicar.COM", eicarText());
    tree.write("Nested/Deeper/SETUP.EXE", eicarText());
    tree.write("Nested/notes.txt", eicarText()); // not a program
    tree.write("Nested/clean.exe", "nothing to see");
    tree.write("own/quorvaneam.exe", eicarText()); // the program's own name: skipped
  }

  CliResult scan(std::vector<std::string> args) {
    args.insert(args.begin(), {"--home", home.path(), "scan"});
    return runCli(args, "", tree.path());
  }
  std::string setting(const std::string& name) {
    return runCli({"--home", home.path(), "settings", name}).out;
  }
};

TEST_F(CliScanTest, FindsPlantedThreatsAndRecordsThem) {
  CliResult r = scan({"."});
  EXPECT_EQ(r.status, 1) << r.err;
  std::string root = tree.path() + "/";
  EXPECT_EQ(r.out, root + "Eicar.COM: Quorvane.Threat FOUND\n" + root +
                       "Nested/Deeper/SETUP.EXE: Quorvane.Threat FOUND\n" + root +
                       "big/near-limit.dll: Quorvane.Threat FOUND\n"
                       "\nTotal files scanned : 6\nThreats Found : 3\n");
  EXPECT_EQ(r.err, ""); // not a terminal: no progress line
  for (const char* left : {"Eicar.COM", "Nested/Deeper/SETUP.EXE", "big/near-limit.dll"})
    EXPECT_TRUE(std::filesystem::exists(tree / left)) << left; // no threatfound: left

  CliResult history = runCli({"--home", home.path(), "history"});
  EXPECT_THAT(history.out, HasSubstr("SETUP.EXE | "));
  EXPECT_THAT(history.out, HasSubstr(" | " + root + "Nested/Deeper/SETUP.EXE\n"));
  EXPECT_EQ(std::count(history.out.begin(), history.out.end(), '\n'), 3);
  EXPECT_EQ(setting("threats"), "3\n");
  EXPECT_NE(setting("last scan"), "\n");

  EXPECT_EQ(runCli({"--home", home.path(), "history", "--clear"}).status, 0);
  EXPECT_EQ(runCli({"--home", home.path(), "history"}).out, "");
  EXPECT_EQ(setting("threats"), "3\n");
}

TEST_F(CliScanTest, QuarantineThenRestoreAndDelete) {
  CliResult r = scan({"--action", "quarantine", "Eicar.COM", "Nested"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.out, HasSubstr("Threats Found : 2\n"));
  EXPECT_FALSE(std::filesystem::exists(tree / "Eicar.COM"));
  EXPECT_FALSE(std::filesystem::exists(tree / "Nested/Deeper/SETUP.EXE"));
  EXPECT_EQ(home.read("qrnt/Eicar.COM.qrt"), eicarText());

  CliResult list = runCli({"--home", home.path(), "quarantine", "list"});
  EXPECT_THAT(list.out, HasSubstr("1. Eicar.COM | "));
  EXPECT_THAT(list.out, HasSubstr("2. SETUP.EXE | "));
  EXPECT_EQ(runCli({"--home", home.path(), "quarantine", "restore", "1"}).status, 0);
  EXPECT_EQ(tree.read("Eicar.COM"), eicarText());
  EXPECT_EQ(runCli({"--home", home.path(), "quarantine", "delete", "1"}).status, 0);
  EXPECT_EQ(runCli({"--home", home.path(), "quarantine", "list"}).out, "");
  EXPECT_FALSE(std::filesystem::exists(home / "qrnt/SETUP.EXE.qrt"));

  CliResult bad = runCli({"--home", home.path(), "quarantine", "restore", "7"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_THAT(bad.err, HasSubstr("no quarantined file numbered 7"));
}

TEST_F(CliScanTest, DeleteActionAndAllFiles) {
  CliResult r = scan({"--action", "delete", "--all-files", "Nested"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(std::filesystem::exists(tree / "Nested/notes.txt"));
  EXPECT_FALSE(std::filesystem::exists(tree / "Nested/Deeper/SETUP.EXE"));
  EXPECT_TRUE(std::filesystem::exists(tree / "Nested/clean.exe"));
}

TEST_F(CliScanTest, CleanTreeAndMissingPaths) {
  CliResult clean = scan({"Nested/clean.exe"});
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.out, "\nTotal files scanned : 1\nThreats Found : 0\n");

  CliResult missing = scan({"no-such-folder", "Eicar.COM"});
  EXPECT_EQ(missing.status, 2); // an error wins over a detection
  EXPECT_THAT(missing.err, HasSubstr("no-such-folder: No such file or directory"));
  EXPECT_THAT(missing.out, HasSubstr("Eicar.COM: Quorvane.Threat FOUND")); // the rest is scanned
}

TEST_F(CliScanTest, OddNamesStayOnOneLine) {
  std::string name = "bad\nname\xfe.exe";
  tree.write(name, eicarText());
  CliResult r = scan({name});
  EXPECT_THAT(r.out, HasSubstr("bad\\nname\\xFE.exe: Quorvane.Threat FOUND\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("bad\nname")));
}

TEST_F(CliScanTest, MissingSignaturesWarn) {
  std::filesystem::remove(home / "vir.sig");
  CliResult r = scan({"."});
  EXPECT_EQ(r.status, 0);
  EXPECT_THAT(r.err, HasSubstr("no signatures"));
}

} // namespace
} // namespace quorvane::testing

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvane::testing {
namespace {

/// A runnable program of our own: a copy of `sleep` with a few bytes appended, so that its
/// fingerprint is its own and no program of the system shares it.
std::string makeSleeper(const TempDir& dir, const std::string& name) {
  std::string path = dir / name;
  std::filesystem::copy_file(std::filesystem::exists("/usr/bin/sleep") ? "/usr/bin/sleep" : "/bin/sleep",
                             path);
  std::ofstream(path, std::ios::binary | std::ios::app) << "quorvane test " << getpid();
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  return path;
}

/// Quick Scan of a running threat, with its program file in place or deleted after it started
/// (the kernel still holds the file; the scan reads it from there).
class QuickScanThreatTest : public ::testing::TestWithParam<bool> {};

TEST_P(QuickScanThreatTest, FindsAndEndsARunningThreat) {
  bool deleted = GetParam();
  TempDir home, programs;
  std::string program = makeSleeper(programs, "qv-quick-sleeper");
  std::string key = runCli({"key", program}).out;
  home.write("vir.sig", key.substr(0, key.find('\t')) + "\r\n");
  pid_t child = fork();
  if (child == 0) {
    execl(program.c_str(), program.c_str(), "60", static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 200; ++i) { // until it runs the program
    std::error_code ignored;
    if (std::filesystem::read_symlink("/proc/" + std::to_string(child) + "/exe", ignored) == program)
      break;
    usleep(10000);
  }
  if (deleted)
    std::filesystem::remove(program);
  CliResult r = runCli({"--home", home.path(), "quick"});
  int status = 0;
  bool ended = false;
  for (int i = 0; i < 200 && !ended; ++i) {
    ended = waitpid(child, &status, WNOHANG) == child;
    if (!ended)
      usleep(10000);
  }
  if (!ended) { // our own child only
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
  EXPECT_EQ(r.status, 1) << r.err;
  std::string shown = program + (deleted ? " (deleted)" : "");
  EXPECT_THAT(r.out, HasSubstr(shown + ": Quorvane.Threat FOUND\n"));
  EXPECT_THAT(r.out, HasSubstr("Threats Found : 1\n"));
  EXPECT_THAT(r.out, HasSubstr("System Memory : 1\n"));
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(ended);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_THAT(runCli({"--home", home.path(), "history"}).out, HasSubstr(shown));
}

INSTANTIATE_TEST_SUITE_P(ProgramFile, QuickScanThreatTest, ::testing::Values(false, true),
                         [](const auto& info) {
                           return info.param ? "DeletedAfterStart" : "InPlace";
                         });

TEST(CliRunTest, SmartScanSummaryHasEveryArea) {
  TempDir home, win;
  win.write("System32/bad.dll", eicarText());
  std::filesystem::copy_file(std::string(QUORVANE_DATA_DIR) + "/vir.sig", home / "vir.sig");
  ASSERT_EQ(runCli({"--home", home.path(), "settings", "windows folder", win.path()}).status, 0);
  CliResult r = runCli({"--home", home.path(), "smart"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_THAT(r.out, HasSubstr(win.path() + "/System32/bad.dll: Quorvane.Threat FOUND\n"));
  EXPECT_THAT(r.out, HasSubstr("Threats Found : 1\nUnknown Files: 0\n"
                               "System Memory : 0\nSystem files/folders : 1\nSystem Registry : 0\n"));
}

} // namespace
} // namespace quorvane::testing

namespace quorvane::testing {
namespace {

TEST_F(CliScanTest, MarkedSafeStaysQuietUntilTheLineIsGone) {
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--home", home.path()});
    return runCli(args, "", tree.path());
  };
  ASSERT_EQ(run({"safe", "add", "Eicar.COM"}).status, 0);
  EXPECT_EQ(run({"safe", "list"}).out, "44d88612fea8a8f36de82e1278abb02f\n");
  CliResult quiet = scan({"Eicar.COM", "Nested/Deeper/SETUP.EXE"});
  EXPECT_EQ(quiet.status, 0) << quiet.out; // the same content under both names is safe
  EXPECT_THAT(quiet.out, HasSubstr("Threats Found : 0\n"));

  home.write("safe.sig", "garbage line\r\n");
  CliResult back = scan({"Eicar.COM"});
  EXPECT_EQ(back.status, 1);
  EXPECT_THAT(back.out, HasSubstr("Eicar.COM: Quorvane.Threat FOUND"));
  EXPECT_EQ(run({"safe", "add", "missing.exe"}).status, 2);
}

TEST_F(CliScanTest, RemoveAndQuarantineAllAfterTheRun) {
  CliResult removed = scan({"--remove", "Eicar.COM"});
  EXPECT_EQ(removed.status, 1);
  EXPECT_FALSE(std::filesystem::exists(tree / "Eicar.COM"));
  EXPECT_EQ(home.read("files.sig"), tree.path() + "/Eicar.COM\r\n");

  CliResult quarantined = scan({"--quarantine-all", "Nested"});
  EXPECT_EQ(quarantined.status, 1);
  EXPECT_FALSE(std::filesystem::exists(tree / "Nested/Deeper/SETUP.EXE"));
  EXPECT_EQ(home.read("qrnt/setup.exe.qrt"), eicarText());
  EXPECT_NE(scan({"--remove", "--quarantine-all", "."}).status, 0);
}

TEST_F(CliScanTest, ALaterFileAtAPendingPathIsNeverDeleted) {
  std::string path = tree.write("locked.exe", "left over");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  ASSERT_EQ(runCli({"--home", home.path(), "reg", "add",
                    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager", "/v",
                    "PendingFileRenameOperations", "/t", "REG_MULTI_SZ", "/d",
                    "\\??\\" + path + "\\0", "/f"})
                .status,
            0);
  home.write("files.sig", path + "|" + std::to_string(st.st_dev) + "|" +
                              std::to_string(st.st_ino) + "|9|7d1982c9915584ec0bb9734ed3ea7eb3\r\n");
  // The threat went some other way; the user saved a document under the same name since.
  std::filesystem::remove(path);
  tree.write("locked.exe", "the user's document");
  CliResult scanned = scan({"."});
  EXPECT_THAT(scanned.err, ::testing::Not(HasSubstr("deleted")));
  EXPECT_EQ(tree.read("locked.exe"), "the user's document");
  EXPECT_EQ(runCli({"--home", home.path(), "pending"}).out, "") << "the pair is done";
}

TEST_F(CliScanTest, PendingDeletionsAreListedAndCarriedOut) {
  std::string stale = tree.write("stale.exe", "left over");
  // Written the way another tool would, through the registry command.
  ASSERT_EQ(runCli({"--home", home.path(), "reg", "add",
                    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager", "/v",
                    "PendingFileRenameOperations", "/t", "REG_MULTI_SZ", "/d",
                    "\\??\\" + stale + "\\0\\0\\??\\/keep/rename\\0\\??\\/keep/to", "/f"})
                .status,
            0);
  EXPECT_EQ(runCli({"--home", home.path(), "pending"}).out, ""); // not one of ours
  home.write("files.sig", stale + "\r\n"); // a path alone does not say which file may go
  EXPECT_EQ(runCli({"--home", home.path(), "pending"}).out, "");
  struct stat st {};
  ASSERT_EQ(::stat(stale.c_str(), &st), 0);
  // As a removal records a file it could not delete: its identity and digest.
  home.write("files.sig", stale + "\r\n" + stale + "|" + std::to_string(st.st_dev) + "|" +
                              std::to_string(st.st_ino) + "|9|7d1982c9915584ec0bb9734ed3ea7eb3\r\n");
  EXPECT_EQ(runCli({"--home", home.path(), "pending"}).out, stale + "\n");
  CliResult done = runCli({"--home", home.path(), "pending", "--run"});
  EXPECT_EQ(done.status, 0);
  EXPECT_EQ(done.out, "deleted: " + stale + "\n");
  EXPECT_FALSE(std::filesystem::exists(stale));
  CliResult left = runCli({"--home", home.path(), "reg", "query",
                           "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"});
  EXPECT_THAT(left.out, HasSubstr("\\??\\/keep/rename\\0\\??\\/keep/to"));
}

} // namespace
} // namespace quorvane::testing

namespace quorvane::testing {
namespace {

TEST_F(CliScanTest, ProgressLineOnlyOnATerminal) {
  // `script` gives the program a terminal; the progress line is rewritten in place and cleared
  // before each detection line, which stays whole.
  if (std::system("command -v script > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "no script(1) to provide a terminal";
  std::string command = "cd " + shellQuote(tree.path()) + " && script -qec " +
                        shellQuote(shellQuote(QUORVANE_BIN) + " --home " + shellQuote(home.path()) +
                                   " scan Nested") +
                        " /dev/null > " + shellQuote(home / "tty.out") + " 2>&1 < /dev/null";
  ASSERT_EQ(std::system(command.c_str()) >> 8, 1);
  std::string out = home.read("tty.out");
  EXPECT_THAT(out, HasSubstr("\r\033[KFiles scanned : 0  "));
  EXPECT_THAT(out, HasSubstr("\r\033[K" + tree.path() + "/Nested/Deeper/SETUP.EXE: Quorvane.Threat FOUND"));
  EXPECT_EQ(scan({"Nested"}).err, ""); // and none when standard error is not a terminal
}

} // namespace
} // namespace quorvane::testing
