// A registry kept in memory, for tests on every system: the same names, order and errors as the
// registry facility promises, nothing on disk.
#pragma once

#include "platform/registry.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace quorvane::platform::fake {

class MemoryRegistry final : public Registry {
public:
  MemoryRegistry();
  ~MemoryRegistry() override;

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
  struct Key;
  /// The key at `path` below the hive's root; nullptr when absent. Needs the lock.
  Key* find(Hive hive, std::string_view path);
  ErrorOr<Key*> findOrError(Hive hive, std::string_view path);
  std::error_code removeKey(Hive hive, std::string_view path, bool withSubkeys);

  std::mutex mutex_;
  std::map<Hive, std::unique_ptr<Key>> roots_;
};

} // namespace quorvane::platform::fake
