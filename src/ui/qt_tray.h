// The notification area of the desktop, through QSystemTrayIcon.
#pragma once

#include "platform/tray.h"

#include <QObject>
#include <QSystemTrayIcon>

#include <functional>

namespace quorvane::ui {

class QtTray final : public QObject, public platform::Tray {
  Q_OBJECT
public:
  explicit QtTray(QObject* parent = nullptr);
  bool available() override;
  bool notify(platform::TrayCall call, const platform::TrayIconRecord& record) override;
  QSystemTrayIcon& icon() { return icon_; }
  /// Receives each mouse event as the mouse message number the tray component decodes.
  std::function<void(int)> onEvent;

private:
  QSystemTrayIcon icon_;
  std::uint32_t shown_ = 0; ///< identifier of the icon present; 0 when none
};

} // namespace quorvane::ui
