// What every subcommand of `quorvane` shares: the application folder and the platform.
#pragma once

#include "app/appfolder.h"
#include "platform/platform.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>

namespace quorvane::cli {

/// Exit statuses of the command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFound = 1; ///< also reg.exe's failure status
inline constexpr int kExitError = 2;

/// An error that ends the command with kExitError and a message on standard error.
struct CommandError {
  std::string message;
};

class Context {
public:
  std::optional<std::string> homeOption;

  /// The application folder, created (and seeded with the shipped data) when absent. Throws
  /// CommandError when it cannot be used.
  const std::string& appFolder();
  /// Which folder the rule picks and why, without creating anything.
  const app::AppFolderChoice& appFolderChoice();
  /// The platform with the registry store of the application folder.
  platform::Platform& platform();
  /// The platform without a registry store on disk (for commands that keep no settings).
  platform::Platform& detachedPlatform();

private:
  std::optional<std::string> appFolder_;
  std::optional<app::AppFolderChoice> choice_;
  std::unique_ptr<platform::SystemPlatform> system_;
};

void addKeyCommand(CLI::App& app, Context& context, int& status);
void addRegCommand(CLI::App& app, Context& context, int& status);
void addSettingsCommand(CLI::App& app, Context& context, int& status);
void addScanCommand(CLI::App& app, Context& context, int& status);
void addThreatCommands(CLI::App& app, Context& context, int& status);
void addSafeAndPendingCommands(CLI::App& app, Context& context, int& status);
void addSigCommand(CLI::App& app, Context& context, int& status);
void addUpdateCommand(CLI::App& app, Context& context, int& status);
void addMonitorCommand(CLI::App& app, Context& context, int& status);
void addScheduleCommands(CLI::App& app, Context& context, int& status);
void addPathsCommand(CLI::App& app, Context& context, int& status);

/// The signature update of `quorvane update` and of the updater program: the engine check when
/// vir.sig holds too few signatures, else the manual update. Messages go to standard output;
/// the question is answered yes when `assumeYes`, else read from standard input.
int runSignatureUpdate(Context& context, bool assumeYes, bool json = false);

/// Message boxes as lines on standard output (a lone CR breaks the line, as in a message box);
/// alerts as "Threat Found: RECORD" lines. Questions are answered yes when `assumeYes`, else
/// from standard input when `askInput` (no answer is no), else no.
class StdoutNotifier final : public platform::Notifier {
public:
  /// With `json`, each message is a {"event":"message"} object and each question a
  /// {"event":"question"} object with its answer (the prompt itself goes to standard error).
  StdoutNotifier(bool assumeYes, bool askInput, bool json = false)
      : assumeYes_(assumeYes), askInput_(askInput), json_(json) {}
  using Notifier::ask;
  using Notifier::messageBox;
  void messageBox(const std::string& text, const platform::MessageStyle& style) override;
  bool ask(const std::string& text, const platform::MessageStyle& style) override;
  void showThreatAlert(const std::string& record) override;

private:
  bool assumeYes_;
  bool askInput_;
  bool json_;
};

/// The digest and size of a file named on the command line (relative to the working folder);
/// nothing, with the reason on standard error, when it cannot be read.
struct NamedFile {
  std::string digest; ///< upper-case MD5
  std::uint64_t size = 0;
};
std::optional<NamedFile> fingerprintNamedFile(platform::Platform& platform,
                                              const std::string& given);

/// The whole content of a file named on the command line (relative to the working folder); the
/// command ends (CommandError) when it cannot be read.
std::string readNamedFile(platform::Platform& platform, const std::string& given);

/// The text with control characters and bytes that are not UTF-8 written as escapes, so that one
/// path always stays on one output line.
std::string printable(std::string_view text);

} // namespace quorvane::cli
