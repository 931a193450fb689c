// System integration.
#include "schedule/integration.h"

#include "app/appfolder.h"
#include "app/settings.h"
#include "app/text.h"

namespace quorvane::schedule {
namespace {

using platform::Hive;

constexpr const char* kPolicyWow =
    "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr const char* kPolicy = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

} // namespace

std::vector<std::string> SystemIntegration::carriedEnvironment() {
  if (folder_.empty() || folder_ == app::defaultAppFolder(p_.environment, p_.files).folder)
    return {};
  return {"QUORVANE_HOME=" + folder_};
}

std::string SystemIntegration::programFolder() {
  return app::folderOf(p_.environment.executablePath());
}

std::error_code SystemIntegration::setStartWithSystem(bool on) {
  app::SettingsStore settings(p_);
  settings.grantKeyAccess(Hive::LocalMachine, app::kVendorKey, p_.environment.userName());
  std::string program = platform::joinPath(programFolder(), std::string(kDesktopProgram));
  std::error_code error;
  if (on) {
    error = p_.integration.createLogonTask(
        {std::string(kLogonTaskName), program, {"s"}, carriedEnvironment()});
    if (!error)
      settings.regWriteText(Hive::CurrentUser, kRunKey, kLogonTaskName, program + " s");
  } else {
    error = p_.integration.deleteLogonTask(std::string(kLogonTaskName));
    settings.deleteValue("HKCU", kRunKey, kLogonTaskName);
  }
  if (!error)
    settings.setSetting("start Quorvane Antimalware", on ? "1" : "0");
  return error;
}

bool SystemIntegration::toggleScanAtStartup(bool marked) {
  app::SettingsStore settings(p_);
  bool on = !marked;
  std::string name = std::string(kCompanionProgram) + ".exe";
  if (on)
    settings.regWriteText(Hive::CurrentUser, kRunKey, name,
                          platform::joinPath(programFolder(), std::string(kCompanionProgram)) +
                              " a");
  else
    settings.deleteValue("HKCU", kRunKey, name);
  settings.setSetting("start Quorvane Antimalware", on ? "1" : "0");
  settings.regWriteNumber("HKEY_LOCAL_MACHINE\\" + std::string(app::kSettingsKey),
                          "start Quorvane Antimalware", on ? 1 : 0);
  return on;
}

std::error_code SystemIntegration::setContextMenu(bool on) {
  app::SettingsStore settings(p_);
  std::string user = p_.environment.userName();
  settings.grantKeyAccess(Hive::LocalMachine, app::kVendorKey, user);
  std::string program = platform::joinPath(programFolder(), std::string(kDesktopProgram));
  std::error_code error;
  if (on) {
    // The verbs are written only once the system took the action: a refused one leaves none.
    error = p_.integration.installFolderAction(
        {std::string(kVerbName), program, program, carriedEnvironment()});
    if (!error)
      for (std::string_view key : {kFolderVerbKey, kDriveVerbKey}) {
        settings.grantKeyAccess(Hive::LocalMachine, key, user);
        settings.regWriteText(Hive::LocalMachine, key, "", kVerbName);
        settings.regWriteText(Hive::LocalMachine, std::string(key) + "\\command", "",
                              program + " \"%1\"");
        settings.regWriteText(Hive::LocalMachine, key, "icon", program);
      }
  } else {
    settings.deleteRegistryTree(Hive::LocalMachine, kFolderVerbKey);
    settings.deleteRegistryTree(Hive::LocalMachine, kDriveVerbKey);
    error = p_.integration.removeFolderAction(std::string(kVerbName));
  }
  if (!error) {
    settings.regWriteNumber("HKEY_LOCAL_MACHINE\\" + std::string(app::kSettingsKey), "addmenu",
                            on ? 1 : 0);
    settings.setSetting("addmenu", on ? "1" : "0");
  }
  return error;
}

SettingsPageState SystemIntegration::fillSettingsPage() {
  app::SettingsStore settings(p_);
  auto number = [&](std::string_view name) { return app::leadingInteger(settings.setting(name)); };
  SettingsPageState state;
  state.startWithSystem = number("start Quorvane Antimalware") == 1;
  long long action = number("threatfound");
  state.threatAction = action >= 1 && action <= 3 ? static_cast<int>(action - 1) : -1;
  state.autorunDisabled = number("usbautorun") == 1;
  state.contextMenu = number("addmenu") == 1;
  // The policy decides the autorun box.
  settings.grantKeyAccess(Hive::LocalMachine, kPolicyWow, p_.environment.userName());
  const char* key = settings.regKeyExists(Hive::LocalMachine, kPolicyWow) ? kPolicyWow : kPolicy;
  state.autorunDisabled = settings.regReadNumber("HKEY_LOCAL_MACHINE\\" + std::string(key),
                                                 "NoDriveTypeAutoRun") == "255";
  return state;
}

} // namespace quorvane::schedule
