// The main window of the desktop program: the navigation beside the pages (src/ui/pages), the
// tray icon and its menu, the timers, and the guard's thread.
#pragma once

#include "app/language.h"
#include "app/startup.h"
#include "app/tray.h"
#include "engine/sigtable.h"
#include "platform/platform.h"
#include "protect/autoprotect.h"
#include "scan/scan_runs.h"
#include "schedule/scheduler.h"
#include "ui/alert_window.h"
#include "ui/guard.h"
#include "ui/qt_tray.h"
#include "ui/scan_controller.h"
#include "ui/ui_notifier.h"

#include <QPointer>

#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QThread>
#include <QTimer>

#include <memory>

namespace quorvane::ui {

class HomePage;
class ScanPage;
class PickerPage;
class ResultsPage;
class HistoryPage;
class QuarantinePage;
class AboutPage;
class SchedulePage;
class SettingsPage;
struct PageServices;

/// Where a window of `wanted` size goes on a screen whose free area is `available`: no larger
/// than that area (nor smaller than `minimum`), centred a little above the middle, and moved
/// inside the area wherever it fits.
QRect placedWithin(const QRect& available, const QSize& wanted, const QSize& minimum);

/// The window wires the pages together: the navigation, the scans they start, the tray, the
/// timers and the guard. What each page shows and does lives in its own class.
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
  /// A folder handed over by another start.
  void pollFolderScanRequest();
  /// The language loader: reads the chosen file again and builds every page anew.
  void loadLanguage();
  /// "Hide to tray"; without a notification area the window is minimised instead.
  void hideToTray();
  /// The tray menu ("file") and its items.
  QMenu* trayMenu() const { return trayMenu_; }
  QtTray* tray() const { return qtTray_; }
  app::TrayArea& trayArea() { return *trayArea_; }
  /// A notification-area event (the mouse message number).
  void onTrayEvent(int value);
  /// The tray entry that switches auto-protect.
  QAction* autoProtectEntry() const { return autoProtectEntry_; }
  void toggleAutoProtect();
  /// The scheduled scan at its minute; the shutdown, when set, after the scan's end.
  void schedulerTick();
  /// "Run Live update": starts the updater program and says so in the status line.
  void runLiveUpdate();
  QString statusMessage() const { return statusBar()->currentMessage(); }
  /// Shows in the status line whether a guard runs for the whole machine, and in which mode.
  void showSystemGuardState();
  QString systemGuardText() const { return systemGuardLabel_->text(); }

  /// Closes any open alert and shows one for this record (the four "|" fields).
  void showThreatAlert(const QString& record, bool safeLink);
  AlertWindow* alertWindow() const { return alert_; }
  /// The screen's free area the alert slides into; by default the primary screen's.
  void setAlertArea(QRect area) { alertArea_ = area; }

  /// "Check update Now" on the main page.
  void checkUpdateNow();
  QProgressBar* updateBar() const;
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
  /// A file or folder dragged onto the window is scanned (one at a time, local ones only).
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

private:
  /// Builds the navigation and every page, and connects them.
  void buildUi();
  QWidget* buildNavigation(QWidget* parent);
  void buildMenus();
  void restoreFromTray();
  void runStart(ScanKind kind, const std::vector<int>& areas);
  void onFinished(int kind, int threats);

  platform::Platform& p_;
  std::string folder_;
  /// Message boxes of work on other threads open on the window's thread.
  UiNotifier* uiNotifier_ = nullptr;
  platform::Platform background_;
  BackgroundJobs* jobs_ = nullptr;
  engine::SignatureDatabase& signatures_;
  app::Language language_;
  std::unique_ptr<PageServices> services_;
  std::unique_ptr<scan::ScanRunner> runner_;
  QThread workerThread_;
  ScanController* controller_ = nullptr;
  bool running_ = false;
  bool trayNoticeShown_ = false;

  QStackedWidget* pages_ = nullptr;
  HomePage* homePage_ = nullptr;
  ScanPage* scanPage_ = nullptr;
  PickerPage* pickerPage_ = nullptr;
  ResultsPage* resultsPage_ = nullptr;
  HistoryPage* historyPage_ = nullptr;
  QuarantinePage* quarantinePage_ = nullptr;
  ui::SchedulePage* schedulePage_ = nullptr;
  SettingsPage* settingsPage_ = nullptr;

  /// Looks for a folder handed over by another start.
  QTimer folderRequestTimer_;
  /// The scheduled scan. Auto-protect and the table's rebuild run on the guard's thread.
  QTimer scheduleTimer_;
  QTimer guardStateTimer_; ///< looks whether a guard runs for the whole machine
  QLabel* systemGuardLabel_ = nullptr;
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
};

/// Opens the main window after the start's checks: hidden in the notification area for a silent
/// start or when "start Quorvane Antimalware" is 1, shown otherwise.
std::unique_ptr<MainWindow> openMainWindow(platform::Platform& platform,
                                           const std::string& appFolder,
                                           engine::SignatureDatabase& signatures,
                                           app::StartMode mode);

} // namespace quorvane::ui
