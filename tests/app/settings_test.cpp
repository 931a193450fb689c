// The settings store and its registry layer.
#include "app/settings.h"

#include "platform/fake/fakes.h"
#include "platform/registry_store.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

namespace quorvane::app {
namespace {

using platform::AccessEntry;
using platform::AccessList;
using platform::ValueType;
namespace access = platform::access;
using ::testing::ElementsAre;
using ::testing::Pair;

constexpr Hive LM = Hive::LocalMachine;

class SettingsTest : public ::testing::Test {
protected:
  platform::fake::FakePlatform fake;
  SettingsStore store{fake.platform};

  std::string dword(std::uint32_t n) {
    return std::string{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                       static_cast<char>((n >> 16) & 0xFF), static_cast<char>(n >> 24)};
  }
};

TEST_F(SettingsTest, TextRoundTripsAndNumbersReadAsDecimal) {
  ASSERT_TRUE(store.regWriteText(LM, kSettingsKey, "language", "english.ini"));
  EXPECT_THAT(store.regReadText(LM, kSettingsKey, "language"), Pair(true, "english.ini"));
  ASSERT_TRUE(store.regWriteText(LM, kSettingsKey, "empty", ""));
  EXPECT_THAT(store.regReadText(LM, kSettingsKey, "empty"), Pair(true, ""));
  EXPECT_EQ(fake.registry.queryValue(LM, kSettingsKey, "empty")->type, ValueType::String);

  std::string path = "HKEY_LOCAL_MACHINE\\" + std::string(kSettingsKey);
  ASSERT_TRUE(store.regWriteNumber(path, "addmenu", 1));
  ASSERT_TRUE(store.regWriteNumber(path, "big", 256));
  EXPECT_THAT(store.regReadText(LM, kSettingsKey, "addmenu"), Pair(true, "1"));
  EXPECT_THAT(store.regReadText(LM, kSettingsKey, "big"), Pair(true, "256"));
  EXPECT_EQ(store.regReadNumber(path, "big"), "256");
  EXPECT_EQ(store.regReadNumber(path, "missing"), "Error");
  EXPECT_THAT(store.regReadText(LM, kSettingsKey, "missing"), Pair(false, ""));
}

TEST_F(SettingsTest, TextWrittenWithATrailingNulReadsWithoutIt) {
  fake.registry.createKey(LM, "K");
  fake.registry.setValue(LM, "K", "v", ValueType::String, std::string("abc\0", 4));
  EXPECT_THAT(store.regReadText(LM, "K", "v"), Pair(true, "abc"));
}

TEST_F(SettingsTest, LongValuesReadWhole) {
  std::string longText(3000, 'z');
  ASSERT_TRUE(store.regWriteText(LM, kSettingsKey, "long", longText));
  EXPECT_EQ(store.regReadText(LM, kSettingsKey, "long").second, longText);
  EXPECT_EQ(store.getRegistryValue(LM, kSettingsKey, "long"), RegistryData(longText));
}

TEST_F(SettingsTest, NumberWriterNeedsAnExistingKey) {
  EXPECT_FALSE(store.regWriteNumber("HKEY_LOCAL_MACHINE\\SOFTWARE\\Absent", "n", 1));
  EXPECT_FALSE(fake.registry.keyExists(LM, "SOFTWARE\\Absent"));
}

struct SplitCase {
  std::string path;
  Hive root;
  std::string subkey;
  bool complains;
};

class SplitRegistryPathTest : public SettingsTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(SplitRegistryPathTest, SplitsOrComplains) {
  const SplitCase& c = GetParam();
  RegistryPath result = store.splitRegistryPath(c.path);
  EXPECT_EQ(result.root, c.root);
  EXPECT_EQ(result.subkey, c.subkey);
  if (c.complains)
    EXPECT_THAT(fake.notifier.messages, ElementsAre("Incorrect Format:\n\n" + c.path));
  else
    EXPECT_TRUE(fake.notifier.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SplitRegistryPathTest,
    ::testing::Values(
        SplitCase{"HKEY_LOCAL_MACHINE\\SOFTWARE\\x", LM, "SOFTWARE\\x", false},
        SplitCase{"HKEY_LOCAL_MACHINE", LM, "", false},
        SplitCase{"HKEY_CURRENT_USER\\Software", Hive::CurrentUser, "Software", false},
        SplitCase{"HKEY_LOCAL_MACHINE\\SOFTWARE\\", Hive::None, "", true},
        SplitCase{"HKLM\\SOFTWARE", Hive::None, "", true},
        SplitCase{"", Hive::None, "", true},
        SplitCase{"HKEY_NOWHERE\\x", Hive::None, "x", false}));

TEST(HiveFromNameTest, KnowsTheSevenRoots) {
  EXPECT_EQ(hiveFromName("HKEY_CLASSES_ROOT"), Hive::ClassesRoot);
  EXPECT_EQ(hiveFromName("HKEY_CURRENT_USER"), Hive::CurrentUser);
  EXPECT_EQ(hiveFromName("HKEY_LOCAL_MACHINE"), Hive::LocalMachine);
  EXPECT_EQ(hiveFromName("HKEY_USERS"), Hive::Users);
  EXPECT_EQ(hiveFromName("HKEY_PERFORMANCE_DATA"), Hive::PerformanceData);
  EXPECT_EQ(hiveFromName("HKEY_CURRENT_CONFIG"), Hive::CurrentConfig);
  EXPECT_EQ(hiveFromName("HKEY_DYN_DATA"), Hive::DynData);
  EXPECT_EQ(hiveFromName("HKLM"), Hive::None);
  EXPECT_EQ(hiveFromName("hkey_local_machine"), Hive::None);
}

TEST_F(SettingsTest, ClassifiesSources) {
  fake.files.put("/app/lang/english.ini", "[a]\n");
  EXPECT_EQ(store.classifySource("hkcu"), SourceKind::CurrentUser);
  EXPECT_EQ(store.classifySource("HKLM"), SourceKind::LocalMachine);
  EXPECT_EQ(store.classifySource("HKU"), SourceKind::Users);
  EXPECT_EQ(store.classifySource("Hkcr"), SourceKind::ClassesRoot);
  EXPECT_EQ(store.classifySource("/app/lang/english.ini"), SourceKind::IniFile);
  EXPECT_EQ(store.classifySource("/app/lang/missing.ini"), SourceKind::Invalid);
  EXPECT_EQ(store.classifySource("HKEY_LOCAL_MACHINE"), SourceKind::Invalid);
}

TEST_F(SettingsTest, ReadValueFromTheRegistryByTypeLetter) {
  fake.registry.createKey(Hive::CurrentUser, "Software\\T");
  fake.registry.setValue(Hive::CurrentUser, "Software\\T", "s", ValueType::ExpandString,
                         std::string("%windir%\0", 9));
  fake.registry.setValue(Hive::CurrentUser, "Software\\T", "b", ValueType::Binary,
                         std::string("\x01\x00", 2));
  fake.registry.setValue(Hive::CurrentUser, "Software\\T", "z", ValueType::Binary,
                         std::string("\x00\x00", 2));
  fake.registry.setValue(Hive::CurrentUser, "Software\\T", "d", ValueType::Dword, dword(70000));

  ReadResult s = store.fReadValue("HKCU", "Software\\T", "s", "s");
  EXPECT_EQ(s.text(), "%windir%");
  EXPECT_EQ(s.status, 0);
  EXPECT_EQ(store.fReadValue("HKCU", "Software\\T", "b", "B").value, (ReadResult{true}.value));
  EXPECT_EQ(store.fReadValue("HKCU", "Software\\T", "z", "B").value, (ReadResult{false}.value));
  EXPECT_EQ(store.fReadValue("HKCU", "Software\\T", "d", "D").value,
            (ReadResult{std::uint32_t{70000}}.value));

  ReadResult missing = store.fReadValue("HKCU", "Software\\T", "absent", "S", "dflt");
  EXPECT_EQ(missing.text(), "dflt");
  EXPECT_NE(missing.status, 0);
  ReadResult invalid = store.fReadValue("nowhere", "x", "y", "S", "dflt");
  EXPECT_EQ(invalid.status, 99);
  EXPECT_EQ(invalid.text(), "dflt");
}

TEST_F(SettingsTest, ReadValueFromAnIniFile) {
  std::string value300(300, 'v');
  fake.files.put("/app/lang/english.ini", "[Main]\r\n001=Quick Scan\r\nlong=" + value300 + "\r\n");
  const std::string ini = "/app/lang/english.ini";
  ReadResult found = store.fReadValue(ini, "main", "001", "S", "x");
  EXPECT_EQ(found.text(), "Quick Scan");
  EXPECT_EQ(found.status, 0);
  EXPECT_EQ(store.fReadValue(ini, "Main", "long", "S").text(), std::string(254, 'v'));
  EXPECT_EQ(store.fReadValue(ini, "Main", "none", "S", "fallback").text(), "fallback");
  // Other letters read the key as an integer and leave the value at the default.
  EXPECT_EQ(store.fReadValue(ini, "Main", "001", "D", "7").text(), "7");
}

TEST_F(SettingsTest, DeleteValueRemovesRegistryValuesAndBlanksIniKeys) {
  fake.registry.createKey(LM, "K");
  fake.registry.setValue(LM, "K", "v", ValueType::String, "x");
  EXPECT_EQ(store.deleteValue("HKLM", "K", "v"), 0);
  EXPECT_FALSE(fake.registry.queryValue(LM, "K", "v"));
  EXPECT_NE(store.deleteValue("HKLM", "K", "v"), 0);
  EXPECT_EQ(store.deleteValue("bogus", "K", "v"), 99);

  fake.files.createDirectory("/app");
  fake.files.put("/app/a.ini", "[S]\r\nk=value\r\n");
  EXPECT_EQ(store.deleteValue("/app/a.ini", "S", "k"), 0);
  EXPECT_EQ(fake.files.content("/app/a.ini"), "[S]\r\nk=\r\n");
}

TEST_F(SettingsTest, GetRegistryValueByStoredType) {
  fake.registry.createKey(LM, "K");
  fake.registry.setValue(LM, "K", "sz", ValueType::String, std::string("text\0", 5));
  fake.registry.setValue(LM, "K", "bin", ValueType::Binary, std::string("\x01\x02\x03", 3));
  fake.registry.setValue(LM, "K", "num", ValueType::Dword, dword(0x01020304));
  fake.registry.setValue(LM, "K", "multi", ValueType::MultiString, std::string("a\0bc\0\0", 6));
  fake.registry.setValue(LM, "K", "none", ValueType::None, "xx");

  EXPECT_EQ(store.getRegistryValue(LM, "K", "sz"), RegistryData(std::string("text")));
  EXPECT_EQ(store.getRegistryValue(LM, "K", "bin"), RegistryData(Bytes{"\x01\x02\x03"}));
  EXPECT_EQ(store.getRegistryValue(LM, "K", "num"), RegistryData(std::uint32_t{0x01020304}));
  EXPECT_EQ(store.getRegistryValue(LM, "K", "multi"), RegistryData(std::string("a\0bc", 4)));
  EXPECT_EQ(store.getRegistryValue(LM, "K", "none", std::string("dflt")),
            RegistryData(std::string("dflt")));
  EXPECT_EQ(store.getRegistryValue(LM, "K", "absent"), RegistryData());
  EXPECT_EQ(store.getRegistryValue(LM, "Nokey", "x", std::uint32_t{5}),
            RegistryData(std::uint32_t{5}));
}

TEST_F(SettingsTest, EnumerationHelpersListNamesOrReportWhyNot) {
  fake.registry.createKey(Hive::ClassesRoot, "CLSID\\{B}");
  fake.registry.createKey(Hive::ClassesRoot, "CLSID\\{A}");
  fake.registry.setValue(Hive::ClassesRoot, "CLSID", " spaced ", ValueType::String, "");
  fake.registry.setValue(Hive::ClassesRoot, "CLSID", "", ValueType::String, "default");
  std::vector<std::string> names{"kept"};
  EXPECT_EQ(store.listSubkeys("hkcr", "clsid", names), 0);
  EXPECT_THAT(names, ElementsAre("kept", "{A}", "{B}"));
  names.clear();
  EXPECT_EQ(store.listValueNames("HKCR", "CLSID", names), 0);
  EXPECT_THAT(names, ElementsAre("spaced")); // the default value has no name to list
  EXPECT_EQ(store.listValueNames("HKCR", "Nope", names),
            static_cast<int>(std::errc::no_such_file_or_directory));
  EXPECT_EQ(store.listSubkeys("HKXX", "CLSID", names), 99);
}

TEST_F(SettingsTest, DeleteRegistryTreeRemovesEverythingBelow) {
  fake.registry.createKey(LM, "CLSID\\{A}\\InprocServer32");
  fake.registry.createKey(LM, "CLSID\\{A}\\Other\\Deep");
  fake.registry.createKey(LM, "CLSID\\{B}");
  EXPECT_TRUE(store.regKeyExists(LM, "CLSID\\{A}\\Other\\Deep"));
  EXPECT_TRUE(store.deleteRegistryTree(LM, "CLSID\\{A}"));
  EXPECT_FALSE(store.regKeyExists(LM, "CLSID\\{A}"));
  EXPECT_TRUE(store.regKeyExists(LM, "CLSID\\{B}"));
  EXPECT_FALSE(store.deleteRegistryTree(LM, "CLSID\\{A}"));
}

TEST(MergeKeyAccessListTest, OrdersDenyExplicitAllowInherited) {
  AccessEntry deny{"u", "S-U", false, access::GenericAll, 0x0A};
  AccessEntry allowEveryone{"Everyone", "S-1-1-0", true, access::GenericAll, 2};
  AccessEntry allowUser{"u", "S-U", true, access::GenericReadWriteExecuteDelete, 0};
  AccessEntry oldAdmin{"admin", "S-A", true, 0xF003F, 0};
  AccessEntry oldUser{"u", "S-U", true, 0x20019, 0};
  AccessEntry inheritedSystem{"system", "S-1-5-18", true, 0xF003F, access::Inherited};
  AccessEntry inheritedUser{"u", "S-U", true, 0x20019, access::Inherited};
  AccessEntry explicitAfterInherited{"late", "S-L", true, 1, 0};

  AccessList old{access::AutoInherited,
                 {oldAdmin, oldUser, inheritedSystem, inheritedUser, explicitAfterInherited}};
  AccessList merged = mergeKeyAccessList(old, {allowEveryone, allowUser, deny});
  EXPECT_THAT(merged.entries, ElementsAre(deny, oldAdmin, allowEveryone, allowUser, inheritedSystem,
                                          inheritedUser, explicitAfterInherited));
  EXPECT_EQ(merged.control, access::AutoInheritRequired | access::AutoInherited);

  EXPECT_EQ(mergeKeyAccessList({access::Protected, {}}, {}).control, access::Protected);
  EXPECT_EQ(mergeKeyAccessList({0x0004, {}}, {}).control, 0);
}

TEST_F(SettingsTest, GrantingTwiceAddsNoDuplicates) {
  fake.registry.createKey(LM, "SOFTWARE\\quorvane");
  ASSERT_TRUE(store.grantKeyAccess(LM, "SOFTWARE\\quorvane", "alice"));
  AccessList once = *fake.registry.accessList(LM, "SOFTWARE\\quorvane");
  ASSERT_TRUE(store.grantKeyAccess(LM, "SOFTWARE\\quorvane", "alice"));
  EXPECT_EQ(*fake.registry.accessList(LM, "SOFTWARE\\quorvane"), once);
  ASSERT_EQ(once.entries.size(), 3u);
  EXPECT_FALSE(once.entries[0].allow); // the deny entry first
  EXPECT_EQ(once.entries[0].flags, access::ContainerInherit | access::InheritOnly);
  EXPECT_EQ(once.entries[1].identifier, "S-1-1-0");
  EXPECT_EQ(once.entries[2].mask, access::GenericReadWriteExecuteDelete);
}

TEST_F(SettingsTest, GrantFailsWithoutChangesForMissingKeysOrUsers) {
  EXPECT_FALSE(store.grantKeyAccess(LM, "SOFTWARE\\absent", "alice"));
  fake.registry.createKey(LM, "K");
  EXPECT_FALSE(store.grantKeyAccess(LM, "K", "nobody-here"));
  EXPECT_TRUE(fake.registry.accessList(LM, "K")->entries.empty());
}

TEST_F(SettingsTest, WritersGrantTheUserNamedByUserName) {
  fake.environment.variables["UserName"] = "bob";
  fake.environment.accounts["bob"] = "S-1-22-1-1001";
  store.setSetting("threatfound", "2"); // creates the key
  store.setSetting("threatfound", "1"); // grants on the existing key
  auto list = fake.registry.accessList(LM, kSettingsKey);
  ASSERT_EQ(list->entries.size(), 3u);
  EXPECT_EQ(list->entries[2].account, "bob");
  EXPECT_EQ(store.setting("threatfound"), "1");
}

TEST_F(SettingsTest, StoredSettingsListsWhatIsThere) {
  store.setSetting("language", "english.ini");
  store.regWriteNumber("HKEY_LOCAL_MACHINE\\" + std::string(kSettingsKey), "addmenu", 1);
  EXPECT_THAT(store.storedSettings(),
              ElementsAre(Pair("language", "english.ini"), Pair("addmenu", "1")));
}

TEST(SettingsCounterTest, ConcurrentIncrementsAreAllCounted) {
  testing::TempDir dir;
  std::string file = dir / "registry.db";
  auto worker = [&] {
    platform::SqliteRegistry registry(file); // each as if another process
    platform::fake::FakePlatform fake;
    platform::Platform p{registry,    fake.files,    fake.clock,    fake.environment,
                         fake.crypto, fake.notifier, fake.processes, fake.power,
                         fake.http,   fake.shell, fake.drives, fake.integration};
    SettingsStore store(p);
    for (int i = 0; i < 40; ++i)
      store.addToCounter("threats", 1);
  };
  std::thread a(worker), b(worker);
  a.join();
  b.join();
  platform::SqliteRegistry registry(file);
  EXPECT_EQ(registry.queryValue(LM, kSettingsKey, "threats")->data, "80");
}

TEST_F(SettingsTest, CounterReadsTextOrNumberAndStoresText) {
  EXPECT_EQ(store.addToCounter("threats", 1), 1); // absent counts as 0
  store.setSetting("threats", "41 junk");
  EXPECT_EQ(store.addToCounter("threats", 1), 42);
  EXPECT_EQ(store.setting("threats"), "42");
  store.setSetting("threats", "junk");
  EXPECT_EQ(store.addToCounter("threats", 2), 2);
}

} // namespace
} // namespace quorvane::app
