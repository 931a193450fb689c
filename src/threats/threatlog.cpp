// The threat log.
#include "threats/threatlog.h"

#include "app/text.h"

namespace quorvane::threats {

std::string encodeRecordField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (char c : field) {
    switch (c) {
    case '%': out += "%25"; break;
    case '|': out += "%7C"; break;
    case '\r': out += "%0D"; break;
    case '\n': out += "%0A"; break;
    default: out += c;
    }
  }
  return out;
}

std::string decodeRecordField(std::string_view stored) {
  std::string out;
  out.reserve(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == '%' && i + 2 < stored.size()) {
      std::string code = app::toUpper(stored.substr(i + 1, 2));
      char decoded = code == "25" ? '%' : code == "7C" ? '|' : code == "0D" ? '\r'
                   : code == "0A" ? '\n' : '\0';
      if (decoded != '\0') {
        out += decoded;
        i += 2;
        continue;
      }
    }
    out += stored[i];
  }
  return out;
}

std::string recordLine(const ThreatRecord& record) {
  std::string line = encodeRecordField(record.name) + "|" + encodeRecordField(record.date) + "|" +
                     encodeRecordField(record.path);
  if (!record.copy.empty() || !record.mode.empty())
    line += "|" + encodeRecordField(record.copy);
  if (!record.mode.empty())
    line += "|" + encodeRecordField(record.mode);
  return line + "\r\n";
}

std::vector<ThreatRecord> parseThreatRecords(std::string_view text) {
  std::vector<ThreatRecord> records;
  for (std::string_view line : app::splitLines(text)) {
    if (app::trimSpace(line).empty())
      continue;
    std::string fields[5];
    for (int i = 0; i < 5 && !line.empty(); ++i) {
      std::size_t bar = i < 4 ? line.find('|') : std::string_view::npos;
      fields[i] = decodeRecordField(line.substr(0, bar));
      line = bar == std::string_view::npos ? std::string_view() : line.substr(bar + 1);
    }
    records.push_back({fields[0], fields[1], fields[2], fields[3], fields[4]});
  }
  return records;
}

void ThreatLog::logThreat(const std::string& name, const std::string& path) {
  app::SettingsStore settings(p_);
  settings.grantKeyAccess(app::Hive::LocalMachine, app::kVendorKey, p_.environment.userName());
  settings.addToCounter("threats", 1);
  platform::DataFilesLock lock(p_.files, folder_);
  p_.files.appendFile(platform::joinPath(folder_, kThreatLogFile),
                      recordLine({name, p_.clock.generalDateNow(), path, {}, {}}));
}

std::vector<ThreatRecord> ThreatLog::showScanHistory() {
  auto text = p_.files.readFile(platform::joinPath(folder_, kThreatLogFile));
  return text ? parseThreatRecords(*text) : std::vector<ThreatRecord>{};
}

void ThreatLog::clearScanHistory() {
  platform::DataFilesLock lock(p_.files, folder_);
  p_.files.removeFile(platform::joinPath(folder_, kThreatLogFile));
}

} // namespace quorvane::threats
