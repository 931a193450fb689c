// The engine check window.
#include "ui/engine_check_window.h"

#include "app/language.h"

#include "ui/pictures.h"
#include "ui/qt_text.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace quorvane::ui {

EngineCheckWindow::EngineCheckWindow(platform::Platform& platform, std::string appFolder,
                                     engine::SignatureDatabase& signatures, QWidget* parent)
    : QWidget(parent), p_(platform), folder_(std::move(appFolder)), signatures_(signatures),
      notifier_(new UiNotifier(platform.notifier, this)),
      background_(platform::withNotifier(platform, *notifier_)),
      jobs_(new BackgroundJobs(*notifier_, this)) {
  app::Language language(platform, folder_);
  language.loadLanguage();
  setWindowTitle(QString::fromStdString(language.readLanguageText("011", "Please Wait")));
  setWindowIcon(QIcon(shieldPicture(true)));
  auto* layout = new QVBoxLayout(this);
  auto* logo = new QLabel(this);
  logo->setPixmap(shieldPicture(true, 64));
  logo->setAlignment(Qt::AlignCenter);
  layout->addWidget(logo);
  auto* title = new QLabel("<h3>Quorvane Antimalware</h3>", this);
  title->setAlignment(Qt::AlignCenter);
  layout->addWidget(title);
  int year = p_.clock.localNow().year;
  auto* notice = new QLabel(copyrightNotice(year), this);
  notice->setObjectName("notice");
  notice->setAlignment(Qt::AlignCenter);
  layout->addWidget(notice);
  auto* version = new QLabel(QString("VERSION ") + QUORVANE_VERSION, this);
  version->setObjectName("version");
  version->setAlignment(Qt::AlignCenter);
  layout->addWidget(version);
  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  layout->addWidget(bar_);
  setFixedSize(360, 220);

  // The bar follows the clock, one step a second, 100 steps short of full at the start.
  clock_.setInterval(50);
  connect(&clock_, &QTimer::timeout, this, [this] {
    if (!downloading_)
      bar_->setValue(p_.clock.secondsSinceMidnight());
  });
}

EngineCheckWindow::~EngineCheckWindow() {
  delete jobs_; // waits for the check, which uses this window's members
}

void EngineCheckWindow::start() {
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  setEnabled(false);
  int now = p_.clock.secondsSinceMidnight();
  bar_->setRange(0, now + 100);
  bar_->setValue(now);
  show();
  clock_.start();
  auto progress = [this](int percent) {
    QMetaObject::invokeMethod(this, [this, percent] {
      downloading_ = true;
      bar_->setRange(0, 100);
      bar_->setValue(percent);
    });
  };
  jobs_->run(
      [this, progress] {
        result_ = update::runEngineCheck(background_, folder_, signatures_, progress, false);
      },
      [this] {
        clock_.stop();
        hide();
        // One message that says what to do, with the way to the settings.
        if (!result_.failure.empty())
          settingsWanted_ = p_.notifier.ask(
              update::missingDatabaseAdvice(p_, result_) + "\r\rOpen the settings now?",
              {std::string(update::kNoEngineTitle), platform::MessageIcon::Critical});
        Q_EMIT finished();
      });
}

} // namespace quorvane::ui
