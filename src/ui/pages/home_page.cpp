// The main page.
#include "ui/pages/home_page.h"

#include "app/home_page.h"
#include "ui/pictures.h"
#include "update/manual_update.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <memory>

namespace quorvane::ui {

HomePage::HomePage(const PageServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  auto* layout = new QVBoxLayout(this);
  auto* header = new QHBoxLayout();
  auto* logo = new QLabel(this);
  logo->setPixmap(shieldPicture(true, 48));
  header->addWidget(logo);
  header->addWidget(
      new QLabel("<h2>" + services_.text("000", "Quorvane Antimalware") + "</h2>", this), 1);
  layout->addLayout(header);
  const struct {
    const char* captionKey;
    const char* caption;
    const char* descriptionKey;
    const char* description;
    void (HomePage::*request)();
  } scans[] = {
      {"004", "Quick Scan", "007", "Scans Memory Area Only (Fast scan)",
       &HomePage::quickScanRequested},
      {"005", "Smart Scan", "009", "Scans Memory, windows and programs (slightly slow)",
       &HomePage::smartScanRequested},
      {"006", "Custom Scan", "030", "Select Folder Or Drive To Scan (Slow)",
       &HomePage::customScanRequested},
  };
  for (const auto& s : scans) {
    auto* row = new QHBoxLayout();
    QPushButton* b = captionedButton(services_.text(s.captionKey, s.caption), this);
    b->setMinimumWidth(140);
    connect(b, &QPushButton::clicked, this, s.request);
    row->addWidget(b);
    row->addWidget(new QLabel(services_.text(s.descriptionKey, s.description), this), 1);
    layout->addLayout(row);
  }
  lastScan_ = new QLabel(this);
  threats_ = new QLabel(this);
  lastUpdate_ = new QLabel(this);
  database_ = new QLabel(this);
  for (QLabel* label : {lastScan_, threats_, lastUpdate_, database_})
    layout->addWidget(label);
  auto* update = new QHBoxLayout();
  checkUpdate_ = captionedButton(services_.text("033", "Check update Now"), this);
  connect(checkUpdate_, &QPushButton::clicked, this, &HomePage::checkUpdateNow);
  update->addWidget(checkUpdate_);
  updateProgress_ = new QProgressBar(this);
  updateProgress_->setObjectName("updateProgress");
  updateProgress_->hide();
  update->addWidget(updateProgress_, 1);
  update->addStretch();
  layout->addLayout(update);
  layout->addStretch();

  updateBarTimer_.setInterval(1000);
  connect(&updateBarTimer_, &QTimer::timeout, this, [this] {
    if (updateProgress_->value() < updateProgress_->maximum() - 1)
      updateProgress_->setValue(updateProgress_->value() + 1);
  });
  refreshStatus();
}

void HomePage::refreshStatus() {
  app::HomePageInfo info =
      app::homePageStatus(services_.platform, services_.appFolder, services_.language);
  lastScan_->setText(QString::fromStdString(info.lastScan));
  threats_->setText(QString::fromStdString(info.threats));
  lastUpdate_->setText(QString::fromStdString(info.lastUpdate));
  database_->setText(QString::fromStdString(info.database));
}

void HomePage::checkUpdateNow() {
  if (!checkUpdate_->isEnabled())
    return;
  checkUpdate_->setEnabled(false);
  auto outcome = std::make_shared<update::UpdateOutcome>(update::UpdateOutcome::Failed);
  auto progress = [this](int percent) {
    QMetaObject::invokeMethod(this, [this, percent] {
      updateBarTimer_.stop();
      updateProgress_->setRange(0, 100);
      updateProgress_->setValue(percent);
      updateProgress_->show();
    });
  };
  updateProgress_->setRange(0, 101);
  updateProgress_->setValue(0);
  services_.jobs.run(
      [this, outcome, progress] {
        update::ManualUpdate check(services_.background, services_.appFolder);
        check.progress = progress;
        // The bar moves once the question is answered and the server is being asked.
        check.asked = [this] {
          QMetaObject::invokeMethod(this, [this] {
            updateProgress_->show();
            updateBarTimer_.start();
          });
        };
        *outcome = check.checkUpdateNow();
      },
      [this, outcome] {
        updateBarTimer_.stop();
        updateProgress_->hide();
        checkUpdate_->setEnabled(true);
        refreshStatus();
        Q_EMIT updateFinished(static_cast<int>(*outcome));
      });
}

} // namespace quorvane::ui
