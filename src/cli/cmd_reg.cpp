// `quorvane reg query|add|delete`: the registry store, with reg.exe's arguments and output.
#include "cli/context.h"

#include "app/text.h"

#include <charconv>
#include <cstdio>
#include <iostream>

namespace quorvane::cli {
namespace {

using platform::Hive;
using platform::RegistryValue;
using platform::ValueType;

constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.";
constexpr const char* kDone = "The operation completed successfully.";

struct RegArgs {
  std::string keyText; ///< the key as typed, for output
  Hive hive = Hive::None;
  std::string subkey;
  std::optional<std::string> valueName; ///< "" for /ve
  bool recurse = false;                 ///< /s
  bool force = false;                   ///< /f
  std::optional<std::string> type;      ///< /t
  std::optional<std::string> data;      ///< /d
};

Hive rootFromText(std::string_view text) {
  static constexpr std::pair<std::string_view, Hive> kRoots[] = {
      {"HKLM", Hive::LocalMachine},         {"HKEY_LOCAL_MACHINE", Hive::LocalMachine},
      {"HKCU", Hive::CurrentUser},          {"HKEY_CURRENT_USER", Hive::CurrentUser},
      {"HKCR", Hive::ClassesRoot},          {"HKEY_CLASSES_ROOT", Hive::ClassesRoot},
      {"HKU", Hive::Users},                 {"HKEY_USERS", Hive::Users},
      {"HKCC", Hive::CurrentConfig},        {"HKEY_CURRENT_CONFIG", Hive::CurrentConfig},
      {"HKEY_PERFORMANCE_DATA", Hive::PerformanceData}, {"HKEY_DYN_DATA", Hive::DynData},
  };
  for (const auto& [name, hive] : kRoots)
    if (app::equalsIgnoreCase(name, text))
      return hive;
  return Hive::None;
}

/// Parses KEY and the slash switches; throws CommandError on bad syntax.
RegArgs parseArgs(const std::vector<std::string>& words, std::string_view allowed) {
  if (words.empty())
    throw CommandError{"ERROR: Invalid syntax. A KEY is required."};
  RegArgs args;
  args.keyText = words[0];
  while (args.keyText.size() > 1 && args.keyText.back() == '\\')
    args.keyText.pop_back();
  std::size_t cut = args.keyText.find('\\');
  args.hive = rootFromText(std::string_view(args.keyText).substr(0, cut));
  if (args.hive == Hive::None)
    throw CommandError{"ERROR: Invalid key name: " + words[0]};
  args.keyText = std::string(platform::hiveName(args.hive)) +
                 (cut == std::string::npos ? "" : args.keyText.substr(cut));
  args.subkey = cut == std::string::npos ? "" : args.keyText.substr(args.keyText.find('\\') + 1);

  auto needsValue = [&](std::size_t& i) -> std::string {
    if (i + 1 >= words.size())
      throw CommandError{"ERROR: Invalid syntax. " + words[i] + " needs a value."};
    return words[++i];
  };
  for (std::size_t i = 1; i < words.size(); ++i) {
    std::string sw = app::toLower(words[i]);
    if (sw.size() < 2 || (sw[0] != '/' && sw[0] != '-') ||
        allowed.find(" " + sw.substr(1) + " ") == std::string_view::npos)
      throw CommandError{"ERROR: Invalid syntax. Unknown argument: " + words[i]};
    std::string name = sw.substr(1);
    if ((name == "v" || name == "ve") && args.valueName)
      throw CommandError{"ERROR: Invalid syntax. Give /v or /ve once."};
    if (name == "v")
      args.valueName = needsValue(i);
    else if (name == "ve")
      args.valueName = "";
    else if (name == "s")
      args.recurse = true;
    else if (name == "f")
      args.force = true;
    else if (name == "t")
      args.type = needsValue(i);
    else if (name == "d")
      args.data = needsValue(i);
  }
  return args;
}

std::string hexBytes(std::string_view data) {
  std::string out;
  char buffer[4];
  for (unsigned char c : data) {
    std::snprintf(buffer, sizeof buffer, "%02X", c);
    out += buffer;
  }
  return out;
}

const char* typeName(ValueType type) {
  switch (type) {
  case ValueType::String: return "REG_SZ";
  case ValueType::ExpandString: return "REG_EXPAND_SZ";
  case ValueType::Binary: return "REG_BINARY";
  case ValueType::Dword: return "REG_DWORD";
  case ValueType::MultiString: return "REG_MULTI_SZ";
  case ValueType::None: return "REG_NONE";
  }
  return "REG_NONE";
}

std::string showData(const RegistryValue& value) {
  std::string_view data = value.data;
  switch (value.type) {
  case ValueType::String:
  case ValueType::ExpandString:
    if (!data.empty() && data.back() == '\0')
      data.remove_suffix(1);
    return printable(data);
  case ValueType::Dword: {
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < 4 && i < data.size(); ++i)
      n |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (8 * i);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", n);
    return buffer;
  }
  case ValueType::MultiString: {
    while (!data.empty() && data.back() == '\0')
      data.remove_suffix(1);
    std::string out;
    for (char c : data)
      out += c == '\0' ? std::string("\\0") : printable(std::string_view(&c, 1));
    return out;
  }
  default: return hexBytes(data);
  }
}

void printValue(const RegistryValue& value) {
  std::cout << "    " << (value.name.empty() ? "(Default)" : printable(value.name)) << "    "
            << typeName(value.type) << "    " << showData(value) << '\n';
}

/// Encodes /d for /t; throws CommandError for data the type cannot hold.
std::pair<ValueType, std::string> encodeData(const std::optional<std::string>& typeText,
                                             const std::string& data) {
  std::string type = app::toUpper(typeText.value_or("REG_SZ"));
  if (type == "REG_SZ" || type == "REG_EXPAND_SZ")
    return {type == "REG_SZ" ? ValueType::String : ValueType::ExpandString,
            data + std::string(1, '\0')};
  if (type == "REG_DWORD") {
    std::string_view digits = data;
    int base = 10;
    if (digits.size() > 2 && (digits.substr(0, 2) == "0x" || digits.substr(0, 2) == "0X"))
      digits.remove_prefix(2), base = 16;
    std::uint32_t n = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), n, base);
    if (data.empty())
      n = 0;
    else if (error != std::errc() || end != digits.data() + digits.size())
      throw CommandError{"ERROR: Invalid REG_DWORD data: " + data};
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
      bytes[static_cast<std::size_t>(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
    return {ValueType::Dword, bytes};
  }
  if (type == "REG_BINARY") {
    if (data.size() % 2 != 0)
      throw CommandError{"ERROR: Invalid REG_BINARY data (hex digits in pairs): " + data};
    std::string bytes;
    for (std::size_t i = 0; i < data.size(); i += 2) {
      unsigned value = 0;
      auto [end, error] = std::from_chars(data.data() + i, data.data() + i + 2, value, 16);
      if (error != std::errc() || end != data.data() + i + 2)
        throw CommandError{"ERROR: Invalid REG_BINARY data (hex digits in pairs): " + data};
      bytes += static_cast<char>(value);
    }
    return {ValueType::Binary, bytes};
  }
  if (type == "REG_MULTI_SZ") {
    std::string bytes;
    std::size_t pos = 0;
    while (pos <= data.size() && !data.empty()) {
      std::size_t sep = data.find("\\0", pos);
      bytes += data.substr(pos, sep == std::string::npos ? std::string::npos : sep - pos);
      bytes += '\0';
      if (sep == std::string::npos)
        break;
      pos = sep + 2;
    }
    bytes += '\0';
    return {ValueType::MultiString, bytes};
  }
  throw CommandError{"ERROR: Invalid value type: " + type +
                     " (REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD or REG_MULTI_SZ)"};
}

/// Asks on the terminal; anything but yes (or no answer at all) is no.
bool confirm(const std::string& question) {
  std::cout << question << " (Yes/No)? " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer))
    return false;
  answer = app::toLower(app::trimBlanks(answer));
  return answer == "y" || answer == "yes";
}

/// Prints one key the way reg.exe does: its name, then the values chosen, then a blank line.
/// A search for one value through a tree shows only the keys that hold it.
void printKey(const RegArgs& args, const std::string& shown, std::vector<RegistryValue> values,
              int& matches) {
  std::vector<RegistryValue> chosen;
  for (RegistryValue& value : values)
    if (!args.valueName || app::equalsIgnoreCase(value.name, *args.valueName))
      chosen.push_back(std::move(value));
  matches += static_cast<int>(chosen.size());
  if (args.recurse && args.valueName && chosen.empty())
    return;
  std::cout << shown << '\n';
  for (const RegistryValue& value : chosen)
    printValue(value);
  std::cout << '\n';
}

void queryKey(platform::Registry& registry, const RegArgs& args, const std::string& shown,
              const std::string& subkey, int& matches) {
  if (args.recurse) {
    // One walk by key, whatever the depth (and no loop in a store made by hand).
    registry.walkTree(args.hive, subkey, [&](const platform::Registry::KeyVisit& key) {
      printKey(args, key.path.empty() ? shown : shown + "\\" + key.path, key.values, matches);
      return true;
    });
    return;
  }
  auto values = registry.values(args.hive, subkey);
  if (!values)
    return;
  printKey(args, shown, std::move(*values), matches);
  auto children = registry.subkeys(args.hive, subkey);
  if (!children)
    return;
  for (const std::string& child : *children)
    if (!args.valueName)
      std::cout << shown << "\\" << printable(child) << '\n';
}

int runQuery(platform::Registry& registry, const RegArgs& args) {
  if (!registry.keyExists(args.hive, args.subkey)) {
    std::cerr << kNotFound << '\n';
    return kExitFound;
  }
  if (args.valueName && !args.recurse && !registry.queryValue(args.hive, args.subkey, *args.valueName)) {
    std::cerr << kNotFound << '\n';
    return kExitFound;
  }
  std::cout << '\n';
  int matches = 0;
  queryKey(registry, args, args.keyText, args.subkey, matches);
  if (args.recurse && args.valueName)
    std::cout << "End of search: " << matches << " match(es) found.\n";
  return kExitOk;
}

int runAdd(platform::Registry& registry, const RegArgs& args) {
  if (!args.valueName && (args.type || args.data))
    throw CommandError{"ERROR: Invalid syntax. /t and /d go with /v NAME or /ve."};
  std::pair<ValueType, std::string> encoded;
  if (args.valueName)
    encoded = encodeData(args.type, args.data.value_or(""));
  if (args.valueName && !args.force && registry.queryValue(args.hive, args.subkey, *args.valueName)) {
    std::string shown = args.valueName->empty() ? "(Default)" : *args.valueName;
    if (!confirm("Value " + shown + " exists, overwrite")) {
      std::cout << "The operation was canceled by the user.\n";
      return kExitFound;
    }
  }
  std::error_code error = registry.createKey(args.hive, args.subkey);
  if (!error && args.valueName)
    error = registry.setValue(args.hive, args.subkey, *args.valueName, encoded.first,
                              encoded.second);
  if (error) {
    std::cerr << "ERROR: " << error.message() << '\n';
    return kExitFound;
  }
  std::cout << kDone << '\n';
  return kExitOk;
}

bool deleteTree(platform::Registry& registry, Hive hive, const std::string& subkey) {
  if (auto children = registry.subkeys(hive, subkey))
    for (const std::string& child : *children)
      deleteTree(registry, hive, subkey + "\\" + child);
  return !registry.deleteKey(hive, subkey);
}

int runDelete(platform::Registry& registry, const RegArgs& args) {
  if (!registry.keyExists(args.hive, args.subkey)) {
    std::cerr << kNotFound << '\n';
    return kExitFound;
  }
  if (!args.valueName && args.subkey.empty())
    throw CommandError{"ERROR: Invalid key name: a root key cannot be deleted."};
  if (args.valueName && !registry.queryValue(args.hive, args.subkey, *args.valueName)) {
    std::cerr << kNotFound << '\n';
    return kExitFound;
  }
  if (!args.force) {
    std::string what = args.valueName
                           ? "value " + (args.valueName->empty() ? std::string("(Default)")
                                                                 : *args.valueName)
                           : "key " + args.keyText;
    if (!confirm("Permanently delete the registry " + what)) {
      std::cout << "The operation was canceled by the user.\n";
      return kExitFound;
    }
  }
  bool ok = args.valueName ? !registry.deleteValue(args.hive, args.subkey, *args.valueName)
                           : deleteTree(registry, args.hive, args.subkey);
  if (!ok) {
    std::cerr << "ERROR: The key or value could not be deleted.\n";
    return kExitFound;
  }
  std::cout << kDone << '\n';
  return kExitOk;
}

} // namespace

void addRegCommand(CLI::App& app, Context& context, int& status) {
  auto* reg = app.add_subcommand("reg", "Query and change the registry store (reg.exe syntax)");
  reg->require_subcommand(1);
  struct Verb {
    const char* name;
    const char* help;
    const char* switches;
    int (*run)(platform::Registry&, const RegArgs&);
  };
  static const Verb kVerbs[] = {
      {"query", "reg query KEY [/v NAME | /ve] [/s]", " v ve s ", runQuery},
      {"add", "reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]", " v ve t d f ", runAdd},
      {"delete", "reg delete KEY [/v NAME | /ve] [/f]", " v ve f ", runDelete},
  };
  for (const Verb& verb : kVerbs) {
    auto* cmd = reg->add_subcommand(verb.name, verb.help);
    cmd->prefix_command();
    cmd->callback([cmd, &verb, &context, &status] {
      RegArgs args = parseArgs(cmd->remaining(), verb.switches);
      status = verb.run(context.platform().registry, args);
    });
  }
}

} // namespace quorvane::cli
