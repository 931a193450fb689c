// Scan runs.
#include "scan/scan_runs.h"

#include "app/appfolder.h"
#include "app/settings.h"
#include "app/text.h"
#include "engine/datafiles.h"
#include "threats/process_helpers.h"
#include "threats/quarantine.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

namespace quorvane::scan {

ScanRunner::ScanRunner(platform::Platform& platform, std::string appFolder,
                       engine::SignatureDatabase& signatures)
    : p_(platform), folder_(std::move(appFolder)),
      checker_(platform, folder_, signatures, state_, results_), search_(platform.files),
      startup_(platform) {
  search_.searching = [this](const std::string& folder) { onFolderEntered(folder); };
  search_.found = [this](const std::string& folder, const std::string& name) {
    onFileFound(folder, name);
  };
  search_.keepFound = false;
  search_.worthOpening = [this](std::uint64_t size) { return checker_.worthReading(size); };
  search_.unreadable = [this](const std::string& folder, std::error_code why) {
    ++state_.filesNotChecked;
    if (checker_.observer)
      checker_.observer->problem(folder, "cannot be checked: " + why.message());
  };
}

void ScanRunner::onFolderEntered(const std::string& /*folder*/) {
  if (state_.cancelFlag)
    search_.cancel();
}

void ScanRunner::onFileFound(const std::string& folder, const std::string& name) {
  if (state_.cancelFlag)
    search_.cancel();
  // A file reported before the cancel is still checked.
  const platform::DirEntry* entry = search_.reporting();
  std::optional<scan::ListedFile> listed;
  if (entry)
    listed = scan::ListedFile{entry->size, entry->identity};
  if (pipeline_)
    pipeline_->submit(folder + name, listed);
  else
    checker_.checkFile(folder + name, listed);
}

void ScanRunner::scanFolderTree(const std::string& folder, int areaIndex) {
  std::string start = platform::pathRootLength(folder) > 0 ? folder : folder_;
  results_.areaThreats.clear();
  search_.includeSubfolders = true;
  state_.areaIndex = areaIndex;
  state_.counter = ThreatCounter::Folder;
  // The quarantine's copies are threats kept on purpose: no walk enters their folder.
  search_.skippedFolders.clear();
  auto quarantine = p_.files.status(platform::joinPath(folder_, threats::kQuarantineFolder));
  if (quarantine && quarantine->kind == platform::FileKind::Directory)
    search_.skippedFolders.push_back(quarantine->identity());
  search_.walk(start, patterns);
  if (pipeline_)
    pipeline_->finish(); // the area's count is complete before the next area starts
}

int ScanRunner::startCustomScan(const std::vector<std::string>& targets) {
  results_.clear();
  state_.panels.clear();
  state_.panels[kAreaCustomFolder] = {"Custom Scan", "Files found in custom path",
                                      AreaPanel::Status::Pending, true};
  state_.filesScanned = 0;
  state_.filesNotChecked = 0;
  state_.memoryThreats = state_.folderThreats = state_.startupThreats = 0;
  state_.unknownFiles[0] = state_.unknownFiles[1] = state_.unknownFiles[2] = 0;
  state_.areaCounts.clear();
  state_.cancelFlag = 0;
  state_.holdFlag = 0;
  state_.status = "Scan in progress, Please wait until the scan complete";
  running_ = true;

  control_.reset();
  startPipeline();
  int threats = 0;
  for (const std::string& target : targets) {
    if (state_.cancelFlag)
      break;
    auto status = p_.files.status(target);
    if (status && status->kind == platform::FileKind::Regular) {
      std::size_t before = results_.rows.size();
      state_.areaIndex = kAreaCustomFolder;
      state_.counter = ThreatCounter::Folder;
      checker_.checkFile(target); // a file named alone is checked whatever its name
      threats += static_cast<int>(results_.rows.size() - before);
    } else {
      scanFolderTree(target, kAreaCustomFolder);
      threats += static_cast<int>(results_.areaThreats.size());
    }
  }
  stopPipeline();
  state_.folderThreats = threats;
  state_.areaCounts[kAreaCustomFolder] = threats;
  state_.panels[kAreaCustomFolder].status =
      threats > 0 ? AreaPanel::Status::Threat : AreaPanel::Status::Clean;
  // The summary as the other scans fill it: a file that could not be checked is unknown.
  state_.summary.totalFiles = state_.filesScanned;
  state_.summary.threats = threats;
  state_.summary.unknownFiles = static_cast<int>(state_.filesNotChecked);
  state_.summary.safeFiles = std::max<long long>(0, state_.filesScanned - threats - state_.filesNotChecked);
  state_.status = "Finished scanning";
  // Each detection was already counted in "threats" when it was logged.
  storeLastScan();
  state_.holdFlag = 1;
  running_ = false;
  return threats;
}

void ScanRunner::startPipeline() {
  checker_.pinTable();
  pipeline_ = std::make_unique<scan::CheckPipeline>(checker_, control_, workers);
}

void ScanRunner::stopPipeline() {
  pipeline_.reset(); // records what is left
  checker_.unpinTable();
}

void ScanRunner::runStart(const std::vector<int>& areas) {
  results_.clear();
  candidates_.clear();
  state_.status = "Scan in progress, Please wait until the scan complete.";
  state_.panels.clear();
  state_.areaCounts.clear();
  for (const AreaText& text : kAreaTexts) {
    bool shown = std::find(areas.begin(), areas.end(), text.index) != areas.end();
    state_.panels[text.index] = {text.title, text.subtitle, AreaPanel::Status::Pending, shown};
    if (shown)
      state_.areaCounts[text.index] = 0;
  }
  state_.filesScanned = 0;
  state_.filesNotChecked = 0;
  state_.memoryThreats = state_.folderThreats = state_.startupThreats = 0;
  state_.componentThreats = 0;
  for (int& unknown : state_.unknownFiles)
    unknown = 0;
  state_.cancelFlag = 0;
  state_.holdFlag = 0;
  control_.reset();
  running_ = true;
  startPipeline();
}

void ScanRunner::runEnd(int threats, long long unknown) {
  stopPipeline();
  for (int index : kAreaOrder) {
    auto found = state_.panels.find(index);
    if (found == state_.panels.end() || !found->second.shown)
      continue;
    found->second.status =
        state_.areaCounts[index] > 0 ? AreaPanel::Status::Threat : AreaPanel::Status::Clean;
    if (checker_.observer)
      checker_.observer->areaFinished(index, state_.areaCounts[index]);
  }
  state_.status = "Finished scanning";
  // A file that could not be checked is unknown, never safe.
  unknown += state_.filesNotChecked;
  state_.summary.totalFiles = state_.filesScanned;
  state_.summary.safeFiles = state_.filesScanned - threats - unknown;
  state_.summary.threats = threats;
  state_.summary.unknownFiles = static_cast<int>(unknown);
  // Each detection was already counted in "threats" when it was logged.
  storeLastScan();
  state_.holdFlag = 1;
  running_ = false;
  if (checker_.observer)
    checker_.observer->runFinished(state_.summary);
}

int ScanRunner::startQuickScan() {
  runStart({kAreaMemory});
  scanMemory();
  int threats = state_.memoryThreats;
  runEnd(threats, state_.unknownFiles[0]);
  return threats;
}

std::string ScanRunner::windowsFolder() {
  std::string folder = app::SettingsStore(p_).setting("windows folder");
  return app::trimBlanks(folder).empty() ? p_.environment.systemFolder() : folder;
}

int ScanRunner::startSmartScan() {
  runStart({kAreaMemory, kAreaWindowsFolder, kAreaRegistry});
  scanMemory();
  scanFolderTree(windowsFolder(), kAreaWindowsFolder);
  scanStartupEntries();
  scanRegisteredComponents();
  int threats =
      state_.memoryThreats + state_.folderThreats + state_.startupThreats + state_.componentThreats;
  runEnd(threats, static_cast<long long>(state_.unknownFiles[1]) + state_.unknownFiles[2] +
                      state_.unknownFiles[3]);
  return threats;
}

void ScanRunner::scanStartupEntries() {
  candidates_.clear();
  references_.clear();
  for (StartupCandidate& candidate : startup_.scanStartupEntries()) {
    candidates_.push_back(std::move(candidate.path));
    if (!candidate.reference.empty())
      references_.push_back(std::move(candidate.reference));
  }
  results_.areaThreats.clear();
  checkCandidateList(kAreaRegistry, ThreatCounter::Startup);
}

void ScanRunner::scanRegisteredComponents() {
  candidates_.clear();
  references_.clear();
  for (StartupCandidate& candidate : startup_.registeredComponents()) {
    candidates_.push_back(std::move(candidate.path));
    references_.push_back(std::move(candidate.reference));
  }
  results_.areaThreats.clear();
  // Candidate i belongs to reference row i; a detected component loses its registration.
  std::size_t recorded = 0;
  checker_.ownFiles = {"quorvaneam.exe", "zentuserv.exe", "exeupdt.exe"};
  checker_.onRecorded = [&](const std::string&, bool detected) {
    std::size_t index = recorded++;
    if (!detected || index >= references_.size())
      return;
    std::string key = references_[index].substr(references_[index].find('|') + 1);
    app::SettingsStore(p_).deleteRegistryTree(platform::Hive::ClassesRoot,
                                              key + "\\InprocServer32");
  };
  checkCandidateList(kAreaRegistry, ThreatCounter::Component);
  checker_.onRecorded = nullptr;
  checker_.ownFiles.assign(scan::kOwnFileNames.begin(), scan::kOwnFileNames.end());
  state_.cancelFlag = 0;
}

void ScanRunner::scanMemory() {
  results_.areaThreats.clear();
  candidates_.clear();
  std::vector<std::string> modules;
  threats::listProcessModules(p_, modules);
  // Each module file once, where it first appears.
  std::set<std::string> seen;
  for (std::string& module : modules)
    if (seen.insert(module).second)
      candidates_.push_back(std::move(module));
  checkCandidateList(kAreaMemory, ThreatCounter::Memory);
  state_.cancelFlag = 0;
}

void ScanRunner::checkCandidateList(int areaIndex, ThreatCounter counter) {
  if (pipeline_)
    pipeline_->finish(); // detections of the earlier step keep their place
  state_.areaIndex = areaIndex;
  state_.counter = counter;
  std::size_t count = candidates_.size();
  for (std::size_t i = 0; i < count; ++i) {
    if (state_.cancelFlag || !control_.checkpoint())
      break; // the pause holds this loop too
    std::string path = candidates_[i];
    // "\SystemRoot\System32\smss.exe" names a file on the Windows folder's drive.
    if (!systemDrive.empty() && app::toLower(path).find("root") != std::string::npos &&
        path.find(':') == std::string::npos)
      path = systemDrive + path;
    if (pipeline_)
      pipeline_->submit(path);
    else
      checker_.checkFile(path);
    if (checker_.observer)
      checker_.observer->progress(static_cast<long long>(i + 1), static_cast<long long>(count));
  }
  if (pipeline_)
    pipeline_->finish();
}

std::string ScanRunner::togglePause() {
  if (state_.holdFlag == 0) {
    pause();
    return "Resume";
  }
  resume();
  return "Pause";
}

std::optional<std::string> ScanRunner::pollFolderScanRequest() {
  if (running_)
    return std::nullopt; // picked up once the running scan has ended
  std::string file = platform::joinPath(folder_, app::kFolderScanFile);
  auto text = p_.files.readFile(file);
  if (!text || app::trimSpace(*text).empty())
    return std::nullopt;
  p_.files.removeFile(file);
  return engine::firstDelimitedField(*text);
}

std::string requestedFolderPath(std::string_view text) {
  std::string path;
  for (char c : app::trimSpace(text))
    if (c != '"')
      path += c;
  return path;
}

std::optional<int> ScanRunner::startRequestedFolderScan(const std::string& text) {
  std::string path = requestedFolderPath(text);
  if (path.empty())
    return std::nullopt;
  return startCustomScan({path});
}

void ScanRunner::waitMilliseconds(std::uint64_t ms) {
  std::uint64_t until = p_.clock.tickCount() + ms;
  while (p_.clock.tickCount() <= until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

bool ScanWorker::start(std::function<void(ScanRunner&)> run) {
  if (busy_)
    return false;
  join();
  busy_ = true;
  thread_ = std::thread([this, run = std::move(run)] {
    run(runner_);
    busy_ = false;
  });
  return true;
}

void ScanWorker::join() {
  if (thread_.joinable())
    thread_.join();
}

void ScanRunner::cancelScan() {
  state_.cancelFlag = 1;
  search_.cancel();
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
