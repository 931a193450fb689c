// Starting programs detached from ours.
#include "platform/linux/linux_platform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quorvane::platform {

std::error_code LinuxShell::launch(const LaunchRequest& request) {
  // Everything the children use is made before forking: after fork only async-signal-safe
  // calls are allowed.
  std::vector<std::string> argStrings{request.program};
  argStrings.insert(argStrings.end(), request.arguments.begin(), request.arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : argStrings)
    argv.push_back(arg.data());
  argv.push_back(nullptr);

  std::vector<std::string> envStrings;
  for (char** entry = environ; *entry; ++entry) {
    std::string_view text(*entry);
    std::string_view name = text.substr(0, text.find('='));
    bool replaced = false;
    for (const auto& [key, value] : request.environment)
      replaced = replaced || key == name;
    if (!replaced)
      envStrings.emplace_back(text);
  }
  for (const auto& [key, value] : request.environment)
    envStrings.push_back(key + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : envStrings)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0)
    return errnoCode(errno);
  const char* folder = request.workingFolder.empty() ? nullptr : request.workingFolder.c_str();
  pid_t middle = fork();
  if (middle < 0) {
    int error = errno;
    close(report[0]);
    close(report[1]);
    return errnoCode(error);
  }
  if (middle == 0) {
    // The middle child starts the program in a new session and leaves at once, so the program
    // is nobody's child here and never lingers as a zombie.
    setsid();
    pid_t program = fork();
    if (program == 0) {
      int error = 0;
      if (folder && chdir(folder) != 0)
        error = errno;
      if (error == 0 && request.hidden) {
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
          dup2(null, 0);
          dup2(null, 1);
          dup2(null, 2);
        }
      }
      if (error == 0) {
        execve(argv[0], argv.data(), envp.data());
        error = errno;
      }
      ssize_t ignored = write(report[1], &error, sizeof error);
      (void)ignored;
      _exit(127);
    }
    int error = program < 0 ? errno : 0;
    if (error != 0) {
      ssize_t ignored = write(report[1], &error, sizeof error);
      (void)ignored;
    }
    _exit(0);
  }
  close(report[1]);
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got;
  while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  // End of file without a number: exec closed the pipe, the program runs.
  return got == static_cast<ssize_t>(sizeof error) ? errnoCode(error) : std::error_code();
}

} // namespace quorvane::platform
