// `quorvane reg query|add|delete`: the registry store, with reg.exe's arguments and output.
#include "cli/reg_text.h"

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

void printValue(const RegistryValue& value) {
  std::cout << "    " << (value.name.empty() ? "(Default)" : printable(value.name)) << "    "
            << valueTypeName(value.type) << "    " << showRegistryData(value) << '\n';
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
    encoded = encodeRegistryData(args.type, args.data.value_or(""));
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
  return !registry.deleteTree(hive, subkey);
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
      RegArgs args = parseRegArguments(cmd->remaining(), verb.switches);
      status = verb.run(context.platform().registry, args);
    });
  }
}

} // namespace quorvane::cli
