// The in-memory registry: a tree of keys, each with its subkeys by folded name and its values in
// the order they were first written.
#include "platform/fake/memory_registry.h"

namespace quorvane::platform::fake {
namespace {

std::error_code missing() { return std::make_error_code(std::errc::no_such_file_or_directory); }

} // namespace

struct MemoryRegistry::Key {
  std::string name;
  std::map<std::string, std::unique_ptr<Key>> subkeys; ///< by folded name: the listing order
  std::vector<RegistryValue> values;                   ///< first written first
  AccessList access;

  RegistryValue* value(std::string_view name) {
    std::string folded = foldRegistryName(name);
    for (RegistryValue& value : values)
      if (foldRegistryName(value.name) == folded)
        return &value;
    return nullptr;
  }
};

MemoryRegistry::MemoryRegistry() = default;
MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::Key* MemoryRegistry::find(Hive hive, std::string_view path) {
  auto root = roots_.find(hive);
  if (root == roots_.end())
    return nullptr;
  Key* key = root->second.get();
  for (std::string_view part : splitKeyPath(path)) {
    auto child = key->subkeys.find(foldRegistryName(part));
    if (child == key->subkeys.end())
      return nullptr;
    key = child->second.get();
  }
  return key;
}

ErrorOr<MemoryRegistry::Key*> MemoryRegistry::findOrError(Hive hive, std::string_view path) {
  if (hiveName(hive).empty())
    return std::errc::invalid_argument;
  if (Key* key = find(hive, path))
    return key;
  return missing();
}

std::error_code MemoryRegistry::createKey(Hive hive, std::string_view path) {
  std::lock_guard lock(mutex_);
  if (hiveName(hive).empty())
    return std::make_error_code(std::errc::invalid_argument);
  std::unique_ptr<Key>& root = roots_[hive];
  if (!root) {
    root = std::make_unique<Key>();
    root->name = std::string(hiveName(hive));
  }
  Key* key = root.get();
  for (std::string_view part : splitKeyPath(path)) {
    std::unique_ptr<Key>& child = key->subkeys[foldRegistryName(part)];
    if (!child) {
      child = std::make_unique<Key>();
      child->name = std::string(part);
    }
    key = child.get();
  }
  return {};
}

bool MemoryRegistry::keyExists(Hive hive, std::string_view path) {
  std::lock_guard lock(mutex_);
  return find(hive, path) != nullptr;
}

ErrorOr<std::vector<std::string>> MemoryRegistry::subkeys(Hive hive, std::string_view path) {
  std::lock_guard lock(mutex_);
  auto key = findOrError(hive, path);
  if (!key)
    return key.error();
  std::vector<std::string> names;
  for (const auto& [folded, child] : (*key)->subkeys)
    names.push_back(child->name);
  return names;
}

ErrorOr<std::vector<RegistryValue>> MemoryRegistry::values(Hive hive, std::string_view path) {
  std::lock_guard lock(mutex_);
  auto key = findOrError(hive, path);
  if (!key)
    return key.error();
  return (*key)->values;
}

std::error_code MemoryRegistry::walkTree(Hive hive, std::string_view path,
                                         const std::function<bool(const KeyVisit&)>& visit) {
  std::lock_guard lock(mutex_);
  auto start = findOrError(hive, path);
  if (!start)
    return start.error();
  std::vector<std::pair<const Key*, std::string>> pending{{*start, std::string()}};
  while (!pending.empty()) {
    auto [key, keyPath] = std::move(pending.back());
    pending.pop_back();
    if (!visit({keyPath, key->values}))
      return {};
    for (auto child = key->subkeys.rbegin(); child != key->subkeys.rend(); ++child)
      pending.emplace_back(child->second.get(), keyPath.empty()
                                                    ? child->second->name
                                                    : keyPath + "\\" + child->second->name);
  }
  return {};
}

ErrorOr<RegistryValue> MemoryRegistry::queryValue(Hive hive, std::string_view path,
                                                  std::string_view name) {
  std::lock_guard lock(mutex_);
  auto key = findOrError(hive, path);
  if (!key)
    return key.error();
  if (RegistryValue* value = (*key)->value(name))
    return *value;
  return missing();
}

std::error_code MemoryRegistry::setValue(Hive hive, std::string_view path, std::string_view name,
                                         ValueType type, std::string_view data) {
  std::lock_guard lock(mutex_);
  auto key = findOrError(hive, path);
  if (!key)
    return key.error();
  if (RegistryValue* value = (*key)->value(name)) {
    value->type = type; // the value keeps its name and its place
    value->data = std::string(data);
  } else {
    (*key)->values.push_back({std::string(name), type, std::string(data)});
  }
  return {};
}

std::error_code MemoryRegistry::deleteValue(Hive hive, std::string_view path,
                                            std::string_view name) {
  std::lock_guard lock(mutex_);
  auto key = findOrError(hive, path);
  if (!key)
    return key.error();
  RegistryValue* value = (*key)->value(name);
  if (!value)
    return missing();
  (*key)->values.erase((*key)->values.begin() + (value - (*key)->values.data()));
  return {};
}

ErrorOr<RegistryValue> MemoryRegistry::modifyValue(Hive hive, std::string_view path,
                                                   std::string_view name,
                                                   const ValueChange& change) {
  std::lock_guard lock(mutex_);
  auto key = findOrError(hive, path);
  if (!key)
    return key.error();
  RegistryValue* current = (*key)->value(name);
  RegistryValue next = change(current);
  if (current) {
    current->type = next.type;
    current->data = next.data;
  } else {
    (*key)->values.push_back({std::string(name), next.type, next.data});
  }
  return next;
}

std::error_code MemoryRegistry::deleteKey(Hive hive, std::string_view path) {
  return removeKey(hive, path, false);
}

std::error_code MemoryRegistry::deleteTree(Hive hive, std::string_view path) {
  return removeKey(hive, path, true);
}

std::error_code MemoryRegistry::removeKey(Hive hive, std::string_view path, bool withSubkeys) {
  std::lock_guard lock(mutex_);
  std::vector<std::string_view> parts = splitKeyPath(path);
  if (parts.empty())
    return std::make_error_code(std::errc::invalid_argument); // the roots stay
  auto key = findOrError(hive, path);
  if (!key)
    return key.error();
  if (!withSubkeys && !(*key)->subkeys.empty())
    return std::make_error_code(std::errc::directory_not_empty);
  Key* parent = roots_[hive].get();
  for (std::size_t i = 0; i + 1 < parts.size(); ++i)
    parent = parent->subkeys[foldRegistryName(parts[i])].get();
  parent->subkeys.erase(foldRegistryName(parts.back()));
  return {};
}

ErrorOr<AccessList> MemoryRegistry::accessList(Hive hive, std::string_view path) {
  std::lock_guard lock(mutex_);
  auto key = findOrError(hive, path);
  if (!key)
    return key.error();
  return (*key)->access;
}

std::error_code MemoryRegistry::setAccessList(Hive hive, std::string_view path,
                                              const AccessList& list) {
  std::lock_guard lock(mutex_);
  auto key = findOrError(hive, path);
  if (!key)
    return key.error();
  (*key)->access = list;
  return {};
}

} // namespace quorvane::platform::fake
