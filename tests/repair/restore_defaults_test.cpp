#include "repair/restore_defaults.h"

#include "app/settings.h"
#include "platform/fake/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace quorvane::repair {
namespace {

using ::testing::ElementsAre;
using platform::Hive;

/// Every key and value of the store, as "ROOT\key|name=type:data" lines.
std::map<std::string, std::string> dump(platform::Registry& registry) {
  std::map<std::string, std::string> out;
  std::function<void(Hive, const std::string&)> walk = [&](Hive hive, const std::string& key) {
    out[std::string(platform::hiveName(hive)) + "\\" + key] = "key";
    if (auto values = registry.values(hive, key))
      for (const auto& value : *values)
        out[std::string(platform::hiveName(hive)) + "\\" + key + "|" + value.name] =
            std::to_string(static_cast<int>(value.type)) + ":" + value.data;
    if (auto subkeys = registry.subkeys(hive, key))
      for (const auto& sub : *subkeys)
        walk(hive, key.empty() ? sub : key + "\\" + sub);
  };
  for (Hive hive : {Hive::ClassesRoot, Hive::CurrentUser, Hive::LocalMachine, Hive::Users})
    walk(hive, "");
  return out;
}

class RestoreDefaultsTest : public ::testing::Test {
protected:
  platform::fake::FakePlatform fake;
  app::SettingsStore settings{fake.platform};
  const std::string userSystem = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
};

TEST_F(RestoreDefaultsTest, UndoesTheLockOutsAndSaysSo) {
  settings.regWriteText(Hive::CurrentUser, userSystem, "DisableTaskMgr", "1");
  settings.regWriteText(Hive::ClassesRoot, "exefile\\shell\\open\\command", "", "evil.exe \"%1\"");
  settings.regWriteText(Hive::LocalMachine,
                        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Shell",
                        "explorer.exe evil.exe");
  restoreSystemDefaults(fake.platform);
  EXPECT_FALSE(settings.regReadText(Hive::CurrentUser, userSystem, "DisableTaskMgr").first);
  EXPECT_EQ(settings.regReadText(Hive::ClassesRoot, "exefile\\shell\\open\\command", "").second,
            "\"%1\" %*");
  EXPECT_EQ(settings
                .regReadText(Hive::LocalMachine,
                             "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Shell")
                .second,
            "Explorer.exe");
  EXPECT_EQ(settings.regReadNumber(
                "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer",
                "DesktopProcess"),
            "1");
  EXPECT_THAT(fake.notifier.messages, ElementsAre(std::string(kRestoredText)));
  EXPECT_EQ(fake.notifier.messageStyles[0].icon, platform::MessageIcon::Information);
}

TEST_F(RestoreDefaultsTest, AWinOldAppKeyWithASubkeyStays) {
  const std::string policies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies";
  fake.registry.createKey(Hive::CurrentUser, policies + "\\WinOldApp\\Inner");
  fake.registry.createKey(Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\WinOldApp");
  restoreSystemDefaults(fake.platform);
  EXPECT_TRUE(fake.registry.keyExists(Hive::CurrentUser, policies + "\\WinOldApp\\Inner"));
  EXPECT_FALSE(fake.registry.keyExists(
      Hive::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\WinOldApp"));
}

TEST_F(RestoreDefaultsTest, TwiceIsTheSameAsOnce) {
  settings.regWriteText(Hive::CurrentUser, userSystem, "DisableRegistryTools", "1");
  fake.registry.createKey(Hive::LocalMachine, "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\HideFileExt");
  restoreSystemDefaults(fake.platform);
  auto once = dump(fake.registry);
  restoreSystemDefaults(fake.platform);
  EXPECT_EQ(dump(fake.registry), once);
  EXPECT_EQ(settings.regReadNumber("HKEY_LOCAL_"
                                   "MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVers"
                                   "ion\\Explorer\\Advanced\\Folder\\HideFileExt",
                                   "CheckedValue"),
            "1");
}

TEST(RestorePassTest, TheRedirectedPassTouchesOnlyItsOwnMachineKeys) {
  for (const RepairAction& action : restorePass(true, "C:\\Windows"))
    if (action.root == Hive::LocalMachine && action.key.rfind("SOFTWARE\\Microsoft", 0) == 0)
      ADD_FAILURE() << "native key in the second pass: " << action.key;
}

} // namespace
} // namespace quorvane::repair
