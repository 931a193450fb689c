// The texts of `quorvane reg`: key names, switches and value data, as reg.exe reads and shows them.
#include "cli/reg_text.h"

#include "app/text.h"

#include <charconv>
#include <cstdio>

namespace quorvane::cli {

using platform::Hive;
using platform::RegistryValue;
using platform::ValueType;

Hive hiveFromName(std::string_view text) {
  static constexpr std::pair<std::string_view, Hive> kRoots[] = {
      {"HKLM", Hive::LocalMachine},
      {"HKEY_LOCAL_MACHINE", Hive::LocalMachine},
      {"HKCU", Hive::CurrentUser},
      {"HKEY_CURRENT_USER", Hive::CurrentUser},
      {"HKCR", Hive::ClassesRoot},
      {"HKEY_CLASSES_ROOT", Hive::ClassesRoot},
      {"HKU", Hive::Users},
      {"HKEY_USERS", Hive::Users},
      {"HKCC", Hive::CurrentConfig},
      {"HKEY_CURRENT_CONFIG", Hive::CurrentConfig},
      {"HKEY_PERFORMANCE_DATA", Hive::PerformanceData},
      {"HKEY_DYN_DATA", Hive::DynData},
  };
  for (const auto& [name, hive] : kRoots)
    if (app::equalsIgnoreCase(name, text))
      return hive;
  return Hive::None;
}

RegArgs parseRegArguments(const std::vector<std::string>& words, std::string_view allowed) {
  if (words.empty())
    throw CommandError{"ERROR: Invalid syntax. A KEY is required."};
  RegArgs args;
  args.keyText = words[0];
  while (args.keyText.size() > 1 && args.keyText.back() == '\\')
    args.keyText.pop_back();
  std::size_t cut = args.keyText.find('\\');
  args.hive = hiveFromName(std::string_view(args.keyText).substr(0, cut));
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

const char* valueTypeName(ValueType type) {
  switch (type) {
  case ValueType::String:
    return "REG_SZ";
  case ValueType::ExpandString:
    return "REG_EXPAND_SZ";
  case ValueType::Binary:
    return "REG_BINARY";
  case ValueType::Dword:
    return "REG_DWORD";
  case ValueType::MultiString:
    return "REG_MULTI_SZ";
  case ValueType::None:
    return "REG_NONE";
  }
  return "REG_NONE";
}

std::string showRegistryData(const RegistryValue& value) {
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
  default:
    return hexBytes(data);
  }
}

std::pair<ValueType, std::string> encodeRegistryData(const std::optional<std::string>& typeText,
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

} // namespace quorvane::cli
