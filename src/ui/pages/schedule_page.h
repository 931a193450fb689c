// The schedule page: the time, period, days, kind of scan and shutdown of the scheduled scan.
#pragma once

#include "ui/pages/page_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QWidget>

namespace quorvane::ui {

class SchedulePage : public QWidget {
  Q_OBJECT
public:
  explicit SchedulePage(const PageServices& services, QWidget* parent = nullptr);

  /// Shows the stored schedule.
  void fill();
  /// "Save": stores what the page shows.
  void save();

Q_SIGNALS:
  /// A schedule was stored.
  void saved();

private:
  const PageServices& services_;
  QComboBox* hour_ = nullptr;
  QComboBox* minute_ = nullptr;
  QRadioButton* period_[3] = {};
  QCheckBox* weekdays_[7] = {};
  QCheckBox* everyDay_ = nullptr;
  QCheckBox* shutdown_ = nullptr;
  QRadioButton* mode_[2] = {};
};

} // namespace quorvane::ui
