// The detected-threat list of the last run and its commands: select all, delete, quarantine,
// mark as safe, remove from memory.
#pragma once

#include "scan/scan_runs.h"
#include "ui/list_models.h"
#include "ui/pages/page_support.h"

#include <QPushButton>
#include <QWidget>

#include <functional>

namespace quorvane::ui {

class ResultsPage : public QWidget {
  Q_OBJECT
public:
  /// Shows `runner`'s list; `scanRunning` says when its commands must wait.
  ResultsPage(const PageServices& services, scan::ScanRunner& runner,
              std::function<bool()> scanRunning, QWidget* parent = nullptr);

  /// Reads the list again.
  void refresh();
  /// A command works on the list in the background: no scan may start meanwhile.
  bool busy() const { return busy_; }

Q_SIGNALS:
  /// A command has done its work in the background.
  void listsChanged();

private:
  /// Runs `command` on a copy of the list in the background; the list takes the copy over when
  /// it is done.
  void runInBackground(std::function<void(threats::ScanResults&)> command);

  const PageServices& services_;
  scan::ScanRunner& runner_;
  std::function<bool()> scanRunning_;
  ThreatListModel* model_ = nullptr;
  QPushButton* selectAll_ = nullptr;
  bool busy_ = false;
};

} // namespace quorvane::ui
