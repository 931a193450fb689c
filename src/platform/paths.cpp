// Path text helpers shared by every system.
#include "platform/platform.h"

namespace quorvane::platform {

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty())
    return name;
  if (folder.back() == '/')
    return folder + name;
  return folder + '/' + name;
}

} // namespace quorvane::platform
