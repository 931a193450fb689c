// `quorvane history` and `quorvane quarantine`: the threat log and the quarantine.
#include "cli/context.h"

#include "threats/quarantine.h"

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

} // namespace

void addThreatCommands(CLI::App& app, Context& context, int& status) {
  auto* history = app.add_subcommand("history", "Show the threat log (name | date | path)");
  auto clear = std::make_shared<bool>(false);
  history->add_flag("--clear", *clear, "Delete the threat log (the threat counter stays)");
  history->callback([&context, clear] {
    threats::ThreatLog log(context.platform(), context.appFolder());
    if (*clear) {
      log.ClearScanHistory();
      return;
    }
    for (const threats::ThreatRecord& record : log.ShowScanHistory())
      printRecord(record);
  });

  auto* quarantine = app.add_subcommand("quarantine", "List, restore or delete quarantined files");
  quarantine->require_subcommand(1);
  quarantine->add_subcommand("list", "Numbered rows: name | date | original path")
      ->callback([&context] {
        threats::Quarantine q(context.platform(), context.appFolder());
        int n = 0;
        for (const threats::QuarantineRow& row : q.ShowQuarantine()) {
          std::cout << ++n << ". ";
          printRecord(row.record);
        }
      });
  auto numbers = std::make_shared<std::vector<std::string>>();
  auto* restore = quarantine->add_subcommand("restore", "Put quarantined files back (by number)");
  restore->add_option("N", *numbers, "Row numbers from 'quarantine list'")->required();
  restore->callback([&context, &status, numbers] {
    threats::Quarantine q(context.platform(), context.appFolder());
    auto rows = q.ShowQuarantine();
    tickRows(rows, *numbers);
    for (const threats::QuarantineRow& row : q.RestoreQuarantined(rows)) {
      std::cerr << "quorvane: cannot restore " << printable(row.record.path)
                << "; the quarantined copy is kept\n";
      status = kExitError;
    }
  });
  auto* remove = quarantine->add_subcommand("delete", "Delete quarantined files (by number)");
  remove->add_option("N", *numbers, "Row numbers from 'quarantine list'")->required();
  remove->callback([&context, numbers] {
    threats::Quarantine q(context.platform(), context.appFolder());
    auto rows = q.ShowQuarantine();
    tickRows(rows, *numbers);
    q.DeleteQuarantined(rows);
  });
}

} // namespace quorvane::cli
