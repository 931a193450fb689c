// The Windows registry facility on the real registry (a Wine prefix of the suite's own in CI),
// under a key of the test's own.
#include "platform/windows/windows_platform.h"

#include "command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>


namespace quorvane::platform::windows {
namespace {

using quorvane::testing::outputOf;

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class WindowsRegistryTest : public ::testing::Test {
protected:
  void SetUp() override {
    base_ = "Software\\QuorvaneTest" + std::to_string(::GetCurrentProcessId()) + "\\" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    registry.deleteTree(Hive::CurrentUser, base_);
    ASSERT_FALSE(registry.createKey(Hive::CurrentUser, base_));
  }
  void TearDown() override {
    registry.deleteTree(Hive::CurrentUser,
                        "Software\\QuorvaneTest" + std::to_string(::GetCurrentProcessId()));
  }
  std::string key(const std::string& below = "") const {
    return below.empty() ? base_ : base_ + "\\" + below;
  }

  std::string base_;
  WindowsRegistry registry;
};

TEST_F(WindowsRegistryTest, ValuesWrittenHereAreWhatTheSystemsOwnToolReads) {
  ASSERT_FALSE(registry.setValue(Hive::CurrentUser, key(), "Path", ValueType::String,
                                 "C:\\Program Files\\Quorvane\\quorvane.exe"));
  ASSERT_FALSE(registry.setValue(Hive::CurrentUser, key(), "Count", ValueType::Dword,
                                 std::string("\x2a\x00\x00\x00", 4)));
  std::string shown = outputOf("reg.exe query \"HKCU\\" + key() + "\"");
  EXPECT_THAT(shown, HasSubstr("C:\\Program Files\\Quorvane\\quorvane.exe")) << shown;
  EXPECT_THAT(shown, HasSubstr("0x2a")) << shown;

  // And the other way round: what reg.exe writes reads back here, text in UTF-8.
  outputOf("reg.exe add \"HKCU\\" + key() + "\" /v Added /t REG_SZ /d \"from reg\" /f");
  auto added = registry.queryValue(Hive::CurrentUser, key(), "added"); // any letter case
  ASSERT_TRUE(added);
  EXPECT_EQ(added->type, ValueType::String);
  EXPECT_EQ(added->data, std::string("from reg\0", 9)) << "with its closing NUL";
}

TEST_F(WindowsRegistryTest, KeysValuesAndTextRoundTrip) {
  ASSERT_FALSE(registry.createKey(Hive::CurrentUser, key("b\\deep")));
  ASSERT_FALSE(registry.createKey(Hive::CurrentUser, key("A")));
  EXPECT_TRUE(registry.keyExists(Hive::CurrentUser, key("B\\DEEP")));
  EXPECT_THAT(registry.subkeys(Hive::CurrentUser, key()).valueOr({}), ElementsAre("A", "b"));

  std::string multi("one\0two\0\0", 9);
  ASSERT_FALSE(registry.setValue(Hive::CurrentUser, key(), "List", ValueType::MultiString, multi));
  ASSERT_FALSE(registry.setValue(Hive::CurrentUser, key(), "Name", ValueType::String,
                                 "Gr\xC3\xBC\xC3\x9F"
                                 "e"));
  auto list = registry.queryValue(Hive::CurrentUser, key(), "List");
  ASSERT_TRUE(list);
  EXPECT_EQ(list->data, multi);
  auto values = registry.values(Hive::CurrentUser, key());
  ASSERT_TRUE(values);
  ASSERT_EQ(values->size(), 2u);
  EXPECT_EQ((*values)[1].data, std::string("Gr\xC3\xBC\xC3\x9F"
                                           "e\0",
                                           8));

  ASSERT_FALSE(registry.deleteValue(Hive::CurrentUser, key(), "List"));
  EXPECT_EQ(registry.queryValue(Hive::CurrentUser, key(), "List").error(),
            std::errc::no_such_file_or_directory);
  EXPECT_EQ(registry.deleteKey(Hive::CurrentUser, key("b")), std::errc::directory_not_empty);
  ASSERT_FALSE(registry.deleteTree(Hive::CurrentUser, key("b")));
  EXPECT_FALSE(registry.keyExists(Hive::CurrentUser, key("b")));
  EXPECT_EQ(registry.subkeys(Hive::CurrentUser, key("nothing")).error(),
            std::errc::no_such_file_or_directory);
}

TEST_F(WindowsRegistryTest, AWalkVisitsEveryKeyOnceInOrder) {
  for (const char* below : {"z", "a\\y", "a\\x", "B"})
    ASSERT_FALSE(registry.createKey(Hive::CurrentUser, key(below)));
  ASSERT_FALSE(registry.setValue(Hive::CurrentUser, key("a\\x"), "v", ValueType::String, "1"));
  std::vector<std::string> seen;
  ASSERT_FALSE(registry.walkTree(Hive::CurrentUser, key(), [&](const Registry::KeyVisit& visit) {
    seen.push_back(visit.path + "(" + std::to_string(visit.values.size()) + ")");
    return true;
  }));
  EXPECT_THAT(seen, ElementsAre("(0)", "a(0)", "a\\x(1)", "a\\y(0)", "B(0)", "z(0)"));
}

TEST_F(WindowsRegistryTest, ModifyReadsAndWritesInOneStep) {
  auto add = [](const RegistryValue* current) {
    int count = current ? std::stoi(current->data) : 0;
    return RegistryValue{"", ValueType::String, std::to_string(count + 1)};
  };
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(registry.modifyValue(Hive::CurrentUser, key(), "n", add));
  EXPECT_EQ(registry.queryValue(Hive::CurrentUser, key(), "n")->data, std::string("3\0", 2));
}

TEST_F(WindowsRegistryTest, AnAccessEntryWrittenIsReadBack) {
  auto before = registry.accessList(Hive::CurrentUser, key());
  ASSERT_TRUE(before) << before.error().message();
  AccessList list;
  list.entries.push_back({"", kEveryoneIdentifier, true, access::GenericAll, 0});
  ASSERT_FALSE(registry.setAccessList(Hive::CurrentUser, key(), list));
  auto after = registry.accessList(Hive::CurrentUser, key());
  ASSERT_TRUE(after);
  bool found = false;
  for (const AccessEntry& entry : after->entries)
    found |= entry.identifier == kEveryoneIdentifier && entry.allow && !entry.inherited();
  EXPECT_TRUE(found) << "the explicit entry for everyone";
}

} // namespace
} // namespace quorvane::platform::windows
