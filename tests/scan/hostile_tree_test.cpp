// Scans over trees that someone else controls, on the real file system: entries swapped for
// links between the check and the deletion, folders swapped between listing and entering, and
// the quarantine's own copies.
#include "scan/scan_runs.h"

#include "app/text.h"
#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "platform/fake/fakes.h"
#include "platform/linux/linux_platform.h"
#include "support/temp_dir.h"
#include "threats/quarantine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace quorvane::scan {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

constexpr const char* kThreat = "MZ a listed threat";

struct ProblemLog final : ScanObserver {
  std::vector<std::string> lines;
  void problem(const std::string& path, const std::string& what) override {
    lines.push_back(path + ": " + what);
  }
};

class HostileTreeTest : public ::testing::Test {
protected:
  testing::TempDir home, root;
  platform::fake::FakePlatform fake;
  platform::LinuxFileSystem disk;
  platform::Platform p{fake.registry,    disk,        fake.clock,
                       fake.environment, fake.crypto, fake.notifier, fake.processes, fake.power,
                       fake.http,        fake.shell,  fake.drives,   fake.integration};
  std::unique_ptr<engine::SignatureDatabase> signatures;
  std::unique_ptr<ScanRunner> runner;
  ProblemLog problems;

  void SetUp() override {
    std::string probe = home.write("probe", kThreat);
    std::string key = engine::fileKeyText(app::toLower(engine::getFileMD5HashCode(p, probe)),
                                          std::string(kThreat).size());
    fs::remove(probe);
    home.write("vir.sig", key + "\r\n" + key + "\r\n" + key + "\r\n");
    signatures = std::make_unique<engine::SignatureDatabase>(disk, home / "vir.sig");
    signatures->loadSignatureTable();
    runner = std::make_unique<ScanRunner>(p, home.path(), *signatures);
    runner->checker().observer = &problems;
  }
};

TEST_F(HostileTreeTest, AFolderSwappedForALinkBeforeTheDeletionCostsNoOtherFile) {
  for (scan::ThreatAction action : {scan::ThreatAction::Delete, scan::ThreatAction::Quarantine}) {
    SCOPED_TRACE(action == scan::ThreatAction::Delete ? "delete" : "quarantine");
    fs::remove_all(root / "t");
    fs::remove_all(root / "victim");
    problems.lines.clear();
    root.write("t/dir/evil.exe", kThreat);
    std::string victim = root.write("victim/evil.exe", kThreat); // another user's, the system's
    runner->checker().actionOverride = action;
    // Between the check and the deletion, t/dir becomes a link to the victim's folder.
    runner->checker().beforeAction = [&](const std::string&) {
      fs::rename(root / "t/dir", root / "t/old");
      fs::create_directory_symlink(root / "victim", root / "t/dir");
    };
    EXPECT_EQ(runner->startCustomScan({root / "t"}), 1);
    EXPECT_EQ(root.read("victim/evil.exe"), kThreat);
    EXPECT_TRUE(fs::exists(root / "t/old/evil.exe")) << "the swapped entry is left alone";
    ASSERT_EQ(problems.lines.size(), 1u);
    EXPECT_THAT(problems.lines[0], HasSubstr("left in place"));
    EXPECT_THAT(threats::Quarantine(p, home.path()).showQuarantine(), IsEmpty());
  }
}

TEST_F(HostileTreeTest, AFolderSwappedAfterItWasListedIsNotEntered) {
  root.write("t/a.exe", "clean");
  root.write("t/dir/b.exe", "clean");
  root.write("victim/secret.exe", kThreat);
  for (unsigned listingThreads : {0u, 2u}) {
    if (fs::is_symlink(root / "t/dir")) {
      fs::remove(root / "t/dir");
      fs::rename(root / "t/old", root / "t/dir");
    }
    DirectoryWalker walk(disk);
    walk.listingThreads = listingThreads;
    std::vector<std::string> found;
    walk.found = [&](const std::string& folder, const std::string& name) {
      found.push_back(folder + name);
      if (name == "a.exe") { // t/ is listed; its subfolder is swapped before it is entered
        fs::rename(root / "t/dir", root / "t/old");
        fs::create_directory_symlink(root / "victim", root / "t/dir");
      }
    };
    walk.walk(root / "t", "*.exe");
    if (listingThreads == 0) {
      EXPECT_THAT(found, ElementsAre(root / "t/a.exe"));
    } else {
      // Listed ahead, the subfolder may have been listed before the swap: then its own file is
      // reported (a check reads it only while it is that file). What the link leads to, never.
      EXPECT_THAT(found, Not(Contains(root / "t/dir/secret.exe")));
      EXPECT_EQ(found.front(), root / "t/a.exe");
    }
  }
}

TEST_F(HostileTreeTest, AFileSwappedBetweenListingAndReadingIsNotCheckedAsIt) {
  std::string path = root.write("t/evil.exe", kThreat);
  scan::ListedFile listed{std::string(kThreat).size(), disk.status(path)->identity()};
  auto screened = runner->checker().screen(path, listed);
  ASSERT_TRUE(screened.read);
  root.write("t/other", kThreat);
  fs::rename(root / "t/other", path); // same name, same content, another file
  scan::PreparedFile prepared =
      runner->checker().readScreened(path, screened, nullptr, engine::kDefaultPieceSize);
  EXPECT_TRUE(prepared.changed);
  EXPECT_FALSE(prepared.lookUp);
  runner->checker().record(path, prepared);
  EXPECT_THAT(problems.lines,
              ElementsAre(path + ": cannot be checked: it changed while it was being checked"));
}

TEST_F(HostileTreeTest, TheQuarantineIsNeverScannedAsThreats) {
  // The application folder lies inside the scanned tree (an installed program under /usr).
  testing::TempDir tree;
  std::string app = tree / "opt/quorvane";
  fs::create_directories(app);
  fs::copy_file(home / "vir.sig", app + "/vir.sig");
  engine::SignatureDatabase sigs(disk, app + "/vir.sig");
  sigs.loadSignatureTable();
  ScanRunner inside(p, app, sigs);
  inside.checker().actionOverride = scan::ThreatAction::Quarantine;
  tree.write("home/evil.exe", kThreat);
  EXPECT_EQ(inside.startCustomScan({tree.path()}), 1);
  ASSERT_TRUE(fs::exists(app + "/qrnt/evil.exe.qrt"));
  EXPECT_EQ(fs::status(app + "/qrnt").permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(app + "/qrnt/evil.exe.qrt").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  // A second scan of the whole tree finds nothing: the copy is not a new threat.
  EXPECT_EQ(inside.startCustomScan({tree.path()}), 0);
  EXPECT_FALSE(fs::exists(app + "/qrnt/evil.exe.qrt.qrt"));
  EXPECT_EQ(threats::Quarantine(p, app).showQuarantine().size(), 1u);
}

} // namespace
} // namespace quorvane::scan
