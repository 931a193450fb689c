// The window's guards, on a thread of their own so that hashing never holds up the window:
// auto-protect's check of new programs, drive protection on every change of the
// mounts, and the signature table's periodic rebuild.
#pragma once

#include "engine/sigtable.h"
#include "platform/platform.h"
#include "protect/autoprotect.h"
#include "protect/drive_protect.h"
#include "protect/message_dispatcher.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace quorvane::ui {

/// The interval of the table's rebuild.
inline constexpr int kReloadTickMs = 10000;

class Guard final : public QObject {
  Q_OBJECT
public:
  /// `window` is the handle the drive messages are delivered to.
  Guard(platform::Platform& platform, const std::string& appFolder,
        engine::SignatureDatabase& signatures, protect::WindowHandle window);

  protect::AutoProtect& autoProtect() { return autoProtect_; }
  protect::DriveProtect& driveProtect() { return driveProtect_; }

public Q_SLOTS:
  /// On the guard's thread: the drive inventory, the first pass over every running program, then
  /// the timers.
  void start();

Q_SIGNALS:
  /// vir.sig changed and the table now holds this many signatures (an update landed).
  void signaturesReplaced(qlonglong count);
  /// A threat was found and handled; `fromProcesses` is true for a running program, false for a
  /// drive's file.
  void threatFound(const QString& record, bool fromProcesses);

private:
  void tick();

  platform::Platform& p_;
  engine::SignatureDatabase& signatures_;
  protect::AutoProtect autoProtect_;
  protect::DriveProtect driveProtect_;
  protect::MessageDispatcher dispatcher_;
  protect::WindowHandle window_;
  QTimer* autoProtectTimer_ = nullptr;
  QTimer* tableReloadTimer_ = nullptr;
};

} // namespace quorvane::ui
