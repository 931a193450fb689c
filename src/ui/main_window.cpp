// The main window of the desktop program.
#include "ui/main_window.h"

#include "ui/pictures.h"
#include "ui/qt_text.h"

#include "app/home_page.h"
#include "app/settings.h"
#include "app/text.h"
#include "engine/datafiles.h"
#include "scan/scan_state.h"
#include "threats/threat_list.h"
#include "threats/quarantine.h"
#include "threats/removal.h"
#include "threats/threatlog.h"
#include "schedule/integration.h"
#include "update/live_update.h"
#include "update/manual_update.h"
#include "repair/restore_defaults.h"
#include "protect/drive_protect.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGuiApplication>
#include <QSysInfo>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QTableView>
#include <QCursor>
#include <QDesktopServices>
#include <QUrl>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <iostream>
#include <tuple>

namespace quorvane::ui {
namespace {

QPushButton* button(const QString& caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(caption);
  return b;
}

QTableView* listView(QAbstractItemModel* model, QWidget* parent) {
  auto* view = new QTableView(parent);
  view->setModel(model);
  view->horizontalHeader()->setStretchLastSection(true);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->verticalHeader()->hide();
  return view;
}

} // namespace

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
  // The removal record lives for one run only, but the files it promised would go at the next
  // start go first (no system does it for us), and the pairs still pending keep their record.
  threats::cleanUpAfterAKilledRun(p_, folder_);
  for (const std::string& path : threats::ThreatRemover(p_, folder_).carryOutAtStart())
    std::cerr << "quorvaneam: deleted " << path << " (a threat left for deletion at the next start)\n";
  runner_ = std::make_unique<scan::ScanRunner>(background_, folder_, signatures_);

  controller_ = new ScanController(*runner_);
  controller_->moveToThread(&workerThread_);
  connect(&workerThread_, &QThread::finished, controller_, &QObject::deleteLater);
  connect(this, &MainWindow::startScan, controller_, &ScanController::run, Qt::QueuedConnection);
  connect(controller_, &ScanController::checkingFile, this, [this](const QString& path, qlonglong n) {
    nowChecking_->setText("Now Checking : " + path);
    files_->setText("Files scanned :" + QString::number(n));
  });
  connect(controller_, &ScanController::threatDetected, this, [this](const QString&, const QString&) {
    dangerous_->show(); // the list itself is read once the scan has ended
  });
  connect(controller_, &ScanController::areaDone, this, [this](int area, int count) {
    showAreaResult(area, count);
    animatedArea_ = 0; // the next area animates once it starts; the run's areas go in order
  });
  connect(controller_, &ScanController::finished, this, &MainWindow::onFinished);
  workerThread_.start();

  buildUi();
  resize(820, 560);

  // The window's timers.
  animationTimer_.setInterval(100); // the scan animation: the first pending area of the run turns
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
  folderRequestTimer_.setInterval(100);
  connect(&folderRequestTimer_, &QTimer::timeout, this, &MainWindow::pollFolderScanRequest);
  folderRequestTimer_.start();
  // Timer8: while the update server is asked, the update bar moves one step a second.
  updateBarTimer_.setInterval(1000);
  connect(&updateBarTimer_, &QTimer::timeout, this, [this] {
    if (updateProgress_->value() < updateProgress_->maximum() - 1)
      updateProgress_->setValue(updateProgress_->value() + 1);
  });
  // The guards: auto-protect (Timer3), drive protection and the table's rebuild (Timer9).
  guard_ = new Guard(background_, folder_, signatures_, static_cast<protect::WindowHandle>(winId()));
  guard_->moveToThread(&guardThread_);
  connect(&guardThread_, &QThread::started, guard_, &Guard::start);
  connect(&guardThread_, &QThread::finished, guard_, &QObject::deleteLater);
  connect(guard_, &Guard::threatFound, this, &MainWindow::showThreatAlert);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    alertArea_ = screen->availableGeometry();
  // Timer4: the scheduled scan. Scans here run in the background, so the scheduler's own
  // shutdown step would come too early: the window shuts down when the scan has ended.
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
  clockTimer_.setInterval(100);
  connect(&clockTimer_, &QTimer::timeout, this, [this] {
    clock_ = schedule::elapsedTick(clock_);
    elapsed_->setText(QString::fromStdString(clock_.minutes + ":" + clock_.seconds + "." + clock_.tenths));
  });

  qtTray_ = new QtTray(this);
  trayArea_ = std::make_unique<app::TrayArea>(*qtTray_, static_cast<std::uintptr_t>(winId()));
  trayArea_->setIcon("quorvane");
  qtTray_->onEvent = [this](int value) { onTrayEvent(value); };
  buildMenus();

  refreshHomeStatus();
  showPage(Home);
  scheduleTimer_.start();
  guardThread_.start(); // the first pass checks every program already running
  // Last, as hiding may tell the user something and wait for the answer; the guards run already.
  if (mode == app::StartMode::Silent) {
    hideToTray();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    // Centred, a little above the middle.
    QRect area = screen->availableGeometry();
    move(area.center().x() - width() / 2, std::max(area.top(), area.center().y() - height() / 2 - 7));
  }
}

void MainWindow::buildUi() {
  pages_ = new QStackedWidget(this);
  pages_->addWidget(buildHome());
  pages_->addWidget(buildScan());
  pages_->addWidget(buildPicker());
  pages_->addWidget(buildResults());
  pages_->addWidget(buildHistory());
  pages_->addWidget(buildQuarantine());
  pages_->addWidget(buildAbout());
  pages_->addWidget(buildSchedule());
  pages_->addWidget(buildSettings());

  auto* central = new QWidget(this);
  auto* layout = new QHBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* navPanel = new QWidget(central);
  navPanel->setObjectName("nav");
  navPanel->setAttribute(Qt::WA_StyledBackground);
  navPanel->setMinimumWidth(170);
  auto* nav = new QVBoxLayout(navPanel);
  nav->setContentsMargins(0, 12, 0, 12);
  nav->setSpacing(2);
  auto* brand = new QLabel(navPanel);
  brand->setPixmap(shieldPicture(true, 56));
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
    QPushButton* link = button(text(key, caption), central);
    connect(link, &QPushButton::clicked, this, [this, target = target] {
      if (!running_)
        showPage(target);
    });
    nav->addWidget(link);
  }
  QPushButton* schedule = button(text("031", "Schedule Scan"), central);
  connect(schedule, &QPushButton::clicked, this, &MainWindow::showSchedulePage);
  nav->addWidget(schedule);
  QPushButton* settings = button(text("032", "Settings"), central);
  connect(settings, &QPushButton::clicked, this, &MainWindow::showSettingsPage);
  nav->addWidget(settings);
  QPushButton* hide = button(text("029", "Hide to tray"), central);
  connect(hide, &QPushButton::clicked, this, &MainWindow::hideToTray);
  nav->addStretch();
  nav->addWidget(hide);
  layout->addWidget(navPanel);
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

void MainWindow::loadLanguage() {
  if (running_)
    return; // the pages are rebuilt once no scan runs
  language_.loadLanguage();
  Page shown = currentPage();
  buildUi();
  refreshHomeStatus();
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

QString MainWindow::text(const char* key, const char* english) const {
  return QString::fromStdString(language_.readLanguageText(key, english));
}

void MainWindow::showPage(Page which) {
  if (which == History)
    refreshHistory();
  if (which == Quarantine)
    refreshQuarantine();
  if (which == Results)
    refreshResults();
  pages_->setCurrentIndex(which);
}

QWidget* MainWindow::buildHome() {
  auto* w = new QWidget(this);
  auto* layout = new QVBoxLayout(w);
  auto* header = new QHBoxLayout();
  auto* logo = new QLabel(w);
  logo->setPixmap(shieldPicture(true, 48));
  header->addWidget(logo);
  header->addWidget(new QLabel("<h2>" + text("000", "Quorvane Antimalware") + "</h2>", w), 1);
  layout->addLayout(header);
  const struct {
    const char* captionKey;
    const char* caption;
    const char* descriptionKey;
    const char* description;
    void (MainWindow::*action)();
  } scans[] = {
      {"004", "Quick Scan", "007", "Scans Memory Area Only (Fast scan)", &MainWindow::startQuickScan},
      {"005", "Smart Scan", "009", "Scans Memory, windows and programs (slightly slow)",
       &MainWindow::startSmartScan},
      {"006", "Custom Scan", "030", "Select Folder Or Drive To Scan (Slow)",
       &MainWindow::showCustomScanPage},
  };
  for (const auto& s : scans) {
    auto* row = new QHBoxLayout();
    QPushButton* b = button(text(s.captionKey, s.caption), w);
    b->setMinimumWidth(140);
    connect(b, &QPushButton::clicked, this, s.action);
    row->addWidget(b);
    row->addWidget(new QLabel(text(s.descriptionKey, s.description), w), 1);
    layout->addLayout(row);
  }
  lastScan_ = new QLabel(w);
  threatsLabel_ = new QLabel(w);
  lastUpdate_ = new QLabel(w);
  database_ = new QLabel(w);
  for (QLabel* label : {lastScan_, threatsLabel_, lastUpdate_, database_})
    layout->addWidget(label);
  auto* update = new QHBoxLayout();
  checkUpdate_ = button(text("033", "Check update Now"), w);
  connect(checkUpdate_, &QPushButton::clicked, this, &MainWindow::checkUpdateNow);
  update->addWidget(checkUpdate_);
  updateProgress_ = new QProgressBar(w);
  updateProgress_->setObjectName("pbar1");
  updateProgress_->hide();
  update->addWidget(updateProgress_, 1);
  update->addStretch();
  layout->addLayout(update);
  layout->addStretch();
  return w;
}

QWidget* MainWindow::buildScan() {
  auto* w = new QWidget(this);
  auto* layout = new QVBoxLayout(w);
  auto* box = new QGroupBox(text("013", "System Scan Area"), w);
  auto* grid = new QVBoxLayout(box);
  for (const scan::AreaText& area : scan::kAreaTexts) {
    auto* panel = new QWidget(box);
    auto* row = new QHBoxLayout(panel);
    row->addWidget(new QLabel(QString("<b>%1</b><br>%2").arg(area.title, area.subtitle), panel), 1);
    areaCounts_[area.index] = new QLabel("0", panel);
    areaStatus_[area.index] = new QLabel(panel);
    areaStatus_[area.index]->setPixmap(areaPicture(AreaPicture::Pending));
    areaStatus_[area.index]->setProperty("status", "pending");
    row->addWidget(areaCounts_[area.index]);
    row->addWidget(areaStatus_[area.index]);
    panels_[area.index] = panel;
    grid->addWidget(panel);
  }
  layout->addWidget(box);
  status_ = new QLabel(w);
  nowChecking_ = new QLabel(text("018", "Now Checking :"), w);
  files_ = new QLabel("Files scanned :0", w);
  elapsed_ = new QLabel("0:00.0", w);
  notice_ = new QLabel(w);
  for (QLabel* label : {status_, nowChecking_, files_, elapsed_, notice_})
    layout->addWidget(label);
  activity_ = new QProgressBar(w);
  activity_->setRange(0, 0); // busy: the length of a scan is not known beforehand
  activity_->hide();
  layout->addWidget(activity_);
  auto* summaryBox = new QGroupBox(text("197", "Summary"), w);
  auto* summaryLayout = new QVBoxLayout(summaryBox);
  const std::pair<const char*, const char*> summaryCaptions[] = {
      {"019", "Total files scanned :"}, {"020", "Safe files scanned:"}, {"021", "Threats Found :"},
      {"022", "Unknown Files:"}};
  for (int i = 0; i < 4; ++i) {
    summary_[i] = new QLabel(text(summaryCaptions[i].first, summaryCaptions[i].second), summaryBox);
    summaryLayout->addWidget(summary_[i]);
  }
  layout->addWidget(summaryBox);
  auto* buttons = new QHBoxLayout();
  pause_ = button(text("015", "Pause"), w);
  cancel_ = button(text("016", "Cancel"), w);
  dangerous_ = button(text("017", "Check dangerous files"), w);
  dangerous_->hide();
  connect(pause_, &QPushButton::clicked, this, &MainWindow::togglePause);
  connect(cancel_, &QPushButton::clicked, this, &MainWindow::cancelScan);
  connect(dangerous_, &QPushButton::clicked, this, [this] { showPage(Results); });
  buttons->addWidget(pause_);
  buttons->addWidget(cancel_);
  buttons->addWidget(dangerous_);
  layout->addLayout(buttons);
  return w;
}

QWidget* MainWindow::buildPicker() {
  auto* w = new QWidget(this);
  auto* layout = new QVBoxLayout(w);
  layout->addWidget(new QLabel(text("040", "Select Drive"), w));
  drives_ = new QComboBox(w);
  for (const std::string& root : p_.drives.roots())
    drives_->addItem(QString::fromStdString(root));
  drives_->addItem(QDir::homePath());
  layout->addWidget(drives_);
  layout->addWidget(new QLabel(text("041", "Select Folder"), w));
  auto* model = new QFileSystemModel(w);
  model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
  model->setRootPath("/");
  tree_ = new QTreeView(w);
  tree_->setModel(model);
  for (int column = 1; column < model->columnCount(); ++column)
    tree_->hideColumn(column);
  layout->addWidget(tree_, 1);
  layout->addWidget(new QLabel(text("042", "Current path:"), w));
  pickedPath_ = new QLabel(w);
  layout->addWidget(pickedPath_);
  startScanning_ = button(text("014", "Start Scanning"), w);
  startScanning_->setEnabled(false);
  layout->addWidget(startScanning_);
  connect(drives_, &QComboBox::currentTextChanged, this, [this, model](const QString& root) {
    tree_->setRootIndex(model->index(root));
  });
  connect(tree_, &QTreeView::clicked, this, [this, model](const QModelIndex& index) {
    pickedPath_->setText(model->filePath(index));
    startScanning_->setEnabled(true);
  });
  connect(startScanning_, &QPushButton::clicked, this, [this] { startCustomScan(pickedPath_->text()); });
  return w;
}

QWidget* MainWindow::buildResults() {
  auto* w = new QWidget(this);
  auto* layout = new QVBoxLayout(w);
  resultsModel_ = new ThreatListModel(runner_->results(), {text("165", "File"), text("166", "Path")}, w);
  layout->addWidget(listView(resultsModel_, w), 1);
  auto* buttons = new QHBoxLayout();
  selectAll_ = button("Select All", w);
  connect(selectAll_, &QPushButton::clicked, this, [this] {
    bool tick = selectAll_->text() == "Select All";
    selectAll_->setText(QString::fromStdString(threats::selectAllThreats(runner_->results(), tick)));
    refreshResults();
  });
  QPushButton* remove = button(text("162", "Delete selected file"), w);
  connect(remove, &QPushButton::clicked, this, [this] {
    onResultsInBackground([this](threats::ScanResults& results) {
      threats::ThreatRemover(background_, folder_)
          .removeSelectedThreats(results, runner_->references(), threats::RemovalMode::Delete);
    });
  });
  QPushButton* quarantine = button(text("163", "Quarantine"), w);
  connect(quarantine, &QPushButton::clicked, this, [this] {
    onResultsInBackground([this](threats::ScanResults& results) {
      threats::ThreatRemover(background_, folder_)
          .removeSelectedThreats(results, runner_->references(), threats::RemovalMode::Quarantine);
    });
  });
  QPushButton* safe = button(text("164", "Mark Selected as safe"), w);
  connect(safe, &QPushButton::clicked, this, [this] {
    onResultsInBackground([this](threats::ScanResults& results) {
      threats::markSelectedAsSafe(background_, folder_, results);
    });
  });
  QPushButton* memory = button(text("169", "Remove Threat from memory"), w);
  connect(memory, &QPushButton::clicked, this, [this] {
    onResultsInBackground([this](threats::ScanResults& results) {
      threats::ThreatRemover(background_, folder_).removeThreatFromMemory(results);
    });
  });
  for (QPushButton* b : {selectAll_, remove, quarantine, safe, memory})
    buttons->addWidget(b);
  layout->addLayout(buttons);
  return w;
}

QWidget* MainWindow::buildHistory() {
  auto* w = new QWidget(this);
  auto* layout = new QVBoxLayout(w);
  historyModel_ = new RecordListModel({text("167", "Name"), text("168", "Date"), text("166", "Path")},
                                      false, w);
  layout->addWidget(listView(historyModel_, w), 1);
  QPushButton* clear = button(text("170", "Clear Scan History"), w);
  connect(clear, &QPushButton::clicked, this, [this] {
    threats::ThreatLog(p_, folder_).clearScanHistory();
    refreshHistory();
  });
  layout->addWidget(clear);
  return w;
}

QWidget* MainWindow::buildQuarantine() {
  auto* w = new QWidget(this);
  auto* layout = new QVBoxLayout(w);
  quarantineModel_ = new RecordListModel(
      {"", text("167", "Name"), text("168", "Date"), text("172", "Original path")}, true, w);
  layout->addWidget(listView(quarantineModel_, w), 1);
  auto* buttons = new QHBoxLayout();
  QPushButton* restore = button(text("171", "Restore"), w);
  auto inBackground = [this, w](auto command) {
    w->setEnabled(false);
    jobs_->run([this, command, rows = quarantineModel_->rows()] {
                 threats::Quarantine list(background_, folder_);
                 // Rows left say why: a restore never overwrites what stands at the path.
                 std::string left;
                 for (const threats::QuarantineRow& row : (list.*command)(rows))
                   left += "\n" + row.record.path + ": " + threats::describeProblem(row);
                 if (!left.empty())
                   background_.notifier.messageBox(
                       "These files stay in the quarantine:" + left,
                       {{}, platform::MessageIcon::Warning});
               },
               [this, w] {
                 w->setEnabled(true);
                 refreshQuarantine();
                 Q_EMIT listsChanged();
               });
  };
  connect(restore, &QPushButton::clicked, this,
          [inBackground] { inBackground(&threats::Quarantine::restoreQuarantined); });
  QPushButton* remove = button(text("162", "Delete selected file"), w);
  connect(remove, &QPushButton::clicked, this,
          [inBackground] { inBackground(&threats::Quarantine::deleteQuarantined); });
  buttons->addWidget(restore);
  buttons->addWidget(remove);
  layout->addLayout(buttons);
  return w;
}

QWidget* MainWindow::buildAbout() {
  auto* w = new QWidget(this);
  auto* layout = new QVBoxLayout(w);
  layout->addWidget(new QLabel("<h2>Quorvane Antimalware</h2><p>Finds known malicious files by "
                               "their fingerprint, guards new programs and drives, and keeps "
                               "what it removes restorable in the quarantine.</p>",
                               w));
  auto* year = new QLabel(copyrightNotice(p_.clock.localNow().year) + ". Version " QUORVANE_VERSION ".", w);
  year->setObjectName("year");
  layout->addWidget(year);
  auto* system = new QLabel("Running on " + QSysInfo::prettyProductName(), w);
  system->setObjectName("system");
  layout->addWidget(system);
  auto* row = new QHBoxLayout();
  row->addWidget(new QLabel(text("043", "Language:"), w));
  QComboBox* chooser = languageChooser(w);
  row->addWidget(chooser, 1);
  layout->addLayout(row);
  QPushButton* translate = button("Help us To Translate to your language.", w);
  connect(translate, &QPushButton::clicked, this, [this] {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(language_.pathOf(app::kDefaultLanguageFile))));
  });
  layout->addWidget(translate);
  layout->addStretch();
  return w;
}

QComboBox* MainWindow::languageChooser(QWidget* parent) {
  auto* chooser = new QComboBox(parent);
  chooser->setObjectName("language");
  for (const std::string& file : language_.availableLanguages())
    chooser->addItem(QString::fromStdString(file));
  chooser->setCurrentText(QString::fromStdString(language_.currentFile()));
  connect(chooser, &QComboBox::textActivated, this, [this](const QString& file) {
    language_.chooseLanguage(file.toStdString());
    // The chooser itself is rebuilt: after its signal has returned.
    QTimer::singleShot(0, this, &MainWindow::loadLanguage);
  });
  return chooser;
}

QWidget* MainWindow::buildSchedule() {
  auto* w = new QWidget(this);
  auto* layout = new QVBoxLayout(w);
  layout->addWidget(new QLabel("<h3>" + text("031", "Schedule Scan") + "</h3>", w));
  auto* time = new QHBoxLayout();
  time->addWidget(new QLabel(text("034", "Start at"), w));
  hour_ = new QComboBox(w);
  hour_->setObjectName("starthour");
  for (int h = 0; h <= 23; ++h)
    hour_->addItem(QString::number(h));
  minute_ = new QComboBox(w);
  minute_->setObjectName("startmin");
  for (int m = 1; m <= 59; ++m) // 0 is not offered; a stored 0 still counts
    minute_->addItem(QString::number(m));
  time->addWidget(hour_);
  time->addWidget(new QLabel(":", w));
  time->addWidget(minute_);
  time->addStretch();
  layout->addLayout(time);

  auto* periodBox = new QGroupBox(text("035", "Scan period"), w);
  auto* periodRow = new QHBoxLayout(periodBox);
  auto* periods = new QButtonGroup(w);
  const std::pair<const char*, const char*> periodCaptions[] = {
      {"194", "Once"}, {"195", "Weekly"}, {"196", "Monthly"}};
  for (int i = 0; i < 3; ++i) {
    period_[i] = new QRadioButton(text(periodCaptions[i].first, periodCaptions[i].second), periodBox);
    periods->addButton(period_[i]);
    periodRow->addWidget(period_[i]);
  }
  layout->addWidget(periodBox);

  auto* daysBox = new QGroupBox(text("176", "Days"), w);
  auto* days = new QGridLayout(daysBox);
  const std::pair<const char*, const char*> dayCaptions[] = {
      {"187", "Monday"}, {"188", "Tuesday"},  {"189", "Wednesday"}, {"190", "Thursday"},
      {"191", "Friday"}, {"192", "Saturday"}, {"193", "Sunday"}};
  for (int i = 0; i < 7; ++i) {
    weekdays_[i] = new QCheckBox(text(dayCaptions[i].first, dayCaptions[i].second), daysBox);
    weekdays_[i]->setObjectName(qText(schedule::kWeekdaySettings[i]));
    days->addWidget(weekdays_[i], i / 4, i % 4);
  }
  everyDay_ = new QCheckBox(text("177", "Every day"), daysBox);
  everyDay_->setObjectName("everyweek_all");
  days->addWidget(everyDay_, 1, 3);
  layout->addWidget(daysBox);

  auto* modeBox = new QGroupBox(text("178", "Scan type"), w);
  auto* modeRow = new QHBoxLayout(modeBox);
  auto* modes = new QButtonGroup(w);
  mode_[0] = new QRadioButton(text("004", "Quick Scan"), modeBox);
  mode_[1] = new QRadioButton(text("005", "Smart Scan"), modeBox);
  for (QRadioButton* b : mode_) {
    modes->addButton(b);
    modeRow->addWidget(b);
  }
  layout->addWidget(modeBox);
  shutdown_ = new QCheckBox(text("179", "Shutdown PC automatically after scan"), w);
  shutdown_->setObjectName("shutdown");
  layout->addWidget(shutdown_);
  QPushButton* save = button(text("180", "Save"), w);
  connect(save, &QPushButton::clicked, this, &MainWindow::saveSchedule);
  layout->addWidget(save, 0, Qt::AlignLeft);
  layout->addStretch();
  return w;
}

void MainWindow::showSchedulePage() {
  if (running_)
    return;
  app::SettingsStore settings(p_);
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
  showPage(SchedulePage);
}

void MainWindow::saveSchedule() {
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
  app::SettingsStore settings(p_);
  schedule::writeSchedule(settings, chosen);
  scheduler_->loadSchedule();
}

QWidget* MainWindow::buildSettings() {
  auto* w = new QWidget(this);
  auto* layout = new QVBoxLayout(w);
  layout->addWidget(new QLabel("<h3>" + text("032", "Settings") + "</h3>", w));
  // The switches act on the user's clicks only: filling the page changes nothing.
  startWithSystem_ = new QCheckBox(text("181", "Start Quorvane Anti Malware on system startup"), w);
  startWithSystem_->setObjectName("startWithSystem");
  connect(startWithSystem_, &QCheckBox::clicked, this, [this](bool on) {
    if (schedule::SystemIntegration(p_, folder_).setStartWithSystem(on))
      startWithSystem_->setChecked(!on); // the entry could not be changed
  });
  contextMenu_ = new QCheckBox(text("182", "Add scan option to windows right click context menu"), w);
  contextMenu_->setObjectName("contextMenu");
  connect(contextMenu_, &QCheckBox::clicked, this, [this](bool on) {
    if (schedule::SystemIntegration(p_, folder_).setContextMenu(on))
      contextMenu_->setChecked(!on);
  });
  autorun_ = new QCheckBox(text("183", "Disable AutoRun for drives"), w);
  autorun_->setObjectName("autorun");
  connect(autorun_, &QCheckBox::clicked, this, [this](bool on) { protect::setDisableAutoRun(p_, on); });
  for (QCheckBox* box : {startWithSystem_, contextMenu_, autorun_})
    layout->addWidget(box);

  auto* actionBox = new QGroupBox(text("184", "When a threat is found"), w);
  auto* actionLayout = new QVBoxLayout(actionBox);
  auto* actions = new QButtonGroup(w);
  const std::pair<const char*, const char*> actionCaptions[] = {
      {"173", "Delete the threat file immediately."},
      {"174", "Quarantine threat file."},
      {"175", "Leave threat file."}};
  for (int i = 0; i < 3; ++i) {
    threatAction_[i] = new QRadioButton(text(actionCaptions[i].first, actionCaptions[i].second), actionBox);
    actions->addButton(threatAction_[i]);
    actionLayout->addWidget(threatAction_[i]);
    connect(threatAction_[i], &QRadioButton::clicked, this, [this, i] {
      app::SettingsStore(p_).setSetting("threatfound", std::to_string(i + 1));
    });
  }
  layout->addWidget(actionBox);

  auto* row = new QHBoxLayout();
  row->addWidget(new QLabel(text("043", "Language:"), w));
  row->addWidget(languageChooser(w), 1);
  layout->addLayout(row);
  restore_ = button(text("185", "Restore System Default Settings"), w);
  connect(restore_, &QPushButton::clicked, this, &MainWindow::restoreSystemDefaults);
  layout->addWidget(restore_, 0, Qt::AlignLeft);
  layout->addStretch();
  return w;
}

void MainWindow::showSettingsPage() {
  if (running_)
    return;
  schedule::SettingsPageState state = schedule::SystemIntegration(p_).fillSettingsPage();
  startWithSystem_->setChecked(state.startWithSystem);
  contextMenu_->setChecked(state.contextMenu);
  autorun_->setChecked(state.autorunDisabled);
  // No option is marked when none was chosen yet.
  for (QRadioButton* option : threatAction_)
    option->group()->setExclusive(false);
  for (int i = 0; i < 3; ++i)
    threatAction_[i]->setChecked(state.threatAction == i);
  for (QRadioButton* option : threatAction_)
    option->group()->setExclusive(true);
  showPage(Settings);
}

void MainWindow::restoreSystemDefaults() {
  restore_->setEnabled(false);
  jobs_->run([this] { repair::restoreSystemDefaults(background_); },
             [this] {
               restore_->setEnabled(true);
               Q_EMIT restoreFinished();
             });
}

void MainWindow::checkUpdateNow() {
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
  jobs_->run(
      [this, outcome, progress] {
        update::ManualUpdate check(background_, folder_);
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
        refreshHomeStatus();
        Q_EMIT updateFinished(static_cast<int>(*outcome));
      });
}

void MainWindow::schedulerTick() {
  if (scheduler_->tick() && !shutdownAfterScan_)
    scheduler_->shutdownIfSet();
}

void MainWindow::toggleAutoProtect() {
  QString caption = QString::fromStdString(guard_->autoProtect().toggleAutoProtect());
  autoProtectEntry_->setText(caption);
  trayArea_->setIcon(guard_->autoProtect().enabled() ? "quorvane" : "quorvane-off");
  setWindowIcon(QIcon(shieldPicture(guard_->autoProtect().enabled())));
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

void MainWindow::showAreaResult(int area, int count) {
  if (!areaCounts_.count(area))
    return;
  areaCounts_[area]->setText(QString::number(count));
  areaStatus_[area]->setPixmap(areaPicture(count > 0 ? AreaPicture::Threat : AreaPicture::Clean));
  areaStatus_[area]->setProperty("status", count > 0 ? "threat" : "clean");
}

void MainWindow::refreshHomeStatus() {
  app::HomePageInfo info = app::homePageStatus(p_, folder_, language_);
  lastScan_->setText(QString::fromStdString(info.lastScan));
  threatsLabel_->setText(QString::fromStdString(info.threats));
  lastUpdate_->setText(QString::fromStdString(info.lastUpdate));
  database_->setText(QString::fromStdString(info.database));
}

void MainWindow::runStart(ScanKind kind, const std::vector<int>& areas) {
  runner_->results().clear();
  for (auto& [area, panel] : panels_) {
    bool shown = std::find(areas.begin(), areas.end(), area) != areas.end();
    panel->setVisible(shown);
    areaCounts_[area]->setText("0");
    areaStatus_[area]->setPixmap(areaPicture(AreaPicture::Pending));
    areaStatus_[area]->setProperty("status", "pending");
  }
  // Read when shown, so a language change applies at once; the custom scan's line has no full
  // stop.
  QString line = text("023", "Scan in progress, Please wait until the scan complete.");
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
  running_ = true;
  showPage(Scan);
}

void MainWindow::startQuickScan() {
  if (resultsBusy_ || running_)
    return;
  runStart(ScanKind::Quick, {scan::kAreaMemory});
  Q_EMIT startScan(static_cast<int>(ScanKind::Quick), {});
}

void MainWindow::startSmartScan() {
  if (resultsBusy_ || running_)
    return;
  runStart(ScanKind::Smart, {scan::kAreaMemory, scan::kAreaWindowsFolder, scan::kAreaRegistry});
  Q_EMIT startScan(static_cast<int>(ScanKind::Smart), {});
}

void MainWindow::showCustomScanPage() {
  if (running_)
    return;
  pickedPath_->clear();
  startScanning_->setEnabled(false);
  refreshHomeStatus();
  showPage(Picker);
}

void MainWindow::startCustomScan(const QString& path) {
  if (resultsBusy_ || running_ || path.trimmed().isEmpty())
    return;
  runStart(ScanKind::Custom, {scan::kAreaCustomFolder});
  Q_EMIT startScan(static_cast<int>(ScanKind::Custom), path);
}

void MainWindow::togglePause() {
  if (!running_)
    return;
  QString caption = QString::fromStdString(runner_->togglePause());
  pause_->setText(caption);
  if (caption == "Resume")
    clockTimer_.stop();
  else
    clockTimer_.start();
}

void MainWindow::cancelScan() {
  if (!running_)
    return;
  runner_->cancelScan();
  status_->setText("Cancelling...");
}

void MainWindow::onFinished(int kind, int threats) {
  running_ = false;
  clockTimer_.stop();
  activity_->hide();
  pause_->setEnabled(false);
  nowChecking_->hide();
  const scan::ScanState& state = runner_->state();
  status_->setText(QString::fromStdString(state.status.empty() ? "Finished scanning" : state.status));
  files_->setText("Files scanned :" + QString::number(state.filesScanned));
  if (static_cast<ScanKind>(kind) != ScanKind::Custom) {
    summary_[0]->setText("Total files scanned : " + QString::number(state.summary.totalFiles));
    summary_[1]->setText("Safe files scanned: " + QString::number(state.summary.safeFiles));
    // A Smart Scan shows its count too (its summary once said "No internet connection").
    summary_[2]->setText("Threats Found : " + QString::number(state.summary.threats));
    summary_[3]->setText("Unknown Files: " + QString::number(state.summary.unknownFiles));
  }
  for (const auto& [area, count] : state.areaCounts)
    showAreaResult(area, count);
  animationTimer_.stop();
  notice_->setText(qText(scan::endOfScanNotice(state)));
  dangerous_->setVisible(threats > 0);
  refreshResults();
  refreshHomeStatus();
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
  trayMenu_->addAction("Run Live update", this, [this] { update::launchLiveUpdate(p_, folder_); });
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
  startWithSystemEntry_->setChecked(app::leadingInteger(app::SettingsStore(p_).setting("start Quorvane Antimalware")) == 1);
  connect(startWithSystemEntry_, &QAction::triggered, this, [this] {
    // The click already flipped the mark; the switch starts from the mark it had.
    startWithSystemEntry_->setChecked(schedule::SystemIntegration(p_).toggleScanAtStartup(!startWithSystemEntry_->isChecked()));
  });
  trayMenu_->addSeparator();
  trayMenu_->addAction("View Recent History", this, [this] {
    showPage(History);
    showNormal();
  });
  autoProtectEntry_ = trayMenu_->addAction(qText(protect::kDisableAutoProtectCaption));
  autoProtectEntry_->setObjectName("a15");
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
  help->addAction("Live update", this, [this] { update::launchLiveUpdate(p_, folder_); });
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

void MainWindow::refreshResults() { resultsModel_->reload(); }

void MainWindow::onResultsInBackground(std::function<void(threats::ScanResults&)> command) {
  if (running_ || resultsBusy_)
    return;
  // The work changes a copy; the list shown stays as it is until the work is done.
  resultsBusy_ = true;
  page(Results)->setEnabled(false);
  auto copy = std::make_shared<threats::ScanResults>(runner_->results());
  jobs_->run([copy, command = std::move(command)] { command(*copy); },
             [this, copy] {
               runner_->results() = *copy;
               resultsBusy_ = false;
               page(Results)->setEnabled(true);
               refreshResults();
               Q_EMIT listsChanged();
             });
}

void MainWindow::refreshHistory() {
  historyModel_->setRecords(threats::ThreatLog(p_, folder_).showScanHistory());
}

void MainWindow::refreshQuarantine() {
  std::vector<threats::ThreatRecord> records;
  for (threats::QuarantineRow& row : threats::Quarantine(p_, folder_).showQuarantine())
    records.push_back(std::move(row.record));
  quarantineModel_->setRecords(std::move(records));
}

std::unique_ptr<MainWindow> openMainWindow(platform::Platform& platform, const std::string& appFolder,
                                           engine::SignatureDatabase& signatures, app::StartMode mode) {
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
