// What every registry the product runs on must do, whatever keeps it: names that ignore case and
// keep their spelling, a stable order, exact bytes, the errors, deletion and walks of deep trees,
// access lists.
#include "platform/fake/memory_registry.h"
#ifndef _WIN32
#include "platform/registry_store.h"
#endif

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace quorvane::platform {
namespace {

using ::testing::ElementsAre;

constexpr Hive LM = Hive::LocalMachine;

struct InMemoryFake {
  static std::unique_ptr<Registry> make() { return std::make_unique<fake::MemoryRegistry>(); }
};
#ifndef _WIN32
struct SqliteStore {
  static std::unique_ptr<Registry> make() { return std::make_unique<SqliteRegistry>(":memory:"); }
};
using Registries = ::testing::Types<InMemoryFake, SqliteStore>;
#else
using Registries = ::testing::Types<InMemoryFake>;
#endif

template <class Kind>
class RegistryContractTest : public ::testing::Test {
protected:
  std::unique_ptr<Registry> registry = Kind::make();
};
TYPED_TEST_SUITE(RegistryContractTest, Registries);

std::vector<std::string> valueNames(Registry& registry, std::string_view key) {
  std::vector<std::string> names;
  for (const RegistryValue& v : *registry.values(LM, key))
    names.push_back(v.name);
  return names;
}

TYPED_TEST(RegistryContractTest, NamesIgnoreCaseAndKeepTheirCase) {
  Registry& registry = *this->registry;
  ASSERT_FALSE(registry.createKey(LM, "SOFTWARE\\Quorvane"));
  EXPECT_TRUE(registry.keyExists(LM, "software\\QUORVANE"));
  EXPECT_FALSE(registry.keyExists(Hive::CurrentUser, "SOFTWARE\\Quorvane"));
  ASSERT_FALSE(registry.setValue(LM, "software\\quorvane", "Language", ValueType::String, "x"));
  ASSERT_FALSE(registry.setValue(LM, "SOFTWARE\\QUORVANE", "LANGUAGE", ValueType::String, "y"));
  auto value = registry.queryValue(LM, "Software\\Quorvane", "language");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->name, "Language"); // the first spelling stays
  EXPECT_EQ(value->data, "y");
  EXPECT_THAT(*registry.subkeys(LM, "SOFTWARE"), ElementsAre("Quorvane"));
}

TYPED_TEST(RegistryContractTest, EnumerationOrderIsStable) {
  Registry& registry = *this->registry;
  for (const char* key : {"K\\beta", "K\\Alpha", "K\\gamma"})
    registry.createKey(LM, key);
  for (const char* name : {"zeta", "Alpha", "mid"})
    registry.setValue(LM, "K", name, ValueType::String, "");
  registry.setValue(LM, "K", "zeta", ValueType::Dword, std::string(4, '\0')); // rewrite
  EXPECT_THAT(*registry.subkeys(LM, "K"), ElementsAre("Alpha", "beta", "gamma"));
  EXPECT_THAT(valueNames(registry, "K"), ElementsAre("zeta", "Alpha", "mid"));
}

TYPED_TEST(RegistryContractTest, KeepsBytesAndTypesExactly) {
  Registry& registry = *this->registry;
  registry.createKey(LM, "K");
  const std::string multi("a\0b\0\0", 5);
  const std::string binary("\x00\xff\x10", 3);
  registry.setValue(LM, "K", "m", ValueType::MultiString, multi);
  registry.setValue(LM, "K", "b", ValueType::Binary, binary);
  registry.setValue(LM, "K", "e", ValueType::String, "");
  registry.setValue(LM, "K", "", ValueType::String, "default");
  EXPECT_EQ(registry.queryValue(LM, "K", "m")->data, multi);
  EXPECT_EQ(registry.queryValue(LM, "K", "m")->type, ValueType::MultiString);
  EXPECT_EQ(registry.queryValue(LM, "K", "b")->data, binary);
  EXPECT_EQ(registry.queryValue(LM, "K", "e")->data, "");
  EXPECT_EQ(registry.queryValue(LM, "K", "")->data, "default");
}

TYPED_TEST(RegistryContractTest, MissingThingsAndBadRequestsAreErrors) {
  Registry& registry = *this->registry;
  auto missing = std::make_error_code(std::errc::no_such_file_or_directory);
  EXPECT_EQ(registry.queryValue(LM, "Nope", "x").error(), missing);
  EXPECT_EQ(registry.setValue(LM, "Nope", "x", ValueType::String, "v"), missing);
  EXPECT_FALSE(registry.keyExists(LM, "Nope"));
  registry.createKey(LM, "K");
  EXPECT_EQ(registry.queryValue(LM, "K", "x").error(), missing);
  EXPECT_EQ(registry.deleteValue(LM, "K", "x"), missing);
  EXPECT_TRUE(registry.createKey(Hive::None, "K"));
  EXPECT_TRUE(registry.deleteKey(LM, "")); // a root stays
}

TYPED_TEST(RegistryContractTest, AKeyWithSubkeysIsNotDeletedByThePlainDelete) {
  Registry& registry = *this->registry;
  registry.createKey(LM, "Top\\Child");
  registry.setValue(LM, "Top", "v", ValueType::String, "1");
  EXPECT_EQ(registry.deleteKey(LM, "Top"), std::make_error_code(std::errc::directory_not_empty));
  EXPECT_TRUE(registry.keyExists(LM, "Top\\Child"));
  ASSERT_FALSE(registry.deleteKey(LM, "Top\\Child"));
  ASSERT_FALSE(registry.deleteKey(LM, "Top"));
  EXPECT_FALSE(registry.keyExists(LM, "Top"));
  // A key made again under the same name starts without the old values.
  registry.createKey(LM, "Top");
  EXPECT_TRUE(registry.values(LM, "Top")->empty());
}

TYPED_TEST(RegistryContractTest, AccessListsRoundTrip) {
  Registry& registry = *this->registry;
  registry.createKey(LM, "K");
  EXPECT_EQ(*registry.accessList(LM, "K"), AccessList{});
  AccessList list{access::AutoInherited,
                  {{"bob", "S-1-22-1-1001", false, access::GenericAll, access::InheritOnly},
                   {"Everyone", "S-1-1-0", true, 0x20019, access::Inherited}}};
  ASSERT_FALSE(registry.setAccessList(LM, "K", list));
  EXPECT_EQ(*registry.accessList(LM, "K"), list);
  EXPECT_TRUE(registry.accessList(LM, "K")->entries[1].inherited());
}

std::vector<std::string> walkedPaths(Registry& registry, std::string_view start) {
  std::vector<std::string> paths;
  EXPECT_FALSE(registry.walkTree(LM, start, [&](const Registry::KeyVisit& key) {
    paths.push_back(key.path + (key.values.empty() ? "" : "=" + key.values[0].data));
    return true;
  }));
  return paths;
}

TYPED_TEST(RegistryContractTest, ATreeIsWalkedInPreOrderAndDeepKeysAreReached) {
  Registry& registry = *this->registry;
  ASSERT_FALSE(registry.createKey(LM, "S\\b\\x"));
  ASSERT_FALSE(registry.createKey(LM, "S\\A"));
  ASSERT_FALSE(registry.setValue(LM, "S\\b\\x", "v", ValueType::String, "1"));
  EXPECT_THAT(walkedPaths(registry, "S"), ElementsAre("", "A", "b", "b\\x=1"));
  // Two thousand levels: each key is reached once (and by its parent's id, not its path).
  std::string deep = "D";
  for (int i = 0; i < 2000; ++i)
    deep += "\\k";
  ASSERT_FALSE(registry.createKey(LM, deep));
  EXPECT_EQ(walkedPaths(registry, "D").size(), 2001u);
  EXPECT_EQ(registry.walkTree(LM, "nowhere", [](const Registry::KeyVisit&) { return true; }),
            std::make_error_code(std::errc::no_such_file_or_directory));

  // Deleting a tree takes every key and value below, however deep, and nothing beside it.
  ASSERT_FALSE(registry.setValue(LM, deep, "leaf", ValueType::String, "x"));
  EXPECT_FALSE(registry.deleteTree(LM, "D"));
  EXPECT_FALSE(registry.keyExists(LM, "D"));
  EXPECT_FALSE(registry.keyExists(LM, "D\\k"));
  EXPECT_THAT(walkedPaths(registry, "S"), ElementsAre("", "A", "b", "b\\x=1"));
  EXPECT_EQ(registry.deleteTree(LM, "D"),
            std::make_error_code(std::errc::no_such_file_or_directory));
  EXPECT_EQ(registry.deleteTree(LM, ""), std::make_error_code(std::errc::invalid_argument));
  EXPECT_TRUE(registry.keyExists(LM, "S\\b\\x"));
}

} // namespace
} // namespace quorvane::platform
