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

} // namespace quorvane::platform
