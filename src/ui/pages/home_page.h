// The main page: the three scans, the status lines and "Check update Now".
#pragma once

#include "ui/pages/page_support.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>

namespace quorvane::ui {

class HomePage : public QWidget {
  Q_OBJECT
public:
  explicit HomePage(const PageServices& services, QWidget* parent = nullptr);

  /// Reads the status lines again (last scan, threats, last update, database version).
  void refreshStatus();
  /// "Check update Now": the question, the server's manifest and the download run in the
  /// background; the button stays disabled meanwhile.
  void checkUpdateNow();
  QProgressBar* updateBar() const { return updateProgress_; }

  /// Whether real-time protection is on, and how many keys the malware database holds: the
  /// protection overview shows them once both are given.
  std::function<bool()> protectionOn;
  std::function<std::int64_t()> keyCount;

Q_SIGNALS:
  void quickScanRequested();
  void smartScanRequested();
  void customScanRequested();
  /// A manual update ended (an update::UpdateOutcome).
  void updateFinished(int outcome);
  /// The protection switch was flipped.
  void protectionToggled();

private:
  const PageServices& services_;
  QLabel* lastScan_ = nullptr;
  QLabel* threats_ = nullptr;
  QLabel* lastUpdate_ = nullptr;
  QLabel* database_ = nullptr;
  QPushButton* checkUpdate_ = nullptr;
  QLabel* updateOutcome_ = nullptr;
  QCheckBox* protectionSwitch_ = nullptr;
  QGroupBox* overviewBox_ = nullptr; ///< hidden until the window gives what it shows
  /// The overview's lines: a sign, a title and a detail each.
  struct OverviewLine {
    QLabel* sign = nullptr;
    QLabel* title = nullptr;
    QLabel* detail = nullptr;
  };
  OverviewLine overview_[3];
  QProgressBar* updateProgress_ = nullptr;
  /// While the update server is asked, the update bar moves one step a second.
  QTimer updateBarTimer_;
};

} // namespace quorvane::ui
