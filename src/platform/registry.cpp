// Parts of the registry facility that are the same on every system.
#include "platform/registry.h"

namespace quorvane::platform {

std::string_view hiveName(Hive hive) {
  switch (hive) {
  case Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
  case Hive::CurrentUser: return "HKEY_CURRENT_USER";
  case Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
  case Hive::Users: return "HKEY_USERS";
  case Hive::PerformanceData: return "HKEY_PERFORMANCE_DATA";
  case Hive::CurrentConfig: return "HKEY_CURRENT_CONFIG";
  case Hive::DynData: return "HKEY_DYN_DATA";
  case Hive::None: break;
  }
  return {};
}

std::string foldRegistryName(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::vector<std::string_view> splitKeyPath(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    std::size_t cut = path.find('\\');
    if (std::string_view part = path.substr(0, cut); !part.empty())
      parts.push_back(part);
    if (cut == std::string_view::npos)
      break;
    path.remove_prefix(cut + 1);
  }
  return parts;
}

} // namespace quorvane::platform
