// The custom scan's folder picker: a drive, a folder in its tree, and "Start Scanning".
#pragma once

#include "ui/pages/page_support.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QWidget>

namespace quorvane::ui {

class PickerPage : public QWidget {
  Q_OBJECT
public:
  explicit PickerPage(const PageServices& services, QWidget* parent = nullptr);

  /// No folder picked: "Start Scanning" waits for one.
  void reset();

Q_SIGNALS:
  void scanRequested(const QString& path);

private:
  QComboBox* drives_ = nullptr;
  QTreeView* tree_ = nullptr;
  QLabel* pickedPath_ = nullptr;
  QPushButton* startScanning_ = nullptr;
};

} // namespace quorvane::ui
