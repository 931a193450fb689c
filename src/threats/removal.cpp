// Removing detected threats.
#include "threats/removal.h"

#include "app/settings.h"
#include "app/text.h"
#include "engine/fingerprint.h"
#include "threats/process_helpers.h"
#include "threats/quarantine.h"
#include "threats/threat_list.h"

#include <charconv>

namespace quorvane::threats {
namespace {

constexpr std::string_view kDeletePrefix = "\\??\\";

bool isDeletionPair(const std::vector<std::string>& strings, std::size_t i) {
  return i + 1 < strings.size() && strings[i].starts_with(kDeletePrefix) &&
         strings[i].size() > kDeletePrefix.size() && strings[i + 1].empty();
}

} // namespace

std::vector<std::string> decodeMultiString(std::string_view data) {
  if (data == std::string_view("\0", 1) ||
      (data.size() >= 2 && data.substr(data.size() - 2) == std::string_view("\0\0", 2)))
    data.remove_suffix(1); // the closing empty string
  std::vector<std::string> strings;
  while (!data.empty()) {
    std::size_t nul = data.find('\0');
    strings.emplace_back(data.substr(0, nul));
    data = nul == std::string_view::npos ? std::string_view() : data.substr(nul + 1);
  }
  return strings;
}

std::string encodeMultiString(const std::vector<std::string>& strings) {
  std::string data;
  for (const std::string& s : strings) {
    data += s;
    data += '\0';
  }
  data += '\0';
  return data;
}

void ThreatRemover::loadPendingDeletions() {
  app::SettingsStore(p_).grantKeyAccess(platform::Hive::LocalMachine, kSessionManagerKey,
                                        p_.environment.userName());
  pending_.clear();
  loaded_ = true;
  auto value = p_.registry.queryValue(platform::Hive::LocalMachine, kSessionManagerKey,
                                      kPendingValue);
  if (value && value->type == platform::ValueType::MultiString)
    pending_ = decodeMultiString(value->data);
}

void ThreatRemover::savePendingDeletions() {
  app::SettingsStore(p_).grantKeyAccess(platform::Hive::LocalMachine, kSessionManagerKey,
                                        p_.environment.userName());
  p_.registry.createKey(platform::Hive::LocalMachine, kSessionManagerKey);
  p_.registry.setValue(platform::Hive::LocalMachine, kSessionManagerKey, kPendingValue,
                       platform::ValueType::MultiString, encodeMultiString(pending_));
}

std::vector<std::string>
ThreatRemover::removeSelectedThreats(threats::ScanResults& results,
                                     const std::vector<std::string>& autostartRefs,
                                     RemovalMode mode) {
  app::SettingsStore settings(p_);
  Quarantine quarantine(p_, folder_);
  std::vector<std::string> survivors;
  leftAlone_.clear();
  for (std::size_t i = 0; i < results.rows.size(); ++i) {
    const threats::ThreatRow& row = results.rows[i];
    if (!row.checked)
      continue;
    const std::string& path = row.fullPath;
    std::string digest = i < results.digests.size() ? results.digests[i] : std::string();
    {
      platform::DataFilesLock lock(p_.files, folder_);
      p_.files.appendFile(platform::joinPath(folder_, kRemovalRecordFile),
                          encodeRecordField(path) + "\r\n");
    }
    // An autostart entry that names the file after its tenth character (in its key path,
    // value name or data) is cut; one that names it earlier is left alone.
    for (const std::string& entry : autostartRefs) {
      std::size_t at = entry.find(row.fileName);
      if (at == std::string::npos || at + 1 <= 10)
        continue;
      std::vector<std::string> fields;
      std::size_t start = 0;
      for (int i = 0; i < 3; ++i) {
        std::size_t bar = entry.find('|', start);
        fields.push_back(entry.substr(start, bar == std::string::npos ? bar : bar - start));
        start = bar == std::string::npos ? entry.size() : bar + 1;
      }
      settings.deleteValue(fields[0], fields[1], fields[2]);
    }
    // A module of that name in our own process needs no release here: this process never loads
    // the files it checks. Only the processes running this very file are stopped.
    killProcessesByName(p_, row.fileName, path);
    for (std::string_view key : {"software\\Microsoft\\windows nt\\currentversion\\windows",
                                 "SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Windows"})
      settings.regWriteText(platform::Hive::LocalMachine, key, "AppInit_DLLs", "0");
    // The file that goes is the one that was checked: the row's file, else one that still
    // has the row's digest.
    std::optional<platform::FileIdentity> identity =
        confirmCheckedFile(p_, path, row.identity, row.identity.known() ? std::string() : digest);
    if (!identity) {
      if (fileExists(p_, path))
        leftAlone_.push_back(path);
      continue;
    }
    if (mode == RemovalMode::Quarantine &&
        !quarantine.quarantineFile(app::toLower(app::trimBlanks(row.fileName)), path, *identity))
      continue; // no copy, no deletion: the file stays where it is
    if (!deleteCheckedFile(p_, path, *identity))
      continue;
    auto still = p_.files.status(path);
    if (!still || still->identity() != *identity) {
      if (still)
        leftAlone_.push_back(path); // another file stands there now
      continue;
    }
    // It stays until the next start; files.sig says which file may then be deleted.
    auto hashed = engine::hashEntry(p_, path, 1 << 20);
    if (!hashed || hashed->file.identity() != *identity)
      continue;
    // The system reads the pending list before any program runs: the path is spelt its way.
    std::string pendingPath = platform::nativePath(path);
    {
      platform::DataFilesLock lock(p_.files, folder_);
      p_.files.appendFile(platform::joinPath(folder_, kRemovalRecordFile),
                          recordedFileLine(pendingPath,
                                           {*identity, hashed->length,
                                            app::toLower(engine::digestText(hashed->digest))}));
    }
    survivors.push_back(pendingPath);
  }
  threats::removeCheckedRows(results);
  if (!survivors.empty()) {
    {
      // The registry's strings are read again right before the write, under the lock, so
      // nothing stored meanwhile (by another run, by another program) is lost.
      platform::DataFilesLock lock(p_.files, folder_);
      loadPendingDeletions();
      for (const std::string& path : survivors) {
        pending_.push_back(std::string(kDeletePrefix) + path);
        pending_.emplace_back();
      }
      savePendingDeletions();
    }
    if (p_.notifier.ask(kRestartQuestion))
      p_.power.restart();
  }
  return survivors;
}

void ThreatRemover::removeThreatFromMemory(threats::ScanResults& results) {
  for (const threats::ThreatRow& row : results.rows) {
    if (!row.selected)
      continue;
    for (const platform::ProcessInfo& process : p_.processes.list()) {
      auto modules = p_.processes.modules(process.pid);
      if (modules && std::find(modules->begin(), modules->end(), row.fullPath) != modules->end())
        p_.processes.terminate(process.pid);
    }
  }
  results.rows.clear();
  results.digests.clear();
}

std::string recordedFileLine(const std::string& path, const ThreatRemover::RecordedFile& file) {
  return encodeRecordField(path) + "|" + std::to_string(file.identity.device) + "|" +
         std::to_string(file.identity.inode) + "|" + std::to_string(file.size) + "|" + file.digest +
         "\r\n";
}

std::optional<std::pair<std::string, ThreatRemover::RecordedFile>>
parseRecordedFileLine(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    std::size_t bar = line.find('|', start);
    fields.push_back(line.substr(start, bar == std::string_view::npos ? bar : bar - start));
    if (bar == std::string_view::npos)
      break;
    start = bar + 1;
  }
  if (fields.size() != 5 || fields[0].empty() || fields[4].size() != 32 ||
      fields[4].find_first_not_of("0123456789abcdef") != std::string_view::npos)
    return std::nullopt;
  std::uint64_t numbers[3];
  for (int k = 0; k < 3; ++k) {
    std::string_view text = fields[static_cast<std::size_t>(k) + 1];
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), numbers[k]);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
      return std::nullopt; // not a number, or one too large for any file
  }
  ThreatRemover::RecordedFile file{{numbers[0], numbers[1]}, numbers[2], std::string(fields[4])};
  return std::make_pair(decodeRecordField(fields[0]), file);
}

std::vector<std::string> ThreatRemover::carryOutAtStart() {
  platform::DataFilesLock lock(p_.files, folder_);
  std::vector<std::string> deleted = carryOutPendingDeletions();
  auto recorded = recordedFiles();
  std::string kept;
  for (const std::string& path : pendingDeletions())
    if (auto file = recorded.find(path); file != recorded.end())
      kept += recordedFileLine(path, file->second);
  std::string record = platform::joinPath(folder_, kRemovalRecordFile);
  if (kept.empty())
    p_.files.removeFile(record);
  else
    p_.files.writeFile(record, kept);
  return deleted;
}

std::map<std::string, ThreatRemover::RecordedFile> ThreatRemover::recordedFiles() {
  std::map<std::string, RecordedFile> files;
  auto text = p_.files.readFile(platform::joinPath(folder_, kRemovalRecordFile));
  if (!text)
    return files;
  for (std::string_view line : app::splitLines(*text))
    if (auto recorded = parseRecordedFileLine(line))
      files[recorded->first] = recorded->second; // the latest record of a path counts
  return files;
}

bool ThreatRemover::isOwnDeletionPair(std::size_t i,
                                      const std::map<std::string, RecordedFile>& recorded) const {
  return isDeletionPair(pending_, i) &&
         recorded.count(pending_[i].substr(kDeletePrefix.size())) != 0;
}

std::vector<std::string> ThreatRemover::pendingDeletions() {
  if (!loaded_)
    loadPendingDeletions();
  auto recorded = recordedFiles();
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < pending_.size(); ++i)
    if (isOwnDeletionPair(i, recorded)) {
      paths.push_back(pending_[i].substr(kDeletePrefix.size()));
      ++i;
    }
  return paths;
}

std::vector<std::string> ThreatRemover::carryOutPendingDeletions() {
  platform::DataFilesLock lock(p_.files, folder_);
  loadPendingDeletions();
  auto recorded = recordedFiles();
  std::vector<std::string> kept, deleted;
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    if (!isOwnDeletionPair(i, recorded)) {
      kept.push_back(pending_[i]);
      continue;
    }
    std::string path = pending_[i].substr(kDeletePrefix.size());
    const RecordedFile& file = recorded.at(path);
    ++i;
    auto hashed = engine::hashEntry(p_, path, 1 << 20);
    if (!hashed || hashed->file.identity() != file.identity || hashed->length != file.size ||
        app::toLower(engine::digestText(hashed->digest)) != file.digest) {
      if (fileExists(p_, path) && !hashed) {
        kept.push_back(pending_[i - 1]); // present but unreadable now: try at the next start
        kept.emplace_back();
      }
      continue; // gone, or another file stands there now: that one is not ours to delete
    }
    if (deleteCheckedFile(p_, path, file.identity)) {
      kept.push_back(pending_[i - 1]); // still there: the pair stays for the next start
      kept.emplace_back();
    } else {
      deleted.push_back(path);
    }
  }
  if (kept.size() != pending_.size()) {
    pending_ = std::move(kept);
    savePendingDeletions();
  }
  return deleted;
}

} // namespace quorvane::threats
