// The main window of the desktop program.
#include "ui/main_window.h"

#include "protect/guard_state.h"

#include "ui/pages/about_page.h"
#include "ui/pages/history_page.h"
#include "ui/pages/home_page.h"
#include "ui/pages/page_support.h"
#include "ui/pages/picker_page.h"
#include "ui/pages/quarantine_page.h"
#include "ui/pages/results_page.h"
#include "ui/pages/scan_page.h"
#include "ui/pages/schedule_page.h"
#include "ui/pages/settings_page.h"
#include "ui/pictures.h"
#include "ui/qt_text.h"

#include "app/settings.h"
#include "app/text.h"
#include "protect/drive_protect.h"
#include "scan/scan_state.h"
#include "schedule/integration.h"
#include "threats/removal.h"
#include "update/live_update.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QStatusBar>
#include <QMenuBar>
#include <QScreen>
#include <QVBoxLayout>

#include <iostream>
#include <tuple>

namespace quorvane::ui {

MainWindow::MainWindow(platform::Platform& platform, std::string appFolder,
                       engine::SignatureDatabase& signatures, app::StartMode mode, QWidget* parent)
    : QMainWindow(parent), p_(platform), folder_(std::move(appFolder)),
      uiNotifier_(new UiNotifier(platform.notifier, this)),
      background_(platform::withNotifier(platform, *uiNotifier_)),
      jobs_(new BackgroundJobs(*uiNotifier_, this)), signatures_(signatures),
      language_(platform, folder_) {
  setWindowTitle("Quorvane Antimalware");
  setWindowIcon(QIcon(shieldPicture(true)));
  language_.loadLanguage();
  services_.reset(new PageServices{p_, background_, folder_, language_, *jobs_});
  // The removal record lives for one run only, but the files it promised would go at the next
  // start go first (no system does it for us), and the pairs still pending keep their record.
  threats::cleanUpAfterAKilledRun(p_, folder_);
  for (const std::string& path : threats::ThreatRemover(p_, folder_).carryOutAtStart())
    std::cerr << "quorvaneam: deleted " << path << " (a threat left for deletion at the next start)\n";
  runner_ = std::make_unique<scan::ScanRunner>(background_, folder_, signatures_);

  // The scans run on a worker thread; the scan page shows what they report.
  controller_ = new ScanController(*runner_);
  controller_->moveToThread(&workerThread_);
  connect(&workerThread_, &QThread::finished, controller_, &QObject::deleteLater);
  connect(this, &MainWindow::startScan, controller_, &ScanController::run, Qt::QueuedConnection);
  connect(controller_, &ScanController::checkingFile, this,
          [this](const QString& path, qlonglong n) { scanPage_->showChecking(path, n); });
  connect(controller_, &ScanController::threatDetected, this,
          [this](const QString&, const QString&) { scanPage_->showThreatDetected(); });
  connect(controller_, &ScanController::areaDone, this,
          [this](int area, int count) { scanPage_->showAreaDone(area, count); });
  connect(controller_, &ScanController::progressed, this,
          [this](qlonglong done, qlonglong total) { scanPage_->showProgress(done, total); });
  connect(controller_, &ScanController::finished, this, &MainWindow::onFinished);
  workerThread_.start();

  buildUi();
  resize(820, 560);
  setAcceptDrops(true);

  folderRequestTimer_.setInterval(100);
  connect(&folderRequestTimer_, &QTimer::timeout, this, &MainWindow::pollFolderScanRequest);
  folderRequestTimer_.start();
  // The guards: auto-protect, drive protection and the table's rebuild.
  guard_ = new Guard(background_, folder_, signatures_, static_cast<protect::WindowHandle>(winId()));
  guard_->moveToThread(&guardThread_);
  connect(&guardThread_, &QThread::started, guard_, &Guard::start);
  connect(&guardThread_, &QThread::finished, guard_, &QObject::deleteLater);
  connect(guard_, &Guard::threatFound, this, &MainWindow::showThreatAlert);
  // An update that landed (the live updater's, or anyone's): the page and the line say so.
  connect(guard_, &Guard::signaturesReplaced, this, [this](qlonglong count) {
    homePage_->refreshStatus();
    statusBar()->showMessage("New signatures installed: " + QString::number(count) +
                                 " signatures in use.",
                             15000);
  });
  homePage_->refreshStatus(); // the overview, now that the guard is there
  if (QScreen* screen = QGuiApplication::primaryScreen())
    alertArea_ = screen->availableGeometry();
  // The scheduled scan. Scans here run in the background, so the scheduler's own shutdown step
  // would come too early: the window shuts down when the scan has ended.
  scheduler_ = std::make_unique<schedule::Scheduler>(
      p_, schedule::ScanActions{[this] { showPage(Home); },
                                [this] {
                                  startQuickScan();
                                  shutdownAfterScan_ = running_;
                                },
                                [this] {
                                  startSmartScan();
                                  shutdownAfterScan_ = running_;
                                }});
  scheduler_->shutdownAfterActions = false;
  scheduler_->loadSchedule();
  scheduleTimer_.setInterval(schedule::kSchedulerTickMs);
  connect(&scheduleTimer_, &QTimer::timeout, this, &MainWindow::schedulerTick);

  qtTray_ = new QtTray(this);
  trayArea_ = std::make_unique<app::TrayArea>(*qtTray_, static_cast<std::uintptr_t>(winId()));
  trayArea_->setIcon("quorvane");
  qtTray_->onEvent = [this](int value) { onTrayEvent(value); };
  buildMenus();

  systemGuardLabel_ = new QLabel(this);
  systemGuardLabel_->setObjectName("systemGuard");
  statusBar()->addPermanentWidget(systemGuardLabel_);
  statusBar()->setSizeGripEnabled(false);
  guardStateTimer_.setInterval(5000);
  connect(&guardStateTimer_, &QTimer::timeout, this, &MainWindow::showSystemGuardState);
  guardStateTimer_.start();
  showSystemGuardState();

  showPage(Home);
  scheduleTimer_.start();
  guardThread_.start(); // the first pass checks every program already running
  // Last, as hiding may tell the user something and wait for the answer; the guards run already.
  if (mode == app::StartMode::Silent) {
    hideToTray();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    setGeometry(placedWithin(screen->availableGeometry(), size(), minimumSizeHint()));
  }
}

QRect placedWithin(const QRect& available, const QSize& wanted, const QSize& minimum) {
  QSize size = wanted.boundedTo(available.size()).expandedTo(minimum);
  // Centred, a little above the middle; then inside the area, its top-left corner first.
  int x = available.left() + (available.width() - size.width()) / 2;
  int y = available.top() + (available.height() - size.height()) / 2 - 7;
  x = std::max(available.left(), std::min(x, available.right() + 1 - size.width()));
  y = std::max(available.top(), std::min(y, available.bottom() + 1 - size.height()));
  return QRect(QPoint(x, y), size);
}

void MainWindow::buildUi() {
  const PageServices& services = *services_;
  pages_ = new QStackedWidget(this);
  homePage_ = new HomePage(services, pages_);
  connect(homePage_, &HomePage::quickScanRequested, this, &MainWindow::startQuickScan);
  connect(homePage_, &HomePage::smartScanRequested, this, &MainWindow::startSmartScan);
  connect(homePage_, &HomePage::customScanRequested, this, &MainWindow::showCustomScanPage);
  connect(homePage_, &HomePage::updateFinished, this, &MainWindow::updateFinished);
  homePage_->protectionOn = [this] { return !guard_ || guard_->autoProtect().enabled(); };
  homePage_->keyCount = [this] {
    return static_cast<std::int64_t>(signatures_.current()->signatureCount());
  };
  connect(homePage_, &HomePage::protectionToggled, this, &MainWindow::toggleAutoProtect);
  if (guard_)
    homePage_->refreshStatus(); // pages built anew (another language) show the overview at once
  scanPage_ = new ScanPage(services, pages_);
  connect(scanPage_, &ScanPage::pauseClicked, this, &MainWindow::togglePause);
  connect(scanPage_, &ScanPage::cancelClicked, this, &MainWindow::cancelScan);
  connect(scanPage_, &ScanPage::dangerousFilesClicked, this, [this] { showPage(Results); });
  pickerPage_ = new PickerPage(services, pages_);
  connect(pickerPage_, &PickerPage::scanRequested, this, &MainWindow::startCustomScan);
  resultsPage_ = new ResultsPage(
      services, *runner_, [this] { return running_; }, pages_);
  connect(resultsPage_, &ResultsPage::listsChanged, this, &MainWindow::listsChanged);
  historyPage_ = new HistoryPage(services, pages_);
  quarantinePage_ = new QuarantinePage(services, pages_);
  connect(quarantinePage_, &QuarantinePage::listsChanged, this, &MainWindow::listsChanged);
  auto* aboutPage = new AboutPage(services, pages_);
  // The chooser that asked is rebuilt too: after its signal has returned.
  connect(aboutPage, &AboutPage::languageChosen, this, &MainWindow::loadLanguage,
          Qt::QueuedConnection);
  schedulePage_ = new ui::SchedulePage(services, pages_);
  connect(schedulePage_, &ui::SchedulePage::saved, this, [this] { scheduler_->loadSchedule(); });
  settingsPage_ = new SettingsPage(services, pages_);
  connect(settingsPage_, &SettingsPage::restoreFinished, this, &MainWindow::restoreFinished);
  connect(settingsPage_, &SettingsPage::languageChosen, this, &MainWindow::loadLanguage,
          Qt::QueuedConnection);
  // In the order of Page.
  for (QWidget* page : std::initializer_list<QWidget*>{homePage_, scanPage_, pickerPage_,
                                                       resultsPage_, historyPage_, quarantinePage_,
                                                       aboutPage, schedulePage_, settingsPage_})
    pages_->addWidget(page);

  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(buildNavigation(central));
  pages_->setParent(central);
  pages_->setContentsMargins(16, 12, 16, 12);
  layout->addWidget(pages_, 1);
  setCentralWidget(central);
  setStyleSheet(R"(
    QWidget#nav { background: #17324d; }
    QWidget#nav QLabel#brand { color: #ffffff; font-size: 13pt; font-weight: bold; }
    QWidget#nav QPushButton { color: #dfe8f1; background: transparent; border: none;
                              text-align: left; padding: 9px 18px; }
    QWidget#nav QPushButton:hover { background: #24496e; color: #ffffff; }
    QStackedWidget { background: #f7f9fb; }
    QGroupBox { font-weight: bold; border: 1px solid #d3dce6; border-radius: 6px;
                margin-top: 12px; padding: 8px 6px 6px 6px; background: #ffffff; }
    QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; }
    QStackedWidget QPushButton { padding: 6px 14px; }
    QProgressBar { border: 1px solid #b9c6d3; border-radius: 4px; background: #ffffff;
                   text-align: center; }
    QProgressBar::chunk { background: #2f7fc1; border-radius: 3px; }
  )");
}

QWidget* MainWindow::buildNavigation(QWidget* parent) {
  auto* navPanel = new QWidget(parent);
  navPanel->setObjectName("nav");
  navPanel->setAttribute(Qt::WA_StyledBackground);
  navPanel->setMinimumWidth(170);
  auto* nav = new QVBoxLayout(navPanel);
  nav->setContentsMargins(0, 12, 0, 12);
  nav->setSpacing(2);
  auto* brand = new QLabel(navPanel);
  brand->setPixmap(shieldPicture(true, 56));
  brand->setAccessibleName("Quorvane Antimalware");
  brand->setAlignment(Qt::AlignCenter);
  nav->addWidget(brand);
  auto* brandName = new QLabel("Quorvane", navPanel);
  brandName->setObjectName("brand");
  brandName->setAlignment(Qt::AlignCenter);
  nav->addWidget(brandName);
  nav->addSpacing(14);
  const std::tuple<const char*, const char*, Page> links[] = {{"024", "Main Page", Home},
                                                            {"025", "Recent scan", History},
                                                            {"026", "Quarantine", Quarantine},
                                                            {"028", "About", About}};
  for (const auto& [key, caption, target] : links) {
    QPushButton* link = captionedButton(services_->text(key, caption), parent);
    connect(link, &QPushButton::clicked, this, [this, target = target] {
      if (!running_)
        showPage(target);
    });
    nav->addWidget(link);
  }
  QPushButton* schedule = captionedButton(services_->text("031", "Schedule Scan"), parent);
  connect(schedule, &QPushButton::clicked, this, &MainWindow::showSchedulePage);
  nav->addWidget(schedule);
  QPushButton* settings = captionedButton(services_->text("032", "Settings"), parent);
  connect(settings, &QPushButton::clicked, this, &MainWindow::showSettingsPage);
  nav->addWidget(settings);
  QPushButton* hide = captionedButton(services_->text("029", "Hide to tray"), parent);
  connect(hide, &QPushButton::clicked, this, &MainWindow::hideToTray);
  nav->addStretch();
  nav->addWidget(hide);
  return navPanel;
}

void MainWindow::loadLanguage() {
  if (running_)
    return; // the pages are rebuilt once no scan runs
  if (jobs_->busy()) {
    // Work in the background reports to the pages it started from: they stay until it is done.
    QTimer::singleShot(100, this, &MainWindow::loadLanguage);
    return;
  }
  language_.loadLanguage();
  Page shown = currentPage();
  buildUi();
  showPage(shown);
}

MainWindow::~MainWindow() {
  // Work waiting for a message box gets "no" from now on; boxes already asked for are let go.
  uiNotifier_->close();
  auto join = [this](QThread& thread) {
    thread.quit();
    while (!thread.wait(10))
      QCoreApplication::sendPostedEvents(uiNotifier_);
  };
  runner_->cancelScan();
  join(workerThread_);
  join(guardThread_);
  delete jobs_; // waits for background work, which uses this window's members
  jobs_ = nullptr;
  delete alert_;
  // The pages' models read the runner's lists: the pages go while the runner is still there.
  delete centralWidget();
}

void MainWindow::showPage(Page which) {
  if (which == History)
    historyPage_->refresh();
  if (which == Quarantine)
    quarantinePage_->refresh();
  if (which == Results)
    resultsPage_->refresh();
  pages_->setCurrentIndex(which);
}

void MainWindow::showSchedulePage() {
  if (running_)
    return;
  schedulePage_->fill();
  showPage(SchedulePage);
}

void MainWindow::saveSchedule() {
  schedulePage_->save();
}

void MainWindow::showSettingsPage() {
  if (running_)
    return;
  settingsPage_->fill();
  showPage(Settings);
}

void MainWindow::restoreSystemDefaults() {
  settingsPage_->restoreSystemDefaults();
}

void MainWindow::checkUpdateNow() {
  homePage_->checkUpdateNow();
}

QProgressBar* MainWindow::updateBar() const {
  return homePage_->updateBar();
}

void MainWindow::schedulerTick() {
  if (scheduler_->tick() && !shutdownAfterScan_)
    scheduler_->shutdownIfSet();
}

void MainWindow::showSystemGuardState() {
  std::optional<protect::GuardState> state =
      protect::readGuardState(p_, protect::systemGuardStateFile(p_));
  systemGuardLabel_->setText(state ? qText(protect::guardStatusLine(*state)) : QString());
}

void MainWindow::runLiveUpdate() {
  // The updater works unseen: the status line says it started (a failure has its own message).
  if (update::launchLiveUpdate(p_, folder_))
    statusBar()->showMessage("Live update started: newer signatures are installed in the "
                             "background and the main page shows their date.",
                             15000);
}

void MainWindow::toggleAutoProtect() {
  QString caption = QString::fromStdString(guard_->autoProtect().toggleAutoProtect());
  autoProtectEntry_->setText(caption);
  trayArea_->setIcon(guard_->autoProtect().enabled() ? "quorvane" : "quorvane-off");
  setWindowIcon(QIcon(shieldPicture(guard_->autoProtect().enabled())));
  homePage_->refreshStatus();
}

void MainWindow::showThreatAlert(const QString& record, bool safeLink) {
  std::cerr << "quorvaneam: Threat Found: " << record.toStdString() << std::endl;
  if (alert_)
    alert_->close(); // one alert at a time
  alert_ = new AlertWindow(p_, folder_, language_, threats::AlertRecord::parse(record.toStdString()),
                           safeLink, alertArea_);
  alert_->runWork = [this](AlertWindow::Work work) {
    jobs_->run([this, work = std::move(work)] { work(background_); },
               [this] { Q_EMIT listsChanged(); });
  };
  alert_->show();
  Q_EMIT alertShown(alert_);
}

void MainWindow::runStart(ScanKind kind, const std::vector<int>& areas) {
  runner_->results().clear();
  scanPage_->startRun(kind, areas);
  running_ = true;
  showPage(Scan);
}

void MainWindow::startQuickScan() {
  if (resultsPage_->busy() || running_)
    return;
  runStart(ScanKind::Quick, {scan::kAreaMemory});
  Q_EMIT startScan(static_cast<int>(ScanKind::Quick), {});
}

void MainWindow::startSmartScan() {
  if (resultsPage_->busy() || running_)
    return;
  runStart(ScanKind::Smart, {scan::kAreaMemory, scan::kAreaWindowsFolder, scan::kAreaRegistry});
  Q_EMIT startScan(static_cast<int>(ScanKind::Smart), {});
}

void MainWindow::showCustomScanPage() {
  if (running_)
    return;
  pickerPage_->reset();
  homePage_->refreshStatus();
  showPage(Picker);
}

void MainWindow::startCustomScan(const QString& path) {
  if (resultsPage_->busy() || running_ || path.trimmed().isEmpty())
    return;
  runStart(ScanKind::Custom, {scan::kAreaCustomFolder});
  Q_EMIT startScan(static_cast<int>(ScanKind::Custom), path);
}

namespace {

/// The one local file or folder a drag carries; empty for anything else.
QString droppedPath(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().front().isLocalFile())
    return {};
  return data->urls().front().toLocalFile();
}

} // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!running_ && !droppedPath(event->mimeData()).isEmpty())
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  QString path = droppedPath(event->mimeData());
  if (path.isEmpty() || running_)
    return;
  event->acceptProposedAction();
  startCustomScan(path);
}

void MainWindow::togglePause() {
  if (!running_)
    return;
  scanPage_->showPauseCaption(QString::fromStdString(runner_->togglePause()));
}

void MainWindow::cancelScan() {
  if (!running_)
    return;
  runner_->cancelScan();
  scanPage_->showCancelling();
}

void MainWindow::onFinished(int kind, int threats) {
  running_ = false;
  scanPage_->showFinished(threats, runner_->state());
  resultsPage_->refresh();
  homePage_->refreshStatus();
  Q_EMIT scanFinished(kind, threats);
  if (shutdownAfterScan_) {
    shutdownAfterScan_ = false;
    scheduler_->shutdownIfSet();
  }
}

void MainWindow::pollFolderScanRequest() {
  if (running_)
    return; // a request waits for the running scan
  std::optional<std::string> request = runner_->pollFolderScanRequest();
  if (!request)
    return;
  std::string path = scan::requestedFolderPath(*request);
  if (path.empty())
    return;
  trayArea_->setVisible(false);
  showNormal();
  raise();
  startCustomScan(QString::fromStdString(path));
}

void MainWindow::buildMenus() {
  trayMenu_ = new QMenu("file", this);
  trayMenu_->setObjectName("file");
  // Trays that speak StatusNotifierItem show this menu themselves and have no double click:
  // its first entry brings the window back.
  trayMenu_->addAction("Open Quorvane Antimalware", this, [this] { restoreFromTray(); });
  trayMenu_->addSeparator();
  trayMenu_->addAction("Run Live update", this, &MainWindow::runLiveUpdate);
  trayMenu_->addAction("Quick Scan Now", this, [this] {
    restoreFromTray();
    startQuickScan();
  });
  trayMenu_->addAction("Start Smart Scan Now", this, [this] {
    showNormal();
    startSmartScan();
  });
  trayMenu_->addSeparator();
  startWithSystemEntry_ = trayMenu_->addAction("Start Scanning when windows starts");
  startWithSystemEntry_->setCheckable(true);
  startWithSystemEntry_->setChecked(
      app::leadingInteger(app::SettingsStore(p_).setting("start Quorvane Antimalware")) == 1);
  connect(startWithSystemEntry_, &QAction::triggered, this, [this] {
    // The click already flipped the mark; the switch starts from the mark it had.
    startWithSystemEntry_->setChecked(
        schedule::SystemIntegration(p_).toggleScanAtStartup(!startWithSystemEntry_->isChecked()));
  });
  trayMenu_->addSeparator();
  trayMenu_->addAction("View Recent History", this, [this] {
    showPage(History);
    showNormal();
  });
  autoProtectEntry_ = trayMenu_->addAction(qText(protect::kDisableAutoProtectCaption));
  autoProtectEntry_->setObjectName("autoProtect");
  connect(autoProtectEntry_, &QAction::triggered, this, &MainWindow::toggleAutoProtect);
  trayMenu_->addSeparator();
  trayMenu_->addAction("About Quorvane Anti Malware", this, [this] {
    showPage(About);
    showNormal();
  });
  trayMenu_->addAction("Exit", qApp, &QApplication::quit);
  // Attached to the icon, the menu is also offered by trays that draw menus themselves.
  qtTray_->icon().setContextMenu(trayMenu_);

  QMenu* help = menuBar()->addMenu("help");
  help->setObjectName("help");
  help->addAction("Live update", this, &MainWindow::runLiveUpdate);
  help->addAction("About", this, [this] { showPage(About); });
}

void MainWindow::restoreFromTray() {
  if (alert_)
    alert_->close();
  trayArea_->setVisible(false);
  showNormal();
}

void MainWindow::onTrayEvent(int value) {
  app::TrayMouse mouse = app::decodeTrayEvent(value);
  switch (mouse.event) {
  case app::TrayEvent::MouseMove:
    trayArea_->setToolTip("Quorvane Antimalware");
    break;
  case app::TrayEvent::MouseDown:
    if (mouse.button == 2 && !qtTray_->icon().contextMenu())
      trayMenu_->popup(QCursor::pos());
    break;
  case app::TrayEvent::DblClick:
    restoreFromTray();
    break;
  default:
    break;
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Closing the window ends the program (hiding it is "Hide to tray"); a running scan stops.
  runner_->cancelScan();
  event->accept();
  QCoreApplication::quit();
}

void MainWindow::hideToTray() {
  if (qtTray_->available()) {
    hide();
    trayArea_->setToolTip("Quorvane Antimalware");
    trayArea_->setVisible(true);
    return;
  }
  // Without a notification area a hidden window could not be brought back.
  if (!trayNoticeShown_) {
    trayNoticeShown_ = true;
    p_.notifier.messageBox("There is no notification area on this desktop: the window is "
                           "minimised instead of hidden.");
  }
  showMinimized();
}

std::unique_ptr<MainWindow> openMainWindow(platform::Platform& platform,
                                           const std::string& appFolder,
                                           engine::SignatureDatabase& signatures,
                                           app::StartMode mode) {
  auto window = std::make_unique<MainWindow>(platform, appFolder, signatures, mode);
  if (mode == app::StartMode::Silent)
    return window; // hidden by the window itself
  if (app::leadingInteger(app::SettingsStore(platform).setting("start Quorvane Antimalware")) == 1)
    window->hideToTray();
  else
    window->show();
  return window;
}

} // namespace quorvane::ui
