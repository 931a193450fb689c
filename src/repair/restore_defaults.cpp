// Restore system default settings.
#include "repair/restore_defaults.h"

#include "app/settings.h"

namespace quorvane::repair {
namespace {

using platform::Hive;
using Kind = RepairAction::Kind;

constexpr const char* kQuotedArgs = "\"%1\" %*";

} // namespace

std::vector<RepairAction> restorePass(bool wow, const std::string& windowsFolder) {
  std::vector<RepairAction> a;
  auto text = [&](Hive root, std::string key, std::string name, std::string data) {
    a.push_back({Kind::SetText, root, std::move(key), std::move(name), std::move(data)});
  };
  auto number = [&](Hive root, std::string key, std::string name, std::uint32_t n) {
    a.push_back({Kind::SetNumber, root, std::move(key), std::move(name), {}, n});
  };
  auto remove = [&](Hive root, const std::string& key, std::initializer_list<const char*> names) {
    for (const char* name : names)
      a.push_back({Kind::DeleteValue, root, key, name, {}});
  };
  auto removeKey = [&](Hive root, std::string parent, std::string name) {
    a.push_back({Kind::DeleteKey, root, std::move(parent), std::move(name), {}});
  };
  const std::string software = wow ? "SOFTWARE\\Wow6432Node\\" : "SOFTWARE\\";
  const std::string explorer = software + "Microsoft\\Windows\\CurrentVersion\\Explorer";
  const std::string policies = software + "Microsoft\\Windows\\CurrentVersion\\Policies\\";
  const std::string userPolicies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\";

  if (wow)
    for (const char* key :
         {"Microsoft\\Windows NT\\CurrentVersion",
          "Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\SuperHidden",
          "Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\HideFileExt",
          "Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
          "Microsoft\\Windows\\CurrentVersion\\Policies\\System",
          "Policies\\Microsoft\\Windows\\Installer", "Policies\\Microsoft\\Windows NT\\SystemRestore",
          "Policies\\Microsoft\\Windows\\Task Scheduler5.0",
          "Microsoft\\Windows\\CurrentVersion\\Policies",
          "Microsoft\\Windows\\CurrentVersion\\Explorer"})
      a.push_back({Kind::Grant, Hive::LocalMachine, software + key, {}, {}});

  // The file-type open commands.
  text(Hive::ClassesRoot, "exefile", "", "Application");
  for (const char* type : {"exefile", "lnkfile", "piffile", "batfile", "comfile", "cmdfile"})
    text(Hive::ClassesRoot, std::string(type) + "\\shell\\open\\command", "", kQuotedArgs);
  text(Hive::ClassesRoot, "scrfile\\shell\\open\\command", "", "\"%1\" /S");
  text(Hive::ClassesRoot, "regfile\\shell\\open\\command", "", "regedit.exe %1");
  text(Hive::ClassesRoot, "vbsfile\\shell\\open\\command", "",
       "%SystemRoot%\\System32\\WScript.exe \"%1\" %*");
  // The screen saver, the safe-mode shells.
  text(Hive::CurrentUser, "Control Panel\\Desktop", "SCRNSAVE.EXE", "");
  for (const char* set : {"ControlSet001", "ControlSet002", "ControlSet003", "CurrentControlSet"})
    text(Hive::LocalMachine, std::string("SYSTEM\\") + set + "\\Control\\SafeBoot", "AlternateShell",
         "cmd.exe");
  // The debugger and log-on values.
  const std::string nt = software + "Microsoft\\Windows NT\\CurrentVersion";
  if (wow) {
    number(Hive::LocalMachine, nt + "\\AeDebug", "Auto", 0);
  } else {
    text(Hive::LocalMachine, nt + "\\AeDebug", "Auto", "0");
    text(Hive::LocalMachine, nt + "\\Winlogon", "Shell", "Explorer.exe");
    text(Hive::LocalMachine, nt + "\\Winlogon", "Userinit",
         windowsFolder + "\\system32\\userinit.exe,");
    text(Hive::LocalMachine, nt + "\\Winlogon", "LegalNoticeText", "");
    text(Hive::LocalMachine, nt + "\\Winlogon", "LegalNoticeCaption", "");
  }
  // The time-format texts.
  text(Hive::CurrentUser, "Control Panel\\International", "s1159", "AM");
  text(Hive::CurrentUser, "Control Panel\\International", "s2359", "PM");
  // The folder-view numbers.
  number(Hive::LocalMachine, explorer + "\\Advanced\\Folder\\SuperHidden", "CheckedValue", 0);
  number(Hive::LocalMachine, explorer + "\\Advanced\\Folder\\SuperHidden", "UncheckedValue", 1);
  number(Hive::LocalMachine, explorer + "\\Advanced\\Folder\\HideFileExt", "CheckedValue", 1);
  number(Hive::LocalMachine, explorer + "\\Advanced\\Folder\\HideFileExt", "UncheckedValue", 0);
  // The policy deletions.
  remove(Hive::CurrentUser, userPolicies + "Explorer",
         {"NoWinKeys", "NoActiveDesktop", "NoClose", "NoDesktop", "NoRun", "NoLogoff", "NoFind",
          "NoTrayContextMenu", "NoViewContextMenu", "NoStartMenuMorePrograms", "NoSMHelp",
          "NoDrives", "NoDrive", "NoViewOnDrive", "NoSaveSettings", "NoSetFolders", "NoSetTaskbar",
          "NoUserNameInStartMenu", "NoThemesTab", "NoInstrumentation", "NoPrinters",
          "StartMenuLogOff", "DisallowRun", "ClassicShell", "HideClock"});
  remove(Hive::CurrentUser, userPolicies + "System",
         {"NoDispSettingsPage", "NoDispBackgroundPage", "NoScrSavPage", "NoDispAppearancePage",
          "NoDispCpl"});
  remove(Hive::CurrentUser, userPolicies, {"ActiveDesktop"});
  remove(Hive::LocalMachine, policies + "Explorer",
         {"NoWinKeys", "NoActiveDesktop", "NoDrives", "NoDrive", "NoPrinters", "NoThemesTab",
          "shutdownwithoutlogon", "undockwithoutlogon"});
  remove(Hive::LocalMachine, policies + "System",
         {"NoDispSettingsPage", "legalnoticetext", "legalnoticecaption"});
  remove(Hive::LocalMachine, "SOFTWARE\\Policies\\Microsoft\\Windows\\Installer",
         {"DisableMSI", "LimitSystemRestoreCheckpointing"});
  remove(Hive::LocalMachine, "SOFTWARE\\Policies\\Microsoft\\Windows NT\\SystemRestore",
         {"DisableSR", "DisableConfig"});
  const std::string taskScheduler = "Software\\Policies\\Microsoft\\Windows\\Task Scheduler5.0";
  remove(Hive::CurrentUser, taskScheduler,
         {"Execution", "Property Pages", "Task Creation", "Task Deletion"});
  remove(Hive::LocalMachine, taskScheduler, {"Execution", "Property Pages"});
  // The "WinOldApp" deletions (only while the key has no subkeys).
  removeKey(Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies", "WinOldApp");
  removeKey(Hive::LocalMachine, software + "Microsoft\\Windows\\CurrentVersion\\Policies",
            "WinOldApp");
  // The desktop texts, "DesktopProcess", "AlwaysUnloadDLL".
  text(Hive::CurrentUser, "Control Panel\\Desktop", "AutoEndTasks", "1");
  text(Hive::CurrentUser, "Control Panel\\Desktop", "MenuShowDelay", "1");
  text(Hive::Users, ".DEFAULT\\Control Panel\\Desktop", "MenuShowDelay", "1");
  number(Hive::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", "DesktopProcess", 1);
  a.back().createKey = true;
  if (wow)
    number(Hive::LocalMachine, explorer, "AlwaysUnloadDLL", 1);
  else
    text(Hive::LocalMachine, explorer, "AlwaysUnloadDLL", "1");
  // The registry-tools and task-manager deletions.
  remove(Hive::CurrentUser, userPolicies + "System", {"DisableRegistryTools", "DisableTaskMgr"});
  remove(Hive::LocalMachine, policies + "System", {"DisableRegistryTools", "DisableTaskMgr"});
  // The "system" key, the folder-options deletions.
  removeKey(Hive::CurrentUser, "Software\\Policies\\Microsoft\\Windows", "system");
  remove(Hive::CurrentUser, userPolicies + "Explorer", {"NoFolderOptions"});
  remove(Hive::LocalMachine, policies + "Explorer", {"NoFolderOptions"});
  return a;
}

void restoreSystemDefaults(platform::Platform& platform) {
  app::SettingsStore settings(platform);
  std::string windows = platform.environment.variable("windir").value_or("C:\\Windows");
  std::string user = platform.environment.userName();
  for (bool wow : {false, true}) {
    for (const RepairAction& action : restorePass(wow, windows)) {
      switch (action.kind) {
      case Kind::Grant:
        settings.grantKeyAccess(action.root, action.key, user);
        break;
      case Kind::SetText:
        settings.regWriteText(action.root, action.key, action.name, action.text);
        break;
      case Kind::SetNumber:
        if (action.createKey)
          platform.registry.createKey(action.root, action.key);
        settings.regWriteNumber(std::string(platform::hiveName(action.root)) + "\\" + action.key,
                                action.name, action.number);
        break;
      case Kind::DeleteValue:
        platform.registry.deleteValue(action.root, action.key, action.name);
        break;
      case Kind::DeleteKey:
        platform.registry.deleteKey(action.root, action.key + "\\" + action.name);
        break;
      }
    }
  }
  platform.notifier.messageBox(std::string(kRestoredText),
                               {std::string(), platform::MessageIcon::Information});
}

} // namespace quorvane::repair
