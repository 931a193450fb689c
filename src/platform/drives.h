// Drives facility: the mounted drives, what device each one is on, and notice of changes.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace quorvane::platform {

/// The bus type of a USB device in a device description.
inline constexpr int kBusTypeUsb = 7;

/// What the system tells of the device under a drive.
struct DeviceInfo {
  bool ok = false;        ///< the description could be read
  int busType = 0;        ///< kBusTypeUsb for USB, 0 for anything else
  bool removable = false; ///< removable media
  std::string vendor{}, product{}, revision{};
};

class Drives {
public:
  virtual ~Drives() = default;
  /// The roots of the mounted drives (file systems on block devices), in mount order.
  virtual std::vector<std::string> roots() = 0;
  virtual DeviceInfo deviceInfo(const std::string& root) = 0;
  /// Waits until the set of mounted drives may have changed, or the time is up. True for a
  /// change.
  virtual bool waitForChange(std::chrono::milliseconds timeout) = 0;
};

} // namespace quorvane::platform
