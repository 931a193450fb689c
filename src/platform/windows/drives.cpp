// Windows drives: the drive letters in use, each device's bus type through
// IOCTL_STORAGE_QUERY_PROPERTY, and arrivals seen by watching the set of letters.
#include "platform/windows/windows_platform.h"

#include "platform/windows/handle.h"
#include "platform/windows/wide.h"

#include <windows.h>

#include <winioctl.h>

#include <thread>

namespace quorvane::platform::windows {
namespace {

/// A text field of a storage descriptor, by its offset (0: none), trimmed of padding.
std::string descriptorText(const std::vector<unsigned char>& buffer, DWORD offset, DWORD size) {
  if (offset == 0 || offset >= size)
    return {};
  const char* begin = reinterpret_cast<const char*>(buffer.data()) + offset;
  std::string text(begin, strnlen(begin, size - offset));
  while (!text.empty() && text.back() == ' ')
    text.pop_back();
  while (!text.empty() && text.front() == ' ')
    text.erase(text.begin());
  return text;
}

} // namespace

std::vector<std::string> WindowsDrives::roots() {
  std::vector<std::string> roots;
  wchar_t buffer[4 * 26 + 1];
  DWORD length = ::GetLogicalDriveStringsW(static_cast<DWORD>(std::size(buffer)), buffer);
  for (const wchar_t* root = buffer; length > 0 && root < buffer + length && *root;
       root += wcslen(root) + 1) {
    switch (::GetDriveTypeW(root)) {
    case DRIVE_FIXED:
    case DRIVE_REMOVABLE:
    case DRIVE_CDROM:
      roots.push_back(narrow(root));
      break;
    default:
      break; // network shares, RAM disks and letters without a medium are no drives here
    }
  }
  return roots;
}

DeviceInfo WindowsDrives::deviceInfo(const std::string& root) {
  DeviceInfo info;
  if (root.size() < 2 || root[1] != ':')
    return info;
  std::wstring device = L"\\\\.\\" + widen(root.substr(0, 2));
  Handle volume(::CreateFileW(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  if (!volume.valid())
    return info;
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  std::vector<unsigned char> buffer(1024);
  DWORD returned = 0;
  if (::DeviceIoControl(volume.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer.data(),
                        static_cast<DWORD>(buffer.size()), &returned, nullptr) &&
      returned >= sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
    const auto* descriptor = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer.data());
    info.ok = true;
    info.busType = descriptor->BusType == BusTypeUsb ? kBusTypeUsb : 0;
    info.removable = descriptor->RemovableMedia != FALSE ||
                     ::GetDriveTypeW(widen(root).c_str()) == DRIVE_REMOVABLE;
    info.vendor = descriptorText(buffer, descriptor->VendorIdOffset, returned);
    info.product = descriptorText(buffer, descriptor->ProductIdOffset, returned);
    info.revision = descriptorText(buffer, descriptor->ProductRevisionOffset, returned);
  }
  return info;
}

bool WindowsDrives::waitForChange(std::chrono::milliseconds timeout) {
  // The letters in use are cheap to read: looked at four times a second.
  auto until = std::chrono::steady_clock::now() + timeout;
  if (!watching_) {
    known_ = ::GetLogicalDrives();
    watching_ = true;
  }
  for (;;) {
    DWORD now = ::GetLogicalDrives();
    if (now != known_) {
      known_ = now;
      return true;
    }
    auto left = until - std::chrono::steady_clock::now();
    if (left <= std::chrono::milliseconds(0))
      return false;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(250)));
  }
}

} // namespace quorvane::platform::windows
