// The SQLite registry stand-in: persistence, refusal of a foreign file, use from several
// connections at once and a crafted store (what every registry must do is in the contract test).
#include "platform/registry_store.h"

#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sqlite3.h>
#include <thread>

namespace quorvane::platform {
namespace {


constexpr Hive LM = Hive::LocalMachine;

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
