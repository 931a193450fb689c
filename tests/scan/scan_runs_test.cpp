// The custom scan run over folders and files.
#include "scan/scan_runs.h"

#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "platform/fake/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::scan {
namespace {

using ::testing::ElementsAre;

class RecordingObserver final : public ScanObserver {
public:
  std::vector<std::string> events;
  void checking(const std::string& path, long long n) override {
    events.push_back("check " + std::to_string(n) + " " + path);
  }
  void detected(const ThreatRow& row, const std::string&) override {
    events.push_back("threat " + row.fullPath);
  }
};

class ScanRunsTest : public ::testing::Test {
protected:
  platform::fake::FakePlatform fake;
  platform::Platform& p = fake.platform;
  engine::SignatureDatabase signatures{fake.files, "/app/vir.sig"};
  ScanRunner runner{p, "/app", signatures};
  RecordingObserver observer;
  app::SettingsStore settings{p};

  void SetUp() override {
    for (const char* f : {"/app", "/data", "/data/sub"})
      fake.files.createDirectory(f);
    fake.files.put("/tmp-key", "evil");
    std::string digest = engine::GetFileMD5HashCode(p, "/tmp-key");
    fake.files.removeFile("/tmp-key");
    fake.files.put("/app/vir.sig", "0\r\n" + engine::FileKeyText(digest, 4) + "\r\n");
    signatures.LoadSignatureTable();
    runner.checker().observer = &observer;
  }
};

TEST_F(ScanRunsTest, CustomScanCountsRecordsOnceAndStoresLastScan) {
  fake.files.put("/data/a.exe", "evil");
  fake.files.put("/data/b.txt", "evil"); // not a program: not handed over
  fake.files.put("/data/sub/c.DLL", "evil");
  fake.files.put("/data/sub/d.exe", "fine");
  settings.setSetting("threats", "5");
  int found = runner.StartCustomScan({"/data"});
  EXPECT_EQ(found, 2);
  EXPECT_THAT(observer.events,
              ElementsAre("check 0 /data/a.exe", "threat /data/a.exe", "check 1 /data/sub/d.exe",
                          "check 2 /data/sub/c.DLL", "threat /data/sub/c.DLL"));
  EXPECT_EQ(runner.state().filesScanned, 3);
  EXPECT_EQ(runner.state().folderThreats, 2);
  EXPECT_EQ(runner.state().holdFlag, 1);
  EXPECT_EQ(runner.state().status, "Finished scanning");
  EXPECT_EQ(settings.setting("threats"), "7"); // each detection counted once
  EXPECT_EQ(settings.setting("last scan"), "09/12/2026 14:30:05");
}

TEST_F(ScanRunsTest, SingleFilesAreCheckedWhateverTheirNameAndFoldersAdd) {
  fake.files.put("/data/notes.txt", "evil");
  fake.files.put("/data/sub/x.exe", "evil");
  EXPECT_EQ(runner.StartCustomScan({"/data/notes.txt", "/data/sub"}), 2);
  EXPECT_EQ(runner.results().rows.size(), 2u);
  EXPECT_EQ(runner.state().areaCounts[kAreaCustomFolder], 2);
}

TEST_F(ScanRunsTest, ANewRunStartsFromZero) {
  fake.files.put("/data/a.exe", "evil");
  runner.StartCustomScan({"/data"});
  fake.files.put("/data/a.exe", "fine now");
  EXPECT_EQ(runner.StartCustomScan({"/data"}), 0);
  EXPECT_TRUE(runner.results().rows.empty());
  EXPECT_EQ(runner.state().filesScanned, 1);
}

TEST_F(ScanRunsTest, RelativeFolderMeansTheApplicationFolder) {
  fake.files.put("/app/tool.exe", "evil");
  runner.ScanFolderTree("somewhere", kAreaCustomFolder);
  ASSERT_EQ(runner.results().rows.size(), 1u);
  EXPECT_EQ(runner.results().rows[0].fullPath, "/app/tool.exe");
}

TEST_F(ScanRunsTest, CancelStopsTheRunButItStillEnds) {
  for (const char* f : {"/data/1.exe", "/data/2.exe", "/data/sub/3.exe"})
    fake.files.put(f, "x");
  struct CancelOnFirst final : ScanObserver {
    ScanRunner* runner;
    void checking(const std::string&, long long) override { runner->CancelScan(); }
  } cancelling;
  cancelling.runner = &runner;
  runner.checker().observer = &cancelling;
  runner.StartCustomScan({"/data", "/data/sub"});
  EXPECT_EQ(runner.state().filesScanned, 1); // the file reported with the cancel is checked
  EXPECT_EQ(runner.state().holdFlag, 1);
  EXPECT_FALSE(settings.setting("last scan").empty());
}

} // namespace
} // namespace quorvane::scan
