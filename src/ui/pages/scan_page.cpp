// The scan page.
#include "ui/pages/scan_page.h"

#include "ui/pictures.h"
#include "ui/qt_text.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

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
  rate_ = new QLabel(this);
  rate_->setObjectName("rate");
  notice_ = new QLabel(this);
  // The time and the pace side by side: one line less.
  auto* timing = new QHBoxLayout();
  timing->addWidget(elapsed_);
  timing->addWidget(rate_);
  timing->addStretch();
  layout->addWidget(status_);
  layout->addWidget(nowChecking_);
  layout->addWidget(files_);
  layout->addLayout(timing);
  layout->addWidget(notice_);
  activity_ = new QProgressBar(this);
  activity_->setObjectName("scanProgress");
  activity_->setRange(0, 0); // busy until the length of the run is known
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
  // Room the page does not need gathers above the buttons, not between the lines.
  layout->addStretch(1);
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
    qint64 ms = running_.isValid() ? running_.elapsed() : 0;
    if (ms >= 1000)
      rate_->setText(QString::number(filesScanned_ * 1000 / ms) + " files/s");
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
  areaStatus_[area]->setAccessibleName("pending"); // a picture alone says nothing to a reader
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
  kind_ = kind;
  areasDone_ = 0;
  filesScanned_ = 0;
  running_.start();
  rate_->clear();
  // A Smart Scan counts its areas; the others are busy until a step of known length starts.
  if (kind == ScanKind::Smart)
    activity_->setRange(0, static_cast<int>(areas.size()));
  else
    activity_->setRange(0, 0);
  activity_->setValue(0);
  animatedArea_ = 0;
  animationFrame_ = 0;
  animationTimer_.start();
  activity_->show();
}

void ScanPage::showChecking(const QString& path, qlonglong filesScanned) {
  nowChecking_->setText("Now Checking : " + path);
  files_->setText("Files scanned :" + QString::number(filesScanned));
  filesScanned_ = filesScanned;
}

void ScanPage::showProgress(qlonglong done, qlonglong total) {
  if (kind_ != ScanKind::Quick || total <= 0)
    return;
  activity_->setRange(0, static_cast<int>(std::min<qlonglong>(total, INT_MAX)));
  activity_->setValue(static_cast<int>(std::min(done, total)));
}

void ScanPage::showThreatDetected() {
  dangerous_->show();
}

void ScanPage::showAreaDone(int area, int count) {
  showAreaResult(area, count);
  if (kind_ == ScanKind::Smart)
    activity_->setValue(std::min(++areasDone_, activity_->maximum()));
  animatedArea_ = 0; // the run's areas go in order
}

void ScanPage::showAreaResult(int area, int count) {
  if (!areaCounts_.count(area))
    return;
  areaCounts_[area]->setText(QString::number(count));
  areaStatus_[area]->setPixmap(areaPicture(count > 0 ? AreaPicture::Threat : AreaPicture::Clean));
  areaStatus_[area]->setProperty("status", count > 0 ? "threat" : "clean");
  areaStatus_[area]->setAccessibleName(count > 0 ? "threats found" : "clean");
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

void ScanPage::showFinished(int threats, const scan::ScanState& state) {
  clockTimer_.stop();
  activity_->hide();
  pause_->setEnabled(false);
  nowChecking_->hide();
  status_->setText(
      QString::fromStdString(state.status.empty() ? "Finished scanning" : state.status));
  files_->setText("Files scanned :" + QString::number(state.filesScanned));
  filesScanned_ = state.filesScanned;
  qint64 ms = running_.isValid() ? running_.elapsed() : 0;
  if (ms > 0)
    rate_->setText(QString::number(filesScanned_ * 1000 / ms) + " files/s");
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
