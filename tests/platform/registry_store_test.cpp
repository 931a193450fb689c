// The SQLite registry stand-in: names, types, order, deletion, access lists, persistence and
// use from several connections at once.
#include "platform/registry_store.h"

#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sqlite3.h>
#include <thread>

namespace quorvane::platform {
namespace {

using ::testing::ElementsAre;

constexpr Hive LM = Hive::LocalMachine;

std::vector<std::string> valueNames(Registry& registry, std::string_view key) {
  std::vector<std::string> names;
  for (const RegistryValue& v : *registry.values(LM, key))
    names.push_back(v.name);
  return names;
}

TEST(RegistryStoreTest, NamesIgnoreCaseAndKeepTheirCase) {
  SqliteRegistry registry(":memory:");
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

TEST(RegistryStoreTest, EnumerationOrderIsStable) {
  SqliteRegistry registry(":memory:");
  for (const char* key : {"K\\beta", "K\\Alpha", "K\\gamma"})
    registry.createKey(LM, key);
  for (const char* name : {"zeta", "Alpha", "mid"})
    registry.setValue(LM, "K", name, ValueType::String, "");
  registry.setValue(LM, "K", "zeta", ValueType::Dword, std::string(4, '\0')); // rewrite
  EXPECT_THAT(*registry.subkeys(LM, "K"), ElementsAre("Alpha", "beta", "gamma"));
  EXPECT_THAT(valueNames(registry, "K"), ElementsAre("zeta", "Alpha", "mid"));
}

TEST(RegistryStoreTest, KeepsBytesAndTypesExactly) {
  SqliteRegistry registry(":memory:");
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

TEST(RegistryStoreTest, MissingThingsAndBadRequestsAreErrors) {
  SqliteRegistry registry(":memory:");
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

TEST(RegistryStoreTest, AKeyWithSubkeysIsNotDeletedByThePlainDelete) {
  SqliteRegistry registry(":memory:");
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

TEST(RegistryStoreTest, AccessListsRoundTrip) {
  SqliteRegistry registry(":memory:");
  registry.createKey(LM, "K");
  EXPECT_EQ(*registry.accessList(LM, "K"), AccessList{});
  AccessList list{access::AutoInherited,
                  {{"bob", "S-1-22-1-1001", false, access::GenericAll, access::InheritOnly},
                   {"Everyone", "S-1-1-0", true, 0x20019, access::Inherited}}};
  ASSERT_FALSE(registry.setAccessList(LM, "K", list));
  EXPECT_EQ(*registry.accessList(LM, "K"), list);
  EXPECT_TRUE(registry.accessList(LM, "K")->entries[1].inherited());
}

TEST(RegistryStoreTest, WritesAreOnDiskWhenTheCallReturns) {
  testing::TempDir dir;
  std::string file = dir / "registry.db";
  {
    SqliteRegistry writer(file);
    writer.createKey(LM, "SOFTWARE\\quorvane");
    writer.setValue(LM, "SOFTWARE\\quorvane", "threats", ValueType::String, "7");
    // A second connection (another process would be the same) sees it at once.
    SqliteRegistry reader(file);
    EXPECT_EQ(reader.queryValue(LM, "SOFTWARE\\quorvane", "threats")->data, "7");
  }
  SqliteRegistry reopened(file);
  EXPECT_EQ(reopened.queryValue(LM, "SOFTWARE\\quorvane", "threats")->data, "7");
}

TEST(RegistryStoreTest, AFileThatIsNotADatabaseIsRefusedAndLeftAlone) {
  testing::TempDir dir;
  std::string junk = "this is not a database, but somebody's notes\n" + std::string(5000, 'x');
  std::string file = dir.write("registry.db", junk);
  EXPECT_THROW(SqliteRegistry{file}, RegistryStoreError);
  EXPECT_EQ(dir.read("registry.db"), junk);
}

TEST(RegistryStoreTest, ConcurrentModifyLosesNoUpdate) {
  testing::TempDir dir;
  std::string file = dir / "registry.db";
  SqliteRegistry(file).createKey(LM, "K");
  auto bump = [&] {
    SqliteRegistry registry(file); // a connection of its own, as another process would have
    for (int i = 0; i < 50; ++i)
      ASSERT_TRUE(registry.modifyValue(LM, "K", "n", [](const RegistryValue* current) {
        int n = current ? std::stoi(current->data) : 0;
        return RegistryValue{"n", ValueType::String, std::to_string(n + 1)};
      }));
  };
  std::thread a(bump), b(bump);
  a.join();
  b.join();
  EXPECT_EQ(SqliteRegistry(file).queryValue(LM, "K", "n")->data, "100");
}

std::vector<std::string> walkedPaths(Registry& registry, std::string_view start) {
  std::vector<std::string> paths;
  EXPECT_FALSE(registry.walkTree(LM, start, [&](const Registry::KeyVisit& key) {
    paths.push_back(key.path + (key.values.empty() ? "" : "=" + key.values[0].data));
    return true;
  }));
  return paths;
}

TEST(RegistryStoreTest, ATreeIsWalkedInPreOrderAndDeepKeysAreReached) {
  SqliteRegistry registry(":memory:");
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

TEST(RegistryStoreTest, AStoreWhoseKeyIsItsOwnAncestorDoesNotLoop) {
  testing::TempDir dir;
  std::string file = dir / "registry.db";
  {
    SqliteRegistry registry(file);
    ASSERT_FALSE(registry.createKey(LM, "Loop\\a"));
  }
  // Made by hand: the root key's id becomes 0, the parent of every root, so the root is its
  // own child (HKLM\\HKEY_LOCAL_MACHINE\\HKEY_LOCAL_MACHINE\\... for a walk by path).
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db,
                         "UPDATE reg_keys SET parent = 0 WHERE parent = "
                         "(SELECT id FROM reg_keys WHERE name = 'HKEY_LOCAL_MACHINE');"
                         "UPDATE reg_keys SET id = 0 WHERE name = 'HKEY_LOCAL_MACHINE';",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  SqliteRegistry crafted(file);
  long long steps = 0;
  std::vector<std::string> seen;
  EXPECT_FALSE(crafted.walkTree(LM, "", [&](const Registry::KeyVisit& key) {
    seen.push_back(key.path);
    return ++steps < 10000;
  }));
  EXPECT_LT(steps, 10000) << "the walk ended by itself";
  EXPECT_THAT(seen, ::testing::Contains("Loop\\a"));
  EXPECT_EQ(std::count(seen.begin(), seen.end(), std::string()), 1) << "the root once";
  EXPECT_FALSE(crafted.deleteTree(LM, "Loop"));
  EXPECT_FALSE(crafted.keyExists(LM, "Loop\\a"));
}

} // namespace
} // namespace quorvane::platform
