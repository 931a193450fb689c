// Helpers shared by every road that deals with a threat: presence and deletion of a file,
// ending the processes of a program, and the modules of all processes.
#pragma once

#include "platform/platform.h"

#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace quorvane::threats {

using platform::ProcessId;

/// True when the file is still there (a file of length 0 counts).
bool fileExists(platform::Platform& platform, const std::string& path);

/// The identity of the regular file at `path` while it is the file that was checked: the file
/// `checked` names when that is known, and, when `digest` is given, a file whose content still
/// has that digest (either case). A link at the path is never taken. Nothing when it is not.
std::optional<platform::FileIdentity> confirmCheckedFile(platform::Platform& platform,
                                                         const std::string& path,
                                                         const platform::FileIdentity& checked,
                                                         std::string_view digest = {});

/// Deletes the file at `path` only while it is the file `checked` names; the error says why not
/// (platform::FileError::Changed when the entry is another file by now).
std::error_code deleteCheckedFile(platform::Platform& platform, const std::string& path,
                                  const platform::FileIdentity& checked);

/// Ends every process whose image name equals `name` (ignoring case). With `programFile`, only
/// the processes that run that very file are ended, whatever other programs share its name;
/// `programIdentity`, when known, says which file that is (a file deleted since it started has no
/// path left to ask). True when at least one process matched. An empty name matches nothing.
/// `running` is the process table to go through (a snapshot a run took once); without it the
/// table is read now.
bool killProcessesByName(platform::Platform& platform, const std::string& name,
                         const std::string& programFile = {},
                         const platform::FileIdentity& programIdentity = {},
                         const std::vector<platform::ProcessInfo>* running = nullptr);
/// Ends the first process found by FindProcessId. Always true.
bool killProcess(platform::Platform& platform, const std::string& name);
/// The first process whose program file's name equals `name` (ignoring case); 0 when none.
ProcessId findProcessId(platform::Platform& platform, const std::string& name);
/// The first process whose image name equals `name` (ignoring case); 0 when none.
ProcessId getProcessIdByName(platform::Platform& platform, const std::string& name);
void terminateProcessById(platform::Platform& platform, ProcessId pid);

/// Fills `modules` with the module files of every process (program file first for each);
/// returns the number of processes whose modules were listed.
int listProcessModules(platform::Platform& platform, std::vector<std::string>& modules);

} // namespace quorvane::threats
