// The schedule page.
#include "ui/pages/schedule_page.h"

#include "app/settings.h"
#include "schedule/scheduler.h"
#include "ui/qt_text.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quorvane::ui {

SchedulePage::SchedulePage(const PageServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("<h3>" + services_.text("031", "Schedule Scan") + "</h3>", this));
  auto* time = new QHBoxLayout();
  time->addWidget(new QLabel(services_.text("034", "Start at"), this));
  hour_ = new QComboBox(this);
  hour_->setObjectName("starthour");
  for (int h = 0; h <= 23; ++h)
    hour_->addItem(QString::number(h));
  minute_ = new QComboBox(this);
  minute_->setObjectName("startmin");
  for (int m = 1; m <= 59; ++m) // 0 is not offered; a stored 0 still counts
    minute_->addItem(QString::number(m));
  time->addWidget(hour_);
  time->addWidget(new QLabel(":", this));
  time->addWidget(minute_);
  time->addStretch();
  layout->addLayout(time);

  auto* periodBox = new QGroupBox(services_.text("035", "Scan period"), this);
  auto* periodRow = new QHBoxLayout(periodBox);
  auto* periods = new QButtonGroup(this);
  const std::pair<const char*, const char*> periodCaptions[] = {
      {"194", "Once"}, {"195", "Weekly"}, {"196", "Monthly"}};
  for (int i = 0; i < 3; ++i) {
    period_[i] = new QRadioButton(services_.text(periodCaptions[i].first, periodCaptions[i].second),
                                  periodBox);
    periods->addButton(period_[i]);
    periodRow->addWidget(period_[i]);
  }
  layout->addWidget(periodBox);

  auto* daysBox = new QGroupBox(services_.text("176", "Days"), this);
  auto* days = new QGridLayout(daysBox);
  const std::pair<const char*, const char*> dayCaptions[] = {
      {"187", "Monday"}, {"188", "Tuesday"},  {"189", "Wednesday"}, {"190", "Thursday"},
      {"191", "Friday"}, {"192", "Saturday"}, {"193", "Sunday"}};
  for (int i = 0; i < 7; ++i) {
    weekdays_[i] =
        new QCheckBox(services_.text(dayCaptions[i].first, dayCaptions[i].second), daysBox);
    weekdays_[i]->setObjectName(qText(schedule::kWeekdaySettings[i]));
    days->addWidget(weekdays_[i], i / 4, i % 4);
  }
  everyDay_ = new QCheckBox(services_.text("177", "Every day"), daysBox);
  everyDay_->setObjectName("everyweek_all");
  days->addWidget(everyDay_, 1, 3);
  layout->addWidget(daysBox);

  auto* modeBox = new QGroupBox(services_.text("178", "Scan type"), this);
  auto* modeRow = new QHBoxLayout(modeBox);
  auto* modes = new QButtonGroup(this);
  mode_[0] = new QRadioButton(services_.text("004", "Quick Scan"), modeBox);
  mode_[1] = new QRadioButton(services_.text("005", "Smart Scan"), modeBox);
  for (QRadioButton* b : mode_) {
    modes->addButton(b);
    modeRow->addWidget(b);
  }
  layout->addWidget(modeBox);
  shutdown_ = new QCheckBox(services_.text("179", "Shutdown PC automatically after scan"), this);
  shutdown_->setObjectName("shutdown");
  layout->addWidget(shutdown_);
  QPushButton* saveButton = captionedButton(services_.text("180", "Save"), this);
  connect(saveButton, &QPushButton::clicked, this, &SchedulePage::save);
  layout->addWidget(saveButton, 0, Qt::AlignLeft);
  layout->addStretch();
}

void SchedulePage::fill() {
  app::SettingsStore settings(services_.platform);
  schedule::Schedule stored = schedule::readSchedule(settings);
  // The lists show the stored texts, whatever they are.
  hour_->setCurrentIndex(hour_->findText(QString::fromStdString(stored.hour)));
  minute_->setCurrentIndex(minute_->findText(QString::fromStdString(stored.minute)));
  for (int i = 0; i < 3; ++i)
    period_[i]->setChecked(stored.scanPeriod == i + 1);
  for (int i = 0; i < 7; ++i)
    weekdays_[i]->setChecked(stored.weekdays[i] == 1);
  everyDay_->setChecked(stored.everyDay == 1);
  shutdown_->setChecked(stored.shutdown == 1);
  for (int i = 0; i < 2; ++i)
    mode_[i]->setChecked(stored.scanMode == i + 1);
}

void SchedulePage::save() {
  schedule::Schedule chosen;
  chosen.hour = hour_->currentIndex() < 0 ? "0" : hour_->currentText().toStdString();
  chosen.minute = minute_->currentIndex() < 0 ? "0" : minute_->currentText().toStdString();
  for (int i = 0; i < 3; ++i)
    if (period_[i]->isChecked())
      chosen.scanPeriod = i + 1;
  for (int i = 0; i < 7; ++i)
    chosen.weekdays[i] = weekdays_[i]->isChecked() ? 1 : 0;
  chosen.everyDay = everyDay_->isChecked() ? 1 : 0;
  chosen.shutdown = shutdown_->isChecked() ? 1 : 0;
  for (int i = 0; i < 2; ++i)
    if (mode_[i]->isChecked())
      chosen.scanMode = i + 1;
  app::SettingsStore settings(services_.platform);
  schedule::writeSchedule(settings, chosen);
  Q_EMIT saved();
}

} // namespace quorvane::ui
