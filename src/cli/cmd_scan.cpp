// `quorvane scan`, `quick` and `smart`: scans from the command line, reported the way clamscan
// does (one "PATH: NAME FOUND" line per detection), or as JSON Lines with --json.
#include "cli/context.h"
#include "cli/json_lines.h"

#include "app/appfolder.h"
#include "app/text.h"
#include "engine/datafiles.h"
#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "engine/safelist.h"
#include "scan/scan_runs.h"
#include "scan/scan_state.h"
#include "threats/removal.h"
#include "threats/threat_list.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>
#include <regex>
#include <streambuf>

namespace quorvane::cli {
namespace {

/// What every scan command shares: the options, the signatures and the runner.
struct ScanOptions {
  std::vector<std::string> paths;
  std::string action;
  bool allFiles = false;
  bool remove = false;
  bool quarantineAll = false;
  bool json = false;
  bool infectedOnly = false;
  bool noSummary = false;
  bool recursive = false; ///< accepted for habit: folders are always walked whole
  std::vector<std::string> excludeFiles;
  std::vector<std::string> excludeFolders;
  std::vector<std::string> fileLists;
  std::string log;
};

/// Standard output, copied line by line to the end of a log file as well. The log is appended
/// through the file facility (never through a link), a whole line at a time.
class LoggedOutput final : public std::streambuf {
public:
  LoggedOutput(platform::FileSystem& files, std::string path)
      : files_(files), path_(std::move(path)), console_(std::cout.rdbuf(this)) {}
  ~LoggedOutput() override {
    sync();
    if (!line_.empty())
      files_.appendFile(path_, line_);
    std::cout.rdbuf(console_);
  }
  LoggedOutput(const LoggedOutput&) = delete;
  LoggedOutput& operator=(const LoggedOutput&) = delete;
  bool failed() const { return failed_; }

protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof()))
      return traits_type::not_eof(c);
    char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    console_->sputn(text, count);
    for (std::streamsize i = 0; i < count; ++i) {
      line_ += text[i];
      if (text[i] == '\n') {
        failed_ |= static_cast<bool>(files_.appendFile(path_, line_));
        line_.clear();
      }
    }
    return count;
  }
  int sync() override { return console_->pubsync(); }

private:
  platform::FileSystem& files_;
  std::string path_;
  std::streambuf* console_;
  std::string line_;
  bool failed_ = false;
};

/// Prints one line (or one JSON object) per detection and problem on standard output and, on a
/// terminal, a progress line on standard error.
class CliObserver final : public scan::ScanObserver {
public:
  CliObserver(bool progress, const ScanOptions& options)
      : progress_(progress && !options.json && !options.infectedOnly), json_(options.json) {}
  ~CliObserver() override { clearProgress(); }

  void checking(const std::string& path, long long filesScanned) override {
    if (!progress_)
      return;
    // A line per file would cost a terminal write per file: the line changes ten times a second.
    auto now = std::chrono::steady_clock::now();
    if (shown_ && now - lastShown_ < std::chrono::milliseconds(100))
      return;
    lastShown_ = now;
    std::string shown = printable(path);
    if (shown.size() > 60)
      shown = "..." + shown.substr(shown.size() - 57);
    std::cerr << "\r\033[K" << "Files scanned : " << filesScanned << "  " << shown << std::flush;
    shown_ = true;
  }
  void detected(const threats::ThreatRow& row, const std::string& digest) override {
    clearProgress();
    if (!json_) {
      std::cout << printable(row.fullPath) << ": Quorvane.Threat FOUND" << std::endl;
      return;
    }
    Json line;
    line["event"] = "found";
    putText(line, "path", row.fullPath);
    line["md5"] = digest;
    line["size"] = row.size;
    line["action"] = row.action;
    writeJsonLine(std::cout, line);
  }
  void problem(const std::string& path, const std::string& what) override {
    clearProgress();
    if (!json_) {
      std::cerr << "quorvane: " << printable(path) << ": " << what << std::endl;
      return;
    }
    static constexpr std::string_view kNotChecked = "cannot be checked: ";
    bool notChecked = what.rfind(kNotChecked, 0) == 0;
    Json line;
    line["event"] = notChecked ? "not_checked" : "problem";
    putText(line, "path", path);
    putText(line, "reason", notChecked ? what.substr(kNotChecked.size()) : what);
    writeJsonLine(std::cout, line);
  }
  void clearProgress() {
    if (shown_)
      std::cerr << "\r\033[K" << std::flush;
    shown_ = false;
  }

private:
  bool progress_;
  bool json_;
  std::chrono::steady_clock::time_point lastShown_;
  bool shown_ = false;
};

void addActionOption(CLI::App* cmd, ScanOptions& options) {
  cmd->add_option("--action", options.action,
                  "What to do with a threat for this run (default: the threatfound setting)")
      ->check(CLI::IsMember({"leave", "delete", "quarantine"}));
  auto* remove = cmd->add_flag("--remove", options.remove,
                               "After the run, remove every detected threat (delete)");
  cmd->add_flag("--quarantine-all", options.quarantineAll,
                "After the run, quarantine and remove every detected threat")
      ->excludes(remove);
}

/// The output options every scan command takes.
void addOutputOptions(CLI::App* cmd, ScanOptions& options) {
  cmd->add_flag("--json", options.json,
                "JSON Lines on standard output: one object per event (found, not_checked, "
                "problem, scheduled_for_deletion, summary); see the README");
  cmd->add_flag("-i,--infected", options.infectedOnly,
                "Print only detections and problems (no progress, no summary)");
  cmd->add_flag("--no-summary", options.noSummary, "Leave out the summary at the end");
  cmd->add_option("--log", options.log,
                  "Append what standard output shows to this file as well");
}

/// --remove and --quarantine-all: every detected row is ticked and removed.
void removeDetected(scan::ScanRunner& runner, platform::Platform& p, const std::string& home,
                    const ScanOptions& options) {
  if (!options.remove && !options.quarantineAll)
    return;
  threats::selectAllThreats(runner.results(), true);
  threats::ThreatRemover remover(p, home);
  for (const std::string& path : remover.removeSelectedThreats(
           runner.results(), runner.references(),
           options.quarantineAll ? threats::RemovalMode::Quarantine : threats::RemovalMode::Delete)) {
    if (options.json) {
      Json line;
      line["event"] = "scheduled_for_deletion";
      putText(line, "path", path);
      writeJsonLine(std::cout, line);
    } else {
      std::cout << "scheduled for deletion at the next start: " << printable(path) << '\n';
    }
  }
  for (const std::string& path : remover.leftAlone())
    runner.checker().observer->problem(
        path, "not removed: the file changed after it was checked; left in place");
}

/// A regular expression given on the command line; a bad one ends the command.
std::regex compiledPattern(const std::string& text, const char* option) {
  try {
    return std::regex(text, std::regex::ECMAScript | std::regex::optimize);
  } catch (const std::regex_error& error) {
    throw CommandError{std::string(option) + " " + printable(text) +
                       ": not a regular expression (" + error.what() + ")"};
  }
}

/// Leaves out of the walks the files and folders whose path matches an --exclude or
/// --exclude-dir expression (searched anywhere in the path, as grep does).
void applyExclusions(scan::ScanRunner& runner, const ScanOptions& options) {
  auto matcher = [](const std::vector<std::string>& texts, const char* option) {
    auto patterns = std::make_shared<std::vector<std::regex>>();
    for (const std::string& text : texts)
      patterns->push_back(compiledPattern(text, option));
    return [patterns](const std::string& path) {
      for (const std::regex& pattern : *patterns)
        if (std::regex_search(path, pattern))
          return true;
      return false;
    };
  };
  if (!options.excludeFiles.empty())
    runner.search().excludedFile = matcher(options.excludeFiles, "--exclude");
  if (!options.excludeFolders.empty())
    runner.search().excludedFolder = matcher(options.excludeFolders, "--exclude-dir");
}

/// Runs `body` with a runner over the application folder's signatures, printing detections and
/// the progress line; returns what `body` returns.
template <typename Body>
int withRunner(Context& context, const ScanOptions& options, Body&& body) {
  platform::Platform& p = context.platform();
  const std::string& home = context.appFolder();
  std::optional<LoggedOutput> logged;
  if (!options.log.empty())
    logged.emplace(p.files, app::absolutePath(options.log, p.environment.currentDirectory()));
  std::string virSig = platform::joinPath(home, app::kVirSigFile);
  engine::SignatureDatabase signatures(p.files, virSig);
  signatures.loadSignatureTable();
  if (!signatures.current()->holdsAnyKey())
    std::cerr << "quorvane: warning: no signatures in " << printable(virSig)
              << "; nothing can be detected\n";

  scan::ScanRunner runner(p, home, signatures);
  if (options.allFiles)
    runner.patterns = scan::kAllFilesPattern;
  applyExclusions(runner, options);
  if (options.action == "leave")
    runner.checker().actionOverride = scan::ThreatAction::Leave;
  else if (options.action == "delete")
    runner.checker().actionOverride = scan::ThreatAction::Delete;
  else if (options.action == "quarantine")
    runner.checker().actionOverride = scan::ThreatAction::Quarantine;
  // Files left for deletion at a start go first: no system does it for us.
  for (const std::string& path : threats::ThreatRemover(p, home).carryOutPendingDeletions())
    std::cerr << "quorvane: deleted " << printable(path)
              << " (a threat left for deletion at the next start)\n";
  CliObserver observer(p.environment.errorIsTerminal(), options);
  runner.checker().observer = &observer;
  int found = body(runner, p, signatures);
  observer.clearProgress();
  removeDetected(runner, p, home, options);
  if (logged && logged->failed())
    std::cerr << "quorvane: " << printable(options.log) << ": the log could not be written\n";
  return found;
}

/// 1 when a threat was found; else 2 when something could not be checked (or failed); else 0.
int exitStatus(int found, bool incomplete) {
  return found > 0 ? kExitFound : incomplete ? kExitError : kExitOk;
}

/// The areas a Quick or Smart run showed, in their order, with their threat counts.
std::vector<std::pair<std::string, int>> shownAreaCounts(const scan::ScanState& state) {
  std::vector<std::pair<std::string, int>> areas;
  for (int index : scan::kAreaOrder) {
    auto panel = state.panels.find(index);
    if (panel == state.panels.end() || !panel->second.shown)
      continue;
    auto count = state.areaCounts.find(index);
    areas.emplace_back(panel->second.title, count == state.areaCounts.end() ? 0 : count->second);
  }
  return areas;
}

/// The end of a run: the summary lines (or the summary event) unless they were asked away.
void printSummary(scan::ScanRunner& runner, const ScanOptions& options, int threats,
                  std::chrono::steady_clock::time_point started, bool areas) {
  if (options.noSummary || options.infectedOnly)
    return;
  const scan::ScanState& state = runner.state();
  const scan::ScanSummary& summary = state.summary;
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (options.json) {
    Json line;
    line["event"] = "summary";
    line["files_scanned"] = areas ? summary.totalFiles : state.filesScanned;
    line["threats"] = threats;
    line["not_checked"] = state.filesNotChecked;
    if (areas) {
      line["safe_files"] = summary.safeFiles;
      line["unknown_files"] = summary.unknownFiles;
      Json counts = Json::object();
      for (const auto& [title, count] : shownAreaCounts(state))
        counts[title] = count;
      line["areas"] = counts;
    }
    line["elapsed_seconds"] = std::round(elapsed * 1000) / 1000;
    writeJsonLine(std::cout, line);
    return;
  }
  if (areas) {
    std::cout << "\nTotal files scanned : " << summary.totalFiles << "\n"
              << "Safe files scanned: " << summary.safeFiles << "\n"
              << "Threats Found : " << summary.threats << "\n"
              << "Unknown Files: " << summary.unknownFiles << "\n";
    for (const auto& [title, count] : shownAreaCounts(state))
      std::cout << title << " : " << count << "\n";
  } else {
    std::cout << "\nTotal files scanned : " << state.filesScanned << "\n"
              << "Threats Found : " << threats << "\n";
  }
  if (state.filesNotChecked > 0)
    std::cout << "Files not checked : " << state.filesNotChecked << "\n";
  std::cout << std::flush;
}

/// The paths of the --file-list files ("-": standard input), one a line; blank lines skipped.
std::vector<std::string> listedPaths(platform::Platform& p, const ScanOptions& options) {
  std::vector<std::string> paths;
  for (const std::string& list : options.fileLists) {
    std::string text = list == "-" ? std::string(std::istreambuf_iterator<char>(std::cin), {})
                                   : readNamedFile(p, list);
    for (std::string_view line : app::splitLines(text))
      if (!line.empty())
        paths.emplace_back(line);
  }
  return paths;
}

/// The data on standard input, checked as a file of its own ("stdin"): true when it is listed.
/// Nothing can be deleted or quarantined there; the detection is reported and counted.
bool checkStandardInput(platform::Platform& p, const std::string& home,
                        engine::SignatureDatabase& signatures, CliObserver& observer) {
  auto md5 = p.crypto.newMd5();
  if (!md5)
    throw CommandError{"standard input: " + md5.error().message()};
  std::uint64_t size = 0;
  char buffer[64 * 1024];
  // Data at the size limit is never looked up (as a file of that size): reading stops there.
  while (size < scan::kSizeLimit && (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0)) {
    auto n = static_cast<std::size_t>(std::cin.gcount());
    size += n;
    (*md5)->update(buffer, n);
  }
  auto digest = (*md5)->finish();
  if (!digest)
    throw CommandError{"standard input: " + digest.error().message()};
  std::string text = app::toLower(engine::digestText(*digest));
  engine::SafeList safe(p.files, platform::joinPath(home, app::kSafeFile));
  if (size >= scan::kSizeLimit || !signatures.current()->contains(engine::fileKey(text, size)) ||
      safe.contains(text))
    return false;
  threats::ThreatRow row{"stdin", "stdin", false, std::nullopt, false, {}, size, "none"};
  observer.detected(row, text);
  return true;
}

} // namespace

void addScanCommand(CLI::App& app, Context& context, int& status) {
  auto* cmd = app.add_subcommand("scan", "Scan folders and files for known threats");
  auto options = std::make_shared<ScanOptions>();
  cmd->add_option("PATH", options->paths,
                  "Folders to walk and files to check; - checks the data on standard input");
  addActionOption(cmd, *options);
  addOutputOptions(cmd, *options);
  cmd->add_flag("--all-files", options->allFiles,
                "Check every regular file, not only programs");
  cmd->add_flag("-r,--recursive", options->recursive,
                "Accepted for habit: folders are always walked with their subfolders");
  cmd->add_option("--exclude", options->excludeFiles,
                  "Leave out walked files whose path matches this regular expression "
                  "(repeatable)")
      ->allow_extra_args(false);
  cmd->add_option("--exclude-dir", options->excludeFolders,
                  "Do not enter folders whose path matches this regular expression (repeatable)")
      ->allow_extra_args(false);
  cmd->add_option("-f,--file-list", options->fileLists,
                  "Also check the paths in this file, one a line (- reads them from standard "
                  "input)")
      ->allow_extra_args(false);
  cmd->callback([&context, &status, options] {
    if (options->paths.empty() && options->fileLists.empty())
      throw CommandError{"scan: name a PATH or give --file-list"};
    bool dataFromInput =
        std::find(options->paths.begin(), options->paths.end(), "-") != options->paths.end();
    bool listFromInput = std::find(options->fileLists.begin(), options->fileLists.end(), "-") !=
                         options->fileLists.end();
    if (dataFromInput && listFromInput)
      throw CommandError{"scan: - and --file-list - cannot both read standard input"};
    bool failed = false;
    long long notChecked = 0;
    auto started = std::chrono::steady_clock::now();
    int found = withRunner(context, *options, [&](scan::ScanRunner& runner,
                                                  platform::Platform& p,
                                                  engine::SignatureDatabase& signatures) {
      std::vector<std::string> given = options->paths;
      std::vector<std::string> listed = listedPaths(p, *options);
      given.insert(given.end(), listed.begin(), listed.end());
      std::vector<std::string> targets;
      bool readStandardInput = false;
      for (const std::string& name : given) {
        if (name == "-") {
          readStandardInput = true;
          continue;
        }
        std::string path = app::absolutePath(name, p.environment.currentDirectory());
        // The links of a named path are resolved once, here: what is walked and acted on is
        // then addressed by its real path.
        auto real = p.files.canonicalPath(path);
        auto st = real ? p.files.status(*real) : platform::ErrorOr<platform::FileStatus>(real.error());
        std::error_code error = st ? std::error_code() : st.error();
        if (st && st->kind == platform::FileKind::Other)
          error = platform::FileError::NotRegular;
        if (error) {
          if (options->json)
            runner.checker().observer->problem(name, "cannot be checked: " + error.message());
          else
            std::cerr << "quorvane: " << printable(name) << ": " << error.message() << '\n';
          failed = true;
          continue;
        }
        targets.push_back(*real);
      }
      int threats = targets.empty() ? 0 : runner.startCustomScan(targets);
      if (readStandardInput &&
          checkStandardInput(p, context.appFolder(), signatures,
                             *static_cast<CliObserver*>(runner.checker().observer)))
        ++threats;
      printSummary(runner, *options, threats, started, false);
      notChecked = runner.state().filesNotChecked;
      return threats;
    });
    status = failed ? kExitError : exitStatus(found, notChecked > 0); // a bad name wins
  });

  struct RunCommand {
    const char* name;
    const char* help;
    int (scan::ScanRunner::*run)();
  };
  static const RunCommand kRuns[] = {
      {"quick", "Quick Scan: the files of every module of every running process",
       &scan::ScanRunner::startQuickScan},
      {"smart",
       "Smart Scan: memory, the system folder (setting \"windows folder\", else /usr or the "
       "Windows folder), startup entries and registered components",
       &scan::ScanRunner::startSmartScan},
  };
  for (const RunCommand& command : kRuns) {
    auto* cmd = app.add_subcommand(command.name, command.help);
    auto runOptions = std::make_shared<ScanOptions>();
    addActionOption(cmd, *runOptions);
    addOutputOptions(cmd, *runOptions);
    cmd->callback([&context, &status, runOptions, &command] {
      long long notChecked = 0;
      auto started = std::chrono::steady_clock::now();
      int found = withRunner(context, *runOptions,
                             [&](scan::ScanRunner& runner, platform::Platform&,
                                 engine::SignatureDatabase&) {
                               int threats = (runner.*command.run)();
                               printSummary(runner, *runOptions, threats, started, true);
                               notChecked = runner.state().filesNotChecked;
                               return threats;
                             });
      status = exitStatus(found, notChecked > 0);
    });
  }
}

} // namespace quorvane::cli
