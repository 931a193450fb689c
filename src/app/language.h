// Language files: every caption of the windows can come from an INI file in lang/.
#pragma once

#include "platform/platform.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::app {

inline constexpr std::string_view kLanguageFolder = "lang";
inline constexpr std::string_view kDefaultLanguageFile = "english.ini";
inline constexpr std::string_view kLanguageSection = "001";
/// The files the chooser knows by name.
inline constexpr std::array<std::string_view, 10> kLanguageFiles = {
    "english.ini", "arabic.ini",  "dutch.ini",  "france.ini",  "Italy.ini",
    "poland.ini",  "portugees.ini", "russia.ini", "spanish.ini", "turkish.ini"};
/// A caption uses at most this many characters of its value.
inline constexpr std::size_t kLanguageTextLimit = 254;

class Language {
public:
  Language(platform::Platform& platform, std::string appFolder)
      : p_(platform), folder_(std::move(appFolder)) {}

  /// Reads the setting "language" ("english.ini" when blank, blanks trimmed), makes it the
  /// current file and reads its texts. Returns the file name.
  std::string loadLanguage();
  /// The current file's text for a key, cut to 254 characters. A key the file lacks (or a file
  /// that is missing) falls back to english.ini, then to `designText`.
  std::string readLanguageText(std::string_view key, std::string_view designText = {}) const;
  /// The files the chooser offers: the known names present in lang/ in their order, then any
  /// other .ini files there.
  std::vector<std::string> availableLanguages();
  /// The chooser: stores the name as "language" and loads it.
  void chooseLanguage(const std::string& fileName);
  const std::string& currentFile() const { return current_; }
  /// Where a language file lives.
  std::string pathOf(std::string_view fileName) const;

private:
  platform::Platform& p_;
  std::string folder_;
  std::string current_{kDefaultLanguageFile};
  std::optional<std::string> chosenText_;  ///< the current file's content
  std::optional<std::string> englishText_; ///< english.ini's content
};

/// At most `limit` bytes of the text, never cutting a UTF-8 character in two.
std::string cutText(std::string text, std::size_t limit);

} // namespace quorvane::app
