// The threat alert's record and actions.
#include "threats/alert.h"

#include "app/appfolder.h"
#include "app/settings.h"
#include "app/text.h"
#include "engine/datafiles.h"
#include "threats/process_helpers.h"
#include "threats/quarantine.h"

namespace quorvane::threats {

std::string AlertRecord::text() const {
  return name + "|" + digest + "|" + path + "|" + std::to_string(pid);
}

AlertRecord AlertRecord::parse(const std::string& text) {
  AlertRecord record;
  std::string* fields[] = {&record.name, &record.digest, &record.path};
  std::size_t start = 0;
  for (std::string* field : fields) {
    if (start > text.size())
      break;
    std::size_t bar = text.find('|', start);
    *field = text.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    start = bar == std::string::npos ? text.size() + 1 : bar + 1;
  }
  if (start <= text.size())
    record.pid = static_cast<platform::ProcessId>(app::leadingInteger(text.substr(start)));
  return record;
}

void ThreatAlert::showThreatAlert(const AlertRecord& record) {
  p_.notifier.showThreatAlert(record.text());
  switch (app::leadingInteger(app::SettingsStore(p_).setting("threatfound"))) {
  case 1:
    deleteThisFile(record);
    break;
  case 2:
    quarantineThisFile(record);
    break;
  default: break; // the user decides
  }
}

void ThreatAlert::deleteThisFile(const AlertRecord& record) {
  if (record.path.empty())
    return;
  // Only a file that still is the threat found goes, whatever stands at the path by now.
  if (auto identity = confirmCheckedFile(p_, record.path, {}, app::trimBlanks(record.digest)))
    deleteCheckedFile(p_, record.path, *identity);
}

void ThreatAlert::quarantineThisFile(const AlertRecord& record) {
  if (record.path.empty())
    return;
  auto identity = confirmCheckedFile(p_, record.path, {}, app::trimBlanks(record.digest));
  if (identity && Quarantine(p_, folder_).quarantineFile(record.name, record.path, *identity))
    deleteCheckedFile(p_, record.path, *identity);
}

void ThreatAlert::markSafe(const AlertRecord& record) {
  if (!record.digest.empty())
    engine::appendSafeRecord(p_.files, platform::joinPath(folder_, app::kSafeFile),
                             {record.digest});
}

std::string ThreatAlert::readMoreUrl(const AlertRecord& record) {
  std::string host(app::trimBlanks(app::SettingsStore(p_).setting("info site")));
  if (host.empty())
    host = kDefaultInfoSite;
  std::string name;
  for (char c : record.name)
    if (std::string_view(",\\/:?~").find(c) == std::string_view::npos)
      name += c;
  std::string digest = app::toLower(app::trimBlanks(record.digest));
  std::string first = digest.empty() ? std::string() : digest.substr(0, 1);
  return "https://" + host + "/md/" + first + "/" + app::toLower(name + record.digest) + ".html";
}

} // namespace quorvane::threats
