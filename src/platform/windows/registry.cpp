// The Windows registry through the Win32 registry calls. Text values (REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ) are UTF-16 in the registry and UTF-8 to the product, NULs kept where they are.
#include "platform/windows/windows_platform.h"

#include "platform/windows/wide.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <vector>

namespace quorvane::platform::windows {
namespace {

/// The predefined key of a root (the handle values sign-extend on 64-bit Windows).
HKEY rootKey(Hive hive) {
  switch (hive) {
  case Hive::ClassesRoot:
    return HKEY_CLASSES_ROOT;
  case Hive::CurrentUser:
    return HKEY_CURRENT_USER;
  case Hive::LocalMachine:
    return HKEY_LOCAL_MACHINE;
  case Hive::Users:
    return HKEY_USERS;
  case Hive::PerformanceData:
    return HKEY_PERFORMANCE_DATA;
  case Hive::CurrentConfig:
    return HKEY_CURRENT_CONFIG;
  default:
    return nullptr;
  }
}

std::wstring keyPath(std::string_view path) {
  std::wstring wide = widen(path);
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  while (!wide.empty() && wide.back() == L'\\')
    wide.pop_back();
  return wide;
}

class Key {
public:
  Key() = default;
  explicit Key(HKEY key) : key_(key) {}
  Key(Key&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  ~Key() {
    if (key_)
      ::RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY get() const { return key_; }

private:
  HKEY key_ = nullptr;
};

ErrorOr<Key> openKey(Hive hive, std::string_view path, REGSAM access) {
  HKEY root = rootKey(hive);
  if (!root)
    return std::errc::invalid_argument;
  HKEY key = nullptr;
  // A symbolic key is opened as itself: walks do not follow it.
  LSTATUS status = ::RegOpenKeyExW(root, keyPath(path).c_str(), REG_OPTION_OPEN_LINK,
                                   access | KEY_WOW64_64KEY, &key);
  if (status != ERROR_SUCCESS)
    return win32Error(static_cast<unsigned long>(status));
  return Key(key);
}

bool isText(ValueType type) {
  return type == ValueType::String || type == ValueType::ExpandString ||
         type == ValueType::MultiString;
}

/// The registry's bytes of a value as the product writes them.
std::string toStored(ValueType type, std::string_view data) {
  if (!isText(type))
    return std::string(data);
  std::wstring wide = widen(data);
  if (wide.empty() || wide.back() != L'\0')
    wide.push_back(L'\0'); // text values end in a NUL in the registry
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

/// The product's bytes of a value the registry holds.
std::string fromStored(ValueType type, const std::vector<unsigned char>& bytes, DWORD size) {
  if (!isText(type))
    return std::string(reinterpret_cast<const char*>(bytes.data()), size);
  std::wstring_view wide(reinterpret_cast<const wchar_t*>(bytes.data()), size / sizeof(wchar_t));
  return narrow(wide);
}

ErrorOr<RegistryValue> readValue(HKEY key, const std::wstring& name) {
  std::vector<unsigned char> bytes(256);
  for (;;) {
    DWORD type = 0, size = static_cast<DWORD>(bytes.size());
    LSTATUS status = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, bytes.data(), &size);
    if (status == ERROR_MORE_DATA) {
      bytes.resize(size + 2);
      continue;
    }
    if (status != ERROR_SUCCESS)
      return win32Error(static_cast<unsigned long>(status));
    ValueType kind = static_cast<ValueType>(type);
    return RegistryValue{narrow(name), kind, fromStored(kind, bytes, size)};
  }
}

ErrorOr<std::vector<RegistryValue>> readValues(HKEY key) {
  std::vector<RegistryValue> values;
  DWORD longestName = 0;
  if (LSTATUS status = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                          nullptr, &longestName, nullptr, nullptr, nullptr);
      status != ERROR_SUCCESS)
    return win32Error(static_cast<unsigned long>(status));
  std::vector<wchar_t> name(longestName + 2);
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    LSTATUS status =
        ::RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS)
      return values;
    if (status != ERROR_SUCCESS)
      return win32Error(static_cast<unsigned long>(status));
    auto value = readValue(key, std::wstring(name.data(), length));
    if (!value)
      return value.error();
    values.push_back(std::move(*value));
  }
}

ErrorOr<std::vector<std::string>> readSubkeys(HKEY key) {
  std::vector<std::string> names;
  wchar_t name[256]; // the longest key name the registry allows, and its NUL
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(std::size(name));
    LSTATUS status = ::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS)
      break;
    if (status != ERROR_SUCCESS)
      return win32Error(static_cast<unsigned long>(status));
    names.push_back(narrow(std::wstring_view(name, length)));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return foldRegistryName(a) < foldRegistryName(b);
  });
  return names;
}

/// Held across a read and a write of modifyValue: other copies of the product wait.
class ChangeMutex {
public:
  ChangeMutex() : mutex_(::CreateMutexW(nullptr, FALSE, L"Local\\QuorvaneRegistryChange")) {
    if (mutex_)
      ::WaitForSingleObject(mutex_, INFINITE);
  }
  ~ChangeMutex() {
    if (mutex_) {
      ::ReleaseMutex(mutex_);
      ::CloseHandle(mutex_);
    }
  }
  ChangeMutex(const ChangeMutex&) = delete;
  ChangeMutex& operator=(const ChangeMutex&) = delete;

private:
  HANDLE mutex_;
};

} // namespace

std::error_code WindowsRegistry::createKey(Hive hive, std::string_view path) {
  HKEY root = rootKey(hive);
  if (!root)
    return std::make_error_code(std::errc::invalid_argument);
  HKEY key = nullptr;
  LSTATUS status = ::RegCreateKeyExW(root, keyPath(path).c_str(), 0, nullptr, 0,
                                     KEY_READ | KEY_WOW64_64KEY, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS)
    return win32Error(static_cast<unsigned long>(status));
  ::RegCloseKey(key);
  return {};
}

bool WindowsRegistry::keyExists(Hive hive, std::string_view path) {
  return static_cast<bool>(openKey(hive, path, KEY_QUERY_VALUE));
}

ErrorOr<std::vector<std::string>> WindowsRegistry::subkeys(Hive hive, std::string_view path) {
  auto key = openKey(hive, path, KEY_ENUMERATE_SUB_KEYS);
  if (!key)
    return key.error();
  return readSubkeys(key->get());
}

ErrorOr<std::vector<RegistryValue>> WindowsRegistry::values(Hive hive, std::string_view path) {
  auto key = openKey(hive, path, KEY_QUERY_VALUE);
  if (!key)
    return key.error();
  return readValues(key->get());
}

ErrorOr<RegistryValue> WindowsRegistry::queryValue(Hive hive, std::string_view path,
                                                   std::string_view name) {
  auto key = openKey(hive, path, KEY_QUERY_VALUE);
  if (!key)
    return key.error();
  return readValue(key->get(), widen(name));
}

std::error_code WindowsRegistry::setValue(Hive hive, std::string_view path, std::string_view name,
                                          ValueType type, std::string_view data) {
  auto key = openKey(hive, path, KEY_SET_VALUE);
  if (!key)
    return key.error();
  std::string stored = toStored(type, data);
  LSTATUS status = ::RegSetValueExW(key->get(), widen(name).c_str(), 0, static_cast<DWORD>(type),
                                    reinterpret_cast<const BYTE*>(stored.data()),
                                    static_cast<DWORD>(stored.size()));
  return status == ERROR_SUCCESS ? std::error_code()
                                 : win32Error(static_cast<unsigned long>(status));
}

std::error_code WindowsRegistry::deleteValue(Hive hive, std::string_view path,
                                             std::string_view name) {
  auto key = openKey(hive, path, KEY_SET_VALUE);
  if (!key)
    return key.error();
  LSTATUS status = ::RegDeleteValueW(key->get(), widen(name).c_str());
  return status == ERROR_SUCCESS ? std::error_code()
                                 : win32Error(static_cast<unsigned long>(status));
}

ErrorOr<RegistryValue> WindowsRegistry::modifyValue(Hive hive, std::string_view path,
                                                    std::string_view name,
                                                    const ValueChange& change) {
  ChangeMutex held;
  auto key = openKey(hive, path, KEY_QUERY_VALUE | KEY_SET_VALUE);
  if (!key)
    return key.error();
  auto current = readValue(key->get(), widen(name));
  if (!current && current.error() != std::errc::no_such_file_or_directory)
    return current.error();
  RegistryValue next = change(current ? &*current : nullptr);
  next.name = std::string(name);
  if (std::error_code error = setValue(hive, path, name, next.type, next.data))
    return error;
  return next;
}

std::error_code WindowsRegistry::walkTree(Hive hive, std::string_view path,
                                          const std::function<bool(const KeyVisit&)>& visit) {
  // Pre-order with an explicit stack of paths below the start; symbolic keys are opened as
  // themselves (see openKey), so no key leads back to an ancestor.
  std::string start(path);
  std::vector<std::string> stack{""};
  bool first = true;
  while (!stack.empty()) {
    std::string below = std::move(stack.back());
    stack.pop_back();
    std::string full = below.empty() ? start : start.empty() ? below : start + "\\" + below;
    auto key = openKey(hive, full, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
    if (!key) {
      if (first)
        return key.error();
      continue; // gone since its parent was listed
    }
    first = false;
    auto values = readValues(key->get());
    if (!visit({below, values ? std::move(*values) : std::vector<RegistryValue>{}}))
      return {};
    auto names = readSubkeys(key->get());
    if (!names)
      continue;
    for (auto name = names->rbegin(); name != names->rend(); ++name)
      stack.push_back(below.empty() ? *name : below + "\\" + *name);
  }
  return {};
}

std::error_code WindowsRegistry::deleteKey(Hive hive, std::string_view path) {
  if (keyPath(path).empty())
    return std::make_error_code(std::errc::invalid_argument); // a root stays
  auto key = openKey(hive, path, KEY_ENUMERATE_SUB_KEYS);
  if (!key)
    return key.error();
  auto names = readSubkeys(key->get());
  if (names && !names->empty())
    return std::make_error_code(std::errc::directory_not_empty);
  LSTATUS status = ::RegDeleteKeyExW(rootKey(hive), keyPath(path).c_str(), KEY_WOW64_64KEY, 0);
  return status == ERROR_SUCCESS ? std::error_code()
                                 : win32Error(static_cast<unsigned long>(status));
}

std::error_code WindowsRegistry::deleteTree(Hive hive, std::string_view path) {
  std::wstring wide = keyPath(path);
  if (wide.empty())
    return std::make_error_code(std::errc::invalid_argument); // a root stays
  if (!rootKey(hive))
    return std::make_error_code(std::errc::invalid_argument);
  LSTATUS status = ::RegDeleteTreeW(rootKey(hive), wide.c_str());
  if (status == ERROR_SUCCESS && keyExists(hive, path)) // emptied, and the key itself left
    status = ::RegDeleteKeyExW(rootKey(hive), wide.c_str(), KEY_WOW64_64KEY, 0);
  return status == ERROR_SUCCESS ? std::error_code()
                                 : win32Error(static_cast<unsigned long>(status));
}

ErrorOr<AccessList> WindowsRegistry::accessList(Hive hive, std::string_view path) {
  auto key = openKey(hive, path, READ_CONTROL);
  if (!key)
    return key.error();
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (DWORD status = ::GetSecurityInfo(key->get(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, &dacl, nullptr, &descriptor);
      status != ERROR_SUCCESS)
    return win32Error(status);
  AccessList list;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (::GetSecurityDescriptorControl(descriptor, &control, &revision))
    list.control = static_cast<std::uint16_t>(control);
  for (DWORD index = 0; dacl && index < dacl->AceCount; ++index) {
    void* raw = nullptr;
    if (!::GetAce(dacl, index, &raw))
      continue;
    auto* header = static_cast<ACE_HEADER*>(raw);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE)
      continue; // object and audit entries say nothing the product reads
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw); // the denied layout is the same
    PSID sid = &ace->SidStart;
    AccessEntry entry;
    entry.allow = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
    entry.mask = ace->Mask;
    entry.flags = header->AceFlags;
    LPWSTR text = nullptr;
    if (::ConvertSidToStringSidW(sid, &text)) {
      entry.identifier = narrow(text);
      ::LocalFree(text);
    }
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
      entry.account = narrow(std::wstring_view(name, nameSize));
    list.entries.push_back(std::move(entry));
  }
  ::LocalFree(descriptor);
  return list;
}

std::error_code WindowsRegistry::setAccessList(Hive hive, std::string_view path,
                                               const AccessList& list) {
  auto key = openKey(hive, path, READ_CONTROL | WRITE_DAC);
  if (!key)
    return key.error();
  // The explicit entries are written; the inherited ones are the system's to compute.
  std::vector<std::vector<unsigned char>> sids;
  DWORD size = sizeof(ACL);
  for (const AccessEntry& entry : list.entries) {
    if (entry.inherited())
      continue;
    PSID sid = nullptr;
    if (!::ConvertStringSidToSidW(widen(entry.identifier).c_str(), &sid))
      return lastWin32Error();
    DWORD length = ::GetLengthSid(sid);
    auto* begin = static_cast<unsigned char*>(sid);
    sids.emplace_back(begin, begin + length);
    ::LocalFree(sid);
    size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + length;
  }
  std::vector<unsigned char> buffer(size);
  auto* acl = reinterpret_cast<PACL>(buffer.data());
  if (!::InitializeAcl(acl, size, ACL_REVISION))
    return lastWin32Error();
  std::size_t next = 0;
  for (const AccessEntry& entry : list.entries) {
    if (entry.inherited())
      continue;
    PSID sid = sids[next++].data();
    BYTE flags = static_cast<BYTE>(entry.flags & ~access::Inherited);
    BOOL added = entry.allow ? ::AddAccessAllowedAceEx(acl, ACL_REVISION, flags, entry.mask, sid)
                             : ::AddAccessDeniedAceEx(acl, ACL_REVISION, flags, entry.mask, sid);
    if (!added)
      return lastWin32Error();
  }
  SECURITY_INFORMATION what =
      DACL_SECURITY_INFORMATION |
      ((list.control & access::Protected) ? PROTECTED_DACL_SECURITY_INFORMATION
                                          : UNPROTECTED_DACL_SECURITY_INFORMATION);
  DWORD status =
      ::SetSecurityInfo(key->get(), SE_REGISTRY_KEY, what, nullptr, nullptr, acl, nullptr);
  return status == ERROR_SUCCESS ? std::error_code() : win32Error(status);
}

} // namespace quorvane::platform::windows
