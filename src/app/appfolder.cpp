// The application folder.
#include "app/appfolder.h"

#include <vector>

namespace quorvane::app {

std::string NormalizePath(const std::string& path) {
  if (path.empty() || path.front() != '/')
    return path;
  std::vector<std::string> parts;
  std::size_t pos = 1;
  while (pos <= path.size()) {
    std::size_t cut = path.find('/', pos);
    if (cut == std::string::npos)
      cut = path.size();
    std::string part = path.substr(pos, cut - pos);
    if (part == "..") {
      if (!parts.empty())
        parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    pos = cut + 1;
  }
  std::string out;
  for (const std::string& part : parts)
    out += "/" + part;
  return out.empty() ? "/" : out;
}

std::string AbsolutePath(const std::string& path, const std::string& base) {
  if (path.empty())
    return path;
  return NormalizePath(path.front() == '/' ? path : platform::joinPath(base, path));
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
  return AbsolutePath(folder, environment.currentDirectory());
}

} // namespace quorvane::app
