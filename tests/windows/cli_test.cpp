// quorvane.exe itself, run the way a user runs it (under Wine in CI).
#include "platform/windows/windows_platform.h"

#include "command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace quorvane::platform::windows {
namespace {

namespace fs = std::filesystem;

/// Runs a command line; its standard output and exit status.
std::pair<std::string, int> run(const std::string& command) {
  return quorvane::testing::runCommand(command);
}

TEST(WindowsCliTest, AScanOfAFolderWithTheEicarFileReportsItAndExitsOne) {
  fs::path program = fs::path(WindowsEnvironment().executablePath()).parent_path() / "quorvane.exe";
  ASSERT_TRUE(fs::exists(program));
  fs::path root =
      fs::temp_directory_path() / ("quorvane-cli-" + std::to_string(::GetCurrentProcessId()));
  fs::remove_all(root);
  fs::create_directories(root / "home");
  fs::create_directories(root / "files");
  std::ofstream(root / "files" / "eicar.com", std::ios::binary)
      << "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
  std::ofstream(root / "files" / "clean.exe", std::ios::binary) << "nothing to see";
  std::ofstream(root / "keys.txt") << "44d88612fea8a8f36de82e1278abb02f:68\n";
  std::string home = "\"" + program.string() + "\" --home \"" + (root / "home").string() + "\"";

  auto [built, buildStatus] = run(home + " sig build \"" + (root / "keys.txt").string() +
                                  "\" -o \"" + (root / "home" / "vir.sig").string() + "\"");
  ASSERT_EQ(buildStatus, 0) << built;
  auto [out, status] = run(home + " scan \"" + (root / "files").string() + "\"");
  EXPECT_EQ(status, 1) << out;
  EXPECT_THAT(out, ::testing::HasSubstr("eicar.com: Quorvane.Threat FOUND"));
  EXPECT_THAT(out, ::testing::HasSubstr("Total files scanned : 2"));
  EXPECT_THAT(out, ::testing::Not(::testing::HasSubstr("clean.exe: Quorvane.Threat FOUND")));
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

/// Starts a program that only waits.
PROCESS_INFORMATION startWaiting(const fs::path& program) {
  std::wstring command = L"\"" + program.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &child))
    child = {};
  return child;
}

/// A copy of the small waiting program with bytes of its own at the end: another digest, still
/// a program Windows runs.
void copyWithTail(const fs::path& to, const std::string& tail) {
  fs::create_directories(to.parent_path());
  fs::copy_file(fs::path(WindowsEnvironment().executablePath()).parent_path() /
                    "windows_sleeper.exe",
                to, fs::copy_options::overwrite_existing);
  std::ofstream(to, std::ios::binary | std::ios::app) << tail;
}

TEST(WindowsCliTest, QuickScanFindsTheListedRunningProgramAndEndsThatOneAlone) {
  fs::path program = fs::path(WindowsEnvironment().executablePath()).parent_path() / "quorvane.exe";
  fs::path root =
      fs::temp_directory_path() / ("quorvane-quick-" + std::to_string(::GetCurrentProcessId()));
  fs::remove_all(root);
  fs::create_directories(root / "home");
  // The listed program and one of the same name elsewhere that is not listed.
  fs::path planted = root / "programs" / "qv-planted.exe";
  fs::path namesake = root / "other" / "qv-planted.exe";
  copyWithTail(planted, "listed " + std::to_string(::GetCurrentProcessId()));
  copyWithTail(namesake, "not listed " + std::to_string(::GetCurrentProcessId()));
  std::string home = "\"" + program.string() + "\" --home \"" + (root / "home").string() + "\"";
  auto [key, keyStatus] = run("\"" + program.string() + "\" key \"" + planted.string() + "\"");
  ASSERT_EQ(keyStatus, 0) << key;
  std::ofstream(root / "home" / "vir.sig", std::ios::binary) << key.substr(0, key.find('\t'))
                                                               << "\r\n";

  PROCESS_INFORMATION listed = startWaiting(planted);
  PROCESS_INFORMATION other = startWaiting(namesake);
  ASSERT_NE(listed.hProcess, nullptr);
  ASSERT_NE(other.hProcess, nullptr);
  ::WaitForInputIdle(listed.hProcess, 2000);
  ::WaitForInputIdle(other.hProcess, 2000);
  ::Sleep(500); // their modules loaded

  auto [out, status] = run(home + " quick");
  bool listedEnded = ::WaitForSingleObject(listed.hProcess, 10000) == WAIT_OBJECT_0;
  bool otherRuns = ::WaitForSingleObject(other.hProcess, 0) == WAIT_TIMEOUT;
  for (PROCESS_INFORMATION* child : {&listed, &other}) { // our own children only
    ::TerminateProcess(child->hProcess, 1);
    ::WaitForSingleObject(child->hProcess, 10000);
    ::CloseHandle(child->hThread);
    ::CloseHandle(child->hProcess);
  }
  EXPECT_EQ(status, 1) << out;
  EXPECT_THAT(out, ::testing::HasSubstr("programs\\qv-planted.exe: Quorvane.Threat FOUND"));
  EXPECT_THAT(out, ::testing::Not(::testing::HasSubstr("other\\qv-planted.exe: Quorvane")));
  EXPECT_THAT(out, ::testing::HasSubstr("System Memory : 1"));
  EXPECT_TRUE(listedEnded) << "the program found running is ended";
  EXPECT_TRUE(otherRuns) << "the one of the same name elsewhere is left alone";
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

// Changes what the whole Wine prefix sees (file-type commands, the logon shell, policies): it
// runs only in the prefix of the suite's own that scripts/windows_tests.sh makes and removes.
TEST(WindowsCliTest, RestoreDefaultsUndoesWhatMalwareSetInTheRealRegistry) {
  if (!std::getenv("QUORVANE_OWN_WINE_PREFIX"))
    GTEST_SKIP() << "not in a Wine prefix of the suite's own";
  fs::path program = fs::path(WindowsEnvironment().executablePath()).parent_path() / "quorvane.exe";
  fs::path home =
      fs::temp_directory_path() / ("quorvane-restore-" + std::to_string(::GetCurrentProcessId()));
  fs::create_directories(home);
  const std::string userExplorer =
      "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
  const std::string exeOpen = "HKCR\\exefile\\shell\\open\\command";
  const std::string winlogon = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
  // What malware leaves behind, written by Windows' own tool.
  run("reg.exe add \"" + userExplorer + "\" /v NoRun /t REG_DWORD /d 1 /f");
  run("reg.exe add \"" + userExplorer + "\" /v KeepMe /t REG_DWORD /d 1 /f");
  run("reg.exe add \"" + exeOpen + "\" /ve /t REG_SZ /d \"evil.exe %1\" /f");
  run("reg.exe add \"" + winlogon + "\" /v Shell /t REG_SZ /d \"evil.exe\" /f");
  ASSERT_THAT(run("reg.exe query \"" + userExplorer + "\" /v NoRun").first,
              ::testing::HasSubstr("0x1"));

  auto [out, status] =
      run("\"" + program.string() + "\" --home \"" + home.string() + "\" restore-defaults");
  EXPECT_EQ(status, 0) << out;
  EXPECT_THAT(out, ::testing::HasSubstr("Finished restoring your system default settings"));
  EXPECT_THAT(run("reg.exe query \"" + userExplorer + "\" /v NoRun").first,
              ::testing::Not(::testing::HasSubstr("NoRun")));
  EXPECT_THAT(run("reg.exe query \"" + userExplorer + "\" /v KeepMe").first,
              ::testing::HasSubstr("0x1"))
      << "values it does not name stay";
  EXPECT_THAT(run("reg.exe query \"" + exeOpen + "\" /ve").first,
              ::testing::HasSubstr("\"%1\" %*"));
  EXPECT_THAT(run("reg.exe query \"" + winlogon + "\" /v Shell").first,
              ::testing::HasSubstr("Explorer.exe"));
  std::error_code ignored;
  fs::remove_all(home, ignored);
}

// Writes Run, service and task entries and a Startup folder file into the machine: only in the
// Wine prefix of the suite's own.
TEST(WindowsCliTest, SmartScanChecksTheRealStartupPlaces) {
  if (!std::getenv("QUORVANE_OWN_WINE_PREFIX"))
    GTEST_SKIP() << "not in a Wine prefix of the suite's own";
  WindowsEnvironment environment;
  fs::path program = fs::path(environment.executablePath()).parent_path() / "quorvane.exe";
  fs::path root =
      fs::temp_directory_path() / ("quorvane-smart-" + std::to_string(::GetCurrentProcessId()));
  fs::remove_all(root);
  fs::create_directories(root / "home");
  fs::create_directories(root / "windows");
  auto startup = environment.userStartupFolder();
  ASSERT_TRUE(startup);
  fs::path task = fs::path(environment.systemFolder()) / "System32" / "Tasks" / "QuorvaneTest";
  std::string content = "a program that starts by itself " + std::to_string(::GetCurrentProcessId());
  std::vector<fs::path> planted = {root / "run" / "Run.exe", root / "svc" / "svc.exe",
                                   root / "task" / "task.exe",
                                   fs::path(*startup) / "QuorvaneTest.exe"};
  for (const fs::path& file : planted) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
  }
  std::string home = "\"" + program.string() + "\" --home \"" + (root / "home").string() + "\"";
  auto [key, keyStatus] = run("\"" + program.string() + "\" key \"" + planted[0].string() + "\"");
  ASSERT_EQ(keyStatus, 0) << key;
  std::ofstream(root / "home" / "vir.sig", std::ios::binary) << key.substr(0, key.find('\t'))
                                                               << "\r\n";
  const std::string runKey = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string serviceKey = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\QuorvaneTest";
  run("reg.exe add \"" + runKey + "\" /v QuorvaneTest /t REG_SZ /d \"\\\"" + planted[0].string() +
      "\\\" /min\" /f");
  run("reg.exe add \"" + serviceKey + "\" /v DisplayName /t REG_SZ /d \"Quorvane test\" /f");
  run("reg.exe add \"" + serviceKey + "\" /v ImagePath /t REG_EXPAND_SZ /d \"" +
      planted[1].string() + " -k test\" /f");
  {
    // A task definition as the system stores it: UTF-16 with its byte-order mark.
    std::string xml = "<?xml version=\"1.0\"?><Task><Actions><Exec><Command>\"" +
                      planted[2].string() + "\"</Command></Exec></Actions></Task>";
    fs::create_directories(task.parent_path());
    std::ofstream out(task, std::ios::binary);
    out << "\xFF\xFE";
    for (char c : xml)
      out << c << '\0';
  }
  run(home + " settings \"windows folder\" \"" + (root / "windows").string() + "\"");

  auto [out, status] = run(home + " smart");
  run("reg.exe delete \"" + runKey + "\" /v QuorvaneTest /f");
  run("reg.exe delete \"" + serviceKey + "\" /f");
  std::error_code ignored;
  fs::remove(task, ignored);
  fs::remove(planted[3], ignored);
  fs::remove_all(root, ignored);

  EXPECT_EQ(status, 1) << out;
  std::string lower = out;
  for (char& c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const fs::path& file : planted) {
    std::string path = file.string();
    for (char& c : path)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_THAT(lower, ::testing::HasSubstr(path + ": quorvane.threat found")) << out;
  }
}

// Writes the Run value and the folder verbs of the machine: only in the suite's own prefix.
TEST(WindowsCliTest, IntegrationWritesTheRealRunValueAndVerbsOnlyForAProgramThatIsThere) {
  if (!std::getenv("QUORVANE_OWN_WINE_PREFIX"))
    GTEST_SKIP() << "not in a Wine prefix of the suite's own";
  fs::path built = fs::path(WindowsEnvironment().executablePath()).parent_path();
  fs::path root =
      fs::temp_directory_path() / ("quorvane-integrate-" + std::to_string(::GetCurrentProcessId()));
  fs::remove_all(root);
  fs::create_directories(root / "bin");
  fs::create_directories(root / "home");
  for (const char* file : {"quorvane.exe", "vir.sig"})
    fs::copy_file(built / file, root / "bin" / file);
  std::string program = "\"" + (root / "bin" / "quorvane.exe").string() + "\"";
  const std::string runKey = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string verbKey = "HKCR\\Directory\\shell\\Scan with Quorvane Antimalware";

  // No desktop program beside it: refused, and nothing half written.
  auto [missing, missingStatus] = run(program + " integrate --startup on --context-menu on");
  EXPECT_NE(missingStatus, 0) << missing;
  EXPECT_THAT(run("reg.exe query \"" + verbKey + "\"").first,
              ::testing::Not(::testing::HasSubstr("quorvaneam")));
  EXPECT_THAT(run("reg.exe query \"" + runKey + "\"").first,
              ::testing::Not(::testing::HasSubstr("quorvaneam")));

  std::ofstream(root / "bin" / "quorvaneam.exe", std::ios::binary) << "stands in for it";
  // An application folder of its own cannot go with a command line the system starts.
  auto [carried, carriedStatus] =
      run(program + " --home \"" + (root / "home").string() + "\" integrate --startup on");
  EXPECT_NE(carriedStatus, 0) << carried;

  // The portable folder (vir.sig beside the program) needs no setting: both are written.
  auto [out, status] = run(program + " integrate --startup on --context-menu on");
  EXPECT_EQ(status, 0) << out;
  EXPECT_THAT(out, ::testing::HasSubstr("startup: on"));
  std::string runValue = run("reg.exe query \"" + runKey + "\" /v \"Quorvane Anti Malware\"").first;
  EXPECT_THAT(runValue, ::testing::HasSubstr("quorvaneam s")) << runValue;
  EXPECT_THAT(run("reg.exe query \"" + verbKey + "\\command\"").first,
              ::testing::HasSubstr("quorvaneam \"%1\""));
  auto [off, offStatus] = run(program + " integrate --startup off --context-menu off");
  EXPECT_EQ(offStatus, 0) << off;
  EXPECT_THAT(run("reg.exe query \"" + runKey + "\"").first,
              ::testing::Not(::testing::HasSubstr("Quorvane Anti Malware")));
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

} // namespace
} // namespace quorvane::platform::windows
