// The scan page: the areas of the run with their counts and pictures, what is being checked,
// the elapsed time, the summary, and Pause, Cancel and "Check dangerous files".
#pragma once

#include "scan/scan_state.h"
#include "schedule/scheduler.h"
#include "ui/pages/page_support.h"
#include "ui/scan_controller.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <map>
#include <vector>

namespace quorvane::ui {

class ScanPage : public QWidget {
  Q_OBJECT
public:
  explicit ScanPage(const PageServices& services, QWidget* parent = nullptr);

  /// A run of `kind` over `areas` starts: only those panels show, all pending, the clock and
  /// the animation start.
  void startRun(ScanKind kind, const std::vector<int>& areas);
  void showChecking(const QString& path, qlonglong filesScanned);
  /// A step of known length reached `done` of `total`: the bar shows it for a Quick Scan (the
  /// modules of the running programs). A Smart Scan's bar counts its areas; a Custom Scan's
  /// length is not known beforehand.
  void showProgress(qlonglong done, qlonglong total);
  QProgressBar* progressBar() const { return activity_; }
  /// A threat was recorded: the way to the list opens (the list is read once the run ends).
  void showThreatDetected();
  /// An area's step ended; the next area of the run animates once it starts.
  void showAreaDone(int area, int count);
  /// The pause button's new caption ("Pause" or "Resume"); the clock stops while paused.
  void showPauseCaption(const QString& caption);
  void showCancelling();
  /// The run ended: its status, counts, summary and notice.
  void showFinished(int threats, const scan::ScanState& state);

Q_SIGNALS:
  void pauseClicked();
  void cancelClicked();
  void dangerousFilesClicked();

private:
  /// An area's count and its threat or clean picture.
  void showAreaResult(int area, int count);
  void showPending(int area);

  const PageServices& services_;
  std::map<int, QWidget*> panels_;
  std::map<int, QLabel*> areaCounts_;
  std::map<int, QLabel*> areaStatus_;
  QLabel* status_ = nullptr;
  QLabel* nowChecking_ = nullptr;
  QLabel* files_ = nullptr;
  QLabel* elapsed_ = nullptr;
  QLabel* notice_ = nullptr;
  QLabel* rate_ = nullptr; ///< files a second, while a run goes
  QProgressBar* activity_ = nullptr;
  QLabel* summary_[4] = {};
  QPushButton* pause_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* dangerous_ = nullptr;

  schedule::ElapsedLabels clock_;
  QTimer clockTimer_;
  /// The first pending area of the run turns while it is checked.
  QTimer animationTimer_;
  std::vector<int> runAreas_;
  ScanKind kind_ = ScanKind::Quick;
  int areasDone_ = 0;
  qlonglong filesScanned_ = 0;
  QElapsedTimer running_;
  int animatedArea_ = 0;
  int animationFrame_ = 0;
};

} // namespace quorvane::ui
