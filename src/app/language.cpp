// Language files.
#include "app/language.h"

#include "app/ini.h"
#include "app/settings.h"
#include "app/text.h"

#include <algorithm>

namespace quorvane::app {

std::string cutText(std::string text, std::size_t limit) {
  if (text.size() <= limit)
    return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end; // text[end] continues a character that starts before the cut
  text.resize(end);
  return text;
}

std::string Language::pathOf(std::string_view fileName) const {
  return platform::joinPath(platform::joinPath(folder_, std::string(kLanguageFolder)),
                            std::string(trimBlanks(fileName)));
}

std::string Language::loadLanguage() {
  std::string chosen(trimBlanks(SettingsStore(p_).setting("language")));
  current_ = chosen.empty() ? std::string(kDefaultLanguageFile) : chosen;
  auto text = p_.files.readFile(pathOf(current_));
  chosenText_ = text ? std::optional(*text) : std::nullopt;
  auto english = p_.files.readFile(pathOf(kDefaultLanguageFile));
  englishText_ = english ? std::optional(*english) : std::nullopt;
  return current_;
}

std::string Language::readLanguageText(std::string_view key, std::string_view designText) const {
  for (const std::optional<std::string>* text : {&chosenText_, &englishText_}) {
    if (!*text)
      continue;
    if (std::optional<std::string> value = iniLookup(**text, kLanguageSection, key))
      return cutText(*value, kLanguageTextLimit);
  }
  return cutText(std::string(designText), kLanguageTextLimit);
}

std::vector<std::string> Language::availableLanguages() {
  std::vector<std::string> present;
  auto entries = p_.files.listDirectory(platform::joinPath(folder_, std::string(kLanguageFolder)));
  if (!entries)
    return present;
  auto isFile = [&](std::string_view name) {
    return std::any_of(entries->begin(), entries->end(), [&](const platform::DirEntry& entry) {
      return entry.kind == platform::FileKind::Regular && entry.name == name;
    });
  };
  for (std::string_view known : kLanguageFiles)
    if (isFile(known))
      present.emplace_back(known);
  std::vector<std::string> others;
  for (const platform::DirEntry& entry : *entries) {
    bool ini = entry.name.size() > 4 && equalsIgnoreCase(entry.name.substr(entry.name.size() - 4), ".ini");
    if (entry.kind == platform::FileKind::Regular && ini &&
        std::find(present.begin(), present.end(), entry.name) == present.end())
      others.push_back(entry.name);
  }
  std::sort(others.begin(), others.end());
  present.insert(present.end(), others.begin(), others.end());
  return present;
}

void Language::chooseLanguage(const std::string& fileName) {
  SettingsStore(p_).setSetting("language", fileName);
  loadLanguage();
}

} // namespace quorvane::app
