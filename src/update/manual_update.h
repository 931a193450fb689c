// The manual update: asks, reads the server's manifest, and installs a newer vir.sig.
#pragma once

#include <functional>

#include "platform/platform.h"
#include "update/download.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::update {

inline constexpr std::string_view kUpdateQuestion =
    "We will check our server for new updates, would you like to procceed?";
inline constexpr std::string_view kUpdateTitle = "malware definition updates";
inline constexpr std::string_view kUpToDateText = "Antivirus databasees are up to date";
inline constexpr std::string_view kUpdatedText = "Successfully updated the Antimalware engine";

enum class UpdateOutcome { Declined, UpToDate, Updated, Failed };

/// The first line of "/updates.txt": "number|url[|...]".
struct Manifest {
  std::int16_t number = 0;
  std::string url; ///< blanks around it trimmed
};
/// Nothing when the text is not a manifest (no "|", a number that is not a 16-bit integer, no
/// URL).
std::optional<Manifest> parseManifest(std::string_view text);

/// A date as "dd-mm-yyyy", the form of the "last update" setting.
std::string updateDateText(const platform::LocalDateTime& when);

class ManualUpdate {
public:
  ManualUpdate(platform::Platform& platform, std::string appFolder)
      : p_(platform), appFolder_(std::move(appFolder)) {}

  /// Receives the download bar's values.
  ProgressFn progress;
  /// Told when the question was answered yes and the server is about to be asked.
  std::function<void()> asked;

  /// The whole check, messages included. vir.sig changes only when a newer, complete and valid
  /// signature file has arrived; the running table takes it up at its next rebuild.
  UpdateOutcome checkUpdateNow();

  /// Set once a download has completed (and never reset), as the window's flag is.
  bool downloadFinished() const { return downloadFinished_; }

  /// Why the last check failed.
  const std::string& failure() const { return failure_; }
  /// Whether the last check demanded signatures: true when the application folder trusts at
  /// least one key, and then nothing unsigned was installed.
  bool authenticated() const { return authenticated_; }

private:
  UpdateOutcome fail(const std::string& why);


  platform::Platform& p_;
  std::string appFolder_;
  std::string failure_;
  bool downloadFinished_ = false;
  bool authenticated_ = false;
};

} // namespace quorvane::update
