// Tray facility: the icon of a program in the desktop's notification area.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane::platform {

/// The record a notification-area icon is added, changed and removed with.
struct TrayIconRecord {
  static constexpr std::uint32_t kMessageValid = 1, kIconValid = 2, kTipValid = 4;
  std::uint32_t size = 88;
  std::uintptr_t owner = 0;
  std::uint32_t identifier = 0;
  std::uint32_t flags = 0;
  std::uint32_t callbackMessage = 0;
  std::string icon; ///< the picture, by name or path
  std::string tip;  ///< at most 63 characters
};

enum class TrayCall { Add = 0, Modify = 1, Delete = 2 };

class Tray {
public:
  virtual ~Tray() = default;
  /// Whether the desktop has a notification area at all.
  virtual bool available() = 0;
  /// One call of the notification area; false when it refused.
  virtual bool notify(TrayCall call, const TrayIconRecord& record) = 0;
};

} // namespace quorvane::platform
