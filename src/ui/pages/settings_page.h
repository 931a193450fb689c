// The settings page: start with the system, the file manager's scan entry, drive AutoRun, the
// action on a threat, the language, and "Restore System Default Settings".
#pragma once

#include "ui/pages/page_support.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

namespace quorvane::ui {

class SettingsPage : public QWidget {
  Q_OBJECT
public:
  explicit SettingsPage(const PageServices& services, QWidget* parent = nullptr);

  /// Shows the stored values; filling the page changes nothing.
  void fill();
  /// "Restore System Default Settings", in the background.
  void restoreSystemDefaults();

Q_SIGNALS:
  void restoreFinished();
  /// Another language file was chosen and stored.
  void languageChosen();

private:
  const PageServices& services_;
  QCheckBox* startWithSystem_ = nullptr;
  QCheckBox* contextMenu_ = nullptr;
  QCheckBox* autorun_ = nullptr;
  QRadioButton* threatAction_[3] = {};
  QPushButton* restore_ = nullptr;
};

} // namespace quorvane::ui
