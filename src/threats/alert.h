// The threat alert: the record of a detection found outside an on-demand scan, and what the
// alert can do with it (by the user's choice, or at once by the "threatfound" setting).
#pragma once

#include "platform/platform.h"

#include <string>

namespace quorvane::threats {

/// The host of the file-information site when the setting "info site" is blank.
inline constexpr const char* kDefaultInfoSite = "info.quorvane.com";

struct AlertRecord {
  std::string name;   ///< file name (process image name or file name)
  std::string digest; ///< lower-case MD5
  std::string path;   ///< full path
  platform::ProcessId pid = 0;

  /// The four fields joined by "|".
  std::string text() const;
  /// A record from its text; missing fields stay empty (pid 0).
  static AlertRecord parse(const std::string& text);
};

class ThreatAlert {
public:
  ThreatAlert(platform::Platform& platform, std::string appFolder)
      : p_(platform), folder_(std::move(appFolder)) {}

  /// Shows the alert through the notifier, then acts by "threatfound": 1 deletes the file,
  /// 2 quarantines it; anything else leaves the choice to the user.
  void showThreatAlert(const AlertRecord& record);

  /// "Delete this file".
  void deleteThisFile(const AlertRecord& record);
  /// "Quarantine this file": copied under its name, then deleted once the copy exists.
  void quarantineThisFile(const AlertRecord& record);
  /// The safe-list link: the digest as one line of safe.sig.
  void markSafe(const AlertRecord& record);
  /// "Read more about this file": https://HOST/md/<first digest digit>/<name><digest>.html,
  /// the name lower-cased without , \ / : ? ~.
  std::string readMoreUrl(const AlertRecord& record);

private:
  platform::Platform& p_;
  std::string folder_;
};

} // namespace quorvane::threats
