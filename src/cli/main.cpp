// `quorvane`: the command-line front end. It parses options and hands over to the subsystems.
#include "cli/context.h"

#include <clocale>
#include <iostream>

int main(int argc, char** argv) {
  using namespace quorvane::cli;
  std::setlocale(LC_ALL, ""); // the user's date and time formats
  std::setlocale(LC_NUMERIC, "C");

  CLI::App app{"Quorvane Antimalware: finds known malicious files by fingerprint"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "quorvane " QUORVANE_VERSION);
  app.footer("The application folder holds the signatures, settings, history and quarantine: "
             "--home DIR, else $QUORVANE_HOME, else the program's own folder when it holds "
             "vir.sig and may be written (a portable folder), else the user's data folder: "
             "quorvane in Local AppData on Windows, $XDG_DATA_HOME/quorvane "
             "(~/.local/share/quorvane) on Linux. 'quorvane paths' tells which one is used.");
  Context context;
  app.add_option("--home", context.homeOption,
                 "Application folder (default: see below)");
  int status = kExitOk;
  addKeyCommand(app, context, status);
  addRegCommand(app, context, status);
  addSettingsCommand(app, context, status);
  addScanCommand(app, context, status);
  addThreatCommands(app, context, status);
  addSafeAndPendingCommands(app, context, status);
  addSigCommand(app, context, status);
  addUpdateCommand(app, context, status);
  addMonitorCommand(app, context, status);
  addScheduleCommands(app, context, status);
  addPathsCommand(app, context, status);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    int code = app.exit(error);
    return code == 0 ? kExitOk : kExitError;
  } catch (const CommandError& error) {
    std::cerr << "quorvane: " << error.message << '\n';
    return kExitError;
  }
  return status;
}
