// The scan worker of the desktop program.
#include "ui/scan_controller.h"

#include <QDateTime>

namespace quorvane::ui {

ScanController::ScanController(scan::ScanRunner& runner) : runner_(runner) {
  runner_.checker().observer = this;
}

void ScanController::checking(const std::string& path, long long filesScanned) {
  // The window repaints at most every 50 ms; the files go by much faster.
  qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (now - lastReport_ < 50)
    return;
  lastReport_ = now;
  Q_EMIT checkingFile(QString::fromStdString(path), filesScanned);
}

void ScanController::detected(const threats::ThreatRow& row, const std::string&) {
  Q_EMIT threatDetected(QString::fromStdString(row.fileName), QString::fromStdString(row.fullPath));
}

void ScanController::areaFinished(int areaIndex, int count) { Q_EMIT areaDone(areaIndex, count); }

void ScanController::progress(long long done, long long total) {
  // A step of the bar at most every 50 ms, and always its end.
  qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (done < total && now - lastProgress_ < 50)
    return;
  lastProgress_ = now;
  Q_EMIT progressed(done, total);
}

void ScanController::run(int kind, const QString& path) {
  int threats = 0;
  switch (static_cast<ScanKind>(kind)) {
  case ScanKind::Quick:
    threats = runner_.startQuickScan();
    break;
  case ScanKind::Smart:
    threats = runner_.startSmartScan();
    break;
  case ScanKind::Custom:
    threats = runner_.startCustomScan({path.toStdString()});
    break;
  }
  Q_EMIT finished(kind, threats);
}

} // namespace quorvane::ui
