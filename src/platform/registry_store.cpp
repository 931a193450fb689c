// The SQLite registry stand-in.
#include "platform/registry_store.h"

#include <sqlite3.h>

#include <set>

namespace quorvane::platform {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS reg_keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER NOT NULL,
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  control INTEGER NOT NULL DEFAULT 0,
  UNIQUE(parent, folded));
CREATE TABLE IF NOT EXISTS reg_values(
  seq INTEGER PRIMARY KEY,
  key INTEGER NOT NULL,
  name TEXT NOT NULL,
  folded TEXT NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  UNIQUE(key, folded));
CREATE TABLE IF NOT EXISTS reg_access(
  key INTEGER NOT NULL,
  position INTEGER NOT NULL,
  account TEXT NOT NULL,
  identifier TEXT NOT NULL,
  allow INTEGER NOT NULL,
  mask INTEGER NOT NULL,
  flags INTEGER NOT NULL,
  PRIMARY KEY(key, position));
)sql";

std::error_code storeError() { return std::make_error_code(std::errc::io_error); }
std::error_code missing() { return std::make_error_code(std::errc::no_such_file_or_directory); }

/// A prepared statement that finalizes itself.
class Statement {
public:
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
      stmt_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return stmt_ != nullptr; }
  Statement& bind(int index, long long value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  Statement& bind(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& bindBlob(int index, std::string_view bytes) {
    // A zero-length blob still binds as a blob, never as NULL.
    sqlite3_bind_blob(stmt_, index, bytes.empty() ? "" : bytes.data(),
                      static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    return *this;
  }
  /// SQLITE_ROW, SQLITE_DONE or an error code.
  int step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
  bool run() {
    int rc = step();
    return rc == SQLITE_DONE || rc == SQLITE_ROW;
  }
  long long integer(int column) { return sqlite3_column_int64(stmt_, column); }
  std::string text(int column) {
    const void* data = sqlite3_column_blob(stmt_, column);
    int size = sqlite3_column_bytes(stmt_, column);
    return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                : std::string();
  }

private:
  sqlite3_stmt* stmt_ = nullptr;
};

} // namespace

/// BEGIN IMMEDIATE ... COMMIT, rolled back unless committed.
class SqliteRegistry::Transaction {
public:
  explicit Transaction(sqlite3* db) : db_(db) {
    begun_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ~Transaction() {
    if (begun_)
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  bool begun() const { return begun_; }
  std::error_code commit() {
    if (!begun_)
      return storeError();
    begun_ = false;
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      return storeError();
    }
    return {};
  }

private:
  sqlite3* db_;
  bool begun_ = false;
};

SqliteRegistry::SqliteRegistry(const std::string& file) {
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(file.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    db_ = nullptr;
    throw RegistryStoreError("cannot open the registry store " + file + ": " + why);
  }
  sqlite3_busy_timeout(db_, 10000);
  // Reading the schema is the first access to the file's content: a file that is not a
  // database fails here, before anything could be written to it.
  auto fail = [&](const char* what) {
    std::string why = sqlite3_errmsg(db_);
    sqlite3_close(db_);
    db_ = nullptr;
    throw RegistryStoreError("the registry store " + file + " " + what + ": " + why +
                             " (the file was left untouched)");
  };
  // Another process may be setting up the same file at this moment: wait for it.
  auto withRetry = [&](const char* sql) {
    for (int attempt = 0;; ++attempt) {
      int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
      if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) || attempt >= 1000)
        return rc;
      sqlite3_sleep(10);
    }
  };
  if (withRetry("SELECT count(*) FROM sqlite_master") != SQLITE_OK)
    fail("cannot be read");
  if (withRetry("PRAGMA journal_mode=WAL") != SQLITE_OK ||
      withRetry("PRAGMA synchronous=FULL") != SQLITE_OK)
    fail("cannot be prepared");
  if (withRetry("BEGIN IMMEDIATE") != SQLITE_OK)
    fail("cannot be locked");
  if (sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    fail("cannot hold registry keys");
  }
}

SqliteRegistry::~SqliteRegistry() { sqlite3_close(db_); }

ErrorOr<long long> SqliteRegistry::findKey(Hive hive, std::string_view path) {
  std::string_view root = hiveName(hive);
  if (root.empty())
    return std::errc::invalid_argument;
  long long id = 0;
  auto step = [&](std::string_view name) -> bool {
    Statement q(db_, "SELECT id FROM reg_keys WHERE parent = ?1 AND folded = ?2");
    q.bind(1, id).bind(2, foldRegistryName(name));
    if (q.step() != SQLITE_ROW)
      return false;
    id = q.integer(0);
    return true;
  };
  if (!step(root))
    return missing();
  for (std::string_view part : splitKeyPath(path))
    if (!step(part))
      return missing();
  return id;
}

ErrorOr<long long> SqliteRegistry::createPath(Hive hive, std::string_view path) {
  std::string_view root = hiveName(hive);
  if (root.empty())
    return std::errc::invalid_argument;
  long long id = 0;
  std::vector<std::string_view> parts = splitKeyPath(path);
  parts.insert(parts.begin(), root);
  for (std::string_view part : parts) {
    Statement insert(db_, "INSERT OR IGNORE INTO reg_keys(parent, name, folded) VALUES(?1,?2,?3)");
    insert.bind(1, id).bind(2, part).bind(3, foldRegistryName(part));
    if (!insert.run())
      return storeError();
    Statement q(db_, "SELECT id FROM reg_keys WHERE parent = ?1 AND folded = ?2");
    q.bind(1, id).bind(2, foldRegistryName(part));
    if (q.step() != SQLITE_ROW)
      return storeError();
    id = q.integer(0);
  }
  return id;
}

std::error_code SqliteRegistry::createKey(Hive hive, std::string_view path) {
  std::lock_guard lock(mutex_);
  Transaction tx(db_);
  if (!tx.begun())
    return storeError();
  auto id = createPath(hive, path);
  if (!id)
    return id.error();
  return tx.commit();
}

bool SqliteRegistry::keyExists(Hive hive, std::string_view path) {
  std::lock_guard lock(mutex_);
  return static_cast<bool>(findKey(hive, path));
}

ErrorOr<std::vector<std::string>> SqliteRegistry::subkeys(Hive hive, std::string_view path) {
  std::lock_guard lock(mutex_);
  auto id = findKey(hive, path);
  if (!id)
    return id.error();
  std::vector<std::string> names;
  Statement q(db_, "SELECT name FROM reg_keys WHERE parent = ?1 ORDER BY folded");
  q.bind(1, *id);
  while (q.step() == SQLITE_ROW)
    names.push_back(q.text(0));
  return names;
}

std::vector<RegistryValue> SqliteRegistry::valuesOf(long long key) {
  std::vector<RegistryValue> out;
  Statement q(db_, "SELECT name, type, data FROM reg_values WHERE key = ?1 ORDER BY seq");
  q.bind(1, key);
  while (q.step() == SQLITE_ROW)
    out.push_back({q.text(0), static_cast<ValueType>(q.integer(1)), q.text(2)});
  return out;
}

ErrorOr<std::vector<RegistryValue>> SqliteRegistry::values(Hive hive, std::string_view path) {
  std::lock_guard lock(mutex_);
  auto id = findKey(hive, path);
  if (!id)
    return id.error();
  return valuesOf(*id);
}

std::error_code SqliteRegistry::walkTree(Hive hive, std::string_view path,
                                         const std::function<bool(const KeyVisit&)>& visit) {
  std::lock_guard lock(mutex_);
  auto start = findKey(hive, path);
  if (!start)
    return start.error();
  // Keys by id, children looked up by their parent's id: no path is resolved twice. A key met
  // again (its own ancestor, in a store made by hand) is not entered again.
  std::vector<std::pair<long long, std::string>> pending{{*start, std::string()}};
  std::set<long long> entered;
  while (!pending.empty()) {
    auto [id, keyPath] = std::move(pending.back());
    pending.pop_back();
    if (!entered.insert(id).second)
      continue;
    if (!visit({keyPath, valuesOf(id)}))
      return {};
    Statement children(db_, "SELECT id, name FROM reg_keys WHERE parent = ?1 ORDER BY folded DESC");
    children.bind(1, id);
    while (children.step() == SQLITE_ROW) // pushed last-first, so the first is visited next
      pending.emplace_back(children.integer(0),
                           keyPath.empty() ? children.text(1) : keyPath + "\\" + children.text(1));
  }
  return {};
}

ErrorOr<RegistryValue> SqliteRegistry::readValue(long long key, std::string_view name) {
  Statement q(db_, "SELECT name, type, data FROM reg_values WHERE key = ?1 AND folded = ?2");
  q.bind(1, key).bind(2, foldRegistryName(name));
  if (q.step() != SQLITE_ROW)
    return missing();
  return RegistryValue{q.text(0), static_cast<ValueType>(q.integer(1)), q.text(2)};
}

bool SqliteRegistry::writeValue(long long key, std::string_view name, ValueType type,
                                std::string_view data) {
  // The upsert keeps the row (and so the value's place in the listing) when it exists.
  Statement upsert(db_, "INSERT INTO reg_values(key, name, folded, type, data) "
                        "VALUES(?1,?2,?3,?4,?5) ON CONFLICT(key, folded) "
                        "DO UPDATE SET type = excluded.type, data = excluded.data");
  upsert.bind(1, key).bind(2, name).bind(3, foldRegistryName(name)).bind(4, static_cast<long long>(type));
  upsert.bindBlob(5, data);
  return upsert.run();
}

ErrorOr<RegistryValue> SqliteRegistry::queryValue(Hive hive, std::string_view path,
                                                  std::string_view name) {
  std::lock_guard lock(mutex_);
  auto id = findKey(hive, path);
  if (!id)
    return id.error();
  return readValue(*id, name);
}

std::error_code SqliteRegistry::setValue(Hive hive, std::string_view path, std::string_view name,
                                         ValueType type, std::string_view data) {
  std::lock_guard lock(mutex_);
  Transaction tx(db_);
  if (!tx.begun())
    return storeError();
  auto id = findKey(hive, path);
  if (!id)
    return id.error();
  if (!writeValue(*id, name, type, data))
    return storeError();
  return tx.commit();
}

ErrorOr<RegistryValue> SqliteRegistry::modifyValue(Hive hive, std::string_view path,
                                                   std::string_view name,
                                                   const ValueChange& change) {
  std::lock_guard lock(mutex_);
  Transaction tx(db_); // BEGIN IMMEDIATE holds the write lock from the read on
  if (!tx.begun())
    return storeError();
  auto id = findKey(hive, path);
  if (!id)
    return id.error();
  auto current = readValue(*id, name);
  RegistryValue next = change(current ? &*current : nullptr);
  if (!writeValue(*id, name, next.type, next.data))
    return storeError();
  if (auto error = tx.commit())
    return error;
  return next;
}

std::error_code SqliteRegistry::deleteValue(Hive hive, std::string_view path,
                                            std::string_view name) {
  std::lock_guard lock(mutex_);
  Transaction tx(db_);
  if (!tx.begun())
    return storeError();
  auto id = findKey(hive, path);
  if (!id)
    return id.error();
  Statement del(db_, "DELETE FROM reg_values WHERE key = ?1 AND folded = ?2");
  del.bind(1, *id).bind(2, foldRegistryName(name));
  if (!del.run())
    return storeError();
  if (sqlite3_changes(db_) == 0)
    return missing();
  return tx.commit();
}

std::error_code SqliteRegistry::deleteKey(Hive hive, std::string_view path) {
  return removeKey(hive, path, false);
}

std::error_code SqliteRegistry::deleteTree(Hive hive, std::string_view path) {
  return removeKey(hive, path, true);
}

std::error_code SqliteRegistry::removeKey(Hive hive, std::string_view path, bool withSubkeys) {
  std::lock_guard lock(mutex_);
  if (splitKeyPath(path).empty())
    return std::make_error_code(std::errc::invalid_argument); // the roots stay
  Transaction tx(db_);
  if (!tx.begun())
    return storeError();
  auto start = findKey(hive, path);
  if (!start)
    return start.error();
  // Every key below, by id, each once; then all of them go. Without its subkeys, a key that
  // has any stays.
  std::vector<long long> keys{*start};
  std::set<long long> met{*start};
  for (std::size_t next = 0; next < keys.size(); ++next) {
    Statement children(db_, "SELECT id FROM reg_keys WHERE parent = ?1");
    children.bind(1, keys[next]);
    while (children.step() == SQLITE_ROW) {
      if (!withSubkeys)
        return std::make_error_code(std::errc::directory_not_empty);
      if (long long child = children.integer(0); met.insert(child).second)
        keys.push_back(child);
    }
  }
  for (long long id : keys) {
    for (const char* sql :
         {"DELETE FROM reg_values WHERE key = ?1", "DELETE FROM reg_access WHERE key = ?1",
          "DELETE FROM reg_keys WHERE id = ?1"}) {
      Statement del(db_, sql);
      del.bind(1, id);
      if (!del.run())
        return storeError();
    }
  }
  return tx.commit();
}

ErrorOr<AccessList> SqliteRegistry::accessList(Hive hive, std::string_view path) {
  std::lock_guard lock(mutex_);
  auto id = findKey(hive, path);
  if (!id)
    return id.error();
  AccessList list;
  Statement control(db_, "SELECT control FROM reg_keys WHERE id = ?1");
  control.bind(1, *id);
  if (control.step() == SQLITE_ROW)
    list.control = static_cast<std::uint16_t>(control.integer(0));
  Statement q(db_, "SELECT account, identifier, allow, mask, flags FROM reg_access "
                   "WHERE key = ?1 ORDER BY position");
  q.bind(1, *id);
  while (q.step() == SQLITE_ROW)
    list.entries.push_back({q.text(0), q.text(1), q.integer(2) != 0,
                            static_cast<std::uint32_t>(q.integer(3)),
                            static_cast<std::uint32_t>(q.integer(4))});
  return list;
}

std::error_code SqliteRegistry::setAccessList(Hive hive, std::string_view path,
                                              const AccessList& list) {
  std::lock_guard lock(mutex_);
  Transaction tx(db_);
  if (!tx.begun())
    return storeError();
  auto id = findKey(hive, path);
  if (!id)
    return id.error();
  Statement control(db_, "UPDATE reg_keys SET control = ?2 WHERE id = ?1");
  control.bind(1, *id).bind(2, static_cast<long long>(list.control));
  Statement clear(db_, "DELETE FROM reg_access WHERE key = ?1");
  clear.bind(1, *id);
  if (!control.run() || !clear.run())
    return storeError();
  long long position = 0;
  for (const AccessEntry& entry : list.entries) {
    Statement insert(db_, "INSERT INTO reg_access VALUES(?1,?2,?3,?4,?5,?6,?7)");
    insert.bind(1, *id).bind(2, position++).bind(3, entry.account).bind(4, entry.identifier);
    insert.bind(5, entry.allow ? 1 : 0).bind(6, static_cast<long long>(entry.mask));
    insert.bind(7, static_cast<long long>(entry.flags));
    if (!insert.run())
      return storeError();
  }
  return tx.commit();
}

} // namespace quorvane::platform
