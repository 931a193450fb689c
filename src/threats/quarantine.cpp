// The quarantine.
#include "threats/quarantine.h"

#include "app/appfolder.h"
#include "app/text.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace quorvane::threats {
namespace {

/// Copies are stored readable by their owner only, whatever the file allowed.
constexpr std::uint32_t kCopyMode = 0600;
/// Names of copies stay well below the file systems' 255-byte limit.
constexpr std::size_t kCopyStemLimit = 200;

/// The part of a copy's name taken from the threat's name: bytes that do not belong in a plain
/// file name (separators, controls, "|", "%") become "_".
std::string copyStem(const std::string& name) {
  std::string stem;
  for (char c : name.substr(0, kCopyStemLimit)) {
    auto byte = static_cast<unsigned char>(c);
    bool plain = byte > 0x20 && byte != 0x7F && c != '/' && c != '\\' && c != '|' && c != '%';
    stem += plain ? c : '_';
  }
  if (stem.empty() || stem == "." || stem == "..")
    stem = "file" + stem;
  return stem;
}

std::uint32_t modeOf(const ThreatRecord& record, std::uint32_t fallback) {
  if (record.mode.empty() || record.mode.size() > 4 ||
      record.mode.find_first_not_of("01234567") != std::string::npos)
    return fallback;
  return static_cast<std::uint32_t>(std::stoul(record.mode, nullptr, 8)) & 07777;
}

std::string octal(std::uint32_t mode) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%o", mode & 07777);
  return buffer;
}

} // namespace

std::string describeProblem(const QuarantineRow& row) {
  if (row.problem == std::errc::file_exists)
    return "the path is taken";
  if (row.problem == std::errc::invalid_argument)
    return "the record names no quarantined copy";
  return row.problem.message();
}

void cleanUpAfterAKilledRun(platform::Platform& platform, const std::string& appFolder) {
  app::removeStaleTemporaries(platform, appFolder);
  Quarantine(platform, appFolder).removeOrphanCopies();
}

bool isPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

std::string Quarantine::indexPath() const {
  return platform::joinPath(folder_, kQuarantineIndexFile);
}
std::string Quarantine::folderPath() const {
  return platform::joinPath(folder_, kQuarantineFolder);
}

std::optional<std::string> Quarantine::copyPath(const ThreatRecord& record) const {
  // Records of the three-field layout name their copy by the quarantine name.
  std::string copy = record.copy.empty() ? record.name + ".qrt" : record.copy;
  if (!isPlainFileName(copy) || copy.find('\\') != std::string::npos)
    return std::nullopt;
  return platform::joinPath(folderPath(), copy);
}

bool Quarantine::quarantineFile(const std::string& name, const std::string& path,
                                const platform::FileIdentity& checked) {
  platform::DataFilesLock lock(p_.files, folder_);
  if (p_.files.createPrivateDirectory(folderPath()))
    return false;
  std::string stem = copyStem(name);
  std::string copy;
  for (int n = 1; n <= 10000; ++n) {
    std::string candidate = n == 1 ? stem + ".qrt" : stem + "." + std::to_string(n) + ".qrt";
    std::error_code error = p_.files.copyCheckedFile(path, checked,
                                                     platform::joinPath(folderPath(), candidate),
                                                     kCopyMode);
    if (error == std::errc::file_exists)
      continue; // taken, by an older copy or by another process this very moment
    if (error)
      return false;
    copy = candidate;
    break;
  }
  if (copy.empty())
    return false;
  std::string copyFull = platform::joinPath(folderPath(), copy);
  std::string mode;
  if (auto status = p_.files.status(path);
      status && (!checked.known() || status->identity() == checked))
    mode = octal(status->mode);
  // The record is written once its copy exists, so every record can be restored.
  ThreatRecord record{name, p_.clock.generalDateNow(), path, copy, mode};
  if (p_.files.appendFile(indexPath(), recordLine(record))) {
    p_.files.removeFile(copyFull);
    return false;
  }
  return true;
}

std::vector<QuarantineRow> Quarantine::showQuarantine() {
  std::vector<QuarantineRow> rows;
  auto text = p_.files.readFile(indexPath());
  if (text)
    for (ThreatRecord& record : parseThreatRecords(*text))
      rows.push_back({std::move(record), false, {}});
  return rows;
}

int Quarantine::removeOrphanCopies() {
  platform::DataFilesLock lock(p_.files, folder_);
  auto entries = p_.files.listDirectory(folderPath());
  if (!entries)
    return 0;
  // Only against an index that could be read: without one, no copy can be told an orphan.
  auto index = p_.files.readFile(indexPath());
  if (!index)
    return 0;
  std::set<std::string> named;
  for (const ThreatRecord& record : parseThreatRecords(*index))
    if (auto copy = copyPath(record))
      named.insert(*copy);
  int removed = 0;
  for (const platform::DirEntry& entry : *entries) {
    std::string path = platform::joinPath(folderPath(), entry.name);
    if (entry.kind == platform::FileKind::Regular && entry.name.ends_with(".qrt") &&
        !named.count(path) && !p_.files.removeFile(path))
      ++removed;
  }
  return removed;
}

std::vector<QuarantineRow> Quarantine::restoreQuarantined(const std::vector<QuarantineRow>& rows) {
  return restoreOrDelete(rows, true, std::nullopt);
}

std::vector<QuarantineRow> Quarantine::restoreQuarantinedTo(const std::vector<QuarantineRow>& rows,
                                                            const std::string& folder) {
  return restoreOrDelete(rows, true, folder);
}

std::vector<QuarantineRow> Quarantine::deleteQuarantined(const std::vector<QuarantineRow>& rows) {
  return restoreOrDelete(rows, false, std::nullopt);
}

std::vector<QuarantineRow>
Quarantine::restoreOrDelete(const std::vector<QuarantineRow>& rows, bool restore,
                            const std::optional<std::string>& intoFolder) {
  // The index is read again under the lock: the rows given may be old, and records added since
  // (by a scan running beside us) must survive the rewrite.
  platform::DataFilesLock lock(p_.files, folder_);
  std::vector<QuarantineRow> index = showQuarantine();
  std::vector<bool> done(index.size(), false);
  std::vector<QuarantineRow> left;
  std::vector<std::string> freedCopies;
  for (const QuarantineRow& row : rows) {
    if (!row.checked)
      continue;
    auto at = std::find_if(index.begin(), index.end(), [&](const QuarantineRow& current) {
      return !done[static_cast<std::size_t>(&current - index.data())] &&
             current.record == row.record;
    });
    if (at == index.end())
      continue; // already restored or deleted elsewhere
    std::size_t i = static_cast<std::size_t>(at - index.begin());
    std::optional<std::string> copy = copyPath(at->record);
    if (!copy) {
      left.push_back({at->record, false, std::make_error_code(std::errc::invalid_argument)});
      continue; // a record that names no copy of ours is never acted on
    }
    auto copyStatus = p_.files.status(*copy);
    if (!copyStatus) {
      done[i] = true; // nothing left to restore or delete: the record goes
      continue;
    }
    if (restore) {
      std::string target = intoFolder ? platform::joinPath(*intoFolder,
                                                           std::string(app::fileNameOf(at->record.path)))
                                      : at->record.path;
      std::uint32_t mode = modeOf(at->record, copyStatus->mode);
      if (std::error_code error = p_.files.restoreFile(*copy, target, mode)) {
        left.push_back({at->record, false, error}); // the copy and its record stay
        continue;
      }
    }
    done[i] = true;
    freedCopies.push_back(*copy);
  }

  std::vector<QuarantineRow> kept;
  std::string text;
  for (std::size_t i = 0; i < index.size(); ++i)
    if (!done[i]) {
      kept.push_back(index[i]);
      text += recordLine(index[i].record);
    }
  if (std::count(done.begin(), done.end(), true) > 0)
    p_.files.writeFile(indexPath(), text);
  // A copy still named by a remaining record (old index lines may share one) is kept.
  for (const std::string& copy : freedCopies) {
    bool stillNeeded = std::any_of(kept.begin(), kept.end(), [&](const QuarantineRow& row) {
      return copyPath(row.record) == copy;
    });
    if (!stillNeeded)
      p_.files.removeFile(copy);
  }
  return left;
}

} // namespace quorvane::threats
