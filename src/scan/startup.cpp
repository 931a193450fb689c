// Startup entries and registered components.
#include "scan/startup.h"

#include "app/settings.h"
#include "app/text.h"
#include "threats/process_helpers.h"

#include <algorithm>
#include <cctype>

namespace quorvane::scan {
namespace {

bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

/// Splits off the first `count` blank-separated fields; the rest of the line follows them.
std::vector<std::string_view> fields(std::string_view line, int count) {
  std::vector<std::string_view> out;
  for (int i = 0; i < count; ++i) {
    std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos)
      return out;
    line.remove_prefix(start);
    std::size_t end = line.find_first_of(" \t");
    out.push_back(line.substr(0, end));
    line = end == std::string_view::npos ? std::string_view() : line.substr(end);
  }
  out.push_back(app::trimBlanks(line));
  return out;
}

/// The text with every double quote dropped.
std::string withoutQuotes(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != '"')
      out += c;
  return out;
}

} // namespace

std::string expandVariables(std::string_view text, const VariableLookup& lookup) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    char c = text[i];
    if (c == '%') {
      std::size_t close = text.find('%', i + 1);
      if (close != std::string_view::npos && close > i + 1) {
        if (auto value = lookup(std::string(text.substr(i + 1, close - i - 1)))) {
          out += *value;
          i = close + 1;
          continue;
        }
      }
    } else if (c == '$' && i + 1 < text.size()) {
      std::size_t start = i + 1, end;
      bool braced = text[start] == '{';
      if (braced) {
        end = text.find('}', start);
        if (end != std::string_view::npos)
          if (auto value = lookup(std::string(text.substr(start + 1, end - start - 1)))) {
            out += *value;
            i = end + 1;
            continue;
          }
      } else {
        end = start;
        while (end < text.size() && isNameChar(text[end]))
          ++end;
        if (end > start)
          if (auto value = lookup(std::string(text.substr(start, end - start)))) {
            out += *value;
            i = end;
            continue;
          }
      }
    }
    out += c;
    ++i;
  }
  return out;
}

namespace {

/// The first word of a command (quotes honoured), variables expanded; a bare name is looked up
/// in the folders of PATH.
std::string firstWordProgram(std::string_view trimmed, const VariableLookup& lookup,
                             const std::function<bool(const std::string&)>& isFile) {
  // The word runs to the first blank outside double quotes, as a shell reads it ("a b"c is
  // the one word a bc); the quotes are not part of it.
  std::string word;
  bool quoted = false;
  for (char c : trimmed) {
    if (c == '"')
      quoted = !quoted;
    else if (!quoted && (c == ' ' || c == '\t'))
      break;
    else
      word += c;
  }
  word = expandVariables(word, lookup);
  if (word.empty() || word.find('/') != std::string::npos)
    return word;
  // A bare name runs from the first folder of PATH that holds it.
  std::string searchPath = lookup("PATH").value_or("/usr/local/bin:/usr/bin:/bin");
  std::size_t pos = 0;
  while (pos <= searchPath.size()) {
    std::size_t colon = searchPath.find(':', pos);
    std::string folder = searchPath.substr(pos, colon == std::string::npos ? colon : colon - pos);
    if (!folder.empty() && isFile(platform::joinPath(folder, word)))
      return platform::joinPath(folder, word);
    if (colon == std::string::npos)
      break;
    pos = colon + 1;
  }
  return word;
}

} // namespace

std::string extractProgramPath(std::string_view command, const VariableLookup& lookup,
                               const std::function<bool(const std::string&)>& isFile) {
  std::string_view trimmed = app::trimSpace(command);
  std::string text = withoutQuotes(trimmed);
  std::string lower = app::toLower(text);
  for (const char* extension : {".exe", ".dll", ".msi", ".bat", ".com", ".ocx"}) {
    std::size_t at = lower.find(extension);
    if (at == std::string::npos)
      continue;
    // The path ends with the extension (the blank before the arguments is not kept: on this
    // system a trailing blank would be part of the name).
    std::string cut = expandVariables(app::trimSpace(text.substr(0, at + 4)), lookup);
    if (isFile(cut))
      return cut;
    // An extension past the first word stands in the arguments ("miner -o
    // pool.example.com:4444"): the first word is the program then.
    std::size_t firstEnd = !trimmed.empty() && trimmed.front() == '"'
                               ? trimmed.substr(1).find('"')
                               : text.find_first_of(" \t");
    if (firstEnd != std::string::npos && at >= firstEnd)
      return firstWordProgram(trimmed, lookup, isFile);
    return cut;
  }
  // No program extension: the first word, quotes honoured.
  return firstWordProgram(trimmed, lookup, isFile);
}

std::vector<std::string> parseCrontab(std::string_view text, bool systemFormat) {
  std::vector<std::string> commands;
  for (std::string_view line : app::splitLines(text)) {
    line = app::trimBlanks(line);
    if (line.empty() || line.front() == '#')
      continue;
    if (line.front() == '@') {
      auto parts = fields(line, systemFormat ? 2 : 1);
      if (parts.size() == (systemFormat ? 3u : 2u) && !parts.back().empty())
        commands.emplace_back(parts.back());
      continue;
    }
    // NAME=value sets a variable: the first word holds an "=" before any blank.
    std::size_t eq = line.find('=');
    std::size_t blank = line.find_first_of(" \t");
    if (eq != std::string_view::npos && (blank == std::string_view::npos || eq < blank))
      continue;
    auto parts = fields(line, systemFormat ? 6 : 5);
    if (parts.size() == (systemFormat ? 7u : 6u) && !parts.back().empty())
      commands.emplace_back(parts.back());
  }
  return commands;
}

UnitFile parseUnitFile(std::string_view text) {
  UnitFile unit;
  std::string section;
  std::string pending; // a line continued with "\"
  for (std::string_view raw : app::splitLines(text)) {
    std::string_view line = app::trimBlanks(raw);
    if (pending.empty() && (line.empty() || line.front() == '#' || line.front() == ';'))
      continue;
    if (!line.empty() && line.back() == '\\') {
      pending += std::string(line.substr(0, line.size() - 1)) + " ";
      continue;
    }
    std::string full = pending + std::string(line);
    pending.clear();
    if (full.size() >= 2 && full.front() == '[' && full.back() == ']') {
      section = full.substr(1, full.size() - 2);
      continue;
    }
    std::size_t eq = full.find('=');
    if (eq == std::string::npos)
      continue;
    std::string key(app::trimBlanks(std::string_view(full).substr(0, eq)));
    std::string value(app::trimBlanks(std::string_view(full).substr(eq + 1)));
    auto& values = unit[section][key];
    if (value.empty())
      values.clear(); // an empty assignment resets the list
    else
      values.push_back(value);
  }
  return unit;
}

std::string stripExecPrefixes(std::string_view exec) {
  exec = app::trimBlanks(exec);
  while (!exec.empty() && std::string_view("-@+!:").find(exec.front()) != std::string_view::npos)
    exec.remove_prefix(1);
  return std::string(exec);
}

std::string desktopEntryCommand(std::string_view text) {
  bool inEntry = false;
  for (std::string_view raw : app::splitLines(text)) {
    std::string_view line = app::trimBlanks(raw);
    if (line.empty() || line.front() == '#')
      continue;
    if (line.front() == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    std::size_t eq = line.find('=');
    if (!inEntry || eq == std::string_view::npos || app::trimBlanks(line.substr(0, eq)) != "Exec")
      continue;
    std::string_view value = app::trimBlanks(line.substr(eq + 1));
    std::string command;
    for (std::size_t i = 0; i < value.size(); ++i) {
      char c = value[i];
      if (c == '\\' && i + 1 < value.size()) {
        char next = value[++i];
        command += next == 's'   ? ' '
                   : next == 'n' ? '\n'
                   : next == 't' ? '\t'
                   : next == 'r' ? '\r'
                                 : next;
      } else if (c == '%' && i + 1 < value.size()) {
        if (value[++i] == '%')
          command += '%'; // any other field code stands for what the launcher passes
      } else {
        command += c;
      }
    }
    return std::string(app::trimBlanks(command));
  }
  return {};
}

const std::vector<std::pair<std::string, std::string>>& runKeys() {
  static const std::vector<std::pair<std::string, std::string>> keys = {
      {"HKLM", "Software\\Microsoft\\windows\\currentversion\\run"},
      {"HKLM", "Software\\Microsoft\\windows\\currentversion\\RunOnce"},
      {"HKLM", "Software\\Microsoft\\windows\\currentversion\\RunServicesOnce"},
      {"HKLM", "Software\\Microsoft\\windows\\currentversion\\RunOnceEx"},
      {"HKCU", "Software\\Microsoft\\windows\\currentversion\\run"},
      {"HKCU", "Software\\Microsoft\\windows\\currentversion\\RunOnce"},
      {"HKCU", "Software\\Microsoft\\windows\\currentversion\\RunServicesOnce"},
      {"HKCU", "Software\\Microsoft\\windows\\currentversion\\RunOnceEx"},
  };
  return keys;
}

bool StartupCollector::isFile(const std::string& path) {
  auto status = p_.files.status(path);
  return status && status->kind == platform::FileKind::Regular;
}

namespace {

/// UTF-16LE bytes as UTF-8; unpaired surrogates become U+FFFD.
std::string utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  auto unit = [&](std::size_t i) {
    return static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) |
                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
        unit(i + 2) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string withoutXmlEscapes(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kEscapes[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool replaced = false;
    if (text[i] == '&')
      for (const auto& [escape, c] : kEscapes)
        if (text.substr(i, escape.size()) == escape) {
          out += c;
          i += escape.size() - 1;
          replaced = true;
          break;
        }
    if (!replaced)
      out += text[i];
  }
  return out;
}

/// The text up to and with the first ".exe" of `lower`, quotes already dropped; empty without.
std::string cutAfterExe(std::string_view lower) {
  std::size_t at = lower.find(".exe");
  if (at == std::string_view::npos)
    return {};
  return std::string(app::trimSpace(lower.substr(0, at + 4)));
}

} // namespace

std::vector<std::string> taskCommands(std::string_view definition) {
  std::string text;
  if (definition.starts_with("\xFF\xFE"))
    text = utf16LeToUtf8(definition.substr(2));
  else if (definition.starts_with("\xEF\xBB\xBF"))
    text = definition.substr(3);
  else
    text = definition;
  std::vector<std::string> commands;
  constexpr std::string_view kOpen = "<Command>", kClose = "</Command>";
  for (std::size_t at = text.find(kOpen); at != std::string::npos; at = text.find(kOpen, at)) {
    at += kOpen.size();
    std::size_t end = text.find(kClose, at);
    if (end == std::string::npos)
      break;
    commands.push_back(withoutXmlEscapes(app::trimSpace(std::string_view(text).substr(at, end - at))));
    at = end + kClose.size();
  }
  return commands;
}

std::string taskProgramPath(std::string_view command) {
  return cutAfterExe(app::toLower(withoutQuotes(app::trimSpace(command))));
}

std::string serviceProgramPath(std::string_view imagePath) {
  std::string p = app::toLower(app::trimSpace(imagePath));
  if (p.find(".exe") == std::string::npos)
    return {};
  for (std::size_t at = p.find("\\systemroot"); at != std::string::npos;
       at = p.find("\\systemroot", at + 8))
    p.replace(at, 11, "%windir%");
  p = withoutQuotes(p);
  if (p.starts_with("system32\\"))
    p = "%windir%\\" + p;
  p = cutAfterExe(p);
  if (p.find('\\') == std::string::npos)
    p = "%windir%\\system32\\" + p;
  return p;
}

VariableLookup StartupCollector::variables() {
  return [this](const std::string& name) { return p_.environment.variable(name); };
}

std::string StartupCollector::programOf(std::string_view command) {
  return extractProgramPath(command, variables(),
                            [this](const std::string& path) { return isFile(path); });
}

std::vector<StartupCandidate> StartupCollector::runKeyEntries() {
  std::vector<StartupCandidate> out;
  app::SettingsStore store(p_);
  for (const auto& [root, key] : runKeys()) {
    platform::Hive hive = root == "HKLM" ? platform::Hive::LocalMachine : platform::Hive::CurrentUser;
    std::vector<std::string> names;
    store.listValueNames(root, key, names);
    for (const std::string& name : names) {
      app::RegistryData data = store.getRegistryValue(hive, key, name, std::string());
      auto* text = std::get_if<std::string>(&data);
      if (!text || app::trimSpace(*text).empty())
        continue;
      std::string path = programOf(*text);
      auto status = p_.files.status(path);
      if (path.empty() || !status || status->kind != platform::FileKind::Regular ||
          status->size == 0)
        continue;
      out.push_back({path, root + "|" + key + "|" + name + "|" + path});
    }
  }
  return out;
}

std::optional<std::string> StartupCollector::configFolder() {
  if (auto config = p_.environment.variable("XDG_CONFIG_HOME"); config && !config->empty())
    return *config;
  if (auto home = p_.environment.variable("HOME"); home && !home->empty())
    return platform::joinPath(*home, ".config");
  return std::nullopt;
}

std::vector<std::string> StartupCollector::autostartFiles() {
  std::vector<std::string> out;
  if (std::optional<std::string> config = configFolder())
    for (const std::string& path : regularFilesIn(platform::joinPath(*config, "autostart"))) {
      out.push_back(path); // the entry itself
      if (auto text = p_.files.readFile(path))
        if (std::string program = programOf(desktopEntryCommand(*text)); !program.empty())
          out.push_back(program); // and what it starts
    }
  // The Startup folder's files start as they are: shortcuts are checked, not followed.
  if (std::optional<std::string> startup = p_.environment.userStartupFolder())
    for (std::string& path : regularFilesIn(*startup))
      out.push_back(std::move(path));
  return out;
}

std::vector<std::string> StartupCollector::regularFilesIn(const std::string& folder) {
  std::vector<std::string> files;
  auto entries = p_.files.listDirectory(folder);
  if (!entries)
    return files;
  std::sort(entries->begin(), entries->end(),
            [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.name < b.name; });
  for (const platform::DirEntry& entry : *entries)
    if (entry.kind == platform::FileKind::Regular)
      files.push_back(platform::joinPath(folder, entry.name));
  return files;
}

std::optional<UnitFile> StartupCollector::readUnit(const std::string& name,
                                                   const std::vector<std::string>& folders) {
  for (const std::string& folder : folders)
    if (auto text = p_.files.readFile(platform::joinPath(folder, name)))
      return parseUnitFile(*text);
  return std::nullopt;
}

std::vector<std::string> StartupCollector::scheduledTaskProgramPaths() {
  std::vector<std::string> commands;
  if (!userCrontab)
    if (auto text = p_.files.readFile("/var/spool/cron/crontabs/" + p_.environment.userName()))
      userCrontab = *text;
  if (userCrontab)
    for (std::string& c : parseCrontab(*userCrontab, false))
      commands.push_back(std::move(c));
  if (auto text = p_.files.readFile(systemCrontab))
    for (std::string& c : parseCrontab(*text, true))
      commands.push_back(std::move(c));
  for (const std::string& file : regularFilesIn(cronFolder))
    if (auto text = p_.files.readFile(file))
      for (std::string& c : parseCrontab(*text, true))
        commands.push_back(std::move(c));
  std::vector<std::string> out;
  for (const std::string& command : commands)
    if (std::string path = programOf(command); !path.empty())
      out.push_back(path);

  // Scripts that cron runs as they are.
  for (const std::string& folder : cronScriptFolders)
    for (std::string& file : regularFilesIn(folder))
      out.push_back(std::move(file));
  for (std::string& path : timerExecs(unitFolders))
    out.push_back(std::move(path));
  for (std::string& path : timerExecs(userUnitFolderList()))
    out.push_back(std::move(path));
  for (std::string& path : taskProgramPaths())
    out.push_back(std::move(path));
  return out;
}

/// The programs of the task definitions in the task folder and the folders below it.
std::vector<std::string> StartupCollector::taskProgramPaths() {
  std::vector<std::string> out;
  std::string root = !taskFolder.empty() ? taskFolder
                                         : platform::joinPath(p_.environment.systemFolder(),
                                                              "System32/Tasks");
  std::vector<std::pair<std::string, int>> folders{{root, 0}};
  while (!folders.empty()) {
    auto [folder, depth] = std::move(folders.back());
    folders.pop_back();
    auto entries = p_.files.listDirectory(folder);
    if (!entries)
      continue;
    // A folder's files by name, then its subfolders by name (links are not followed).
    std::sort(entries->begin(), entries->end(),
              [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.name < b.name; });
    for (auto entry = entries->rbegin(); entry != entries->rend(); ++entry)
      if (entry->kind == platform::FileKind::Directory && depth < 16)
        folders.emplace_back(platform::joinPath(folder, entry->name), depth + 1);
    for (const platform::DirEntry& entry : *entries) {
      std::string path = platform::joinPath(folder, entry.name);
      if (entry.kind != platform::FileKind::Regular)
        continue;
      if (auto text = p_.files.readFile(path))
        for (const std::string& command : taskCommands(*text))
          if (std::string program = taskProgramPath(command); !program.empty())
            out.push_back(expandVariables(program, variables()));
    }
  }
  return out;
}

/// The programs of the services registered in the registry that have a display name.
std::vector<std::string> StartupCollector::registeredServicePaths() {
  std::vector<std::string> out;
  app::SettingsStore store(p_);
  std::vector<std::string> services;
  store.listSubkeys("HKLM", servicesKey, services);
  auto text = [&](const std::string& key, std::string_view name) {
    app::RegistryData data =
        store.getRegistryValue(platform::Hive::LocalMachine, key, name, std::string());
    auto* value = std::get_if<std::string>(&data);
    return value ? *value : std::string();
  };
  for (const std::string& service : services) {
    std::string key = servicesKey + "\\" + service;
    std::string image = text(key, "ImagePath");
    if (app::trimBlanks(text(key, "DisplayName")).empty() || app::trimBlanks(image).empty())
      continue;
    if (std::string program = serviceProgramPath(image); !program.empty())
      out.push_back(expandVariables(program, variables())); // missing: counted, not looked up
  }
  return out;
}

/// systemd timers: the program of the service each timer starts.
std::vector<std::string> StartupCollector::timerExecs(const std::vector<std::string>& folders) {
  std::vector<std::string> out;
  std::vector<std::string> timers;
  for (const std::string& folder : folders)
    if (auto entries = p_.files.listDirectory(folder))
      for (const platform::DirEntry& entry : *entries)
        if (entry.name.size() > 6 && entry.name.ends_with(".timer") &&
            std::find(timers.begin(), timers.end(), entry.name) == timers.end())
          timers.push_back(entry.name);
  std::sort(timers.begin(), timers.end());
  for (const std::string& timer : timers) {
    auto unit = readUnit(timer, folders);
    if (!unit)
      continue;
    std::string service = timer.substr(0, timer.size() - 6) + ".service";
    auto& target = (*unit)["Timer"]["Unit"];
    if (!target.empty())
      service = target.back();
    if (auto serviceUnit = readUnit(service, folders))
      for (const std::string& exec : (*serviceUnit)["Service"]["ExecStart"])
        if (std::string path = programOf(unitCommand(exec)); !path.empty())
          out.push_back(path);
  }
  return out;
}

std::vector<std::string> StartupCollector::userUnitFolderList() {
  if (!userUnitFolders.empty())
    return userUnitFolders;
  std::vector<std::string> folders;
  if (std::optional<std::string> config = configFolder())
    folders.push_back(platform::joinPath(*config, "systemd/user"));
  folders.push_back("/etc/systemd/user");
  folders.push_back("/usr/lib/systemd/user");
  return folders;
}

std::vector<std::string> StartupCollector::serviceProgramPaths() {
  std::vector<std::string> out = serviceExecs(unitFolders);
  for (std::string& path : serviceExecs(userUnitFolderList()))
    out.push_back(std::move(path));
  for (std::string& path : registeredServicePaths())
    out.push_back(std::move(path));
  return out;
}

std::string StartupCollector::unitCommand(std::string_view exec) {
  // The specifiers a unit's command line may hold for the user's home and a plain "%".
  std::string command;
  std::string stripped = stripExecPrefixes(exec);
  std::string_view text = stripped;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 'h' || text[i + 1] == '%')) {
      command +=
          text[++i] == '%' ? std::string("%") : p_.environment.variable("HOME").value_or("%h");
      continue;
    }
    command += text[i];
  }
  return command;
}

std::vector<std::string> StartupCollector::serviceExecs(const std::vector<std::string>& folders) {
  std::vector<std::string> names;
  for (const std::string& folder : folders)
    if (auto entries = p_.files.listDirectory(folder))
      for (const platform::DirEntry& entry : *entries)
        if (entry.name.ends_with(".service") && entry.name.find('@') == std::string::npos &&
            std::find(names.begin(), names.end(), entry.name) == names.end())
          names.push_back(entry.name); // the first folder holding a unit wins
  std::sort(names.begin(), names.end());
  std::vector<std::string> out;
  for (const std::string& name : names) {
    auto unit = readUnit(name, folders);
    if (!unit)
      continue;
    auto& description = (*unit)["Unit"]["Description"];
    if (description.empty() || app::trimBlanks(description.back()).empty())
      continue;
    for (const std::string& exec : (*unit)["Service"]["ExecStart"])
      if (std::string path = programOf(unitCommand(exec)); !path.empty())
        out.push_back(path); // no existence test: a missing file is counted, not looked up
  }
  return out;
}

std::vector<StartupCandidate> StartupCollector::scanStartupEntries() {
  std::vector<StartupCandidate> out = runKeyEntries();
  for (std::string& path : autostartFiles())
    out.push_back({std::move(path), {}});
  for (std::string& path : scheduledTaskProgramPaths())
    out.push_back({std::move(path), {}});
  for (std::string& path : serviceProgramPaths())
    out.push_back({std::move(path), {}});
  return out;
}

std::vector<StartupCandidate> StartupCollector::registeredComponents() {
  std::vector<StartupCandidate> out;
  app::SettingsStore store(p_);
  std::vector<std::string> classes;
  store.listSubkeys("HKCR", "clsid", classes);
  for (const std::string& id : classes) {
    app::RegistryData data = store.getRegistryValue(
        platform::Hive::ClassesRoot, "CLSID\\" + id + "\\InprocServer32", "", std::string());
    auto* text = std::get_if<std::string>(&data);
    if (!text || app::trimSpace(*text).empty())
      continue;
    std::string path = programOf(*text);
    if (!path.empty() && threats::fileExists(p_, path))
      out.push_back({path, "HKCR|CLSID\\" + id});
  }
  return out;
}

} // namespace quorvane::scan
