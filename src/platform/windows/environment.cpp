// Windows environment: variables, the user and computer names, account look-up and the
// program's own location.
#include "platform/windows/windows_platform.h"

#include "platform/windows/wide.h"

#include <windows.h>

#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include <vector>

namespace quorvane::platform::windows {
namespace {

/// Calls `get(buffer, size)` with a growing buffer until the whole answer fits; `get` returns the
/// characters written, or the size it needs when the buffer is too small (the Win32 habit).
template <typename Get> std::wstring growingBuffer(Get&& get) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 16; ++attempt) {
    DWORD n = get(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0)
      return {};
    if (n < buffer.size())
      return std::wstring(buffer.data(), n);
    buffer.resize(std::max<std::size_t>(n + 1, buffer.size() * 2));
  }
  return {};
}

bool isConsole(DWORD which) {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

} // namespace

std::optional<std::string> WindowsEnvironment::variable(const std::string& name) {
  std::wstring wide = widen(name);
  ::SetLastError(ERROR_SUCCESS);
  DWORD needed = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (needed == 0)
    return ::GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt
                                                      : std::optional<std::string>("");
  std::wstring value = growingBuffer([&](wchar_t* buffer, DWORD size) {
    return ::GetEnvironmentVariableW(wide.c_str(), buffer, size);
  });
  return narrow(value);
}

std::string WindowsEnvironment::userName() {
  if (auto name = variable("UserName"); name && !name->empty())
    return *name;
  wchar_t buffer[256 + 1];
  DWORD size = static_cast<DWORD>(std::size(buffer));
  return ::GetUserNameW(buffer, &size) ? narrow(std::wstring_view(buffer, size - 1)) : "";
}

std::string WindowsEnvironment::computerName() {
  wchar_t buffer[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = static_cast<DWORD>(std::size(buffer));
  return ::GetComputerNameW(buffer, &size) ? narrow(std::wstring_view(buffer, size)) : "";
}

std::optional<std::string> WindowsEnvironment::accountIdentifier(const std::string& account) {
  std::wstring name = widen(account);
  DWORD sidSize = 0, domainSize = 0;
  SID_NAME_USE use;
  ::LookupAccountNameW(nullptr, name.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
  if (sidSize == 0)
    return std::nullopt; // no such account
  std::vector<unsigned char> sid(sidSize);
  std::vector<wchar_t> domain(domainSize + 1);
  if (!::LookupAccountNameW(nullptr, name.c_str(), sid.data(), &sidSize, domain.data(), &domainSize,
                            &use))
    return std::nullopt;
  LPWSTR text = nullptr;
  if (!::ConvertSidToStringSidW(sid.data(), &text))
    return std::nullopt;
  std::string identifier = narrow(text);
  ::LocalFree(text);
  return identifier;
}

std::string WindowsEnvironment::executablePath() {
  // GetModuleFileNameW returns the buffer's size when the path was cut: grown until it fits.
  return narrow(growingBuffer([](wchar_t* buffer, DWORD size) {
    DWORD n = ::GetModuleFileNameW(nullptr, buffer, size);
    return n >= size ? size : n;
  }));
}

std::string WindowsEnvironment::currentDirectory() {
  return narrow(growingBuffer(
      [](wchar_t* buffer, DWORD size) { return ::GetCurrentDirectoryW(size, buffer); }));
}

bool WindowsEnvironment::errorIsTerminal() {
  return isConsole(STD_ERROR_HANDLE);
}

std::string WindowsEnvironment::systemFolder() {
  return narrow(growingBuffer([](wchar_t* buffer, DWORD size) {
    UINT n = ::GetWindowsDirectoryW(buffer, size);
    return static_cast<DWORD>(n);
  }));
}

namespace {

std::optional<std::string> knownFolder(REFKNOWNFOLDERID which) {
  PWSTR path = nullptr;
  std::optional<std::string> folder;
  if (SUCCEEDED(::SHGetKnownFolderPath(which, 0, nullptr, &path)))
    folder = narrow(path);
  ::CoTaskMemFree(path);
  return folder;
}

} // namespace

std::optional<std::string> WindowsEnvironment::userStartupFolder() {
  return knownFolder(FOLDERID_Startup);
}

std::optional<std::string> WindowsEnvironment::userDataFolder() {
  return knownFolder(FOLDERID_LocalAppData);
}

} // namespace quorvane::platform::windows

namespace quorvane::platform {

bool inputIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

} // namespace quorvane::platform
