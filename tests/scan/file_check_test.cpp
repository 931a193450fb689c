// The check of one file and the recording of a detection.
#include "scan/file_check.h"

#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "platform/fake/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::scan {
namespace {

using ::testing::ElementsAre;

/// An application folder with a vir.sig listing the given file contents.
class FileCheckTest : public ::testing::Test {
protected:
  platform::fake::FakePlatform fake;
  platform::Platform& p = fake.platform;
  engine::SignatureDatabase signatures{fake.files, "/app/vir.sig"};
  scan::ScanState state;
  threats::ScanResults results;
  FileChecker checker{p, "/app", signatures, state, results};
  app::SettingsStore settings{p};

  void SetUp() override {
    fake.files.createDirectory("/app");
    fake.files.createDirectory("/data");
  }

  std::string keyOf(const std::string& content) {
    fake.files.put("/tmp-key", content);
    std::string digest = engine::getFileMD5HashCode(p, "/tmp-key");
    fake.files.removeFile("/tmp-key");
    return engine::fileKeyText(digest, content.size());
  }
  void listAsThreats(const std::vector<std::string>& contents) {
    std::string text;
    for (const std::string& c : contents)
      text += keyOf(c) + "\r\n";
    fake.files.put("/app/vir.sig", text);
    signatures.loadSignatureTable();
  }
};

TEST_F(FileCheckTest, ListedFileIsRecordedEverywhere) {
  listAsThreats({"evil one", "evil two", "evil three"});
  fake.files.put("/data/a.exe", "evil one");
  fake.files.put("/data/clean.exe", "harmless");
  fake.files.put("/data/b.dll", "evil two");
  fake.files.put("/data/c.bat", "evil three");
  state.areaIndex = scan::kAreaCustomFolder;
  for (const char* path : {"/data/a.exe", "/data/clean.exe", "/data/b.dll", "/data/c.bat"})
    checker.checkFile(path);

  EXPECT_EQ(state.filesScanned, 4);
  ASSERT_EQ(results.rows.size(), 3u);
  EXPECT_EQ(results.rows[1].fileName, "b.dll");
  EXPECT_EQ(results.rows[1].fullPath, "/data/b.dll");
  EXPECT_FALSE(results.rows[1].checked);
  EXPECT_EQ(results.digests.size(), 3u);
  EXPECT_EQ(results.areaThreats.size(), 3u);
  EXPECT_EQ(results.areaThreats[0], results.digests[0] + "|a.exe|1");
  EXPECT_EQ(state.folderThreats, 3);
  EXPECT_EQ(state.areaCounts[scan::kAreaCustomFolder], 3);
  EXPECT_EQ(settings.setting("threats"), "3");
  EXPECT_EQ(threats::ThreatLog(p, "/app").showScanHistory().size(), 3u);
  EXPECT_EQ(state.lastKeyText, keyOf("evil three"));
}

TEST_F(FileCheckTest, SizeLimitSkipsWithoutReading) {
  std::string below(kSizeLimit - 1, 'x');
  std::string at(kSizeLimit, 'x');
  listAsThreats({below});
  fake.files.put("/data/below.exe", below);
  fake.files.put("/data/at.exe", at);
  checker.checkFile("/data/at.exe");
  checker.checkFile("/data/below.exe");
  EXPECT_EQ(state.filesScanned, 2);               // both counted
  EXPECT_EQ(fake.files.reads["/data/at.exe"], 0); // the one at the limit never read
  ASSERT_EQ(results.rows.size(), 1u);
  EXPECT_EQ(results.rows[0].fileName, "below.exe");
}

TEST_F(FileCheckTest, OwnFilesAreSkippedByCaseSensitiveSubstring) {
  listAsThreats({"same"});
  fake.files.put("/data/quorvaneam.exe.bak", "same");
  fake.files.put("/data/QUORVANEAM.EXE", "same");
  fake.files.put("/data/tools/exeupdt.exe", "same");
  checker.checkFile("/data/quorvaneam.exe.bak");
  checker.checkFile("/data/tools/exeupdt.exe");
  checker.checkFile("/data/QUORVANEAM.EXE");
  EXPECT_EQ(state.filesScanned, 3);
  ASSERT_EQ(results.rows.size(), 1u);
  EXPECT_EQ(results.rows[0].fileName, "QUORVANEAM.EXE");
}

TEST_F(FileCheckTest, EmptyFileIsLookedUpUnderTheEmptyDigest) {
  listAsThreats({""});
  fake.files.put("/data/empty.com", "");
  checker.checkFile("/data/empty.com");
  EXPECT_EQ(state.lastKeyText, "54158459870032046980099864784276.0");
  EXPECT_EQ(results.rows.size(), 1u);
}

TEST_F(FileCheckTest, VanishedOrUnreadableFilesAreCountedAndSkipped) {
  listAsThreats({"evil"});
  fake.files.put("/data/locked.exe", "evil");
  fake.files.unreadable.insert("/data/locked.exe");
  checker.checkFile("/data/gone.exe");
  checker.checkFile("/data/locked.exe");
  EXPECT_EQ(state.filesScanned, 2);
  EXPECT_TRUE(results.rows.empty());
  EXPECT_EQ(settings.setting("threats"), "");
}

struct ActionCase {
  std::string setting;
  bool stays;
  bool quarantined;
};

class ThreatFoundTest : public FileCheckTest, public ::testing::WithParamInterface<ActionCase> {};

TEST_P(ThreatFoundTest, ActionFollowsTheSetting) {
  listAsThreats({"evil"});
  fake.files.put("/data/Evil.EXE", "evil");
  settings.setSetting("threatfound", GetParam().setting);
  checker.checkFile("/data/Evil.EXE");
  EXPECT_EQ(fake.files.exists("/data/Evil.EXE"), GetParam().stays);
  EXPECT_EQ(fake.files.exists("/app/qrnt/Evil.EXE.qrt"), GetParam().quarantined);
  if (GetParam().quarantined) {
    EXPECT_EQ(fake.files.content("/app/qrnt/Evil.EXE.qrt"), "evil");
  }
  EXPECT_EQ(results.rows.size(), 1u); // listed whatever happened to the file
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ThreatFoundTest,
    ::testing::Values(ActionCase{"1", false, false}, ActionCase{"2", false, true},
                      ActionCase{"3", true, false}, ActionCase{"", true, false},
                      ActionCase{"delete", true, false}, ActionCase{" 2", false, true}));

TEST_F(FileCheckTest, OverrideWinsOverTheSetting) {
  listAsThreats({"evil"});
  fake.files.put("/data/x.exe", "evil");
  settings.setSetting("threatfound", "1");
  checker.actionOverride = ThreatAction::Leave;
  checker.checkFile("/data/x.exe");
  EXPECT_TRUE(fake.files.exists("/data/x.exe"));
}

TEST_F(FileCheckTest, FileStaysWhenItCannotBeQuarantined) {
  listAsThreats({"evil"});
  fake.files.put("/data/x.exe", "evil");
  fake.files.put("/app/qrnt", "a file where the quarantine folder should be");
  settings.setSetting("threatfound", "2");
  checker.checkFile("/data/x.exe");
  EXPECT_TRUE(fake.files.exists("/data/x.exe"));
  EXPECT_TRUE(threats::Quarantine(p, "/app").showQuarantine().empty());
  EXPECT_EQ(results.rows.size(), 1u);
}

TEST_F(FileCheckTest, OnlyTheProcessRunningTheDetectedFileEnds) {
  listAsThreats({"evil"});
  fake.files.put("/home/alice/Downloads/bash", "evil");
  fake.processes.add(100, "/usr/bin/bash");
  fake.processes.add(200, "/home/alice/Downloads/bash");
  fake.processes.add(300, "/usr/bin/BASH");
  checker.recordThreat("", "/home/alice/Downloads/bash");
  EXPECT_THAT(fake.processes.terminated, ElementsAre(200));
}

TEST(OwnFileTest, FourNames) {
  EXPECT_TRUE(isOwnFile("/opt/q/nivtamsetup.exe"));
  EXPECT_TRUE(isOwnFile("/opt/q/zentuserv.exe.old"));
  EXPECT_FALSE(isOwnFile("/opt/q/Zentuserv.exe"));
  EXPECT_FALSE(isOwnFile("/opt/q/quorvane"));
}

} // namespace
} // namespace quorvane::scan

#include "app/text.h"
#include "engine/safelist.h"

namespace quorvane::scan {
namespace {

TEST(SafeListParseTest, DigestsBackToBackAnyCaseAndGarbageIgnored) {
  std::string a = "0123456789abcdef0123456789abcdef", b = "FEDCBA9876543210FEDCBA9876543210";
  auto digests = engine::parseSafeList(a + b + "\r\n\r\n" + "12345 not a digest zz\n" +
                                       b.substr(0, 20) + "\n" + app::toUpper(a) + "\n");
  EXPECT_THAT(digests, ::testing::ElementsAre(a, app::toLower(b), a));
}

TEST_F(FileCheckTest, FilesMarkedSafeAreNotThreats) {
  listAsThreats({"evil"});
  fake.files.put("/data/x.exe", "evil");
  std::string digest = engine::getFileMD5HashCode(p, "/data/x.exe");
  fake.files.put("/app/safe.sig", "junk\r\n" + std::string(32, 'a') + digest + "\r\n");
  checker.checkFile("/data/x.exe");
  EXPECT_TRUE(results.rows.empty());
  EXPECT_EQ(state.filesScanned, 1);
  fake.files.put("/app/safe.sig", std::string(32, 'a') + "\r\n"); // the line is gone again
  checker.checkFile("/data/x.exe");
  EXPECT_EQ(results.rows.size(), 1u);
}

} // namespace
} // namespace quorvane::scan

namespace quorvane::scan {
namespace {

TEST_F(FileCheckTest, TheInstalledProgramsAreKnownByIdentityNotByName) {
  fake.environment.executable = "/opt/q/bin/quorvane";
  for (const char* folder : {"/opt", "/opt/q", "/opt/q/bin"})
    fake.files.createDirectory(folder);
  fake.files.put("/opt/q/bin/quorvaneam", "the desktop program's bytes", true);
  listAsThreats({"the desktop program's bytes"}); // as a careless signature list might
  FileChecker withOwn{p, "/app", signatures, state, results};
  withOwn.checkFile("/opt/q/bin/quorvaneam");
  EXPECT_TRUE(results.rows.empty()) << "the installed program is never a threat";
  fake.files.put("/data/renamed", "the desktop program's bytes");
  withOwn.checkFile("/data/renamed");
  EXPECT_EQ(results.rows.size(), 1u) << "another file with the same bytes is";
}

} // namespace
} // namespace quorvane::scan

namespace quorvane::scan {
namespace {

struct Problems final : scan::ScanObserver {
  std::vector<std::string> lines;
  void problem(const std::string& path, const std::string& what) override {
    lines.push_back(path + ": " + what);
  }
};

TEST_F(FileCheckTest, AFileThatCouldNotBeCheckedIsNeverCountedClean) {
  listAsThreats({"evil one"});
  Problems problems;
  checker.observer = &problems;
  fake.files.put("/data/locked.exe", "evil one");
  fake.files.unreadable.insert("/data/locked.exe");
  checker.checkFile("/data/locked.exe");

  // Read too slowly: the 3-second limit makes it "not checked", not clean.
  fake.files.put("/data/slow.exe", "evil one");
  fake.clock.ticksPerRead = 4000;
  checker.checkFile("/data/slow.exe");
  EXPECT_EQ(state.filesNotChecked, 2);
  EXPECT_TRUE(results.rows.empty());
  EXPECT_THAT(
      problems.lines,
      ElementsAre("/data/locked.exe: cannot be checked: Input/output error",
                  "/data/slow.exe: cannot be checked: reading it took longer than 3 seconds"));

  // The same slow read while the process was stopped and continued (Ctrl-Z, fg): that time
  // is not the file's, and the threat is found.
  fake.clock.resumesPerRead = 1;
  checker.checkFile("/data/slow.exe");
  EXPECT_EQ(results.rows.size(), 1u);
  EXPECT_EQ(state.filesNotChecked, 2);
}

} // namespace
} // namespace quorvane::scan
