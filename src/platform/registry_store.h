// The registry stand-in: a Registry kept in an SQLite database file ("registry.db").
//
// Used where the system has no registry of its own. Every write is one transaction and is on
// disk when the call returns; several processes may use one file at once.
#pragma once

#include "platform/registry.h"

#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

struct sqlite3;

namespace quorvane::platform {

/// The store cannot be opened or is not a registry database; the file is left as it was.
class RegistryStoreError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class SqliteRegistry final : public Registry {
public:
  /// Opens (creating when absent) the store at `file`; ":memory:" keeps it in memory only.
  /// Throws RegistryStoreError when the file cannot be used.
  explicit SqliteRegistry(const std::string& file);
  ~SqliteRegistry() override;
  SqliteRegistry(const SqliteRegistry&) = delete;
  SqliteRegistry& operator=(const SqliteRegistry&) = delete;

  std::error_code createKey(Hive hive, std::string_view path) override;
  bool keyExists(Hive hive, std::string_view path) override;
  ErrorOr<std::vector<std::string>> subkeys(Hive hive, std::string_view path) override;
  ErrorOr<std::vector<RegistryValue>> values(Hive hive, std::string_view path) override;
  std::error_code walkTree(Hive hive, std::string_view path,
                           const std::function<bool(const KeyVisit&)>& visit) override;
  ErrorOr<RegistryValue> queryValue(Hive hive, std::string_view path,
                                    std::string_view name) override;
  std::error_code setValue(Hive hive, std::string_view path, std::string_view name,
                           ValueType type, std::string_view data) override;
  std::error_code deleteValue(Hive hive, std::string_view path, std::string_view name) override;
  ErrorOr<RegistryValue> modifyValue(Hive hive, std::string_view path, std::string_view name,
                                     const ValueChange& change) override;
  std::error_code deleteKey(Hive hive, std::string_view path) override;
  std::error_code deleteTree(Hive hive, std::string_view path) override;
  ErrorOr<AccessList> accessList(Hive hive, std::string_view path) override;
  std::error_code setAccessList(Hive hive, std::string_view path,
                                const AccessList& list) override;

private:
  class Transaction;
  ErrorOr<long long> findKey(Hive hive, std::string_view path);
  ErrorOr<long long> createPath(Hive hive, std::string_view path);
  ErrorOr<RegistryValue> readValue(long long key, std::string_view name);
  std::vector<RegistryValue> valuesOf(long long key);
  bool writeValue(long long key, std::string_view name, ValueType type, std::string_view data);
  /// Removes the key with its values and access entries, in one transaction; a key with
  /// subkeys only `withSubkeys` (every key below goes too).
  std::error_code removeKey(Hive hive, std::string_view path, bool withSubkeys);

  std::mutex mutex_;
  sqlite3* db_ = nullptr;
};

} // namespace quorvane::platform
