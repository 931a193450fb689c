#include "protect/drive_protect.h"

#include "app/settings.h"
#include "app/text.h"
#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "platform/fake/fakes.h"
#include "platform/linux/linux_platform.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace quorvane::protect {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
namespace fs = std::filesystem;

TEST(NormalPathTest, ResolvesDotsLexically) {
  EXPECT_EQ(normalPath("/media/u/stick/./a//b/../c"), "/media/u/stick/a/c");
  EXPECT_EQ(normalPath("/media/u/stick/../../../../x"), "/x");
  EXPECT_TRUE(isInside("/media/u/stick/a", "/media/u/stick"));
  EXPECT_TRUE(isInside("/media/u/stick/a", "/media/u/stick/"));
  EXPECT_FALSE(isInside("/media/u/stick", "/media/u/stick"));
  EXPECT_FALSE(isInside("/media/u/sticky/a", "/media/u/stick"));
}

TEST(AutorunTargetTest, NamesOnlyFilesInsideTheDrive) {
  const std::string root = "/media/u/STICK";
  struct Case {
    const char* line;
    std::optional<std::string> path;
  } cases[] = {
      {"open=evil.exe", "/media/u/STICK/evil.exe"},
      {"  OPEN = Tools\\Evil.EXE  ", "/media/u/STICK/Tools/Evil.EXE"},
      {"icon=autorun.ico", "/media/u/STICK/autorun.ico"},
      {"load= x.exe", "/media/u/STICK/x.exe"},
      {"shell\\open\\command=x.exe", std::nullopt},
      {"open=..\\..\\..\\home\\u\\.bashrc", std::nullopt},
      {"open=../../x", std::nullopt},
      {"open=sub/../../STICK2/x", std::nullopt},
      {"label=My stick", std::nullopt},
      {"[autorun]", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(autorunTarget(c.line, root), c.path) << c.line;
}

/// A temporary folder as the drive, on the real file system; processes and drives are fakes.
class DriveProtectTest : public ::testing::Test {
protected:
  DriveProtectTest() {
    fs::create_directories(stick);
    fs::create_directories(app);
    p.drives.drives = {{"/", {true, 0, false}}, {stick, {true, platform::kBusTypeUsb, true}}};
  }
  std::string key(const std::string& content) {
    std::string path = dir.write("keysource", content);
    auto digest = engine::hashFile(platform, path);
    fs::remove(path);
    return engine::fileKeyText(engine::digestText(*digest), content.size());
  }
  void listAsThreats(const std::vector<std::string>& contents) {
    std::string text;
    for (const std::string& content : contents)
      text += key(content) + "\r\n";
    dir.write("app/vir.sig", text);
    signatures.loadSignatureTable();
  }
  std::vector<std::string> logged() {
    std::vector<std::string> names;
    for (const auto& record : threats::ThreatLog(platform, app).showScanHistory())
      names.push_back(record.name);
    return names;
  }
  std::vector<std::string> onStick() {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(stick))
      names.push_back(fs::relative(entry.path(), stick).string());
    return names;
  }

  testing::TempDir dir;
  std::string stick = dir / "media/STICK";
  std::string app = dir / "app";
  platform::fake::FakePlatform p;
  platform::LinuxFileSystem files;
  platform::Platform platform{p.registry, files, p.clock,     p.environment, p.crypto, p.notifier,
                              p.processes, p.power, p.http, p.shell,       p.drives,
                              p.integration};
  engine::SignatureDatabase signatures{files, app + "/vir.sig"};
  AutoProtect autoProtect{platform, app, signatures};
  DriveProtect guard{platform, app, signatures, autoProtect};
};

TEST_F(DriveProtectTest, OnlyANewUsbDriveWithRemovableMediaIsHandled) {
  dir.write("media/STICK/notes.ini", "x");
  guard.listUsbDrives();
  EXPECT_THAT(guard.knownDrives(), ElementsAre(stick));
  MessageDispatcher dispatcher;
  dispatcher.attach(1, guard);
  dispatcher.addMessage(1, kDeviceChangeMessage, MessageDispatcher::After);
  dispatcher.dispatch(1, kDeviceChangeMessage);
  EXPECT_TRUE(fs::exists(stick + "/notes.ini")) << "present at start-up: never handled";

  std::string second = dir / "media/SECOND";
  std::string disk = dir / "media/DISK";
  fs::create_directories(second);
  fs::create_directories(disk);
  dir.write("media/DISK/notes.ini", "x");
  p.drives.drives.push_back({disk, {true, platform::kBusTypeUsb, false}}); // a USB hard disk
  p.drives.drives.push_back({second, {true, 0, true}});                   // removable, not USB
  dispatcher.dispatch(1, kDeviceChangeMessage);
  EXPECT_TRUE(fs::exists(disk + "/notes.ini"));

  p.drives.drives.push_back({dir / "media/NEW", {true, platform::kBusTypeUsb, true}});
  dir.write("media/NEW/notes.ini", "x");
  autoProtect.setEnabled(false);
  dispatcher.dispatch(1, kDeviceChangeMessage);
  EXPECT_TRUE(fs::exists(dir / "media/NEW/notes.ini")) << "auto-protect off: nothing happens";
  autoProtect.setEnabled(true);
  dispatcher.dispatch(1, kDeviceChangeMessage);
  EXPECT_FALSE(fs::exists(dir / "media/NEW/notes.ini"));
  EXPECT_EQ(guard.currentDrive(), "");
  dir.write("media/NEW/notes.ini", "again");
  dispatcher.dispatch(1, kDeviceChangeMessage); // still inserted: handled again
  EXPECT_FALSE(fs::exists(dir / "media/NEW/notes.ini"));
}

TEST_F(DriveProtectTest, CleanUpTakesEverythingToQuarantineAndAllOfItCanBeRestored) {
  listAsThreats({"EVIL SETUP", "EVIL IN A FOLDER"});
  std::map<std::string, std::string> taken = {
      {"Thumbs.db", "thumbnails"},
      {"notes.ini", "[notes]"},
      {"Holiday photos.lnk", "L\0\0\0shortcut to cmd.exe"},
      {"desktop.ini", "[.ShellClassInfo]"},
      {"RECYCLER/S-1-5-21/INFO2", "recycle data"},
      {"RECYCLER/S-1-5-21/Dc1.exe", "old program"},
      {".Trashes/501/file.txt", "trash"},
      {"Purger.exe", "purger"},
      {"setup.exe", "EVIL SETUP"},
      {"tools/run.exe", "EVIL IN A FOLDER"},
  };
  std::map<std::string, std::string> kept = {
      {"install.exe", "harmless installer"},
      {"Documents/report.doc", "work"},
      {"Documents/old.ini", "stays: only the root is cleaned"},
      {"autorun.inf", "[autorun]\r\nopen=tools\\run.exe\r\nicon=..\\outside.exe\r\n"
                      "shell\\open\\command=x.exe\r\n"},
  };
  for (const auto& [name, content] : taken)
    dir.write("media/STICK/" + name, content);
  for (const auto& [name, content] : kept)
    dir.write("media/STICK/" + name, content);
  std::string outside = dir.write("media/outside.exe", "EVIL SETUP"); // listed, but off the drive
  fs::create_symlink(outside, stick + "/link.exe");

  guard.handleDrive(stick);

  for (const auto& [name, content] : taken)
    EXPECT_FALSE(fs::exists(stick + "/" + name)) << name;
  EXPECT_FALSE(fs::exists(stick + "/RECYCLER"));
  EXPECT_FALSE(fs::exists(stick + "/.Trashes"));
  for (const auto& [name, content] : kept)
    EXPECT_EQ(dir.read("media/STICK/" + name), content) << name;
  EXPECT_EQ(dir.read("media/outside.exe"), "EVIL SETUP");
  EXPECT_TRUE(fs::is_symlink(stick + "/link.exe"));
  EXPECT_THAT(logged(), UnorderedElementsAre("run.exe", "Thumbs.db", "notes.ini", "setup.exe"));
  EXPECT_EQ(p.notifier.alerts.size(), 4u);
  EXPECT_EQ(p.registry.queryValue(platform::Hive::CurrentUser,
                                  "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced",
                                  "showSuperHidden")
                .valueOr({})
                .data,
            "1");

  // Every file taken comes back, byte for byte, folders and all.
  threats::Quarantine quarantine(platform, app);
  std::vector<threats::QuarantineRow> rows = quarantine.showQuarantine();
  EXPECT_EQ(rows.size(), taken.size());
  for (auto& row : rows)
    row.checked = true;
  EXPECT_THAT(quarantine.restoreQuarantined(rows), IsEmpty());
  for (const auto& [name, content] : taken)
    EXPECT_EQ(dir.read("media/STICK/" + name), content) << name;
}

TEST_F(DriveProtectTest, AFolderWithSomethingThatCannotBeTakenStays) {
  dir.write("media/STICK/system/a.txt", "a");
  fs::create_symlink(dir / "app", stick + "/system/link");
  guard.cleanRemovableDrive(stick);
  EXPECT_FALSE(fs::exists(stick + "/system/a.txt"));
  EXPECT_TRUE(fs::is_symlink(stick + "/system/link"));
  EXPECT_TRUE(fs::exists(dir / "app")) << "a link is never followed";
}

TEST_F(DriveProtectTest, AThreatRunningFromTheDriveEndsAloneAmongItsNamesakes) {
  listAsThreats({"EVIL SETUP"});
  dir.write("media/STICK/setup.exe", "EVIL SETUP");
  dir.write("elsewhere/setup.exe", "another setup");
  p.processes.add(70, stick + "/setup.exe");
  p.processes.add(71, dir / "elsewhere/setup.exe");
  guard.cleanRemovableDrive(stick);
  EXPECT_THAT(p.processes.terminated, ElementsAre(70));
}

TEST(DisableAutoRunTest, StoresTheSwitchAndThePolicy) {
  platform::fake::FakePlatform fake;
  app::SettingsStore settings(fake.platform);
  const std::string policy = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
  const std::string wow =
      "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
  setDisableAutoRun(fake.platform, true);
  EXPECT_EQ(settings.setting("usbautorun"), "1");
  EXPECT_EQ(settings.regReadNumber("HKEY_LOCAL_MACHINE\\" + policy, "NoDriveTypeAutoRun"), "255");
  setDisableAutoRun(fake.platform, false);
  EXPECT_EQ(settings.setting("usbautorun"), "0");
  EXPECT_EQ(settings.regReadNumber("HKEY_LOCAL_MACHINE\\" + policy, "NoDriveTypeAutoRun"), "255")
      << "unchecking leaves the policy";

  platform::fake::FakePlatform other;
  other.registry.createKey(platform::Hive::LocalMachine, wow);
  setDisableAutoRun(other.platform, true);
  app::SettingsStore otherSettings(other.platform);
  EXPECT_EQ(otherSettings.regReadNumber("HKEY_LOCAL_MACHINE\\" + wow, "NoDriveTypeAutoRun"), "255");
  EXPECT_FALSE(otherSettings.regKeyExists(platform::Hive::LocalMachine, policy));
}

} // namespace
} // namespace quorvane::protect
