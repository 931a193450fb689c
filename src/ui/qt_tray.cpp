// The notification area through QSystemTrayIcon.
#include "ui/qt_tray.h"

#include "ui/pictures.h"

#include <QIcon>

namespace quorvane::ui {

QtTray::QtTray(QObject* parent) : QObject(parent) {
  connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (!onEvent)
      return;
    switch (why) {
    case QSystemTrayIcon::DoubleClick: onEvent(515); break;
    case QSystemTrayIcon::Trigger:
      onEvent(513);
      onEvent(514);
      // Trays that speak StatusNotifierItem (KDE, GNOME with AppIndicator) send this one
      // activation and never a double click: it restores the window as a double click does.
      onEvent(515);
      break;
    case QSystemTrayIcon::Context: onEvent(516); break;
    default: break;
    }
  });
}

bool QtTray::available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

bool QtTray::notify(platform::TrayCall call, const platform::TrayIconRecord& record) {
  auto apply = [&] {
    if (record.flags & platform::TrayIconRecord::kIconValid) {
      // "quorvane" and "quorvane-off" are the shield on and off; anything else is a file.
      QIcon picture = record.icon == "quorvane"       ? QIcon(shieldPicture(true))
                      : record.icon == "quorvane-off" ? QIcon(shieldPicture(false))
                                                      : QIcon(QString::fromStdString(record.icon));
      icon_.setIcon(picture);
    }
    if (record.flags & platform::TrayIconRecord::kTipValid)
      icon_.setToolTip(QString::fromStdString(record.tip));
  };
  switch (call) {
  case platform::TrayCall::Add:
    if (!available() || shown_ != 0)
      return false;
    apply();
    if (icon_.icon().isNull())
      icon_.setIcon(QIcon(shieldPicture(true)));
    icon_.show();
    shown_ = record.identifier;
    return true;
  case platform::TrayCall::Modify:
    if (shown_ == 0 || shown_ != record.identifier)
      return false;
    apply();
    return true;
  case platform::TrayCall::Delete:
    if (shown_ == 0)
      return false;
    icon_.hide();
    shown_ = 0;
    return true;
  }
  return false;
}

} // namespace quorvane::ui
