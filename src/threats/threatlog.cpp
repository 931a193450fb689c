// The threat log.
#include "threats/threatlog.h"

#include "app/text.h"

namespace quorvane::threats {

std::vector<ThreatRecord> ParseThreatRecords(std::string_view text) {
  std::vector<ThreatRecord> records;
  for (std::string_view line : app::SplitLines(text)) {
    if (app::trimSpace(line).empty())
      continue;
    std::string fields[4];
    for (int i = 0; i < 4 && !line.empty(); ++i) {
      std::size_t bar = i < 3 ? line.find('|') : std::string_view::npos;
      fields[i] = std::string(line.substr(0, bar));
      line = bar == std::string_view::npos ? std::string_view() : line.substr(bar + 1);
    }
    records.push_back({fields[0], fields[1], fields[2], fields[3]});
  }
  return records;
}

void ThreatLog::LogThreat(const std::string& name, const std::string& path) {
  app::SettingsStore settings(p_);
  settings.GrantKeyAccess(app::Hive::LocalMachine, app::kVendorKey, p_.environment.userName());
  settings.addToCounter("threats", 1);
  p_.files.appendFile(platform::joinPath(folder_, kThreatLogFile),
                      name + "|" + p_.clock.generalDateNow() + "|" + path + "\r\n");
}

std::vector<ThreatRecord> ThreatLog::ShowScanHistory() {
  auto text = p_.files.readFile(platform::joinPath(folder_, kThreatLogFile));
  return text ? ParseThreatRecords(*text) : std::vector<ThreatRecord>{};
}

void ThreatLog::ClearScanHistory() {
  p_.files.removeFile(platform::joinPath(folder_, kThreatLogFile));
}

} // namespace quorvane::threats
