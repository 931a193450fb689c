// The scan page.
#include "ui/pages/scan_page.h"

#include "ui/pictures.h"
#include "ui/qt_text.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace quorvane::ui {

ScanPage::ScanPage(const PageServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  auto* layout = new QVBoxLayout(this);
  auto* box = new QGroupBox(services_.text("013", "System Scan Area"), this);
  auto* grid = new QVBoxLayout(box);
  for (const scan::AreaText& area : scan::kAreaTexts) {
    auto* panel = new QWidget(box);
    auto* row = new QHBoxLayout(panel);
    row->addWidget(new QLabel(QString("<b>%1</b><br>%2").arg(area.title, area.subtitle), panel), 1);
    areaCounts_[area.index] = new QLabel("0", panel);
    areaStatus_[area.index] = new QLabel(panel);
    showPending(area.index);
    row->addWidget(areaCounts_[area.index]);
    row->addWidget(areaStatus_[area.index]);
    panels_[area.index] = panel;
    grid->addWidget(panel);
  }
  layout->addWidget(box);
  status_ = new QLabel(this);
  nowChecking_ = new QLabel(services_.text("018", "Now Checking :"), this);
  files_ = new QLabel("Files scanned :0", this);
  elapsed_ = new QLabel("0:00.0", this);
  notice_ = new QLabel(this);
  for (QLabel* label : {status_, nowChecking_, files_, elapsed_, notice_})
    layout->addWidget(label);
  activity_ = new QProgressBar(this);
  activity_->setRange(0, 0); // busy: the length of a scan is not known beforehand
  activity_->hide();
  layout->addWidget(activity_);
  auto* summaryBox = new QGroupBox(services_.text("197", "Summary"), this);
  auto* summaryLayout = new QVBoxLayout(summaryBox);
  const std::pair<const char*, const char*> summaryCaptions[] = {{"019", "Total files scanned :"},
                                                                 {"020", "Safe files scanned:"},
                                                                 {"021", "Threats Found :"},
                                                                 {"022", "Unknown Files:"}};
  for (int i = 0; i < 4; ++i) {
    summary_[i] =
        new QLabel(services_.text(summaryCaptions[i].first, summaryCaptions[i].second), summaryBox);
    summaryLayout->addWidget(summary_[i]);
  }
  layout->addWidget(summaryBox);
  auto* buttons = new QHBoxLayout();
  pause_ = captionedButton(services_.text("015", "Pause"), this);
  cancel_ = captionedButton(services_.text("016", "Cancel"), this);
  dangerous_ = captionedButton(services_.text("017", "Check dangerous files"), this);
  dangerous_->hide();
  connect(pause_, &QPushButton::clicked, this, &ScanPage::pauseClicked);
  connect(cancel_, &QPushButton::clicked, this, &ScanPage::cancelClicked);
  connect(dangerous_, &QPushButton::clicked, this, &ScanPage::dangerousFilesClicked);
  buttons->addWidget(pause_);
  buttons->addWidget(cancel_);
  buttons->addWidget(dangerous_);
  layout->addLayout(buttons);

  clockTimer_.setInterval(100);
  connect(&clockTimer_, &QTimer::timeout, this, [this] {
    clock_ = schedule::elapsedTick(clock_);
    elapsed_->setText(
        QString::fromStdString(clock_.minutes + ":" + clock_.seconds + "." + clock_.tenths));
  });
  animationTimer_.setInterval(100);
  connect(&animationTimer_, &QTimer::timeout, this, [this] {
    if (animatedArea_ == 0)
      for (int area : runAreas_)
        if (areaStatus_.count(area) && areaStatus_[area]->property("status") == "pending") {
          animatedArea_ = area;
          break;
        }
    if (animatedArea_ != 0)
      areaStatus_[animatedArea_]->setPixmap(animationFrame(animationFrame_));
    animationFrame_ = (animationFrame_ + 1) % 8;
  });
}

void ScanPage::showPending(int area) {
  areaStatus_[area]->setPixmap(areaPicture(AreaPicture::Pending));
  areaStatus_[area]->setProperty("status", "pending");
}

void ScanPage::startRun(ScanKind kind, const std::vector<int>& areas) {
  for (auto& [area, panel] : panels_) {
    panel->setVisible(std::find(areas.begin(), areas.end(), area) != areas.end());
    areaCounts_[area]->setText("0");
    showPending(area);
  }
  // Read when shown, so a language change applies at once; the custom scan's line has no full
  // stop.
  QString line = services_.text("023", "Scan in progress, Please wait until the scan complete.");
  if (kind == ScanKind::Custom && line.endsWith('.'))
    line.chop(1);
  status_->setText(line);
  nowChecking_->setText("Now Checking :");
  nowChecking_->show();
  files_->setText("Files scanned :0");
  notice_->clear();
  dangerous_->hide();
  pause_->setText("Pause");
  pause_->setEnabled(true);
  clock_ = {};
  elapsed_->setText("0:00.0");
  clockTimer_.start();
  runAreas_ = areas;
  animatedArea_ = 0;
  animationFrame_ = 0;
  animationTimer_.start();
  activity_->show();
}

void ScanPage::showChecking(const QString& path, qlonglong filesScanned) {
  nowChecking_->setText("Now Checking : " + path);
  files_->setText("Files scanned :" + QString::number(filesScanned));
}

void ScanPage::showThreatDetected() {
  dangerous_->show();
}

void ScanPage::showAreaDone(int area, int count) {
  showAreaResult(area, count);
  animatedArea_ = 0; // the run's areas go in order
}

void ScanPage::showAreaResult(int area, int count) {
  if (!areaCounts_.count(area))
    return;
  areaCounts_[area]->setText(QString::number(count));
  areaStatus_[area]->setPixmap(areaPicture(count > 0 ? AreaPicture::Threat : AreaPicture::Clean));
  areaStatus_[area]->setProperty("status", count > 0 ? "threat" : "clean");
}

void ScanPage::showPauseCaption(const QString& caption) {
  pause_->setText(caption);
  if (caption == "Resume")
    clockTimer_.stop();
  else
    clockTimer_.start();
}

void ScanPage::showCancelling() {
  status_->setText("Cancelling...");
}

void ScanPage::showFinished(ScanKind, int threats, const scan::ScanState& state) {
  clockTimer_.stop();
  activity_->hide();
  pause_->setEnabled(false);
  nowChecking_->hide();
  status_->setText(
      QString::fromStdString(state.status.empty() ? "Finished scanning" : state.status));
  files_->setText("Files scanned :" + QString::number(state.filesScanned));
  // Every kind of scan fills the summary (a Smart Scan's once said "No internet connection", a
  // Custom Scan's once showed its captions alone).
  summary_[0]->setText("Total files scanned : " + QString::number(state.summary.totalFiles));
  summary_[1]->setText("Safe files scanned: " + QString::number(state.summary.safeFiles));
  summary_[2]->setText("Threats Found : " + QString::number(state.summary.threats));
  summary_[3]->setText("Unknown Files: " + QString::number(state.summary.unknownFiles));
  for (const auto& [area, count] : state.areaCounts)
    showAreaResult(area, count);
  animationTimer_.stop();
  notice_->setText(qText(scan::endOfScanNotice(state)));
  dangerous_->setVisible(threats > 0);
}

} // namespace quorvane::ui
