// The threat alert window.
#include "ui/alert_window.h"

#include "app/settings.h"
#include "app/text.h"
#include "ui/pictures.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace quorvane::ui {
namespace {

QPushButton* link(const QString& caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(caption);
  b->setFlat(true);
  b->setCursor(Qt::PointingHandCursor);
  b->setStyleSheet("QPushButton { color: #0b5cad; text-align: left; border: none; padding: 1px; }"
                   "QPushButton:hover { text-decoration: underline; }");
  return b;
}

} // namespace

AlertWindow::AlertWindow(platform::Platform& platform, std::string appFolder,
                         const app::Language& language, threats::AlertRecord record, bool safeLink,
                         QRect area, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      p_(platform), folder_(std::move(appFolder)), alert_(platform, folder_), record_(std::move(record)),
      area_(area) {
  setAttribute(Qt::WA_DeleteOnClose);
  // The program lives on in the notification area when its last window, the alert, goes.
  setAttribute(Qt::WA_QuitOnClose, false);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setWindowTitle("Threat Found");
  setObjectName("alert");
  setAttribute(Qt::WA_StyledBackground);
  setStyleSheet("#alert { background: #fff8f0; border: 1px solid #c0392b; }");

  auto* layout = new QVBoxLayout(this);
  auto* header = new QHBoxLayout();
  auto* picture = new QLabel(this);
  picture->setPixmap(areaPicture(AreaPicture::Threat, 28));
  header->addWidget(picture);
  auto* heading = new QLabel("<b>Threat Found</b>", this);
  heading->setObjectName("heading");
  header->addWidget(heading, 1);
  QPushButton* close = link(QString::fromUtf8("\u2715"), this);
  close->setObjectName("close");
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  header->addWidget(close);
  layout->addLayout(header);

  auto* file = new QLabel(QString::fromStdString(record_.name), this);
  file->setObjectName("file");
  file->setStyleSheet("font-weight: bold; color: #c0392b;");
  layout->addWidget(file);
  auto* notice = new QLabel(QString::fromStdString(language.readLanguageText(
                                "186", "This threat was removed, No further actions needed")),
                            this);
  notice->setObjectName("notice");
  notice->setWordWrap(true);
  layout->addWidget(notice);

  QPushButton* remove = link("Delete this file", this);
  QPushButton* quarantine = link("Quarantine this file", this);
  QPushButton* leave = link("Leave this file", this);
  QPushButton* more = link("Read more about this file", this);
  QPushButton* safe = link(QString::fromStdString(language.readLanguageText(
                               "222", "This file is safe, do not warn me about it again")),
                           this);
  safe->setObjectName("safe");
  connect(remove, &QPushButton::clicked, this, &AlertWindow::deleteThisFile);
  connect(quarantine, &QPushButton::clicked, this, &AlertWindow::quarantineThisFile);
  connect(leave, &QPushButton::clicked, this, &AlertWindow::leaveThisFile);
  connect(more, &QPushButton::clicked, this, &AlertWindow::readMore);
  connect(safe, &QPushButton::clicked, this, &AlertWindow::markSafe);
  for (QPushButton* b : {remove, quarantine, leave, more, safe})
    layout->addWidget(b);

  // The user decides, unless "threatfound" chose an action (taken already by the guard).
  int action = static_cast<int>(app::leadingInteger(app::SettingsStore(p_).setting("threatfound")));
  bool decided = action >= 1 && action <= 3;
  notice->setVisible(decided);
  for (QPushButton* b : {remove, quarantine, leave})
    b->setVisible(!decided);
  safe->setVisible(decided || safeLink);

  setFixedWidth(330);
  adjustSize();
  // The top edge at the bottom of the free area, the right edge at its right edge.
  move(area_.right() + 1 - width(), area_.bottom() + 1);

  slide_.setInterval(kAlertSlideMs);
  connect(&slide_, &QTimer::timeout, this, &AlertWindow::step);
  hold_.setInterval(kAlertHoldMs);
  hold_.setSingleShot(true);
  connect(&hold_, &QTimer::timeout, this, [this] {
    phase_ = Phase::Sinking;
    slide_.start();
  });
  slide_.start();
}

void AlertWindow::step() {
  const int freeBottom = area_.bottom() + 1;
  if (phase_ == Phase::Rising) {
    int top = std::max(y() - kAlertSlideStep, freeBottom - height());
    move(x(), top);
    if (top + height() <= freeBottom) {
      slide_.stop();
      phase_ = Phase::Shown;
      hold_.start();
    }
    return;
  }
  if (phase_ == Phase::Sinking) {
    move(x(), y() + kAlertSlideStep);
    if (y() >= freeBottom) {
      slide_.stop();
      close();
    }
  }
}

void AlertWindow::act(void (threats::ThreatAlert::*action)(const threats::AlertRecord&)) {
  Work work = [folder = folder_, record = record_, action](platform::Platform& platform) {
    threats::ThreatAlert alert(platform, folder);
    (alert.*action)(record);
  };
  if (runWork)
    runWork(std::move(work));
  else
    work(p_);
  close();
}

void AlertWindow::deleteThisFile() {
  act(&threats::ThreatAlert::deleteThisFile);
}

void AlertWindow::quarantineThisFile() {
  act(&threats::ThreatAlert::quarantineThisFile);
}

void AlertWindow::leaveThisFile() {
  close();
}

void AlertWindow::markSafe() {
  act(&threats::ThreatAlert::markSafe);
}

void AlertWindow::readMore() {
  platform::LaunchRequest open;
  open.program = "/usr/bin/xdg-open";
  open.arguments = {alert_.readMoreUrl(record_)};
  p_.shell.launch(open);
}

void AlertWindow::closeEvent(QCloseEvent* event) {
  slide_.stop();
  hold_.stop();
  Q_EMIT closed();
  event->accept();
}

} // namespace quorvane::ui
