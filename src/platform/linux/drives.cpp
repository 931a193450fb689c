// Linux drives: the mount table, sysfs and udev's database.
#include "platform/linux/linux_platform.h"

#include "platform/files.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace quorvane::platform {
namespace {

/// mountinfo writes space, tab, newline and backslash in paths as octal escapes ("\040").
std::string unescapeMountPath(std::string_view text) {
  auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && isOctal(text[i + 1]) && isOctal(text[i + 2]) &&
        isOctal(text[i + 3])) {
      out += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string readTrimmed(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  std::size_t start = text.find_first_not_of(' ');
  return start == std::string::npos ? std::string() : text.substr(start);
}

} // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text, bool devicesOnly) {
  std::vector<MountEntry> entries;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    // id parent major:minor root mount-point options [optional...] - fstype source options
    std::istringstream fields(line);
    std::string id, parent, numbers, root, mountPoint;
    if (!(fields >> id >> parent >> numbers >> root >> mountPoint))
      continue;
    std::string word;
    while (fields >> word && word != "-") {
    }
    std::string fstype, source;
    if (!(fields >> fstype >> source) || (devicesOnly && source.rfind("/dev/", 0) != 0))
      continue;
    MountEntry entry;
    if (std::sscanf(numbers.c_str(), "%u:%u", &entry.major, &entry.minor) != 2)
      continue;
    entry.mountPoint = unescapeMountPath(mountPoint);
    entry.source = unescapeMountPath(source);
    entry.fsType = fstype;
    entries.push_back(std::move(entry));
  }
  return entries;
}

LinuxDrives::LinuxDrives(std::string mountInfo, std::string sysRoot, std::string udevRoot)
    : mountInfo_(std::move(mountInfo)), sysRoot_(std::move(sysRoot)),
      udevRoot_(std::move(udevRoot)) {}

LinuxDrives::~LinuxDrives() {
  if (watch_ >= 0)
    ::close(watch_);
}

std::vector<std::string> LinuxDrives::roots() {
  std::ifstream in(mountInfo_);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::vector<std::string> roots;
  for (const MountEntry& entry : parseMountInfo(text))
    if (std::find(roots.begin(), roots.end(), entry.mountPoint) == roots.end())
      roots.push_back(entry.mountPoint);
  return roots;
}

DeviceInfo LinuxDrives::deviceInfo(const std::string& root) {
  DeviceInfo info;
  std::ifstream in(mountInfo_);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  const MountEntry* found = nullptr;
  std::vector<MountEntry> entries = parseMountInfo(text);
  for (const MountEntry& entry : entries)
    if (entry.mountPoint == root)
      found = &entry; // the last mount on a point is the one in use
  if (!found)
    return info;
  std::string numbers = std::to_string(found->major) + ":" + std::to_string(found->minor);
  std::error_code error;
  std::filesystem::path device =
      std::filesystem::canonical(std::filesystem::path(sysRoot_) / "dev/block" / numbers, error);
  if (error)
    return info;
  // A partition's own folder sits inside its disk's folder.
  std::filesystem::path disk = std::filesystem::exists(device / "partition") ? device.parent_path()
                                                                              : device;
  info.ok = true;
  info.removable = readTrimmed(disk / "removable") == "1";
  bool usb = device.string().find("/usb") != std::string::npos;
  if (!usb) {
    std::ifstream udev(std::filesystem::path(udevRoot_) / ("b" + numbers));
    for (std::string line; std::getline(udev, line);)
      usb = usb || line == "E:ID_BUS=usb";
  }
  info.busType = usb ? kBusTypeUsb : 0;
  info.vendor = readTrimmed(disk / "device/vendor");
  info.product = readTrimmed(disk / "device/model");
  info.revision = readTrimmed(disk / "device/rev");
  return info;
}

bool LinuxDrives::waitForChange(std::chrono::milliseconds timeout) {
  if (watch_ < 0) {
    watch_ = ::open(mountInfo_.c_str(), O_RDONLY | O_CLOEXEC);
    if (watch_ < 0) {
      ::poll(nullptr, 0, static_cast<int>(timeout.count()));
      return false;
    }
    char buffer[4096]; // a change is reported against what was read last
    while (::read(watch_, buffer, sizeof buffer) > 0) {
    }
  }
  pollfd waiting{watch_, POLLPRI, 0};
  int ready = ::poll(&waiting, 1, static_cast<int>(timeout.count()));
  if (ready <= 0 || !(waiting.revents & (POLLPRI | POLLERR)))
    return false;
  ::lseek(watch_, 0, SEEK_SET);
  char buffer[4096];
  while (::read(watch_, buffer, sizeof buffer) > 0) {
  }
  return true;
}

} // namespace quorvane::platform
