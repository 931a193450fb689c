// The main page.
#include "ui/pages/home_page.h"

#include "app/home_page.h"
#include "ui/pictures.h"
#include "update/manual_update.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
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
  // The protection overview: each line says its state in words, with a sign and a colour.
  overviewBox_ = new QGroupBox(services_.text("205", "Protection status"), this);
  QGroupBox* overview = overviewBox_;
  overview->setObjectName("overview");
  auto* grid = new QGridLayout(overview);
  const char* names[] = {"protection", "database", "lastScan"};
  for (int i = 0; i < 3; ++i) {
    OverviewLine& line = overview_[i];
    line.sign = new QLabel(overview);
    line.sign->setObjectName(QString(names[i]) + "Sign");
    line.title = new QLabel(overview);
    line.title->setObjectName(QString(names[i]) + "Title");
    line.detail = new QLabel(overview);
    line.detail->setObjectName(QString(names[i]) + "Detail");
    line.detail->setWordWrap(true);
    grid->addWidget(line.sign, i * 2, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(line.title, i * 2, 1);
    grid->addWidget(line.detail, i * 2 + 1, 1);
  }
  protectionSwitch_ = new QCheckBox("Real-time protection", overview);
  protectionSwitch_->setObjectName("protectionSwitch");
  protectionSwitch_->setAccessibleName("Real-time protection on");
  connect(protectionSwitch_, &QCheckBox::toggled, this, [this] { Q_EMIT protectionToggled(); });
  grid->addWidget(protectionSwitch_, 0, 2, Qt::AlignTop);
  grid->setColumnStretch(1, 1);
  overview->hide(); // until the window gives what it shows
  layout->addWidget(overview);

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
  updateOutcome_ = new QLabel(this);
  updateOutcome_->setObjectName("updateOutcome");
  update->addWidget(updateOutcome_, 1);
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
  if (!protectionOn || !keyCount)
    return;
  bool on = protectionOn();
  app::ProtectionOverview overview =
      app::protectionOverview(services_.platform, services_.appFolder, on, keyCount());
  const app::StatusLine* lines[] = {&overview.protection, &overview.database, &overview.lastScan};
  for (int i = 0; i < 3; ++i) {
    // Never colour alone: the sign and the title say it in words too.
    static const struct {
      const char* sign;
      const char* colour;
      const char* word;
    } kLooks[] = {{"\u2714", "#2e7d32", "good"},
                  {"!", "#b26a00", "attention"},
                  {"\u2716", "#c62828", "problem"}};
    const auto& look = kLooks[static_cast<int>(lines[i]->level)];
    overview_[i].sign->setText(QString("<span style=\"color:%1; font-size:16pt; font-weight:bold\">%2</span>")
                                   .arg(look.colour, QString::fromUtf8(look.sign)));
    overview_[i].sign->setAccessibleName(look.word);
    overview_[i].sign->setProperty("level", look.word);
    overview_[i].title->setText("<b>" + QString::fromStdString(lines[i]->title).toHtmlEscaped() + "</b>");
    overview_[i].detail->setText(QString::fromStdString(lines[i]->detail));
  }
  QSignalBlocker quiet(protectionSwitch_);
  protectionSwitch_->setChecked(on);
  overviewBox_->show();
}

void HomePage::checkUpdateNow() {
  if (!checkUpdate_->isEnabled())
    return;
  checkUpdate_->setEnabled(false);
  auto outcome = std::make_shared<update::UpdateOutcome>(update::UpdateOutcome::Failed);
  auto failure = std::make_shared<std::string>();
  updateOutcome_->setText("Checking for updates...");
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
      [this, outcome, failure, progress] {
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
        *failure = check.failure();
      },
      [this, outcome, failure] {
        updateBarTimer_.stop();
        updateProgress_->hide();
        checkUpdate_->setEnabled(true);
        switch (*outcome) {
        case update::UpdateOutcome::Updated:
          updateOutcome_->setText("Updated: the new signatures are in use.");
          break;
        case update::UpdateOutcome::UpToDate: updateOutcome_->setText("Up to date."); break;
        case update::UpdateOutcome::Declined: updateOutcome_->setText("Nothing was changed."); break;
        case update::UpdateOutcome::Failed:
          updateOutcome_->setText("Update failed: " + QString::fromStdString(*failure) + ".");
          break;
        }
        refreshStatus();
        Q_EMIT updateFinished(static_cast<int>(*outcome));
      });
}

} // namespace quorvane::ui
