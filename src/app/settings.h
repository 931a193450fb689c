// The settings store: every persistent setting is a value under one registry key, read and
// written through this small registry layer, which also reads INI keys for the language files.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace quorvane::app {

using platform::Hive;

/// HKEY_LOCAL_MACHINE subkey holding the product's settings.
inline constexpr std::string_view kSettingsKey = "SOFTWARE\\quorvane\\Quorvane Antimalware";
/// HKEY_LOCAL_MACHINE subkey the threat recording grants access to.
inline constexpr std::string_view kVendorKey = "SOFTWARE\\quorvane";

/// The names of the values the product keeps under kSettingsKey, in table order.
const std::vector<std::string_view>& settingNames();

/// The root named by a hive's long name ("HKEY_LOCAL_MACHINE"); Hive::None for anything else.
Hive hiveFromName(std::string_view name);

enum class SourceKind { Invalid, CurrentUser, LocalMachine, Users, ClassesRoot, IniFile };

/// A value as stored: text, raw bytes, or a 32-bit number; monostate when there is none.
struct Bytes {
  std::string data;
  bool operator==(const Bytes&) const = default;
};
using RegistryData = std::variant<std::monostate, std::string, Bytes, std::uint32_t>;

/// Result of fReadValue: the value by its type letter, and 0 or the platform error number
/// (99 for an invalid source).
struct ReadResult {
  std::variant<std::string, bool, std::uint32_t> value;
  int status = 0;
  /// The value as text ("1"/"0" for a boolean).
  std::string text() const;
};

struct RegistryPath {
  Hive root = Hive::None;
  std::string subkey;
};

/// The new access list a grant writes: the new deny entries, the old explicit entries up to the
/// first inherited one (less those of the new entries' accounts), the new allow entries, then
/// the remaining old entries; control bits follow the old list's inheritance state.
platform::AccessList mergeKeyAccessList(const platform::AccessList& old,
                                        const std::vector<platform::AccessEntry>& added);

class SettingsStore {
public:
  explicit SettingsStore(platform::Platform& platform) : p_(platform) {}

  /// (found, text). Text values come back without a trailing NUL, numbers as decimal text.
  std::pair<bool, std::string> regReadText(Hive root, std::string_view subkey,
                                           std::string_view name);
  /// Creates the key when needed and writes a text value (no trailing NUL).
  bool regWriteText(Hive root, std::string_view subkey, std::string_view name,
                    std::string_view text);
  /// Writes a 32-bit number into an existing key named by a full path.
  bool regWriteNumber(std::string_view path, std::string_view name, std::uint32_t number);
  /// The number as decimal text, or "Error" when the key or value cannot be read.
  std::string regReadNumber(std::string_view path, std::string_view name);
  /// Splits "HKEY_...\subkey"; a path not starting with "HKEY_" or ending in "\" is shown to the
  /// user as "Incorrect Format:" and gives root Hive::None.
  RegistryPath splitRegistryPath(std::string_view path);
  SourceKind classifySource(std::string_view source);
  /// Reads a registry value (source "HKCU", "HKLM", "HKU", "HKCR") or an INI key (source = the
  /// file's path). Type letters: "S" text, "B" boolean, "D" 32-bit number.
  ReadResult fReadValue(std::string_view source, std::string_view subkeyOrSection,
                        std::string_view name, std::string_view type,
                        const std::string& fallback = {});
  /// Deletes a registry value, or blanks an INI key. Returns 0 or the platform error number.
  int deleteValue(std::string_view source, std::string_view subkeyOrSection, std::string_view name);
  /// The value by its stored type; `fallback` when absent or of another type.
  RegistryData getRegistryValue(Hive root, std::string_view subkey, std::string_view name,
                                RegistryData fallback = {});
  bool regKeyExists(Hive root, std::string_view subkey);
  /// Appends the key's value names (trimmed, blank ones left out) to `names`; returns 0 or the
  /// platform error number (99 for a root name other than HKCU, HKLM, HKU, HKCR).
  int listValueNames(std::string_view root, std::string_view subkey,
                     std::vector<std::string>& names);
  /// The same for the key's subkey names.
  int listSubkeys(std::string_view root, std::string_view subkey, std::vector<std::string>& names);
  /// Deletes a key with all its subkeys. True when the key is gone.
  bool deleteRegistryTree(Hive root, std::string_view subkey);
  /// Adds the everyone / user entries to the key's access list. False (key unchanged) when the
  /// key cannot be opened or the user is unknown.
  bool grantKeyAccess(Hive root, std::string_view subkey, const std::string& user);

  /// A value of the settings key as text (empty when absent).
  std::string setting(std::string_view name);
  bool setSetting(std::string_view name, std::string_view text);
  /// Every value stored under the settings key, as text, in storage order.
  std::vector<std::pair<std::string, std::string>> storedSettings();

  /// Adds `delta` to the decimal text value `name` of the settings key, atomically against other
  /// threads and processes; returns the new total.
  long long addToCounter(std::string_view name, long long delta);

private:
  platform::Platform& p_;
};

} // namespace quorvane::app
