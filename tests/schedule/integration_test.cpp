#include "schedule/integration.h"

#include "app/settings.h"
#include "platform/fake/fakes.h"
#include "platform/linux/linux_platform.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace quorvane::schedule {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using platform::Hive;

class IntegrationTest : public ::testing::Test {
protected:
  IntegrationTest() { fake.environment.executable = "/opt/Q/quorvane"; }
  std::string runValue(const std::string& name) {
    return settings.regReadText(Hive::CurrentUser, kRunKey, name).second;
  }
  platform::fake::FakePlatform fake;
  app::SettingsStore settings{fake.platform};
  SystemIntegration integration{fake.platform};
};

TEST_F(IntegrationTest, StartWithSystemMakesTheTaskAndTheRunValue) {
  ASSERT_FALSE(integration.setStartWithSystem(true));
  ASSERT_EQ(fake.integration.tasks.count(std::string(kLogonTaskName)), 1u);
  const platform::LogonTask& task = fake.integration.tasks.begin()->second;
  EXPECT_EQ(task.program, "/opt/Q/quorvaneam");
  EXPECT_THAT(task.arguments, ElementsAre("s"));
  EXPECT_EQ(runValue("Quorvane Anti Malware"), "/opt/Q/quorvaneam s");
  EXPECT_EQ(settings.setting("start Quorvane Antimalware"), "1");
  EXPECT_TRUE(integration.fillSettingsPage().startWithSystem);

  ASSERT_FALSE(integration.setStartWithSystem(false));
  EXPECT_THAT(fake.integration.tasks, IsEmpty());
  EXPECT_FALSE(settings.regReadText(Hive::CurrentUser, kRunKey, "Quorvane Anti Malware").first);
  EXPECT_EQ(settings.setting("start Quorvane Antimalware"), "0");
}

TEST_F(IntegrationTest, AFailedSwitchIsReportedAndChangesNothing) {
  fake.integration.failing = true;
  EXPECT_TRUE(integration.setStartWithSystem(true));
  EXPECT_FALSE(settings.regReadText(Hive::CurrentUser, kRunKey, "Quorvane Anti Malware").first);
  EXPECT_EQ(settings.setting("start Quorvane Antimalware"), "");
  EXPECT_TRUE(integration.setContextMenu(true));
  EXPECT_EQ(settings.setting("addmenu"), "");
  EXPECT_FALSE(settings.regKeyExists(Hive::LocalMachine, kFolderVerbKey)) << "no verb half made";
  EXPECT_FALSE(settings.regKeyExists(Hive::LocalMachine, kDriveVerbKey));
}

TEST_F(IntegrationTest, ScanAtStartupTogglesTheCompanionsRunValue) {
  EXPECT_TRUE(integration.toggleScanAtStartup(false));
  EXPECT_EQ(runValue("infoexe.exe"), "/opt/Q/infoexe a");
  EXPECT_EQ(settings.regReadNumber("HKEY_LOCAL_MACHINE\\" + std::string(app::kSettingsKey),
                                   "start Quorvane Antimalware"),
            "1");
  EXPECT_FALSE(integration.toggleScanAtStartup(true));
  EXPECT_FALSE(settings.regReadText(Hive::CurrentUser, kRunKey, "infoexe.exe").first);
  EXPECT_EQ(settings.setting("start Quorvane Antimalware"), "0");
}

TEST_F(IntegrationTest, ContextMenuOnWritesBothVerbsAndOffLeavesNoKey) {
  ASSERT_FALSE(integration.setContextMenu(true));
  for (std::string_view key : {kFolderVerbKey, kDriveVerbKey}) {
    EXPECT_EQ(settings.regReadText(Hive::LocalMachine, key, "").second, kVerbName);
    EXPECT_EQ(settings.regReadText(Hive::LocalMachine, std::string(key) + "\\command", "").second,
              "/opt/Q/quorvaneam \"%1\"");
    EXPECT_EQ(settings.regReadText(Hive::LocalMachine, key, "icon").second, "/opt/Q/quorvaneam");
  }
  EXPECT_EQ(fake.integration.actions.count(std::string(kVerbName)), 1u);
  EXPECT_EQ(settings.setting("addmenu"), "1");
  EXPECT_TRUE(integration.fillSettingsPage().contextMenu);

  ASSERT_FALSE(integration.setContextMenu(false));
  EXPECT_FALSE(settings.regKeyExists(Hive::LocalMachine, kFolderVerbKey));
  EXPECT_FALSE(settings.regKeyExists(Hive::LocalMachine, kDriveVerbKey));
  EXPECT_THAT(fake.integration.actions, IsEmpty());
  EXPECT_EQ(settings.setting("addmenu"), "0");
}

TEST_F(IntegrationTest, SettingsPageFillFollowsThePolicyForAutorun) {
  settings.setSetting("threatfound", "2");
  settings.setSetting("usbautorun", "0");
  std::string policy = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
  fake.registry.createKey(Hive::LocalMachine, policy);
  settings.regWriteNumber("HKEY_LOCAL_MACHINE\\" + policy, "NoDriveTypeAutoRun", 255);
  SettingsPageState state = integration.fillSettingsPage();
  EXPECT_EQ(state.threatAction, 1);
  EXPECT_TRUE(state.autorunDisabled);
  EXPECT_FALSE(state.startWithSystem);
  settings.setSetting("threatfound", "x");
  EXPECT_EQ(integration.fillSettingsPage().threatAction, -1);
}

TEST(LinuxIntegrationTest, AutostartEntryAndFolderActionFiles) {
  testing::TempDir dir;
  platform::LinuxIntegration integration(dir / "config/autostart", dir / "data/applications");
  ASSERT_FALSE(integration.createLogonTask({"Quorvane Anti Malware", "/opt/My Apps/quorvaneam", {"s"}, {}}));
  std::string entry = dir.read("config/autostart/quorvane-anti-malware.desktop");
  EXPECT_THAT(entry, HasSubstr("[Desktop Entry]\nType=Application\nName=Quorvane Anti Malware\n"));
  EXPECT_THAT(entry, HasSubstr("\nExec=\"/opt/My Apps/quorvaneam\" s\n"));
  ASSERT_FALSE(integration.installFolderAction(
      {"Scan with Quorvane Antimalware", "/opt/q/quorvaneam", "/opt/q/quorvaneam", {}}));
  std::string action = dir.read("data/applications/scan-with-quorvane-antimalware.desktop");
  EXPECT_THAT(action, HasSubstr("\nExec=/opt/q/quorvaneam %f\n"));
  EXPECT_THAT(action, HasSubstr("\nMimeType=inode/directory;\n"));

  ASSERT_FALSE(integration.deleteLogonTask("Quorvane Anti Malware"));
  ASSERT_FALSE(integration.deleteLogonTask("Quorvane Anti Malware")); // gone already: fine
  ASSERT_FALSE(integration.removeFolderAction("Scan with Quorvane Antimalware"));
  EXPECT_TRUE(std::filesystem::is_empty(dir / "config/autostart"));
  EXPECT_TRUE(std::filesystem::is_empty(dir / "data/applications"));
}

TEST(LinuxIntegrationTest, EntriesCarryTheApplicationFolderTheyNeed) {
  testing::TempDir dir;
  platform::LinuxIntegration integration(dir / "config/autostart", dir / "data/applications");
  ASSERT_FALSE(integration.createLogonTask(
      {"Quorvane Anti Malware", "/usr/bin/quorvaneam", {"s"}, {"QUORVANE_HOME=/srv/my q"}}));
  EXPECT_THAT(dir.read("config/autostart/quorvane-anti-malware.desktop"),
              HasSubstr("\nExec=env \"QUORVANE_HOME=/srv/my q\" /usr/bin/quorvaneam s\n"));
  ASSERT_FALSE(integration.installFolderAction({"Scan with Quorvane Antimalware",
                                                "/usr/bin/quorvaneam", "/usr/bin/quorvaneam",
                                                {"QUORVANE_HOME=/srv/q"}}));
  EXPECT_THAT(dir.read("data/applications/scan-with-quorvane-antimalware.desktop"),
              HasSubstr("\nExec=env \"QUORVANE_HOME=/srv/q\" /usr/bin/quorvaneam %f\n"));
}

TEST_F(IntegrationTest, OnlyAFolderTheProgramsWouldNotChooseThemselvesIsCarried) {
  fake.environment.variables["HOME"] = "/home/alice";
  for (const char* folder : {"/home", "/home/alice"})
    fake.files.createDirectory(folder);
  struct Case {
    std::string folder;
    std::vector<std::string> carried;
  } cases[] = {{"/home/alice/.local/share/quorvane", {}}, // the default: nothing to carry
               {"/srv/quorvane", {"QUORVANE_HOME=/srv/quorvane"}},
               {"", {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    SystemIntegration withFolder(fake.platform, c.folder);
    ASSERT_FALSE(withFolder.setStartWithSystem(true));
    ASSERT_FALSE(withFolder.setContextMenu(true));
    EXPECT_EQ(fake.integration.tasks.begin()->second.environment, c.carried);
    EXPECT_EQ(fake.integration.actions.begin()->second.environment, c.carried);
  }
}

TEST(LinuxIntegrationTest, AnAutostartFolderThatCannotBeWrittenIsReported) {
  testing::TempDir dir;
  dir.write("config", "a file where the folder should be");
  platform::LinuxIntegration integration(dir / "config/autostart", dir / "apps");
  EXPECT_TRUE(integration.createLogonTask({"Quorvane Anti Malware", "/opt/q/quorvaneam", {"s"}, {}}));
  EXPECT_EQ(dir.read("config"), "a file where the folder should be");
}

} // namespace
} // namespace quorvane::schedule
