// The program's start.
#include "app/startup.h"

#include "app/appfolder.h"
#include "app/text.h"

namespace quorvane::app {

std::string argumentText(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i)
    text += (i > 1 ? " " : "") + std::string(argv[i]);
  return text;
}

StartMode startModeOf(std::string_view arguments) {
  std::string word = toLower(trimBlanks(arguments));
  return word == "s" || word == "m" ? StartMode::Silent : StartMode::Normal;
}

bool isFolderRequest(std::string_view arguments) {
  std::string_view text = trimBlanks(arguments);
  if (!text.empty() && text.front() == '"')
    text.remove_prefix(1);
  return (!text.empty() && text.front() == '/') || text.find(':') != std::string_view::npos;
}

StartupResult runStartup(platform::Platform& platform, const std::string& appFolder,
                         std::string_view arguments) {
  StartupResult result;
  if (isFolderRequest(arguments)) {
    std::string line = std::string(arguments) + "\r\n";
    result.requestWritten =
        !platform.files.writeFile(platform::joinPath(appFolder, kFolderScanFile), line);
  }
  auto lock = platform.files.tryLock(platform::joinPath(appFolder, kInstanceLockFile));
  if (!lock) {
    // Held by the running instance (or the folder cannot be written): this start ends, and
    // never shows anything.
    result.anotherInstance = true;
    return result;
  }
  result.instanceLock = std::move(*lock);
  result.mode = startModeOf(arguments);
  return result;
}

} // namespace quorvane::app
