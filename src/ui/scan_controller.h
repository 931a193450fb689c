// The scan worker of the desktop program: lives on a thread of its own, runs one core scan at a
// time and turns its events into queued signals for the window.
#pragma once

#include "scan/scan_runs.h"

#include <QObject>
#include <QString>

namespace quorvane::ui {

enum class ScanKind { Quick = 1, Smart = 2, Custom = 3 };

class ScanController : public QObject, public scan::ScanObserver {
  Q_OBJECT
public:
  explicit ScanController(scan::ScanRunner& runner);

  // Called by the runner on the worker thread.
  void checking(const std::string& path, long long filesScanned) override;
  void detected(const threats::ThreatRow& row, const std::string& digest) override;
  void areaFinished(int areaIndex, int count) override;
  void progress(long long done, long long total) override;

public Q_SLOTS:
  /// Runs one scan to its end (on the worker thread).
  void run(int kind, const QString& path);

Q_SIGNALS:
  void checkingFile(const QString& path, qlonglong filesScanned);
  void threatDetected(const QString& fileName, const QString& fullPath);
  void areaDone(int areaIndex, int count);
  void progressed(qlonglong done, qlonglong total);
  void finished(int kind, int threats);

private:
  scan::ScanRunner& runner_;
  qint64 lastReport_ = 0;
  qint64 lastProgress_ = 0;
};

} // namespace quorvane::ui
