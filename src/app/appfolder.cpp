// The application folder.
#include "app/appfolder.h"

namespace quorvane::app {

std::string AbsolutePath(const std::string& path, const std::string& base) {
  if (path.empty() || path.front() == '/')
    return path;
  return platform::joinPath(base, path);
}

std::string FolderOf(const std::string& path) {
  std::size_t cut = path.find_last_of('/');
  if (cut == std::string::npos)
    return {};
  return cut == 0 ? "/" : path.substr(0, cut);
}

std::string ResolveAppFolder(const std::optional<std::string>& fromCommandLine,
                             platform::Environment& environment) {
  std::string folder;
  if (fromCommandLine && !fromCommandLine->empty())
    folder = *fromCommandLine;
  else if (auto fromVariable = environment.variable("QUORVANE_HOME"); fromVariable && !fromVariable->empty())
    folder = *fromVariable;
  else
    folder = FolderOf(environment.executablePath());
  folder = AbsolutePath(folder, environment.currentDirectory());
  while (folder.size() > 1 && folder.back() == '/')
    folder.pop_back();
  return folder;
}

} // namespace quorvane::app
