// Starting the separate updater program.
#include "update/live_update.h"

#include "app/appfolder.h"

namespace quorvane::update {

bool launchLiveUpdate(platform::Platform& platform, const std::string& appFolder) {
  std::string programFolder = app::folderOf(platform.environment.executablePath());
  platform::LaunchRequest request;
  request.program = platform::joinPath(programFolder, std::string(kUpdaterProgram));
  request.workingFolder = programFolder;
  request.hidden = true;
  request.environment = {{"QUORVANE_HOME", appFolder}};
  if (platform.shell.launch(request)) {
    platform.notifier.messageBox(std::string(kUpdaterMissingText),
                                 {std::string(kUpdaterMissingTitle), platform::MessageIcon::Critical});
    return false;
  }
  return true;
}

} // namespace quorvane::update
