// Removable-drive protection.
#include "protect/drive_protect.h"

#include "app/settings.h"
#include "app/text.h"
#include "threats/process_helpers.h"

#include <algorithm>

namespace quorvane::protect {
namespace {

constexpr std::string_view kRemovedRootFiles[] = {"desktop.ini", "Recycler.exe", "System.exe",
                                                  "Purger.exe"};
constexpr std::string_view kRemovedFolders[] = {"recycler", ".trashes", "system"};
constexpr std::string_view kCheckedExtensions[] = {"ini", "exe", "com", "vbs", "js",  "dll",
                                                   "bat", "inf", "reg", "pif", "cmd", "db"};
constexpr std::string_view kThreatExtensions[] = {"vbs", "pif", "ini", "db"};
constexpr std::string_view kShortcutTargets[] = {"cmd.exe", "shell32.dll", "rundll32.exe",
                                                 "shell32.exe"};
/// An "autorun.inf" is a few lines; a larger one is read only this far.
constexpr std::size_t kAutorunReadLimit = 64 * 1024;
constexpr const char* kExplorerAdvanced =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
constexpr const char* kPolicyWow = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char* kPolicy = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

template <std::size_t N>
bool listed(const std::string_view (&list)[N], std::string_view value) {
  return std::find(std::begin(list), std::end(list), value) != std::end(list);
}

std::string extensionOf(std::string_view name) {
  std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : app::toLower(name.substr(dot + 1));
}

std::string withSlash(const std::string& root) {
  return !root.empty() && root.back() == '/' ? root : root + "/";
}

/// Replaces every occurrence of `from` (any case) by `to`.
std::string replaceNoCase(std::string text, std::string_view from, const std::string& to) {
  std::string lower = app::toLower(text);
  std::string out;
  std::size_t at = 0;
  for (std::size_t hit; (hit = lower.find(from, at)) != std::string::npos; at = hit + from.size())
    out += text.substr(at, hit - at) + to;
  return out + text.substr(at);
}

/// A shortcut whose bytes name one of the shell's launchers, in ASCII or UTF-16.
bool shortcutRunsLauncher(const std::string& bytes) {
  for (std::string_view target : kShortcutTargets) {
    std::string wide;
    for (char c : target)
      wide += std::string{c, '\0'};
    if (bytes.find(target) != std::string::npos || bytes.find(wide) != std::string::npos)
      return true;
  }
  return false;
}

} // namespace

std::string normalPath(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    std::size_t slash = path.find('/');
    std::string_view part = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (part.empty() || part == ".")
      continue;
    if (part == "..") {
      if (!parts.empty())
        parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string out;
  for (std::string_view part : parts)
    out += "/" + std::string(part);
  return out.empty() ? "/" : out;
}

bool isInside(const std::string& path, const std::string& root) {
  std::string base = withSlash(normalPath(root));
  return path.size() > base.size() && path.compare(0, base.size(), base) == 0;
}

std::optional<std::string> autorunTarget(std::string_view line, const std::string& root) {
  std::string text(app::trimBlanks(line));
  std::string lower = app::toLower(text);
  if (lower.find("open") == std::string::npos && lower.find("load") == std::string::npos &&
      lower.find("icon") == std::string::npos)
    return std::nullopt;
  for (std::string_view prefix : kAutorunPrefixes)
    text = replaceNoCase(text, prefix, withSlash(root));
  std::replace(text.begin(), text.end(), '\\', '/');
  // "open= x.exe": the blanks after "=" are not part of the name.
  std::string base = withSlash(root);
  if (text.compare(0, base.size(), base) == 0)
    text = base + std::string(app::trimBlanks(std::string_view(text).substr(base.size())));
  if (text.empty() || text.front() != '/')
    return std::nullopt; // no prefix: the line names no file of the drive
  std::string path = normalPath(text);
  if (!isInside(path, root))
    return std::nullopt; // "open=../x", or a prefix in the middle of a path elsewhere
  return path;
}

platform::DeviceInfo getDeviceInfo(platform::Platform& platform, const std::string& root) {
  return platform.drives.deviceInfo(root);
}

void setDisableAutoRun(platform::Platform& platform, bool checked) {
  app::SettingsStore settings(platform);
  settings.setSetting("usbautorun", checked ? "1" : "0");
  if (!checked)
    return; // the policy stays as it is
  using platform::Hive;
  bool wow = settings.regKeyExists(Hive::LocalMachine, kPolicyWow);
  const char* key = wow ? kPolicyWow : kPolicy;
  if (!wow)
    platform.registry.createKey(Hive::LocalMachine, key); // the value needs its key
  else
    settings.grantKeyAccess(Hive::LocalMachine, key, platform.environment.userName());
  settings.regWriteNumber("HKEY_LOCAL_MACHINE\\" + std::string(key), "NoDriveTypeAutoRun", 255);
}

DriveProtect::DriveProtect(platform::Platform& platform, std::string appFolder,
                           engine::SignatureDatabase& signatures, const AutoProtect& autoProtect)
    : p_(platform), folder_(std::move(appFolder)), check_(platform, folder_, signatures),
      log_(platform, folder_), quarantine_(platform, folder_), autoProtect_(autoProtect) {}

void DriveProtect::listUsbDrives() {
  known_.clear();
  for (const std::string& root : p_.drives.roots()) {
    platform::DeviceInfo device = getDeviceInfo(p_, root);
    if (device.ok && device.busType == platform::kBusTypeUsb && device.removable)
      known_.push_back(root);
  }
}

void DriveProtect::findNewUsbDrive() {
  for (const std::string& root : p_.drives.roots()) {
    platform::DeviceInfo device = getDeviceInfo(p_, root);
    // The drive's own device must be both on USB and removable.
    if (device.ok && device.busType == platform::kBusTypeUsb && device.removable &&
        std::find(known_.begin(), known_.end(), root) == known_.end()) {
      current_ = root;
      return;
    }
  }
}

void DriveProtect::handleMessage(bool, bool&, MessageResult&, WindowHandle, long message,
                                 std::uintptr_t, std::intptr_t, std::intptr_t) {
  if (!autoProtect_.enabled() || !current_.empty())
    return;
  if (message == kDeviceChangeMessage)
    findNewUsbDrive();
  if (current_.empty())
    return;
  handleDrive(current_);
  current_.clear();
}

void DriveProtect::handleDrive(const std::string& root) {
  std::string autorun = platform::joinPath(root, "autorun.inf");
  auto status = p_.files.status(autorun);
  if (status && status->kind == platform::FileKind::Regular && status->size != 0) {
    if (auto text = p_.files.readHead(autorun, kAutorunReadLimit)) {
      for (std::string_view line : app::splitLines(*text)) {
        std::optional<std::string> path = autorunTarget(line, root);
        if (!path)
          continue;
        if (std::optional<std::string> digest = check_.listedThreat(*path))
          threatFound(*path, std::string(app::fileNameOf(*path)), *digest);
      }
    }
  }
  cleanRemovableDrive(root);
}

bool DriveProtect::takeAway(const std::string& path, const std::string& name,
                            const platform::FileIdentity& listed) {
  // The file copied and deleted is one file, never what a link at the path leads to.
  auto identity = threats::confirmCheckedFile(p_, path, listed);
  if (!identity || !quarantine_.quarantineFile(name, path, *identity))
    return false; // no copy: the file stays where it is
  threats::deleteCheckedFile(p_, path, *identity);
  return !threats::fileExists(p_, path);
}

bool DriveProtect::takeAwayFolder(const std::string& folder) {
  auto entries = p_.files.listDirectory(folder);
  if (!entries)
    return false;
  bool all = true;
  for (const platform::DirEntry& entry : *entries) {
    std::string path = platform::joinPath(folder, entry.name);
    if (entry.kind == platform::FileKind::Directory)
      all = takeAwayFolder(path) && all;
    else if (entry.kind == platform::FileKind::Regular)
      all = takeAway(path, entry.name, entry.identity) && all;
    else
      all = false; // links and devices are neither followed nor removed
  }
  return all && !p_.files.removeDirectory(folder);
}

void DriveProtect::threatFound(const std::string& path, const std::string& name,
                               const std::string& digest) {
  threats::killProcessesByName(p_, name, path);
  log_.logThreat(name, path);
  takeAway(path, name);
  threats::AlertRecord record{name, digest, path, 0};
  threats::ThreatAlert(p_, folder_).showThreatAlert(record);
  if (onThreat)
    onThreat(record);
}

void DriveProtect::cleanRemovableDrive(const std::string& root) {
  auto entries = p_.files.listDirectory(root);
  if (!entries)
    return;
  // Only plain files and folders of the root itself: links are never followed off the drive.
  auto kindOf = [&](std::string_view name, bool ignoreCase) {
    for (const platform::DirEntry& entry : *entries)
      if (ignoreCase ? app::equalsIgnoreCase(entry.name, name) : entry.name == name)
        return entry.kind;
    return platform::FileKind::Other;
  };
  if (kindOf("desktop.ini", false) == platform::FileKind::Regular)
    takeAway(platform::joinPath(root, "desktop.ini"), "desktop.ini");
  for (const platform::DirEntry& entry : *entries)
    if (entry.kind == platform::FileKind::Directory &&
        listed(kRemovedFolders, app::toLower(entry.name)))
      takeAwayFolder(platform::joinPath(root, entry.name));
  for (std::string_view name : kRemovedRootFiles)
    if (name != "desktop.ini" && kindOf(name, false) == platform::FileKind::Regular)
      takeAway(platform::joinPath(root, std::string(name)), std::string(name));

  for (const platform::DirEntry& entry : *entries) {
    if (entry.kind != platform::FileKind::Regular)
      continue;
    std::string path = platform::joinPath(root, entry.name);
    if (!threats::fileExists(p_, path))
      continue; // taken above
    std::string ext = extensionOf(entry.name);
    if (ext == "lnk") {
      std::string bytes = p_.files.readFile(path).valueOr({});
      if (!takeAway(path, entry.name) && shortcutRunsLauncher(bytes))
        takeAway(path, entry.name); // a shortcut to a launcher gets a second try
      continue;
    }
    if (!listed(kCheckedExtensions, ext))
      continue;
    if (listed(kThreatExtensions, ext)) {
      // Taken without a lookup; the digest is only for the record, so a huge file is not read.
      threatFound(path, entry.name, entry.size < kSizeLimit ? lowerDigestOf(p_, path) : "");
    } else if (std::optional<std::string> digest = check_.listedThreat(path)) {
      threatFound(path, entry.name, *digest);
    }
  }
  app::SettingsStore(p_).regWriteText(platform::Hive::CurrentUser, kExplorerAdvanced,
                                      "showSuperHidden", "1");
}

} // namespace quorvane::protect
