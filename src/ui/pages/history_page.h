// The recent-scan history: every threat the log holds, and "Clear Scan History".
#pragma once

#include "ui/list_models.h"
#include "ui/pages/page_support.h"

#include <QWidget>

namespace quorvane::ui {

class HistoryPage : public QWidget {
  Q_OBJECT
public:
  explicit HistoryPage(const PageServices& services, QWidget* parent = nullptr);

  /// Reads the threat log again.
  void refresh();

private:
  const PageServices& services_;
  RecordListModel* model_ = nullptr;
};

} // namespace quorvane::ui
