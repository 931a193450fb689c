// Registry facility: hierarchical keys holding typed values and a per-key access list.
//
// Key and value names compare without regard to ASCII letter case and keep the case they were
// created with. Value data uses Windows' byte layouts (REG_DWORD little-endian, REG_MULTI_SZ
// NUL-separated with a double NUL at the end).
#pragma once

#include "platform/error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::platform {

/// The predefined roots; the numbers are Windows' handle values.
enum class Hive : std::uint32_t {
  None = 0,
  ClassesRoot = 0x80000000u,
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
  Users = 0x80000003u,
  PerformanceData = 0x80000004u,
  CurrentConfig = 0x80000005u,
  DynData = 0x80000006u,
};

/// The long name of a root ("HKEY_LOCAL_MACHINE"); empty for Hive::None.
std::string_view hiveName(Hive hive);

/// A key or value name as names are compared: ASCII letters in lower case.
std::string foldRegistryName(std::string_view name);
/// The names of a key path ("A\\B\\C"), empty parts left out.
std::vector<std::string_view> splitKeyPath(std::string_view path);

enum class ValueType : std::uint32_t {
  None = 0,
  String = 1,         ///< REG_SZ
  ExpandString = 2,   ///< REG_EXPAND_SZ
  Binary = 3,         ///< REG_BINARY
  Dword = 4,          ///< REG_DWORD, little-endian
  MultiString = 7,    ///< REG_MULTI_SZ
};

struct RegistryValue {
  std::string name; ///< empty for the key's default value
  ValueType type = ValueType::None;
  std::string data; ///< raw bytes
};

/// Access-mask and entry-flag bits used by the product.
namespace access {
inline constexpr std::uint32_t GenericAll = 0x10000000u;
inline constexpr std::uint32_t GenericReadWriteExecuteDelete = 0xE0010000u;
inline constexpr std::uint32_t ContainerInherit = 0x02u;
inline constexpr std::uint32_t InheritOnly = 0x08u;
inline constexpr std::uint32_t Inherited = 0x10u;
inline constexpr std::uint16_t AutoInheritRequired = 0x0100u;
inline constexpr std::uint16_t AutoInherited = 0x0400u;
inline constexpr std::uint16_t Protected = 0x1000u;
} // namespace access

/// One entry of a key's access list.
struct AccessEntry {
  std::string account;    ///< account name as looked up (for display)
  std::string identifier; ///< account identifier ("S-1-1-0" for everyone)
  bool allow = true;      ///< allow or deny entry
  std::uint32_t mask = 0;
  std::uint32_t flags = 0; ///< inheritance flags; access::Inherited marks an inherited entry

  bool inherited() const { return (flags & access::Inherited) != 0; }
  bool operator==(const AccessEntry&) const = default;
};

struct AccessList {
  std::uint16_t control = 0; ///< descriptor control bits (access::AutoInherited, ...)
  std::vector<AccessEntry> entries;
  bool operator==(const AccessList&) const = default;
};

/// Errors reported by a registry: std::errc::no_such_file_or_directory for a missing key or
/// value, std::errc::directory_not_empty for deleting a key with subkeys,
/// std::errc::invalid_argument for a bad root or name.
class Registry {
public:
  virtual ~Registry() = default;

  /// Creates the key and any missing parents; an existing key is fine.
  virtual std::error_code createKey(Hive hive, std::string_view path) = 0;
  virtual bool keyExists(Hive hive, std::string_view path) = 0;
  /// The subkey names in a stable order (by name, ignoring case).
  virtual ErrorOr<std::vector<std::string>> subkeys(Hive hive, std::string_view path) = 0;
  /// The values in the order they were first written.
  virtual ErrorOr<std::vector<RegistryValue>> values(Hive hive, std::string_view path) = 0;
  virtual ErrorOr<RegistryValue> queryValue(Hive hive, std::string_view path,
                                            std::string_view name) = 0;
  /// Writes a value into an existing key.
  virtual std::error_code setValue(Hive hive, std::string_view path, std::string_view name,
                                   ValueType type, std::string_view data) = 0;
  virtual std::error_code deleteValue(Hive hive, std::string_view path,
                                      std::string_view name) = 0;
  /// Reads a value and writes what `change` makes of it (it gets nullptr when the value is
  /// absent) as one step that no other writer, in this or another process, can come between.
  /// Returns the written value.
  using ValueChange = std::function<RegistryValue(const RegistryValue* current)>;
  virtual ErrorOr<RegistryValue> modifyValue(Hive hive, std::string_view path,
                                             std::string_view name, const ValueChange& change) = 0;
  /// One key met by walkTree: its path below the start ("" for the start) and its values.
  struct KeyVisit {
    std::string path;
    std::vector<RegistryValue> values;
  };
  /// Visits the key and every key below it in pre-order (subkeys by name, ignoring case), in
  /// time that grows with the number of keys, whatever their depth; `visit` returns false to
  /// stop. A key is entered once: a store whose key is its own ancestor does not loop.
  virtual std::error_code walkTree(Hive hive, std::string_view path,
                                   const std::function<bool(const KeyVisit&)>& visit) = 0;
  /// Deletes a key that has no subkeys (its values go with it).
  virtual std::error_code deleteKey(Hive hive, std::string_view path) = 0;
  /// Deletes a key with every key below it and all their values, as one step, in time that
  /// grows with the number of keys whatever their depth (a store whose key is its own ancestor
  /// included). A root stays.
  virtual std::error_code deleteTree(Hive hive, std::string_view path) = 0;
  virtual ErrorOr<AccessList> accessList(Hive hive, std::string_view path) = 0;
  virtual std::error_code setAccessList(Hive hive, std::string_view path,
                                        const AccessList& list) = 0;
};

} // namespace quorvane::platform
