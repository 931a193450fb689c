// The window's guards.
#include "ui/guard.h"

namespace quorvane::ui {

Guard::Guard(platform::Platform& platform, const std::string& appFolder,
             engine::SignatureDatabase& signatures, protect::WindowHandle window)
    : p_(platform), signatures_(signatures), autoProtect_(platform, appFolder, signatures),
      driveProtect_(platform, appFolder, signatures, autoProtect_), window_(window) {
  autoProtect_.onThreat = [this](const threats::AlertRecord& record) {
    Q_EMIT threatFound(QString::fromStdString(record.text()), true);
  };
  driveProtect_.onThreat = [this](const threats::AlertRecord& record) {
    Q_EMIT threatFound(QString::fromStdString(record.text()), false);
  };
  dispatcher_.attach(window_, driveProtect_);
  dispatcher_.addMessage(window_, protect::kDeviceChangeMessage, protect::MessageDispatcher::After);
}

void Guard::start() {
  driveProtect_.listUsbDrives();
  p_.drives.waitForChange(std::chrono::milliseconds(0)); // starts watching the mounts
  autoProtect_.tick(); // the first pass checks every program already running
  autoProtectTimer_ = new QTimer(this);
  autoProtectTimer_->setInterval(protect::kAutoProtectTickMs);
  connect(autoProtectTimer_, &QTimer::timeout, this, &Guard::tick);
  autoProtectTimer_->start();
  tableReloadTimer_ = new QTimer(this);
  tableReloadTimer_->setInterval(kReloadTickMs);
  connect(tableReloadTimer_, &QTimer::timeout, this,
          [this] {
            if (signatures_.reloadSignatureTableTick())
              Q_EMIT signaturesReplaced(
                  static_cast<qlonglong>(signatures_.current()->signatureCount()));
          });
  tableReloadTimer_->start();
}

void Guard::tick() {
  autoProtectTimer_->stop(); // a long check does not pile ticks up
  if (p_.drives.waitForChange(std::chrono::milliseconds(0)))
    dispatcher_.dispatch(window_, protect::kDeviceChangeMessage);
  autoProtect_.tick();
  autoProtectTimer_->start();
}

} // namespace quorvane::ui
