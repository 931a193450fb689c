// The folder-scan hand-over file and the safe record.
#include "engine/datafiles.h"

#include "app/appfolder.h"
#include "app/text.h"
#include "platform/platform.h"

namespace quorvane::engine {

std::string firstDelimitedField(std::string_view line) {
  line = line.substr(0, line.find_first_of("\r\n"));
  std::size_t start = line.find_first_not_of(" \t");
  if (start == std::string_view::npos)
    return {};
  line.remove_prefix(start);
  if (line.front() == '"') {
    line.remove_prefix(1);
    return std::string(line.substr(0, line.find('"')));
  }
  return std::string(app::trimBlanks(line.substr(0, line.find(','))));
}

std::error_code appendSafeRecord(platform::FileSystem& files, const std::string& safeSigPath,
                                 const std::vector<std::string>& digests) {
  if (digests.empty())
    return {};
  std::string line;
  for (const std::string& digest : digests)
    line += app::toUpper(digest);
  line += "\r\n";
  std::string folder = app::folderOf(safeSigPath);
  platform::DataFilesLock lock(files, folder.empty() ? "." : folder);
  // A last line without its line end (written by hand) would swallow the new digests.
  if (auto text = files.readFile(safeSigPath); text && !text->empty() && text->back() != '\n')
    line = "\r\n" + line;
  return files.appendFile(safeSigPath, line);
}

} // namespace quorvane::engine
