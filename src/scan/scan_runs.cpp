// Scan runs.
#include "scan/scan_runs.h"

#include "app/settings.h"

namespace quorvane::scan {

ScanRunner::ScanRunner(platform::Platform& platform, std::string appFolder,
                       engine::SignatureDatabase& signatures)
    : p_(platform), folder_(std::move(appFolder)),
      checker_(platform, folder_, signatures, state_, results_), search_(platform.files) {
  search_.searching = [this](const std::string& folder) { search_searching(folder); };
  search_.found = [this](const std::string& folder, const std::string& name) {
    search_found(folder, name);
  };
}

void ScanRunner::search_searching(const std::string& /*folder*/) {
  if (state_.cancelFlag)
    search_.Cancel();
}

void ScanRunner::search_found(const std::string& folder, const std::string& name) {
  if (state_.cancelFlag)
    search_.Cancel();
  // A file reported before the cancel is still checked.
  if (pipeline_) {
    const platform::DirEntry* entry = search_.reporting();
    pipeline_->submit(folder + name,
                      entry ? std::optional<std::uint64_t>(entry->size) : std::nullopt);
  } else
    checker_.checkvir(folder + name);
}

void ScanRunner::ScanFolderTree(const std::string& folder, int areaIndex) {
  std::string start = !folder.empty() && folder.front() == '/' ? folder : folder_;
  results_.areaThreats.clear();
  search_.searchinsubfolders = true;
  state_.areaIndex = areaIndex;
  search_.findfiles(start, patterns);
  if (pipeline_)
    pipeline_->finish(); // the area's count is complete before the next area starts
}

int ScanRunner::StartCustomScan(const std::vector<std::string>& targets) {
  results_.clear();
  state_.filesScanned = 0;
  state_.memoryThreats = state_.folderThreats = state_.startupThreats = 0;
  state_.unknownFiles[0] = state_.unknownFiles[1] = state_.unknownFiles[2] = 0;
  state_.areaCounts.clear();
  state_.cancelFlag = 0;
  state_.holdFlag = 0;
  state_.status = "Scan in progress, Please wait until the scan complete";

  control_.reset();
  checker_.pinTable();
  engine::CheckPipeline pipeline(checker_, control_, workers);
  pipeline_ = &pipeline;
  int threats = 0;
  for (const std::string& target : targets) {
    if (state_.cancelFlag)
      break;
    auto status = p_.files.status(target);
    if (status && status->kind == platform::FileKind::Regular) {
      std::size_t before = results_.rows.size();
      state_.areaIndex = kAreaCustomFolder;
      checker_.checkvir(target); // a file named alone is checked whatever its name
      threats += static_cast<int>(results_.rows.size() - before);
    } else {
      ScanFolderTree(target, kAreaCustomFolder);
      threats += static_cast<int>(results_.areaThreats.size());
    }
  }
  pipeline_ = nullptr;
  checker_.unpinTable();
  state_.folderThreats = threats;
  state_.areaCounts[kAreaCustomFolder] = threats;
  state_.status = "Finished scanning";
  // Each detection was already counted in "threats" when it was logged.
  storeLastScan();
  state_.holdFlag = 1;
  return threats;
}

void ScanRunner::CancelScan() {
  state_.cancelFlag = 1;
  search_.Cancel();
  control_.cancel();
}

void ScanRunner::pause() {
  state_.holdFlag = 1;
  search_.setPause(true);
  control_.pause();
}

void ScanRunner::resume() {
  state_.holdFlag = 0;
  search_.setPause(false);
  control_.resume();
}

void ScanRunner::storeLastScan() {
  platform::LocalDateTime now = p_.clock.localNow();
  app::SettingsStore(p_).setSetting("last scan",
                                    p_.clock.shortDate(now) + " " + p_.clock.longTime(now));
}

} // namespace quorvane::scan
