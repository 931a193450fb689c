// The quarantine.
#include "threats/quarantine.h"

#include "app/appfolder.h"

#include <set>

namespace quorvane::threats {
namespace {

std::string indexLine(const ThreatRecord& record) {
  std::string line = record.name + "|" + record.date + "|" + record.path;
  if (!record.copy.empty())
    line += "|" + record.copy;
  return line + "\r\n";
}

} // namespace

std::string Quarantine::indexPath() const {
  return platform::joinPath(folder_, kQuarantineIndexFile);
}
std::string Quarantine::folderPath() const {
  return platform::joinPath(folder_, kQuarantineFolder);
}

std::string Quarantine::copyPath(const ThreatRecord& record) const {
  // Records of the three-field layout name their copy by the quarantine name.
  return platform::joinPath(folderPath(), record.copy.empty() ? record.name + ".qrt" : record.copy);
}

std::string Quarantine::freeCopyName(const std::string& name) {
  std::set<std::string> taken;
  for (const QuarantineRow& row : ShowQuarantine())
    taken.insert(copyPath(row.record));
  for (int n = 1;; ++n) {
    std::string candidate = n == 1 ? name + ".qrt" : name + "." + std::to_string(n) + ".qrt";
    std::string full = platform::joinPath(folderPath(), candidate);
    if (!taken.count(full) && !p_.files.status(full))
      return candidate;
  }
}

bool Quarantine::QuarantineFile(const std::string& name, const std::string& path) {
  if (p_.files.createDirectory(folderPath()))
    return false;
  std::string copy = freeCopyName(name);
  std::string copyFull = platform::joinPath(folderPath(), copy);
  if (p_.files.copyFile(path, copyFull)) {
    p_.files.removeFile(copyFull); // no half copies
    return false;
  }
  // The record is written once its copy exists, so every record can be restored.
  ThreatRecord record{name, p_.clock.generalDateNow(), path, copy};
  if (p_.files.appendFile(indexPath(), indexLine(record))) {
    p_.files.removeFile(copyFull);
    return false;
  }
  return true;
}

std::vector<QuarantineRow> Quarantine::ShowQuarantine() {
  std::vector<QuarantineRow> rows;
  auto text = p_.files.readFile(indexPath());
  if (text)
    for (ThreatRecord& record : ParseThreatRecords(*text))
      rows.push_back({std::move(record), false});
  return rows;
}

void Quarantine::rewriteIndex(const std::vector<QuarantineRow>& rows) {
  std::string text;
  for (const QuarantineRow& row : rows)
    text += indexLine(row.record);
  p_.files.writeFile(indexPath(), text);
}

void Quarantine::removeCopies(const std::vector<std::string>& copies,
                              const std::vector<QuarantineRow>& kept) {
  // A copy still named by a remaining record (old index lines may share one) is kept.
  for (const std::string& copy : copies) {
    bool stillNeeded = false;
    for (const QuarantineRow& row : kept)
      stillNeeded = stillNeeded || copyPath(row.record) == copy;
    if (!stillNeeded)
      p_.files.removeFile(copy);
  }
}

std::vector<QuarantineRow> Quarantine::RestoreQuarantined(const std::vector<QuarantineRow>& rows) {
  std::vector<QuarantineRow> kept;
  std::vector<QuarantineRow> failed;
  std::vector<std::string> restoredCopies;
  for (const QuarantineRow& row : rows) {
    if (!row.checked) {
      kept.push_back(row);
      continue;
    }
    std::string copy = copyPath(row.record);
    if (!p_.files.status(copy)) {
      continue; // nothing left to restore: the record goes
    }
    // The file's folder may have gone with it (a cleaned drive's folder): it is made again.
    platform::createFolderPath(p_.files, app::FolderOf(row.record.path));
    if (p_.files.copyFile(copy, row.record.path)) {
      kept.push_back({row.record, false}); // the copy and its record stay
      failed.push_back(row);
      continue;
    }
    restoredCopies.push_back(copy);
  }
  removeCopies(restoredCopies, kept);
  rewriteIndex(kept);
  return failed;
}

void Quarantine::DeleteQuarantined(const std::vector<QuarantineRow>& rows) {
  std::vector<QuarantineRow> kept;
  std::vector<std::string> deleted;
  for (const QuarantineRow& row : rows) {
    if (row.checked)
      deleted.push_back(copyPath(row.record));
    else
      kept.push_back(row);
  }
  removeCopies(deleted, kept);
  rewriteIndex(kept);
}

} // namespace quorvane::threats
