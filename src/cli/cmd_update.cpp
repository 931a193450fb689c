// `quorvane update [--yes] [--live]`: bring the signatures up to date from the update server.
#include "cli/context.h"
#include "cli/json_lines.h"

#include "app/appfolder.h"
#include "engine/datafiles.h"
#include "engine/sigtable.h"
#include "update/engine_check.h"
#include "update/live_update.h"
#include "update/manual_update.h"
#include "update/signed_files.h"

#include <iostream>

namespace quorvane::cli {
namespace {

/// The download bar on a terminal's standard error, nothing elsewhere.
update::ProgressFn progressBar(platform::Platform& platform, bool json) {
  if (json || !platform.environment.errorIsTerminal())
    return {};
  return [last = -1](int percent) mutable {
    if (percent == last)
      return;
    last = percent;
    std::cerr << "\rDownloading: " << percent << "%" << (percent >= 100 ? "\n" : "") << std::flush;
  };
}

} // namespace

int runSignatureUpdate(Context& context, bool assumeYes, bool json) {
  StdoutNotifier notifier(assumeYes, true, json);
  platform::Platform p = platform::withNotifier(context.platform(), notifier);
  const std::string& folder = context.appFolder();
  engine::SignatureDatabase database(p.files, platform::joinPath(folder, app::kVirSigFile));
  // The end of the run: its outcome, and once whether what was installed was authenticated.
  auto finish = [&](const char* result, bool authenticated, int exitStatus) {
    if (json) {
      database.loadSignatureTable();
      Json line;
      line["event"] = "summary";
      line["result"] = result;
      line["signatures"] = database.current()->signatureCount();
      line["authenticated"] = authenticated;
      writeJsonLine(std::cout, line);
    } else if (!authenticated && std::string_view(result) != "declined") {
      std::cout << "Note: updates are not authenticated (no trusted key in "
                << printable(platform::joinPath(folder, update::kTrustedKeysFolder)) << ")"
                << std::endl;
    }
    return exitStatus;
  };
  update::EngineCheckResult check = update::runEngineCheck(p, folder, database, progressBar(p, json));
  if (check.countBefore <= update::kEngineThreshold)
    return check.ok() ? finish("updated", check.authenticated, kExitOk)
                      : finish("failed", check.authenticated, kExitError);

  update::ManualUpdate manual(p, folder);
  manual.progress = progressBar(p, json);
  switch (manual.checkUpdateNow()) {
  case update::UpdateOutcome::Updated:
    return finish("updated", manual.authenticated(), kExitOk);
  case update::UpdateOutcome::UpToDate:
    return finish("up_to_date", manual.authenticated(), kExitOk);
  case update::UpdateOutcome::Declined:
    if (!json)
      std::cout << "Nothing was changed." << std::endl;
    return finish("declined", manual.authenticated(), kExitFound);
  case update::UpdateOutcome::Failed:
    break;
  }
  return finish("failed", manual.authenticated(), kExitError);
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
  auto json = std::make_shared<bool>(false);
  cmd->add_flag("--json", *json,
                "JSON Lines on standard output: message, question and summary events");
  cmd->callback([&context, &status, yes, live, json] {
    if (*live) {
      StdoutNotifier notifier(true, false);
      platform::Platform p = platform::withNotifier(context.platform(), notifier);
      status = update::launchLiveUpdate(p, context.appFolder()) ? kExitOk : kExitError;
      return;
    }
    status = runSignatureUpdate(context, *yes, *json);
  });
}

} // namespace quorvane::cli
