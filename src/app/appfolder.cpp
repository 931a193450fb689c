// The application folder.
#include "app/appfolder.h"

#include <algorithm>
#include <vector>

namespace quorvane::app {

std::string normalizePath(const std::string& path) {
  std::size_t root = platform::pathRootLength(path);
  if (root == 0)
    return path;
  std::string out = path.substr(0, root);
  std::replace_if(out.begin(), out.end(), platform::isPathSeparator, '/');
  if (out.back() != '/')
    out += '/';
  std::vector<std::string> parts;
  std::size_t pos = root;
  while (pos <= path.size()) {
    std::size_t cut = pos;
    while (cut < path.size() && !platform::isPathSeparator(path[cut]))
      ++cut;
    std::string part = path.substr(pos, cut - pos);
    if (part == "..") {
      if (!parts.empty())
        parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    pos = cut + 1;
  }
  for (std::size_t i = 0; i < parts.size(); ++i)
    out += (i == 0 ? "" : "/") + parts[i];
  return out;
}

std::string absolutePath(const std::string& path, const std::string& base) {
  if (path.empty())
    return path;
  return normalizePath(platform::pathRootLength(path) > 0 ? path : platform::joinPath(base, path));
}

std::string folderOf(const std::string& path) {
  std::size_t cut = platform::lastPathSeparator(path);
  if (cut == std::string::npos)
    return {};
  std::size_t root = platform::pathRootLength(path); // "/" or "C:\" stays whole
  return cut < root ? path.substr(0, root) : path.substr(0, cut);
}

namespace {

constexpr const char* kDataFolderFromPrograms = "../share/quorvane";

std::optional<std::string> nonEmptyVariable(platform::Environment& environment, const char* name) {
  auto value = environment.variable(name);
  if (!value || value->empty())
    return std::nullopt;
  return value;
}

} // namespace

AppFolderChoice defaultAppFolder(platform::Environment& environment, platform::FileSystem& files) {
  AppFolderChoice choice;
  std::string cwd = environment.currentDirectory();
  std::string programFolder = folderOf(environment.executablePath());
  if (!programFolder.empty()) {
    std::string data =
        absolutePath(platform::joinPath(programFolder, kDataFolderFromPrograms), cwd);
    auto status = files.status(data);
    if (status && status->kind == platform::FileKind::Directory)
      choice.dataFolder = data;
  }
  if (!programFolder.empty() && files.status(platform::joinPath(programFolder, "vir.sig")) &&
      files.isWritable(programFolder)) {
    choice.folder = absolutePath(programFolder, cwd);
    choice.source = AppFolderSource::Portable;
    return choice;
  }
  choice.source = AppFolderSource::PerUser;
  std::string dataHome;
  if (auto known = environment.userDataFolder(); known && !known->empty())
    dataHome = *known; // the one the system names
  else if (auto xdg = nonEmptyVariable(environment, "XDG_DATA_HOME"); xdg && xdg->front() == '/')
    dataHome = *xdg; // a relative one is to be ignored
  else if (auto home = nonEmptyVariable(environment, "HOME"))
    dataHome = platform::joinPath(*home, ".local/share");
  if (!dataHome.empty())
    choice.folder = absolutePath(platform::joinPath(dataHome, "quorvane"), cwd);
  return choice;
}

AppFolderChoice chooseAppFolder(const std::optional<std::string>& fromCommandLine,
                                platform::Environment& environment, platform::FileSystem& files) {
  AppFolderChoice choice = defaultAppFolder(environment, files);
  std::string cwd = environment.currentDirectory();
  if (fromCommandLine && !fromCommandLine->empty()) {
    choice.folder = absolutePath(*fromCommandLine, cwd);
    choice.source = AppFolderSource::CommandLine;
  } else if (auto fromVariable = nonEmptyVariable(environment, "QUORVANE_HOME")) {
    choice.folder = absolutePath(*fromVariable, cwd);
    choice.source = AppFolderSource::Variable;
  }
  return choice;
}

int removeStaleTemporaries(platform::Platform& platform, const std::string& folder) {
  auto entries = platform.files.listDirectory(folder);
  if (!entries)
    return 0;
  std::vector<std::pair<std::string, platform::ProcessId>> temporaries;
  for (const platform::DirEntry& entry : *entries) {
    std::size_t mark = entry.name.rfind(".tmp-");
    if (entry.kind != platform::FileKind::Regular || mark == std::string::npos || mark == 0)
      continue;
    std::string digits = entry.name.substr(mark + 5);
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      continue;
    temporaries.emplace_back(entry.name, static_cast<platform::ProcessId>(std::stoul(digits)));
  }
  if (temporaries.empty())
    return 0; // the usual case: no process list is read
  std::vector<platform::ProcessId> running = platform.processes.ids();
  std::sort(running.begin(), running.end());
  int removed = 0;
  for (const auto& [name, pid] : temporaries)
    if (!std::binary_search(running.begin(), running.end(), pid) && // not still being written
        !platform.files.removeFile(platform::joinPath(folder, name)))
      ++removed;
  return removed;
}

std::string describeSource(AppFolderSource source) {
  switch (source) {
  case AppFolderSource::CommandLine:
    return "given with --home";
  case AppFolderSource::Variable:
    return "from QUORVANE_HOME";
  case AppFolderSource::Portable:
    return "the program's own folder, a portable one";
  case AppFolderSource::PerUser:
    return "this user's data folder";
  }
  return {};
}

std::error_code prepareAppFolder(const AppFolderChoice& choice, platform::FileSystem& files) {
  if (choice.folder.empty())
    return std::make_error_code(std::errc::invalid_argument);
  if (choice.source == AppFolderSource::PerUser) {
    // The folders above it are made as usual; the folder itself is this user's alone.
    if (std::error_code error = platform::createFolderPath(files, folderOf(choice.folder)))
      return error;
    if (std::error_code error = files.createPrivateDirectory(choice.folder))
      return error;
  } else if (std::error_code error = platform::createFolderPath(files, choice.folder)) {
    return error;
  }
  if (choice.dataFolder.empty() || choice.dataFolder == choice.folder)
    return {};
  // Seeding never replaces: the copy claims its name, so a file already there stays.
  auto seed = [&](const std::string& from, const std::string& to) {
    files.copyCheckedFile(from, {}, to, 0644);
  };
  seed(platform::joinPath(choice.dataFolder, "vir.sig"),
       platform::joinPath(choice.folder, "vir.sig"));
  // The language files, and the update publisher's public keys when the package ships any.
  for (const char* subfolder : {"lang", "keys"}) {
    std::string from = platform::joinPath(choice.dataFolder, subfolder);
    if (auto entries = files.listDirectory(from)) {
      std::string to = platform::joinPath(choice.folder, subfolder);
      files.createDirectory(to);
      for (const platform::DirEntry& entry : *entries)
        if (entry.kind == platform::FileKind::Regular)
          seed(platform::joinPath(from, entry.name), platform::joinPath(to, entry.name));
    }
  }
  return {};
}

} // namespace quorvane::app
