// `quorvane update [--yes] [--live]`: bring the signatures up to date from the update server.
#include "cli/context.h"

#include "app/appfolder.h"
#include "engine/datafiles.h"
#include "engine/sigtable.h"
#include "update/engine_check.h"
#include "update/live_update.h"
#include "update/manual_update.h"

#include <iostream>

namespace quorvane::cli {
namespace {

/// The download bar on a terminal's standard error, nothing elsewhere.
update::ProgressFn progressBar(platform::Platform& platform) {
  if (!platform.environment.errorIsTerminal())
    return {};
  return [last = -1](int percent) mutable {
    if (percent == last)
      return;
    last = percent;
    std::cerr << "\rDownloading: " << percent << "%" << (percent >= 100 ? "\n" : "") << std::flush;
  };
}

} // namespace

int runSignatureUpdate(Context& context, bool assumeYes) {
  StdoutNotifier notifier(assumeYes, true);
  platform::Platform p = platform::withNotifier(context.platform(), notifier);
  const std::string& folder = context.appFolder();
  engine::SignatureDatabase database(p.files, platform::joinPath(folder, app::kVirSigFile));
  update::EngineCheckResult check = update::runEngineCheck(p, folder, database, progressBar(p));
  if (check.countBefore <= update::kEngineThreshold)
    return check.ok() ? kExitOk : kExitError;

  update::ManualUpdate manual(p, folder);
  manual.progress = progressBar(p);
  switch (manual.checkUpdateNow()) {
  case update::UpdateOutcome::Updated:
  case update::UpdateOutcome::UpToDate:
    return kExitOk;
  case update::UpdateOutcome::Declined:
    std::cout << "Nothing was changed." << std::endl;
    return kExitFound;
  case update::UpdateOutcome::Failed:
    break;
  }
  return kExitError;
}

void addUpdateCommand(CLI::App& app, Context& context, int& status) {
  auto* cmd = app.add_subcommand(
      "update", "Download the malware database when it is missing, else install newer "
                "signatures from the update server (exit 0 updated or up to date, 1 declined, "
                "2 failed)");
  auto yes = std::make_shared<bool>(false);
  auto live = std::make_shared<bool>(false);
  cmd->add_flag("--yes,-y", *yes, "Answer yes to the question before checking");
  cmd->add_flag("--live", *live, "Start the separate updater program (exeupdt) and return");
  cmd->callback([&context, &status, yes, live] {
    if (*live) {
      StdoutNotifier notifier(true, false);
      platform::Platform p = platform::withNotifier(context.platform(), notifier);
      status = update::launchLiveUpdate(p, context.appFolder()) ? kExitOk : kExitError;
      return;
    }
    status = runSignatureUpdate(context, *yes);
  });
}

} // namespace quorvane::cli
