// The tray icon component: its properties, the records it hands to the notification area, and
// the mouse events it decodes.
#pragma once

#include "platform/tray.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quorvane::app {

/// The tip text a notification area takes (its field holds 64 characters with the NUL).
inline constexpr std::size_t kTrayTipLimit = 63;
/// The callback message: the mouse-move message; the event is in the X coordinate.
inline constexpr std::uint32_t kTrayCallbackMessage = 512;

enum class TrayEvent { None, MouseMove, MouseDown, MouseUp, DblClick };
struct TrayMouse {
  TrayEvent event = TrayEvent::None;
  int button = 0; ///< 1 left, 2 right; 0 when the event has none
};
/// The event behind a callback's value (the mouse message number).
TrayMouse decodeTrayEvent(int value);

class TrayArea {
public:
  /// `random` gives numbers in [0, 1); the identifier of each add is int(random × 65535 + 1).
  TrayArea(platform::Tray& shell, std::uintptr_t ownerWindow,
           std::function<double()> random = {});
  ~TrayArea(); ///< the icon leaves the notification area

  bool visible() const { return visible_; }
  void setVisible(bool visible);
  const std::string& icon() const { return record_.icon; }
  void setIcon(std::string icon);
  const std::string& toolTip() const { return tip_; }
  void setToolTip(std::string_view tip);
  /// The identifier of the icon now shown (a fresh one per add).
  std::uint32_t identifier() const { return record_.identifier; }

private:
  platform::Tray& shell_;
  std::function<double()> random_;
  platform::TrayIconRecord record_;
  std::string tip_;
  bool visible_ = false;
};

} // namespace quorvane::app
