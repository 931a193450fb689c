// The custom scan run over folders and files.
#include "scan/scan_runs.h"

#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "platform/fake/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

namespace quorvane::scan {
namespace {

using ::testing::ElementsAre;

class RecordingObserver final : public ScanObserver {
public:
  std::vector<std::string> events;
  void checking(const std::string& path, long long n) override {
    events.push_back("check " + std::to_string(n) + " " + path);
  }
  void detected(const threats::ThreatRow& row, const std::string&) override {
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
    std::string digest = engine::getFileMD5HashCode(p, "/tmp-key");
    fake.files.removeFile("/tmp-key");
    fake.files.put("/app/vir.sig", "0\r\n" + engine::fileKeyText(digest, 4) + "\r\n");
    signatures.loadSignatureTable();
    runner.checker().observer = &observer;
  }
};

TEST_F(ScanRunsTest, CustomScanCountsRecordsOnceAndStoresLastScan) {
  fake.files.put("/data/a.exe", "evil");
  fake.files.put("/data/b.txt", "evil"); // not a program: not handed over
  fake.files.put("/data/sub/c.DLL", "evil");
  fake.files.put("/data/sub/d.exe", "fine");
  settings.setSetting("threats", "5");
  int found = runner.startCustomScan({"/data"});
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

TEST_F(ScanRunsTest, ARunReadsTheProcessTableOnceForAllItsDetections) {
  for (const char* f : {"/data/a.exe", "/data/b.exe", "/data/sub/c.exe"})
    fake.files.put(f, "evil");
  fake.processes.add(7, "/data/b.exe");
  EXPECT_EQ(runner.startCustomScan({"/data"}), 3);
  EXPECT_EQ(fake.processes.listCalls, 1);
  EXPECT_THAT(fake.processes.terminated, ElementsAre(7u)) << "the snapshot still ends it";
  EXPECT_EQ(runner.startCustomScan({"/data"}), 3); // left in place: found again
  EXPECT_EQ(fake.processes.listCalls, 2) << "a new run, a new snapshot";
}

TEST_F(ScanRunsTest, SingleFilesAreCheckedWhateverTheirNameAndFoldersAdd) {
  fake.files.put("/data/notes.txt", "evil");
  fake.files.put("/data/sub/x.exe", "evil");
  EXPECT_EQ(runner.startCustomScan({"/data/notes.txt", "/data/sub"}), 2);
  EXPECT_EQ(runner.results().rows.size(), 2u);
  EXPECT_EQ(runner.state().areaCounts[kAreaCustomFolder], 2);
}

TEST_F(ScanRunsTest, ANewRunStartsFromZero) {
  fake.files.put("/data/a.exe", "evil");
  runner.startCustomScan({"/data"});
  fake.files.put("/data/a.exe", "fine now");
  EXPECT_EQ(runner.startCustomScan({"/data"}), 0);
  EXPECT_TRUE(runner.results().rows.empty());
  EXPECT_EQ(runner.state().filesScanned, 1);
}

TEST_F(ScanRunsTest, RelativeFolderMeansTheApplicationFolder) {
  fake.files.put("/app/tool.exe", "evil");
  runner.scanFolderTree("somewhere", kAreaCustomFolder);
  ASSERT_EQ(runner.results().rows.size(), 1u);
  EXPECT_EQ(runner.results().rows[0].fullPath, "/app/tool.exe");
}

TEST_F(ScanRunsTest, CancelStopsTheRunButItStillEnds) {
  for (const char* f : {"/data/1.exe", "/data/2.exe", "/data/sub/3.exe"})
    fake.files.put(f, "x");
  struct CancelOnFirst final : ScanObserver {
    ScanRunner* runner;
    void checking(const std::string&, long long) override { runner->cancelScan(); }
  } cancelling;
  cancelling.runner = &runner;
  runner.checker().observer = &cancelling;
  runner.startCustomScan({"/data", "/data/sub"});
  EXPECT_EQ(runner.state().filesScanned, 1); // the file reported with the cancel is checked
  EXPECT_EQ(runner.state().holdFlag, 1);
  EXPECT_FALSE(settings.setting("last scan").empty());
}

} // namespace
} // namespace quorvane::scan

namespace quorvane::scan {
namespace {

class CandidateScanTest : public ScanRunsTest {
protected:
  void SetUp() override {
    ScanRunsTest::SetUp();
    for (const char* f : {"/usr", "/usr/bin", "/usr/lib", "/opt", "/win"})
      fake.files.createDirectory(f);
    runner.startup().unitFolders = {};
    runner.startup().userCrontab = "";
    runner.startup().systemCrontab = "/none";
    runner.startup().cronFolder = "/none";
    settings.setSetting("windows folder", "/win");
  }
};

TEST_F(CandidateScanTest, AModuleThatCannotBeReadIsUnknownNotSafe) {
  fake.files.put("/usr/bin/tool", "good");
  fake.files.put("/usr/lib/libc.so.6", "fine");
  fake.files.unreadable = {"/usr/lib/libc.so.6"};
  fake.processes.add(1, "/usr/bin/tool");
  fake.processes.moduleLists[1] = {"/usr/lib/libc.so.6"};
  EXPECT_EQ(runner.startQuickScan(), 0);
  const ScanState& s = runner.state();
  EXPECT_EQ(s.filesNotChecked, 1);
  EXPECT_EQ(s.summary.totalFiles, 2);
  EXPECT_EQ(s.summary.unknownFiles, 1);
  EXPECT_EQ(s.summary.safeFiles, 1);
}

TEST_F(CandidateScanTest, QuickScanChecksEachModuleFileOnce) {
  fake.files.put("/usr/bin/tool", "evil");
  fake.files.put("/usr/lib/libc.so.6", "fine");
  fake.processes.add(1, "/usr/bin/tool");
  fake.processes.add(2, "/usr/bin/tool"); // a second instance: one candidate
  fake.processes.moduleLists[1] = {"/usr/lib/libc.so.6"};
  fake.processes.moduleLists[2] = {"/usr/lib/libc.so.6"};
  EXPECT_EQ(runner.startQuickScan(), 1);
  EXPECT_THAT(runner.candidates(), ElementsAre("/usr/bin/tool", "/usr/lib/libc.so.6"));
  const ScanState& s = runner.state();
  EXPECT_EQ(s.filesScanned, 2);
  EXPECT_EQ(s.memoryThreats, 1);
  EXPECT_EQ(runner.state().areaCounts.at(kAreaMemory), 1);
  EXPECT_EQ(s.summary.totalFiles, 2);
  EXPECT_EQ(s.summary.safeFiles, 1);
  EXPECT_EQ(s.summary.threats, 1);
  EXPECT_EQ(s.panels.at(kAreaMemory).status, AreaPanel::Status::Threat);
  EXPECT_EQ(s.panels.at(kAreaMemory).title, "System Memory");
  EXPECT_FALSE(s.panels.at(kAreaWindowsFolder).shown);
  EXPECT_EQ(s.threatsLabel, "Threats Found : 1"); // the live label matches the area count
  EXPECT_EQ(s.nowChecking, "Now Checking /usr/lib/libc.so.6");
  EXPECT_EQ(s.filesLabel, "Files scanned : 1");
  EXPECT_EQ(settings.setting("threats"), "1");
  // Both processes ran the detected file: both end.
  EXPECT_THAT(fake.processes.terminated, ElementsAre(1, 2));
}

TEST_F(CandidateScanTest, ObserverHearsAreasAndTheRunEnd) {
  struct Events final : ScanObserver {
    std::vector<std::string> seen;
    void areaFinished(int area, int count) override {
      seen.push_back("area " + std::to_string(area) + "=" + std::to_string(count));
    }
    void runFinished(const ScanSummary& summary) override {
      seen.push_back("end " + std::to_string(summary.threats));
    }
  } events;
  runner.checker().observer = &events;
  fake.files.put("/win/x.exe", "evil");
  runner.startSmartScan();
  EXPECT_THAT(events.seen, ElementsAre("area 8=0", "area 23=1", "area 4=0", "end 1"));
  events.seen.clear();
  runner.startQuickScan(); // no processes: an empty candidate list changes nothing
  EXPECT_THAT(events.seen, ElementsAre("area 8=0", "end 0"));
  EXPECT_EQ(runner.state().filesScanned, 0);
}

TEST_F(CandidateScanTest, SystemRootPathsGetTheDriveWhereThereIsOne) {
  runner.systemDrive = "/drive";
  fake.files.createDirectory("/drive");
  fake.files.createDirectory("/drive/SystemRoot");
  fake.files.put("/drive/SystemRoot/smss.exe", "evil");
  runner.candidates() = {"/SystemRoot/smss.exe"};
  runner.checkCandidateList(kAreaMemory, ThreatCounter::Memory);
  ASSERT_EQ(runner.results().rows.size(), 1u);
  EXPECT_EQ(runner.results().rows[0].fullPath, "/drive/SystemRoot/smss.exe");
}

TEST_F(CandidateScanTest, SmartScanCoversEveryAreaAndUnregistersComponents) {
  fake.files.put("/usr/bin/mem", "fine");
  fake.processes.add(5, "/usr/bin/mem");
  fake.files.put("/win/virus.dll", "evil");
  fake.files.put("/opt/startme.exe", "evil");
  const std::string run = "Software\\Microsoft\\windows\\currentversion\\run";
  fake.registry.createKey(platform::Hive::CurrentUser, run);
  fake.registry.setValue(platform::Hive::CurrentUser, run, "Start", platform::ValueType::String,
                         "/opt/startme.exe --now");
  fake.files.put("/opt/comp.dll", "evil");
  for (const char* id : {"{1}", "{2}", "{3}"}) {
    std::string key = std::string("CLSID\\") + id + "\\InprocServer32";
    fake.registry.createKey(platform::Hive::ClassesRoot, key);
    fake.registry.setValue(platform::Hive::ClassesRoot, key, "", platform::ValueType::String,
                           id == std::string("{3}") ? "/usr/bin/mem" : "/opt/comp.dll");
  }

  EXPECT_EQ(runner.startSmartScan(), 4);
  const ScanState& s = runner.state();
  EXPECT_EQ(s.memoryThreats, 0);
  EXPECT_EQ(s.folderThreats, 1);
  EXPECT_EQ(s.startupThreats, 1);
  EXPECT_EQ(s.componentThreats, 2);
  EXPECT_EQ(s.areaCounts.at(kAreaRegistry), 3);
  EXPECT_EQ(s.areaCounts.at(kAreaWindowsFolder), 1);
  EXPECT_EQ(s.summary.threats, 4);
  EXPECT_EQ(s.panels.at(kAreaMemory).status, AreaPanel::Status::Clean);
  EXPECT_EQ(s.panels.at(kAreaRegistry).status, AreaPanel::Status::Threat);
  EXPECT_EQ(runner.results().rows.size(), 4u);
  // Each class registered with the threat file loses its registration; the others keep theirs.
  EXPECT_FALSE(fake.registry.keyExists(platform::Hive::ClassesRoot, "CLSID\\{1}\\InprocServer32"));
  EXPECT_FALSE(fake.registry.keyExists(platform::Hive::ClassesRoot, "CLSID\\{2}\\InprocServer32"));
  EXPECT_TRUE(fake.registry.keyExists(platform::Hive::ClassesRoot, "CLSID\\{3}\\InprocServer32"));
  EXPECT_THAT(runner.references(), ElementsAre("HKCR|CLSID\\{1}", "HKCR|CLSID\\{2}", "HKCR|CLSID\\{3}"));
  EXPECT_EQ(settings.setting("threats"), "4");
}

TEST_F(CandidateScanTest, PauseHoldsTheCandidateLoop) {
  for (int i = 0; i < 5; ++i) {
    std::string path = "/usr/bin/p" + std::to_string(i);
    fake.files.put(path, "x");
    fake.processes.add(static_cast<platform::ProcessId>(10 + i), path);
  }
  struct PauseOnSecond final : ScanObserver {
    ScanRunner* runner;
    std::atomic<int> seen{0};
    void checking(const std::string&, long long) override {
      if (++seen == 2)
        runner->pause();
    }
  } pausing;
  pausing.runner = &runner;
  runner.checker().observer = &pausing;
  std::thread scan([&] { runner.startQuickScan(); });
  for (int i = 0; i < 5000 && runner.state().holdFlag == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_LE(pausing.seen.load(), 2 + 16); // held: at most what was already read ahead
  int held = pausing.seen.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(pausing.seen.load(), held);
  runner.resume();
  scan.join();
  EXPECT_EQ(runner.state().filesScanned, 5);
}

} // namespace
} // namespace quorvane::scan

namespace quorvane::scan {
namespace {

TEST_F(ScanRunsTest, FolderScanRequestIsPickedUpOnceAndOnlyWhenIdle) {
  EXPECT_EQ(runner.pollFolderScanRequest(), std::nullopt); // no file
  fake.files.put("/app/folderscan.sig", "  \r\n");
  EXPECT_EQ(runner.pollFolderScanRequest(), std::nullopt); // empty request
  fake.files.put("/app/folderscan.sig", "\"/data/My Files,old\"\r\n");
  EXPECT_EQ(runner.pollFolderScanRequest(), "/data/My Files,old");
  EXPECT_FALSE(fake.files.exists("/app/folderscan.sig"));
  fake.files.put("/app/folderscan.sig", "/data,old\r\n");
  EXPECT_EQ(runner.pollFolderScanRequest(), "/data");

  // While a scan runs, the request stays for later.
  fake.files.put("/data/a.exe", "evil");
  fake.files.put("/app/folderscan.sig", "/data\r\n");
  struct PollWhileRunning final : ScanObserver {
    ScanRunner* runner;
    std::optional<std::string> seen = std::string("not polled");
    void checking(const std::string&, long long) override {
      seen = runner->pollFolderScanRequest();
    }
  } poller;
  poller.runner = &runner;
  runner.checker().observer = &poller;
  EXPECT_EQ(runner.startRequestedFolderScan("\"/data\""), 1);
  EXPECT_EQ(poller.seen, std::nullopt);
  EXPECT_EQ(runner.pollFolderScanRequest(), "/data");
  EXPECT_EQ(runner.startRequestedFolderScan("   "), std::nullopt);
}

TEST_F(ScanRunsTest, TogglePauseTwiceReturnsToRunning) {
  runner.state().holdFlag = 0;
  EXPECT_EQ(runner.togglePause(), "Resume");
  EXPECT_EQ(runner.state().holdFlag, 1);
  EXPECT_TRUE(runner.search().pause());
  EXPECT_EQ(runner.togglePause(), "Pause");
  EXPECT_EQ(runner.state().holdFlag, 0);
  EXPECT_FALSE(runner.search().pause());
}

TEST_F(ScanRunsTest, WaitMillisecondsFollowsTheTickCount) {
  fake.clock.ticksPerRead = 1;
  std::uint64_t before = fake.clock.ticks;
  runner.waitMilliseconds(5);
  EXPECT_GT(fake.clock.ticks.load(), before + 5);
}

} // namespace
} // namespace quorvane::scan

namespace quorvane::scan {
namespace {

TEST_F(ScanRunsTest, WorkerRunsOneScanAtATimeAndCancelReachesIt) {
  for (int i = 0; i < 50; ++i)
    fake.files.put("/data/f" + std::to_string(i) + ".exe", "x");
  struct Slow final : ScanObserver {
    std::atomic<int> seen{0};
    std::atomic<bool> cancelled{false};
    void checking(const std::string&, long long) override {
      if (++seen == 3) // hold the scan here until the other thread has cancelled it
        while (!cancelled)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  } slow;
  runner.checker().observer = &slow;
  ScanWorker worker(runner);
  ASSERT_TRUE(worker.start([](ScanRunner& r) { r.startCustomScan({"/data"}); }));
  EXPECT_FALSE(worker.start([](ScanRunner&) { FAIL() << "a second scan started"; }));
  for (int i = 0; i < 5000 && slow.seen < 3; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  runner.cancelScan(); // from another thread
  slow.cancelled = true;
  worker.join();
  EXPECT_FALSE(worker.busy());
  EXPECT_LT(slow.seen.load(), 50);
  EXPECT_EQ(runner.state().holdFlag, 1);
}

} // namespace
} // namespace quorvane::scan
