// Startup entries and registered components: the parsers on literal text, the collectors on
// the fake platform.
#include "scan/startup.h"

#include "platform/fake/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::scan {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

VariableLookup variables(std::map<std::string, std::string> values) {
  return [values](const std::string& name) -> std::optional<std::string> {
    auto it = values.find(name);
    return it == values.end() ? std::nullopt : std::optional(it->second);
  };
}

TEST(ExpandVariablesTest, KnownVariablesOnly) {
  auto lookup = variables({{"windir", "/win"}, {"HOME", "/home/a"}});
  EXPECT_EQ(expandVariables("%windir%\\system32\\ctfmon.exe", lookup),
            "/win\\system32\\ctfmon.exe");
  EXPECT_EQ(expandVariables("$HOME/bin/x ${HOME}/y", lookup), "/home/a/bin/x /home/a/y");
  EXPECT_EQ(expandVariables("%NOPE%/a $NOPE ${NOPE} 100% $", lookup),
            "%NOPE%/a $NOPE ${NOPE} 100% $");
}

struct ProgramCase {
  std::string command;
  std::string path;
};

class ExtractProgramPathTest : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(ExtractProgramPathTest, FindsTheProgram) {
  auto lookup = variables({{"PATH", "/usr/local/bin:/usr/bin"}, {"windir", "/win"}});
  auto isFile = [](const std::string& path) {
    return path == "/usr/bin/syncd" || path == "/opt/x/miner";
  };
  EXPECT_EQ(extractProgramPath(GetParam().command, lookup, isFile), GetParam().path)
      << GetParam().command;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ExtractProgramPathTest,
    ::testing::Values(
        ProgramCase{"\"C:\\Program Files\\App\\app.exe\" /min", "C:\\Program Files\\App\\app.exe"},
        ProgramCase{"rundll32.exe shell32.dll,Control_RunDLL", "rundll32.exe"},
        ProgramCase{"%windir%\\system32\\ctfmon.exe", "/win\\system32\\ctfmon.exe"},
        ProgramCase{"/opt/Tools/Sync.EXE -q", "/opt/Tools/Sync.EXE"},
        ProgramCase{"/opt/lib/Helper.Dll,Entry", "/opt/lib/Helper.Dll"},
        ProgramCase{"/usr/bin/python3 /opt/x.py", "/usr/bin/python3"},
        ProgramCase{"\"/opt/my app/run\" --fast", "/opt/my app/run"},
        ProgramCase{"syncd --daemon", "/usr/bin/syncd"}, ProgramCase{"unknowncmd", "unknowncmd"},
        // An extension in the arguments does not cut the program's path.
        ProgramCase{"/opt/x/miner -o pool.example.com:4444", "/opt/x/miner"},
        ProgramCase{"syncd --peer relay.example.com", "/usr/bin/syncd"},
        ProgramCase{"/opt/gone/tool --host a.example.com", "/opt/gone/tool"},
        ProgramCase{"\"/opt/unbalanced --x", "/opt/unbalanced --x"},
        // Quotes inside the first word quote part of it, as a shell reads them.
        ProgramCase{"\"/opt/my app\"/run -q", "/opt/my app/run"},
        ProgramCase{"/opt/a\"b c\"/run --x", "/opt/ab c/run"}, ProgramCase{"   ", ""}));

TEST(ExtractProgramPathTest, LongCommandsAreFine) {
  std::string command = "/opt/a/" + std::string(2048, 'x') + " --arg";
  EXPECT_EQ(extractProgramPath(command, variables({}), [](const std::string&) { return false; }),
            "/opt/a/" + std::string(2048, 'x'));
}

TEST(ParseCrontabTest, UserAndSystemFormats) {
  const char* user = "# m h dom mon dow command\n"
                     "SHELL=/bin/sh\n"
                     "PATH = /usr/bin\n"
                     "*/5 * * * * /home/a/bin/poll --quiet\n"
                     "@reboot /home/a/bin/start\n"
                     "\n"
                     "bad line\n";
  EXPECT_THAT(parseCrontab(user, false),
              ElementsAre("/home/a/bin/poll --quiet", "/home/a/bin/start"));
  const char* system = "MAILTO=root\r\n"
                       "17 *\t* * *\troot    cd / && run-parts --report /etc/cron.hourly\r\n"
                       "@reboot root /usr/sbin/bootjob\r\n"
                       "1 2 3 4 5 root\r\n";
  EXPECT_THAT(parseCrontab(system, true),
              ElementsAre("cd / && run-parts --report /etc/cron.hourly", "/usr/sbin/bootjob"));
  EXPECT_THAT(parseCrontab("", true), IsEmpty());
}

TEST(ParseUnitFileTest, SectionsContinuationsAndResets) {
  const char* text = "[Unit]\n"
                     "Description=Example daemon\n"
                     "# comment\n"
                     "[Service]\n"
                     "ExecStart=/bin/false\n"
                     "ExecStart=\n"
                     "ExecStart=-/usr/sbin/exampled \\\n"
                     "    --config /etc/example.conf\n"
                     "ExecStart=!!/usr/bin/second\n";
  UnitFile unit = parseUnitFile(text);
  EXPECT_THAT(unit["Unit"]["Description"], ElementsAre("Example daemon"));
  ASSERT_THAT(unit["Service"]["ExecStart"],
              ElementsAre("-/usr/sbin/exampled  --config /etc/example.conf", "!!/usr/bin/second"));
  EXPECT_EQ(stripExecPrefixes(unit["Service"]["ExecStart"][0]),
            "/usr/sbin/exampled  --config /etc/example.conf");
  EXPECT_EQ(stripExecPrefixes("!!/usr/bin/second"), "/usr/bin/second");
  EXPECT_EQ(stripExecPrefixes("@+:/x"), "/x");
}

class CollectorTest : public ::testing::Test {
protected:
  platform::fake::FakePlatform fake;
  StartupCollector collector{fake.platform};

  void SetUp() override {
    for (const char* f : {"/etc", "/etc/cron.d", "/etc/systemd", "/etc/systemd/system", "/lib",
                          "/lib/systemd", "/lib/systemd/system", "/home", "/home/a",
                          "/home/a/.config", "/home/a/.config/autostart", "/opt", "/usr",
                          "/usr/bin"})
      fake.files.createDirectory(f);
    fake.environment.variables["HOME"] = "/home/a";
    fake.environment.variables["PATH"] = "/usr/bin";
    collector.unitFolders = {"/etc/systemd/system", "/lib/systemd/system"};
    collector.userCrontab = "";
  }
};

TEST_F(CollectorTest, RunKeysGiveCandidatesWithReferences) {
  auto& reg = fake.registry;
  const std::string run = "Software\\Microsoft\\windows\\currentversion\\run";
  reg.createKey(platform::Hive::LocalMachine, run);
  reg.createKey(platform::Hive::CurrentUser, run);
  fake.files.put("/opt/App.exe", "x");
  fake.files.put("/opt/empty.exe", "");
  reg.setValue(platform::Hive::LocalMachine, run, "App", platform::ValueType::String,
               std::string("\"/opt/App.exe\" /min\0", 20));
  reg.setValue(platform::Hive::LocalMachine, run, "Empty", platform::ValueType::String, "/opt/empty.exe");
  reg.setValue(platform::Hive::LocalMachine, run, "NoExt", platform::ValueType::String, "/opt/none");
  reg.setValue(platform::Hive::LocalMachine, run, "Blank", platform::ValueType::String, "  ");
  reg.setValue(platform::Hive::CurrentUser, run, "Again", platform::ValueType::String, "/opt/App.exe");
  auto entries = collector.runKeyEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].path, "/opt/App.exe");
  EXPECT_EQ(entries[0].reference, "HKLM|" + run + "|App|/opt/App.exe");
  EXPECT_EQ(entries[1].reference, "HKCU|" + run + "|Again|/opt/App.exe");
}

TEST_F(CollectorTest, AutostartJobsAndServices) {
  fake.files.put("/home/a/.config/autostart/b.desktop", "[Desktop Entry]\nExec=/opt/b\n");
  fake.files.put("/home/a/.config/autostart/a.desktop", "[Desktop Entry]\nExec=/opt/a\n");
  EXPECT_THAT(collector.autostartFiles(),
              ElementsAre("/home/a/.config/autostart/a.desktop", "/opt/a",
                          "/home/a/.config/autostart/b.desktop", "/opt/b"));
  fake.environment.variables["XDG_CONFIG_HOME"] = "/nowhere";
  EXPECT_THAT(collector.autostartFiles(), IsEmpty());

  collector.userCrontab = "0 * * * * /home/a/poll\n";
  fake.files.put("/etc/crontab", "0 1 * * * root /usr/sbin/nightly --all\n");
  fake.files.put("/etc/cron.d/extra", "@reboot root \"/opt/Sync.EXE\" -q\n");
  fake.files.put("/lib/systemd/system/backup.timer", "[Timer]\nOnCalendar=daily\n");
  fake.files.put("/lib/systemd/system/backup.service",
                 "[Unit]\nDescription=Backup\n[Service]\nExecStart=/usr/bin/backup --now\n");
  fake.files.put("/etc/systemd/system/other.timer", "[Timer]\nUnit=backup.service\n");
  EXPECT_THAT(collector.scheduledTaskProgramPaths(),
              ElementsAre("/home/a/poll", "/usr/sbin/nightly", "/opt/Sync.EXE", "/usr/bin/backup",
                          "/usr/bin/backup"));

  fake.files.put("/etc/systemd/system/web.service",
                 "[Unit]\nDescription=Web\n[Service]\nExecStart=-/opt/web/serve -p 80\n");
  fake.files.put("/lib/systemd/system/web.service",
                 "[Unit]\nDescription=Old web\n[Service]\nExecStart=/opt/old\n");
  fake.files.put("/lib/systemd/system/nodesc.service", "[Service]\nExecStart=/opt/nodesc\n");
  fake.files.put("/lib/systemd/system/getty@.service",
                 "[Unit]\nDescription=Template\n[Service]\nExecStart=/sbin/agetty\n");
  EXPECT_THAT(collector.serviceProgramPaths(), ElementsAre("/usr/bin/backup", "/opt/web/serve"));
}

TEST_F(CollectorTest, ScriptsCronRunsAndTheUsersOwnUnits) {
  for (const char* f :
       {"/etc/cron.daily", "/etc/cron.hourly", "/etc/cron.weekly", "/etc/cron.weekly/sub",
        "/home/a/.config/systemd", "/home/a/.config/systemd/user", "/etc/systemd/user", "/usr/lib",
        "/usr/lib/systemd", "/usr/lib/systemd/user"})
    fake.files.createDirectory(f);
  // run-parts folders: each file is a program; a folder inside is not.
  fake.files.put("/etc/cron.daily/logrotate", "#!/bin/sh\n");
  fake.files.put("/etc/cron.hourly/0miner", "x");
  fake.files.put("/etc/cron.weekly/sub/inner", "x");
  EXPECT_THAT(collector.scheduledTaskProgramPaths(),
              ElementsAre("/etc/cron.hourly/0miner", "/etc/cron.daily/logrotate"));

  // The user's own units come after the system's, the user's folder first.
  fake.files.put("/home/a/.config/systemd/user/agent.service",
                 "[Unit]\nDescription=Agent\n[Service]\nExecStart=%h/.local/bin/agent --bg\n");
  fake.files.put("/usr/lib/systemd/user/agent.service",
                 "[Unit]\nDescription=Shadowed\n[Service]\nExecStart=/usr/bin/shadowed\n");
  fake.files.put("/etc/systemd/user/sync.timer", "[Timer]\nOnBootSec=1min\n");
  fake.files.put("/etc/systemd/user/sync.service",
                 "[Unit]\nDescription=Sync\n[Service]\nExecStart=/opt/sync/run\n");
  fake.files.put("/lib/systemd/system/web.service",
                 "[Unit]\nDescription=Web\n[Service]\nExecStart=/opt/web\n");
  EXPECT_THAT(collector.serviceProgramPaths(),
              ElementsAre("/opt/web", "/home/a/.local/bin/agent", "/opt/sync/run"));
  EXPECT_THAT(collector.scheduledTaskProgramPaths(),
              ElementsAre("/etc/cron.hourly/0miner", "/etc/cron.daily/logrotate", "/opt/sync/run"));
  collector.userUnitFolders = {"/nowhere"};
  EXPECT_THAT(collector.serviceProgramPaths(), ElementsAre("/opt/web"));
}

TEST_F(CollectorTest, AnAutostartEntryWithoutExecIsItselfTheOnlyCandidate) {
  fake.files.put("/home/a/.config/autostart/x.desktop", "[Desktop Entry]\nName=x\n");
  fake.files.put("/home/a/.config/autostart/y.desktop",
                 "[Desktop Entry]\nExec=\"/home/a/My Apps/y\" %U\n");
  EXPECT_THAT(collector.autostartFiles(),
              ElementsAre("/home/a/.config/autostart/x.desktop",
                          "/home/a/.config/autostart/y.desktop", "/home/a/My Apps/y"));
}

struct WindowsProgramCase {
  std::string text;
  std::string program;
};

class ServiceProgramPathTest : public ::testing::TestWithParam<WindowsProgramCase> {};

TEST_P(ServiceProgramPathTest, FollowsTheServiceManagersSpelling) {
  EXPECT_EQ(serviceProgramPath(GetParam().text), GetParam().program);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServiceProgramPathTest,
    ::testing::Values(
        WindowsProgramCase{"C:\\Windows\\System32\\svchost.exe -k netsvcs",
                           "c:\\windows\\system32\\svchost.exe"},
        WindowsProgramCase{"system32\\spoolsv.exe", "%windir%\\system32\\spoolsv.exe"},
        WindowsProgramCase{"\\SystemRoot\\System32\\smss.exe", "%windir%\\system32\\smss.exe"},
        WindowsProgramCase{"\"C:\\Program Files\\Svc\\svc.exe\" /run",
                           "c:\\program files\\svc\\svc.exe"},
        WindowsProgramCase{"C:\\Svc\\svc.exe", "c:\\svc\\svc.exe"},
        WindowsProgramCase{"lonely.exe", "%windir%\\system32\\lonely.exe"},
        WindowsProgramCase{"\\SystemRoot\\System32\\drivers\\disk.sys", ""},
        WindowsProgramCase{"   ", ""}));

TEST(TaskDefinitionTest, CommandsFromUtf16AndUtf8DefinitionsWithEscapesUndone) {
  std::string xml = "<?xml version=\"1.0\"?><Task><Actions><Exec>"
                    "<Command>\"C:\\Tools\\Sync.EXE\"</Command><Arguments>-q</Arguments></Exec>"
                    "<Exec><Command> %windir%\\a&amp;b.exe </Command></Exec></Actions></Task>";
  std::string utf16 = "\xFF\xFE";
  for (char c : xml) {
    utf16 += c;
    utf16 += '\0';
  }
  for (const std::string& definition : {xml, "\xEF\xBB\xBF" + xml, utf16})
    EXPECT_THAT(taskCommands(definition),
                ElementsAre("\"C:\\Tools\\Sync.EXE\"", "%windir%\\a&b.exe"));
  EXPECT_THAT(taskCommands("<Command>unclosed"), IsEmpty());
  EXPECT_EQ(taskProgramPath("\"C:\\Tools\\Sync.EXE\" -q"), "c:\\tools\\sync.exe");
  EXPECT_EQ(taskProgramPath("C:\\Tools\\script.ps1"), "");
}

TEST_F(CollectorTest, TheWindowsStartupFolderTasksAndRegisteredServices) {
  for (const char* f : {"/users", "/users/a", "/users/a/Startup", "/win", "/win/System32",
                        "/win/System32/Tasks", "/win/System32/Tasks/Microsoft"})
    fake.files.createDirectory(f);
  // The Startup folder's files themselves, shortcuts included, by name.
  fake.files.put("/users/a/Startup/b.lnk", "shortcut");
  fake.files.put("/users/a/Startup/a.exe", "program");
  EXPECT_THAT(collector.autostartFiles(),
              ::testing::Not(::testing::Contains("/users/a/Startup/a.exe")));
  fake.environment.startupFolder = "/users/a/Startup";
  EXPECT_THAT(collector.autostartFiles(),
              ElementsAre("/users/a/Startup/a.exe", "/users/a/Startup/b.lnk"));

  // Task definitions in the system folder's task folder and its subfolders.
  fake.environment.systemFolderPath = "/win";
  fake.environment.variables["windir"] = "/win";
  fake.files.put("/win/System32/Tasks/Updater",
                 "<Task><Exec><Command>\"%windir%\\Upd.EXE\"</Command></Exec></Task>");
  fake.files.put("/win/System32/Tasks/Microsoft/Defrag",
                 "<Task><Exec><Command>C:\\Tools\\defrag.exe</Command></Exec>"
                 "<Exec><Command>C:\\Tools\\note.txt</Command></Exec></Task>");
  collector.userCrontab = "";
  EXPECT_THAT(collector.scheduledTaskProgramPaths(),
              ElementsAre("/win\\upd.exe", "c:\\tools\\defrag.exe"));

  // Services with a display name and a program; drivers and nameless ones give nothing.
  auto& reg = fake.registry;
  const std::string services = "SYSTEM\\CurrentControlSet\\Services";
  auto service = [&](const std::string& name, const std::string& display,
                     const std::string& image) {
    reg.createKey(platform::Hive::LocalMachine, services + "\\" + name);
    if (!display.empty())
      reg.setValue(platform::Hive::LocalMachine, services + "\\" + name, "DisplayName",
                   platform::ValueType::String, display + std::string(1, '\0'));
    reg.setValue(platform::Hive::LocalMachine, services + "\\" + name, "ImagePath",
                 platform::ValueType::ExpandString, image + std::string(1, '\0'));
  };
  service("Spooler", "Print Spooler", "%SystemRoot%\\System32\\spoolsv.exe");
  service("disk", "Disk Driver", "\\SystemRoot\\System32\\drivers\\disk.sys");
  service("Hidden", "", "C:\\Hidden\\h.exe");
  service("Svc", "Some service", "\"C:\\Svc\\svc.exe\" -run");
  EXPECT_THAT(collector.serviceProgramPaths(),
              ElementsAre("%systemroot%\\system32\\spoolsv.exe", "c:\\svc\\svc.exe"));
}

struct DesktopCase {
  std::string text;
  std::string command;
};

class DesktopEntryCommandTest : public ::testing::TestWithParam<DesktopCase> {};

TEST_P(DesktopEntryCommandTest, ReadsTheExecLineOfTheEntryGroup) {
  EXPECT_EQ(desktopEntryCommand(GetParam().text), GetParam().command);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, DesktopEntryCommandTest,
    ::testing::Values(
        DesktopCase{"[Desktop Entry]\nType=Application\nExec=/usr/bin/x --y\n", "/usr/bin/x --y"},
        DesktopCase{"[Desktop Entry]\r\nExec = /usr/bin/x %f %U\r\n", "/usr/bin/x"},
        DesktopCase{"[Desktop Entry]\nExec=/usr/bin/x --p=100%%\n", "/usr/bin/x --p=100%"},
        DesktopCase{"[Desktop Entry]\nExec=/opt/My\\sApp/run\n", "/opt/My App/run"},
        // Another group's Exec, a localized key, a comment: not the entry's command.
        DesktopCase{"[Desktop Action New]\nExec=/bin/other\n[Desktop Entry]\nExec[de]=/bin/de\n"
                    "# Exec=/bin/commented\n",
                    ""},
        DesktopCase{"Exec=/bin/before-any-group\n", ""},
        DesktopCase{"[Desktop Entry]\nExec=/bin/first\nExec=/bin/second\n", "/bin/first"}));

TEST_F(CollectorTest, ComponentsNeedAnExistingInprocServerFile) {
  auto& reg = fake.registry;
  fake.files.put("/opt/com/shell.dll", "x");
  fake.environment.variables["SystemRoot"] = "/opt";
  reg.createKey(platform::Hive::ClassesRoot, "CLSID\\{B}\\InprocServer32");
  reg.setValue(platform::Hive::ClassesRoot, "CLSID\\{B}\\InprocServer32", "",
               platform::ValueType::ExpandString, "\"%SystemRoot%/com/shell.dll\"");
  reg.createKey(platform::Hive::ClassesRoot, "CLSID\\{A}\\InprocServer32");
  reg.setValue(platform::Hive::ClassesRoot, "CLSID\\{A}\\InprocServer32", "",
               platform::ValueType::String, "/opt/com/shell.dll");
  reg.createKey(platform::Hive::ClassesRoot, "CLSID\\{C}"); // no InprocServer32
  reg.createKey(platform::Hive::ClassesRoot, "CLSID\\{D}\\InprocServer32");
  reg.setValue(platform::Hive::ClassesRoot, "CLSID\\{D}\\InprocServer32", "",
               platform::ValueType::String, "/opt/com/missing.dll");
  auto components = collector.registeredComponents();
  ASSERT_EQ(components.size(), 2u);
  EXPECT_EQ(components[0].path, "/opt/com/shell.dll");
  EXPECT_EQ(components[0].reference, "HKCR|CLSID\\{A}");
  EXPECT_EQ(components[1].reference, "HKCR|CLSID\\{B}");
}

} // namespace
} // namespace quorvane::scan
