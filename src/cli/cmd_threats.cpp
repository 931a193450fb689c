// `quorvane history` and `quorvane quarantine`: the threat log and the quarantine.
#include "cli/context.h"
#include "cli/json_lines.h"

#include "app/appfolder.h"
#include "engine/datafiles.h"
#include "engine/safelist.h"
#include "threats/quarantine.h"
#include "threats/removal.h"

#include <iostream>

namespace quorvane::cli {
namespace {

void printRecord(const threats::ThreatRecord& record) {
  std::cout << printable(record.name) << " | " << printable(record.date) << " | "
            << printable(record.path) << '\n';
}

/// Ticks the rows numbered (from 1) on the command line; throws CommandError for a bad number.
void tickRows(std::vector<threats::QuarantineRow>& rows, const std::vector<std::string>& numbers) {
  for (const std::string& text : numbers) {
    std::size_t used = 0;
    long n = 0;
    try {
      n = std::stol(text, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used != text.size() || n < 1 || static_cast<std::size_t>(n) > rows.size())
      throw CommandError{"no quarantined file numbered " + text + " (see 'quorvane quarantine list')"};
    rows[static_cast<std::size_t>(n - 1)].checked = true;
  }
}

/// A record of the threat log or the quarantine index as a JSON event.
Json recordJson(const char* event, const threats::ThreatRecord& record) {
  Json line;
  line["event"] = event;
  putText(line, "name", record.name);
  putText(line, "date", record.date);
  putText(line, "path", record.path);
  return line;
}

} // namespace

void addThreatCommands(CLI::App& app, Context& context, int& status) {
  auto* history = app.add_subcommand("history", "Show the threat log (name | date | path)");
  auto clear = std::make_shared<bool>(false);
  auto historyJson = std::make_shared<bool>(false);
  history->add_flag("--clear", *clear, "Delete the threat log (the threat counter stays)");
  history->add_flag("--json", *historyJson,
                    "One JSON object a line: {\"event\":\"threat\",\"name\",\"date\",\"path\"}");
  history->callback([&context, clear, historyJson] {
    threats::ThreatLog log(context.platform(), context.appFolder());
    if (*clear) {
      log.clearScanHistory();
      return;
    }
    for (const threats::ThreatRecord& record : log.showScanHistory()) {
      if (*historyJson)
        writeJsonLine(std::cout, recordJson("threat", record));
      else
        printRecord(record);
    }
  });

  auto* quarantine = app.add_subcommand("quarantine", "List, restore or delete quarantined files");
  quarantine->require_subcommand(1);
  auto* list = quarantine->add_subcommand("list", "Numbered rows: name | date | original path");
  auto listJson = std::make_shared<bool>(false);
  list->add_flag("--json", *listJson,
                 "One JSON object a line: {\"event\":\"quarantined\",\"number\",\"name\","
                 "\"date\",\"path\"}");
  list->callback([&context, listJson] {
    threats::Quarantine q(context.platform(), context.appFolder());
    int n = 0;
    for (const threats::QuarantineRow& row : q.showQuarantine()) {
      ++n;
      if (*listJson) {
        Json line = recordJson("quarantined", row.record);
        line["number"] = n;
        writeJsonLine(std::cout, line);
        continue;
      }
      std::cout << n << ". ";
      printRecord(row.record);
    }
  });
  auto numbers = std::make_shared<std::vector<std::string>>();
  auto into = std::make_shared<std::string>();
  auto* restore = quarantine->add_subcommand(
      "restore", "Put quarantined files back (by number); nothing existing is overwritten");
  restore->add_option("N", *numbers, "Row numbers from 'quarantine list'")->required();
  restore->add_option("--to", *into,
                      "Put the files into this folder (under their own names) instead");
  restore->callback([&context, &status, numbers, into] {
    platform::Platform& p = context.platform();
    threats::Quarantine q(p, context.appFolder());
    auto rows = q.showQuarantine();
    tickRows(rows, *numbers);
    auto left = into->empty()
                    ? q.restoreQuarantined(rows)
                    : q.restoreQuarantinedTo(
                          rows, app::absolutePath(*into, p.environment.currentDirectory()));
    for (const threats::QuarantineRow& row : left) {
      std::string why = threats::describeProblem(row);
      if (row.problem == std::errc::file_exists)
        why += " (see --to)";
      std::cerr << "quorvane: cannot restore " << printable(row.record.path) << ": " << why
                << "; the quarantined copy is kept\n";
      status = kExitError;
    }
  });
  auto* remove = quarantine->add_subcommand("delete", "Delete quarantined files (by number)");
  remove->add_option("N", *numbers, "Row numbers from 'quarantine list'")->required();
  remove->callback([&context, &status, numbers] {
    threats::Quarantine q(context.platform(), context.appFolder());
    auto rows = q.showQuarantine();
    tickRows(rows, *numbers);
    for (const threats::QuarantineRow& row : q.deleteQuarantined(rows)) {
      std::cerr << "quorvane: not deleted: " << printable(row.record.path) << ": "
                << threats::describeProblem(row) << '\n';
      status = kExitError;
    }
  });
}


void addSafeAndPendingCommands(CLI::App& app, Context& context, int& status) {
  auto* safe = app.add_subcommand("safe", "The safe list: files that are never reported");
  safe->require_subcommand(1);
  auto files = std::make_shared<std::vector<std::string>>();
  auto* add = safe->add_subcommand("add", "Mark files safe (their digests go to safe.sig)");
  add->add_option("FILE", *files, "Files to mark safe")->required();
  add->callback([&context, &status, files] {
    platform::Platform& p = context.platform();
    std::vector<std::string> digests;
    for (const std::string& given : *files) {
      if (auto file = fingerprintNamedFile(p, given))
        digests.push_back(file->digest);
      else
        status = kExitError;
    }
    if (auto error = engine::appendSafeRecord(
            p.files, platform::joinPath(context.appFolder(), app::kSafeFile), digests)) {
      std::cerr << "quorvane: cannot write safe.sig: " << error.message() << '\n';
      status = kExitError;
    }
  });
  safe->add_subcommand("list", "Print the digests of the safe list")->callback([&context] {
    auto text =
        context.platform().files.readFile(platform::joinPath(context.appFolder(), app::kSafeFile));
    if (text)
      for (const std::string& digest : engine::parseSafeList(*text))
        std::cout << digest << '\n';
  });

  auto* pending = app.add_subcommand(
      "pending", "List the files left for deletion at the next start (--run: delete them now)");
  auto run = std::make_shared<bool>(false);
  pending->add_flag("--run", *run, "Delete them now; pairs whose file is gone leave the list");
  pending->callback([&context, &status, run] {
    threats::ThreatRemover remover(context.platform(), context.appFolder());
    if (*run)
      for (const std::string& path : remover.carryOutPendingDeletions())
        std::cout << "deleted: " << printable(path) << '\n';
    for (const std::string& path : remover.pendingDeletions()) {
      std::cout << (*run ? "still pending: " : "") << printable(path) << '\n';
      if (*run)
        status = kExitError;
    }
  });
}

} // namespace quorvane::cli
