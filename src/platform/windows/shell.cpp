// Windows program starts: CreateProcessW with a command line quoted the way the C run-time
// splits it again.
#include "platform/windows/windows_platform.h"

#include "platform/windows/wide.h"

#include <windows.h>

#include <map>

namespace quorvane::platform::windows {

std::wstring quoteArgument(const std::wstring& argument) {
  // The rules of CommandLineToArgvW: backslashes are literal unless they come before a quote.
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    return argument;
  std::wstring quoted = L"\"";
  for (std::size_t i = 0;; ++i) {
    std::size_t backslashes = 0;
    while (i < argument.size() && argument[i] == L'\\') {
      ++i;
      ++backslashes;
    }
    if (i == argument.size()) {
      quoted.append(backslashes * 2, L'\\'); // before the closing quote
      break;
    }
    if (argument[i] == L'"') {
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      quoted.append(backslashes, L'\\');
    }
    quoted.push_back(argument[i]);
  }
  quoted.push_back(L'"');
  return quoted;
}

std::error_code WindowsShell::launch(const LaunchRequest& request) {
  std::wstring command = quoteArgument(widen(request.program));
  for (const std::string& argument : request.arguments)
    command += L" " + quoteArgument(widen(argument));

  // Our environment with the request's settings on top, sorted as Windows wants it.
  std::wstring block;
  if (!request.environment.empty()) {
    std::map<std::wstring, std::wstring> variables;
    wchar_t* current = ::GetEnvironmentStringsW();
    for (const wchar_t* entry = current; entry && *entry; entry += wcslen(entry) + 1) {
      std::wstring_view text(entry);
      std::size_t equals = text.find(L'=', 1); // "=C:=C:\\" entries start with '='
      if (equals != std::wstring_view::npos)
        variables[std::wstring(text.substr(0, equals))] = std::wstring(text.substr(equals + 1));
    }
    if (current)
      ::FreeEnvironmentStringsW(current);
    for (const auto& [name, value] : request.environment)
      variables[widen(name)] = widen(value);
    for (const auto& [name, value] : variables)
      block += name + L"=" + value + L'\0';
    block += L'\0';
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  std::wstring folder = widen(request.workingFolder);
  DWORD flags = CREATE_UNICODE_ENVIRONMENT | (request.hidden ? CREATE_NO_WINDOW : 0);
  if (!::CreateProcessW(widen(request.program).c_str(), command.data(), nullptr, nullptr, FALSE,
                        flags, block.empty() ? nullptr : block.data(),
                        folder.empty() ? nullptr : folder.c_str(), &startup, &started))
    return lastWin32Error();
  ::CloseHandle(started.hThread);
  ::CloseHandle(started.hProcess);
  return {};
}

} // namespace quorvane::platform::windows
