// The texts of `quorvane reg`: key names, switches and value data, as reg.exe reads and shows
// them. Every function here takes text typed by the user or stored by anybody, so none trusts it.
#pragma once

#include "cli/context.h"
#include "platform/registry.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane::cli {

struct RegArgs {
  std::string keyText; ///< the key as typed, for output
  platform::Hive hive = platform::Hive::None;
  std::string subkey;
  std::optional<std::string> valueName; ///< "" for /ve
  bool recurse = false;                 ///< /s
  bool force = false;                   ///< /f
  std::optional<std::string> type;      ///< /t
  std::optional<std::string> data;      ///< /d
};

/// The root a name stands for ("HKLM", "HKEY_LOCAL_MACHINE", ... without regard to case);
/// Hive::None for anything else.
platform::Hive hiveFromName(std::string_view text);

/// KEY and the slash switches of a reg command; `allowed` lists the switch names, each between
/// blanks (" v ve s "). Throws CommandError on bad syntax.
RegArgs parseRegArguments(const std::vector<std::string>& words, std::string_view allowed);

/// The bytes as upper-case hexadecimal pairs.
std::string hexBytes(std::string_view data);
/// "REG_SZ", "REG_DWORD", ...; "REG_NONE" for a type the store does not know.
const char* valueTypeName(platform::ValueType type);
/// A value's data as reg query prints it.
std::string showRegistryData(const platform::RegistryValue& value);
/// The bytes to store for /d under /t (REG_SZ when no type is given). Throws CommandError for
/// data the type cannot hold.
std::pair<platform::ValueType, std::string>
encodeRegistryData(const std::optional<std::string>& typeText, const std::string& data);

} // namespace quorvane::cli
