// Session integration through freedesktop.org files: XDG autostart entries for log-on tasks and
// a desktop entry for folders (inode/directory) for the file manager's action.
#include "platform/linux/linux_platform.h"

#include <cctype>
#include <cstdlib>

namespace quorvane::platform {
namespace {

/// "Quorvane Anti Malware" -> "quorvane-anti-malware".
std::string fileStem(const std::string& name) {
  std::string stem;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (std::isalnum(u))
      stem += static_cast<char>(std::tolower(u));
    else if (!stem.empty() && stem.back() != '-')
      stem += '-';
  }
  while (!stem.empty() && stem.back() == '-')
    stem.pop_back();
  return stem.empty() ? "quorvane" : stem;
}

/// One argument of an Exec line, quoted as the desktop entry format asks.
std::string execWord(const std::string& word) {
  bool plain = !word.empty() && word.find_first_of(" \t\n\"'\\><~|&;$*?#()`%=") == std::string::npos;
  if (plain)
    return word;
  std::string quoted = "\"";
  for (char c : word) {
    if (c == '"' || c == '`' || c == '$' || c == '\\')
      quoted += '\\';
    if (c == '%')
      quoted += '%';
    quoted += c;
  }
  return quoted + "\"";
}

/// Desktop entry values escape backslashes once more, and cannot hold line breaks.
std::string entryValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

/// The start of an Exec line: the program, through env(1) when it starts with settings of its
/// own.
std::string execStart(const std::vector<std::string>& environment, const std::string& program) {
  std::string exec;
  if (!environment.empty()) {
    exec = "env";
    for (const std::string& setting : environment)
      exec += " " + execWord(setting);
    exec += " ";
  }
  return exec + execWord(program);
}

std::string folderOf(const char* variable, const char* fallbackBelowHome) {
  if (const char* value = std::getenv(variable); value && *value == '/')
    return value;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/" + fallbackBelowHome;
}

} // namespace

LinuxIntegration::LinuxIntegration()
    : LinuxIntegration(folderOf("XDG_CONFIG_HOME", ".config") + "/autostart",
                       folderOf("XDG_DATA_HOME", ".local/share") + "/applications") {}

LinuxIntegration::LinuxIntegration(std::string autostartFolder, std::string applicationsFolder)
    : autostart_(std::move(autostartFolder)), applications_(std::move(applicationsFolder)) {}

std::string LinuxIntegration::logonTaskFile(const std::string& name) const {
  return joinPath(autostart_, fileStem(name) + ".desktop");
}

std::string LinuxIntegration::folderActionFile(const std::string& name) const {
  return joinPath(applications_, fileStem(name) + ".desktop");
}

std::error_code LinuxIntegration::createLogonTask(const LogonTask& task) {
  std::string exec = execStart(task.environment, task.program);
  for (const std::string& argument : task.arguments)
    exec += " " + execWord(argument);
  std::string entry = "[Desktop Entry]\n"
                      "Type=Application\n"
                      "Name=" + entryValue(task.name) + "\n"
                      "Exec=" + entryValue(exec) + "\n"
                      "NoDisplay=true\n"
                      "X-GNOME-Autostart-enabled=true\n";
  if (std::error_code error = createFolderPath(files_, autostart_))
    return error;
  return files_.writeFile(logonTaskFile(task.name), entry); // whole or not at all
}

std::error_code LinuxIntegration::deleteLogonTask(const std::string& name) {
  std::error_code error = files_.removeFile(logonTaskFile(name));
  return error == std::errc::no_such_file_or_directory ? std::error_code() : error;
}

std::error_code LinuxIntegration::installFolderAction(const FolderAction& action) {
  std::string entry = "[Desktop Entry]\n"
                      "Type=Application\n"
                      "Name=" + entryValue(action.name) + "\n"
                      "Exec=" + entryValue(execStart(action.environment, action.program) + " %f") + "\n"
                      "Icon=" + entryValue(action.icon) + "\n"
                      "MimeType=inode/directory;\n"
                      "NoDisplay=true\n"
                      "Terminal=false\n";
  if (std::error_code error = createFolderPath(files_, applications_))
    return error;
  return files_.writeFile(folderActionFile(action.name), entry);
}

std::error_code LinuxIntegration::removeFolderAction(const std::string& name) {
  std::error_code error = files_.removeFile(folderActionFile(name));
  return error == std::errc::no_such_file_or_directory ? std::error_code() : error;
}

} // namespace quorvane::platform
