// The settings store and its registry layer.
#include "app/settings.h"

#include "app/ini.h"
#include "app/text.h"

#include <cstring>

namespace quorvane::app {

using platform::AccessEntry;
using platform::AccessList;
using platform::RegistryValue;
using platform::ValueType;
namespace access = platform::access;

namespace {

constexpr int kInvalidSource = 99;
constexpr std::size_t kIniBufferChars = 255; // one is the terminating NUL

std::uint32_t littleEndian32(std::string_view bytes) {
  unsigned char b[4] = {};
  std::memcpy(b, bytes.data(), std::min<std::size_t>(4, bytes.size()));
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

std::string toLittleEndian32(std::uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

std::string_view dropTrailingNul(std::string_view data) {
  if (!data.empty() && data.back() == '\0')
    data.remove_suffix(1);
  return data;
}

Hive hiveOfSource(SourceKind kind) {
  switch (kind) {
  case SourceKind::CurrentUser: return Hive::CurrentUser;
  case SourceKind::LocalMachine: return Hive::LocalMachine;
  case SourceKind::Users: return Hive::Users;
  case SourceKind::ClassesRoot: return Hive::ClassesRoot;
  default: return Hive::None;
  }
}

} // namespace

const std::vector<std::string_view>& settingNames() {
  static const std::vector<std::string_view> names = {
      "language",      "last scan",     "last update",   "update N",
      "threats",       "threatfound",   "usbautorun",    "start Quorvane Antimalware",
      "addmenu",       "starthour",     "startmin",      "scanperiod",
      "scanmode",      "everyweek_mon", "everyweek_tue", "everyweek_wed",
      "everyweek_thu", "everyweek_fri", "everyweek_sat", "everyweek_sun",
      "everyweek_all", "shutdown",      "update server", "update ca file",
      "windows folder", "info site"};
  return names;
}

Hive hiveFromName(std::string_view name) {
  static constexpr std::pair<std::string_view, Hive> kHives[] = {
      {"HKEY_CLASSES_ROOT", Hive::ClassesRoot},
      {"HKEY_CURRENT_USER", Hive::CurrentUser},
      {"HKEY_LOCAL_MACHINE", Hive::LocalMachine},
      {"HKEY_USERS", Hive::Users},
      {"HKEY_PERFORMANCE_DATA", Hive::PerformanceData},
      {"HKEY_CURRENT_CONFIG", Hive::CurrentConfig},
      {"HKEY_DYN_DATA", Hive::DynData},
  };
  for (const auto& [text, hive] : kHives)
    if (text == name)
      return hive;
  return Hive::None;
}

std::string ReadResult::text() const {
  if (auto* s = std::get_if<std::string>(&value))
    return *s;
  if (auto* b = std::get_if<bool>(&value))
    return *b ? "1" : "0";
  return std::to_string(std::get<std::uint32_t>(value));
}

AccessList mergeKeyAccessList(const AccessList& old, const std::vector<AccessEntry>& added) {
  AccessList merged;
  if (old.control & access::AutoInherited)
    merged.control = access::AutoInheritRequired | access::AutoInherited;
  else if (old.control & access::Protected)
    merged.control = access::Protected;

  auto isNewAccount = [&](const AccessEntry& entry) {
    for (const AccessEntry& n : added)
      if (n.identifier == entry.identifier)
        return true;
    return false;
  };
  for (const AccessEntry& n : added)
    if (!n.allow)
      merged.entries.push_back(n);
  std::size_t i = 0;
  for (; i < old.entries.size() && !old.entries[i].inherited(); ++i)
    if (!isNewAccount(old.entries[i]))
      merged.entries.push_back(old.entries[i]);
  for (const AccessEntry& n : added)
    if (n.allow)
      merged.entries.push_back(n);
  for (; i < old.entries.size(); ++i)
    merged.entries.push_back(old.entries[i]);
  return merged;
}

bool SettingsStore::grantKeyAccess(Hive root, std::string_view subkey, const std::string& user) {
  auto identifier = p_.environment.accountIdentifier(user);
  if (!identifier)
    return false;
  std::vector<AccessEntry> added = {
      {"Everyone", platform::kEveryoneIdentifier, true, access::GenericAll,
       access::ContainerInherit},
      {user, *identifier, true, access::GenericReadWriteExecuteDelete, 0},
      {user, *identifier, false, access::GenericAll,
       access::ContainerInherit | access::InheritOnly},
  };
  auto old = p_.registry.accessList(root, subkey);
  if (!old)
    return false;
  AccessList merged = mergeKeyAccessList(*old, added);
  if (merged == *old)
    return true; // granted before: nothing to write
  return !p_.registry.setAccessList(root, subkey, merged);
}

std::pair<bool, std::string> SettingsStore::regReadText(Hive root, std::string_view subkey,
                                                        std::string_view name) {
  grantKeyAccess(root, subkey, p_.environment.userName());
  auto value = p_.registry.queryValue(root, subkey, name);
  if (!value)
    return {false, {}};
  std::string_view data = dropTrailingNul(value->data);
  switch (value->type) {
  case ValueType::String:
  case ValueType::ExpandString: return {true, std::string(data)};
  case ValueType::Dword: return {true, std::to_string(littleEndian32(value->data))};
  default: return {true, {}};
  }
}

bool SettingsStore::regWriteText(Hive root, std::string_view subkey, std::string_view name,
                                 std::string_view text) {
  grantKeyAccess(root, subkey, p_.environment.userName());
  if (p_.registry.createKey(root, subkey))
    return false;
  return !p_.registry.setValue(root, subkey, name, ValueType::String, text);
}

RegistryPath SettingsStore::splitRegistryPath(std::string_view path) {
  if (path.substr(0, 5) != "HKEY_" || path.empty() || path.back() == '\\') {
    p_.notifier.messageBox("Incorrect Format:\n\n" + std::string(path));
    return {};
  }
  std::size_t cut = path.find('\\');
  std::string_view rootName = path.substr(0, cut);
  std::string_view subkey = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
  return {hiveFromName(rootName), std::string(subkey)};
}

bool SettingsStore::regWriteNumber(std::string_view path, std::string_view name,
                                   std::uint32_t number) {
  RegistryPath where = splitRegistryPath(path);
  if (where.root == Hive::None)
    return false;
  grantKeyAccess(where.root, where.subkey, p_.environment.userName());
  if (!p_.registry.keyExists(where.root, where.subkey))
    return false; // the key is not created
  return !p_.registry.setValue(where.root, where.subkey, name, ValueType::Dword,
                               toLittleEndian32(number));
}

std::string SettingsStore::regReadNumber(std::string_view path, std::string_view name) {
  RegistryPath where = splitRegistryPath(path);
  if (where.root == Hive::None)
    return "Error";
  auto value = p_.registry.queryValue(where.root, where.subkey, name);
  if (!value || value->data.size() < 4)
    return "Error";
  return std::to_string(littleEndian32(value->data));
}

SourceKind SettingsStore::classifySource(std::string_view source) {
  std::string upper = toUpper(source);
  if (upper == "HKCU")
    return SourceKind::CurrentUser;
  if (upper == "HKLM")
    return SourceKind::LocalMachine;
  if (upper == "HKU")
    return SourceKind::Users;
  if (upper == "HKCR")
    return SourceKind::ClassesRoot;
  auto status = p_.files.status(std::string(source));
  if (status && status->kind == platform::FileKind::Regular)
    return SourceKind::IniFile;
  return SourceKind::Invalid;
}

ReadResult SettingsStore::fReadValue(std::string_view source, std::string_view subkeyOrSection,
                                     std::string_view name, std::string_view type,
                                     const std::string& fallback) {
  std::string letter = toUpper(type);
  SourceKind kind = classifySource(source);
  if (kind == SourceKind::Invalid)
    return {fallback, kInvalidSource};

  if (kind == SourceKind::IniFile) {
    if (letter != "S")
      return {fallback, 0}; // read as an integer with default 0; the value keeps the default
    auto text = p_.files.readFile(std::string(source));
    std::optional<std::string> found;
    if (text)
      found = iniLookup(*text, subkeyOrSection, name);
    std::string value = found ? *found : fallback;
    if (value.size() > kIniBufferChars - 1)
      value.resize(kIniBufferChars - 1);
    return {value, found ? 0 : static_cast<int>(std::errc::no_such_file_or_directory)};
  }

  auto value = p_.registry.queryValue(hiveOfSource(kind), subkeyOrSection, name);
  if (!value)
    return {fallback, value.error().value()};
  if (letter == "B")
    return {value->data.size() >= 2 && (value->data[0] != 0 || value->data[1] != 0), 0};
  if (letter == "D")
    return {littleEndian32(value->data), 0};
  return {std::string(dropTrailingNul(value->data)), 0};
}

int SettingsStore::deleteValue(std::string_view source, std::string_view subkeyOrSection,
                               std::string_view name) {
  SourceKind kind = classifySource(source);
  if (kind == SourceKind::Invalid)
    return kInvalidSource;
  if (kind == SourceKind::IniFile) {
    std::string path(source);
    auto text = p_.files.readFile(path);
    if (!text)
      return text.error().value();
    return p_.files.writeFile(path, iniBlankKey(*text, subkeyOrSection, name)).value();
  }
  return p_.registry.deleteValue(hiveOfSource(kind), subkeyOrSection, name).value();
}

RegistryData SettingsStore::getRegistryValue(Hive root, std::string_view subkey,
                                             std::string_view name, RegistryData fallback) {
  auto value = p_.registry.queryValue(root, subkey, name);
  if (!value)
    return fallback;
  const std::string& data = value->data;
  switch (value->type) {
  case ValueType::String:
  case ValueType::ExpandString: return std::string(dropTrailingNul(data));
  case ValueType::Binary: return Bytes{data};
  case ValueType::Dword: return littleEndian32(data);
  case ValueType::MultiString:
    return data.size() >= 2 ? data.substr(0, data.size() - 2) : std::string();
  default: return fallback; // an unsupported value type
  }
}

bool SettingsStore::regKeyExists(Hive root, std::string_view subkey) {
  return p_.registry.keyExists(root, subkey);
}

namespace {

/// Appends the trimmed, non-blank names that `list` reports for a key; 0 or the error number.
template <typename List, typename NameOf>
int appendNames(List&& list, NameOf&& nameOf, std::vector<std::string>& names) {
  auto listed = list();
  if (!listed)
    return listed.error().value();
  for (const auto& item : *listed)
    if (std::string_view name = trimBlanks(nameOf(item)); !name.empty())
      names.emplace_back(name);
  return 0;
}

} // namespace

int SettingsStore::listValueNames(std::string_view root, std::string_view subkey,
                                  std::vector<std::string>& names) {
  Hive hive = hiveOfSource(classifySource(root));
  if (hive == Hive::None)
    return kInvalidSource;
  return appendNames([&] { return p_.registry.values(hive, subkey); },
                     [](const RegistryValue& value) { return std::string_view(value.name); },
                     names);
}

int SettingsStore::listSubkeys(std::string_view root, std::string_view subkey,
                               std::vector<std::string>& names) {
  Hive hive = hiveOfSource(classifySource(root));
  if (hive == Hive::None)
    return kInvalidSource;
  return appendNames([&] { return p_.registry.subkeys(hive, subkey); },
                     [](const std::string& key) { return std::string_view(key); }, names);
}

bool SettingsStore::deleteRegistryTree(Hive root, std::string_view subkey) {
  return !p_.registry.deleteTree(root, subkey);
}

std::string SettingsStore::setting(std::string_view name) {
  return regReadText(Hive::LocalMachine, kSettingsKey, name).second;
}

bool SettingsStore::setSetting(std::string_view name, std::string_view text) {
  return regWriteText(Hive::LocalMachine, kSettingsKey, name, text);
}

std::vector<std::pair<std::string, std::string>> SettingsStore::storedSettings() {
  std::vector<std::pair<std::string, std::string>> out;
  auto values = p_.registry.values(Hive::LocalMachine, kSettingsKey);
  if (!values)
    return out;
  for (const RegistryValue& value : *values)
    out.emplace_back(value.name, regReadText(Hive::LocalMachine, kSettingsKey, value.name).second);
  return out;
}

long long SettingsStore::addToCounter(std::string_view name, long long delta) {
  if (!p_.registry.keyExists(Hive::LocalMachine, kSettingsKey))
    p_.registry.createKey(Hive::LocalMachine, kSettingsKey);
  grantKeyAccess(Hive::LocalMachine, kSettingsKey, p_.environment.userName());
  long long total = 0;
  auto written = p_.registry.modifyValue(
      Hive::LocalMachine, kSettingsKey, name, [&](const RegistryValue* current) {
        long long now = 0;
        if (current && current->type == ValueType::Dword)
          now = littleEndian32(current->data);
        else if (current)
          now = leadingInteger(dropTrailingNul(current->data));
        total = now + delta;
        return RegistryValue{std::string(name), ValueType::String, std::to_string(total)};
      });
  return written ? total : 0;
}

} // namespace quorvane::app
