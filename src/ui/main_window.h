// The main window of the desktop program: the home page with the three scans, the scan page,
// the folder picker, the results, the recent-scan history, the quarantine and the about page.
#pragma once

#include "app/language.h"
#include "app/startup.h"
#include "engine/sigtable.h"
#include "platform/platform.h"
#include "scan/scan_runs.h"
#include "protect/autoprotect.h"
#include "schedule/scheduler.h"
#include "app/tray.h"
#include "ui/qt_tray.h"
#include "ui/list_models.h"
#include "ui/scan_controller.h"
#include "ui/alert_window.h"
#include "ui/guard.h"
#include "ui/ui_notifier.h"

#include <QCheckBox>
#include <QPointer>
#include <QRadioButton>

#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <QComboBox>
#include <QMenu>
#include <QSystemTrayIcon>

#include <map>
#include <memory>

namespace quorvane::ui {

class MainWindow : public QMainWindow {
  Q_OBJECT
public:
  enum Page { Home, Scan, Picker, Results, History, Quarantine, About, SchedulePage, Settings };

  MainWindow(platform::Platform& platform, std::string appFolder,
             engine::SignatureDatabase& signatures, app::StartMode mode,
             QWidget* parent = nullptr);
  ~MainWindow() override;

  Page currentPage() const { return static_cast<Page>(pages_->currentIndex()); }
  QWidget* page(Page which) const { return pages_->widget(which); }
  void showPage(Page which);
  bool scanRunning() const { return running_; }
  scan::ScanRunner& runner() { return *runner_; }
  app::Language& language() { return language_; }
  protect::AutoProtect& autoProtect() { return guard_->autoProtect(); }
  schedule::Scheduler& scheduler() { return *scheduler_; }

  void startQuickScan();
  void startSmartScan();
  void showCustomScanPage();
  void startCustomScan(const QString& path);
  void togglePause();
  void cancelScan();
  /// Timer7: a folder handed over by another start.
  void pollFolderScanRequest();
  /// The status lines of the home page.
  void refreshHomeStatus();
  /// The language loader: reads the chosen file again and sets every caption.
  void loadLanguage();
  /// "Hide to tray"; without a notification area the window is minimised instead.
  void hideToTray();
  void refreshResults();
  void refreshHistory();
  void refreshQuarantine();
  /// The tray menu ("file") and its items.
  QMenu* trayMenu() const { return trayMenu_; }
  QtTray* tray() const { return qtTray_; }
  app::TrayArea& trayArea() { return *trayArea_; }
  /// A notification-area event (the mouse message number).
  void onTrayEvent(int value);
  /// The tray entry that switches auto-protect.
  QAction* autoProtectEntry() const { return autoProtectEntry_; }
  void toggleAutoProtect();
  /// Timer4: the scheduled scan at its minute; the shutdown, when set, after the scan's end.
  void schedulerTick();

  /// Closes any open alert and shows one for this record (the four "|" fields).
  void showThreatAlert(const QString& record, bool safeLink);
  AlertWindow* alertWindow() const { return alert_; }
  /// The screen's free area the alert slides into; by default the primary screen's.
  void setAlertArea(QRect area) { alertArea_ = area; }

  /// "Check update Now": the question, the server's manifest and the download run in the
  /// background; the button stays disabled meanwhile.
  void checkUpdateNow();
  QProgressBar* updateBar() const { return updateProgress_; }
  /// "Schedule Scan": the page filled from the stored schedule.
  void showSchedulePage();
  /// The schedule page's "Save".
  void saveSchedule();
  /// "Settings": the page filled from the stored values.
  void showSettingsPage();
  /// "Restore System Default Settings", in the background.
  void restoreSystemDefaults();

Q_SIGNALS:
  void startScan(int kind, const QString& path);
  void scanFinished(int kind, int threats);
  /// An alert window opened.
  void alertShown(AlertWindow* alert);
  /// A manual update ended.
  void updateFinished(int outcome);
  /// Background work started from the settings page ended.
  void restoreFinished();
  /// A command of the results or the quarantine page has done its work in the background.
  void listsChanged();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  void buildUi();
  QWidget* buildHome();
  QWidget* buildScan();
  QWidget* buildPicker();
  QWidget* buildResults();
  QWidget* buildHistory();
  QWidget* buildQuarantine();
  QWidget* buildAbout();
  QWidget* buildSchedule();
  QWidget* buildSettings();
  QComboBox* languageChooser(QWidget* parent);
  /// Runs a command of the results page on a copy of the list in the background; the list takes
  /// the copy over when it is done. No scan starts meanwhile.
  void onResultsInBackground(std::function<void(threats::ScanResults&)> command);
  void runStart(ScanKind kind, const std::vector<int>& areas);
  /// An area's end: its count and its threat or clean picture.
  void showAreaResult(int area, int count);
  void onFinished(int kind, int threats);
  QString text(const char* key, const char* english) const;

  platform::Platform& p_;
  std::string folder_;
  /// Message boxes of work on other threads open on the window's thread.
  UiNotifier* uiNotifier_ = nullptr;
  platform::Platform background_;
  BackgroundJobs* jobs_ = nullptr;
  engine::SignatureDatabase& signatures_;
  app::Language language_;
  std::unique_ptr<scan::ScanRunner> runner_;
  QThread workerThread_;
  ScanController* controller_ = nullptr;
  bool running_ = false;
  bool resultsBusy_ = false;
  bool trayNoticeShown_ = false;

  QStackedWidget* pages_ = nullptr;
  // Home.
  QLabel* lastScan_ = nullptr;
  QLabel* threatsLabel_ = nullptr;
  QLabel* lastUpdate_ = nullptr;
  QLabel* database_ = nullptr;
  QPushButton* checkUpdate_ = nullptr;
  QProgressBar* updateProgress_ = nullptr;
  // Scan page.
  std::map<int, QWidget*> panels_;
  std::map<int, QLabel*> areaCounts_;
  std::map<int, QLabel*> areaStatus_;
  QLabel* status_ = nullptr;
  QLabel* nowChecking_ = nullptr;
  QLabel* files_ = nullptr;
  QLabel* elapsed_ = nullptr;
  QLabel* notice_ = nullptr;
  QProgressBar* activity_ = nullptr;
  QLabel* summary_[4] = {};
  QPushButton* pause_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* dangerous_ = nullptr;
  schedule::ElapsedLabels clock_;
  std::vector<int> runAreas_;
  int animatedArea_ = 0;
  int animationFrame_ = 0;
  // Picker.
  QComboBox* drives_ = nullptr;
  QTreeView* tree_ = nullptr;
  QLabel* pickedPath_ = nullptr;
  QPushButton* startScanning_ = nullptr;
  // Lists.
  ThreatListModel* resultsModel_ = nullptr;
  RecordListModel* historyModel_ = nullptr;
  RecordListModel* quarantineModel_ = nullptr;
  QPushButton* selectAll_ = nullptr;

  // Schedule page.
  QComboBox* hour_ = nullptr;
  QComboBox* minute_ = nullptr;
  QRadioButton* period_[3] = {};
  QCheckBox* weekdays_[7] = {};
  QCheckBox* everyDay_ = nullptr;
  QCheckBox* shutdown_ = nullptr;
  QRadioButton* mode_[2] = {};
  // Settings page.
  QCheckBox* startWithSystem_ = nullptr;
  QCheckBox* contextMenu_ = nullptr;
  QCheckBox* autorun_ = nullptr;
  QRadioButton* threatAction_[3] = {};
  QPushButton* restore_ = nullptr;

  // Timer3 (auto-protect) and Timer9 (the table's rebuild) run on the guard's thread.
  QTimer scheduleTimer_, animationTimer_, folderRequestTimer_, updateBarTimer_, clockTimer_;
  QThread guardThread_;
  Guard* guard_ = nullptr;
  QPointer<AlertWindow> alert_;
  QRect alertArea_;
  std::unique_ptr<schedule::Scheduler> scheduler_;
  bool shutdownAfterScan_ = false; ///< a scheduled scan runs; the shutdown waits for its end
  QtTray* qtTray_ = nullptr;
  std::unique_ptr<app::TrayArea> trayArea_;
  QMenu* trayMenu_ = nullptr;
  QAction* startWithSystemEntry_ = nullptr;
  QAction* autoProtectEntry_ = nullptr;
  void buildMenus();
  void restoreFromTray();
};

/// Opens the main window after the start's checks: hidden in the notification area for a silent
/// start or when "start Quorvane Antimalware" is 1, shown otherwise.
std::unique_ptr<MainWindow> openMainWindow(platform::Platform& platform, const std::string& appFolder,
                                           engine::SignatureDatabase& signatures, app::StartMode mode);

} // namespace quorvane::ui
