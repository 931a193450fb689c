// The desktop window under the offscreen platform: pages, a handed-over folder scanned, the
// lists, and a picture of every page.
#include "app/home_page.h"
#include "threats/quarantine.h"
#include "threats/removal.h"
#include "threats/threatlog.h"
#include "ui/engine_check_window.h"
#include "ui/pages/scan_page.h"
#include "ui/window_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QSystemTrayIcon>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QLabel>
#include <QProgressBar>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTableView>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include <QGroupBox>
#include <sys/wait.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QCheckBox>
#include <QRadioButton>
#include <QFileSystemModel>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>

namespace quorvane::ui {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

TEST_F(MainWindowTest, PagesCarryTheirTexts) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  EXPECT_EQ(window.windowTitle(), "Quorvane Antimalware");
  auto home = labelTexts(window.page(MainWindow::Home));
  for (const char* text : {"Quick Scan", "Smart Scan", "Custom Scan", "Scans Memory Area Only (Fast scan)",
                           "Scans Memory, windows and programs (slightly slow)",
                           "Select Folder Or Drive To Scan (Slow)", "First Time Scan",
                           "Threats Found  0"})
    EXPECT_THAT(home, Contains(text));
  auto scan = labelTexts(window.page(MainWindow::Scan));
  for (const char* text : {"Now Checking :", "Pause", "Cancel", "Total files scanned :"})
    EXPECT_THAT(scan, Contains(text));
  EXPECT_THAT(labelTexts(window.page(MainWindow::History)), Contains("Clear Scan History"));
  EXPECT_THAT(labelTexts(window.page(MainWindow::Quarantine)), Contains("Restore"));
  EXPECT_THAT(labelTexts(window.page(MainWindow::Picker)), Contains("Select Drive"));
}

TEST(WindowPlacementTest, TheWindowStaysOnTheScreen) {
  const QSize wanted(820, 560), minimum(700, 500);
  struct Case {
    QRect available;
    QRect placed;
  } cases[] = {
      {{0, 0, 1280, 800}, {230, 113, 820, 560}},     // centred, a little above the middle
      {{0, 0, 1024, 768}, {102, 97, 820, 560}},
      {{0, 27, 1280, 773}, {230, 126, 820, 560}},    // below a top panel
      {{1280, 0, 1024, 768}, {1382, 97, 820, 560}},  // the second of two screens
      {{0, 0, 800, 600}, {0, 13, 800, 560}},         // narrower than wanted: as wide as it is
      {{0, 0, 640, 480}, {0, 0, 700, 500}},          // smaller than the minimum: top-left first
  };
  for (const Case& c : cases)
    EXPECT_EQ(placedWithin(c.available, wanted, minimum), c.placed) << c.available.width();
}

TEST_F(MainWindowTest, EveryPageFitsA1024By768Screen) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  // What the window needs at least, with every page: room is left for a panel and a title bar.
  QSize needed = window.minimumSizeHint();
  EXPECT_LE(needed.width(), 1024);
  EXPECT_LE(needed.height(), 700);
}

TEST_F(MainWindowTest, TheStatusLineShowsAGuardRunningForTheWholeMachine) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  EXPECT_EQ(window.systemGuardText(), ""); // no guard: no status line

  home.write("guard.state", "mode=blocking\npid=" + std::to_string(getpid()) + "\ndetail=x\n");
  window.showSystemGuardState();
  EXPECT_EQ(window.systemGuardText(),
            "System guard: blocking (listed programs are refused before they run)");
  home.write("guard.state", "mode=polling\npid=" + std::to_string(getpid()) + "\n");
  window.showSystemGuardState();
  EXPECT_EQ(window.systemGuardText(), "System guard: on (programs are checked after they start)");

  // A guard killed without a word leaves its file behind: the process it names is gone.
  pid_t gone = fork();
  if (gone == 0)
    _exit(0);
  waitpid(gone, nullptr, 0);
  home.write("guard.state", "mode=blocking\npid=" + std::to_string(gone) + "\n");
  window.showSystemGuardState();
  EXPECT_EQ(window.systemGuardText(), "");
}

TEST_F(MainWindowTest, TheMainPageShowsTheProtectionAtAGlance) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  QWidget* homePage = window.page(MainWindow::Home);
  auto text = [&](const char* name) {
    return homePage->findChild<QLabel*>(name)->text().toStdString();
  };
  auto level = [&](const char* name) {
    return homePage->findChild<QLabel*>(name)->property("level").toString().toStdString();
  };
  // The fixture's vir.sig holds one key: as good as no database, and the page says what to do.
  EXPECT_EQ(text("databaseTitle"), "<b>No malware database yet</b>");
  EXPECT_THAT(text("databaseDetail"), HasSubstr("Check update Now"));
  EXPECT_EQ(level("databaseSign"), "problem");
  EXPECT_EQ(text("protectionTitle"), "<b>Real-time protection: on</b>");
  EXPECT_EQ(level("protectionSign"), "good");
  EXPECT_EQ(text("lastScanTitle"), "<b>No scan yet</b>");
  EXPECT_EQ(level("lastScanSign"), "attention");

  // The switch is the tray's "Disable Auto Protect".
  auto* protection = homePage->findChild<QCheckBox*>("protectionSwitch");
  ASSERT_TRUE(protection->isChecked());
  protection->click();
  EXPECT_FALSE(window.autoProtect().enabled());
  EXPECT_EQ(text("protectionTitle"), "<b>Real-time protection: off</b>");
  EXPECT_EQ(level("protectionSign"), "problem");
  window.toggleAutoProtect(); // from the tray: the page follows
  EXPECT_TRUE(protection->isChecked());

  // A database with keys, after a scan.
  plantProgram("qv-one");
  plantProgram("qv-two");
  QSignalSpy finished(&window, &MainWindow::scanFinished);
  window.startCustomScan(QString::fromStdString(home / "scanme"));
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_EQ(text("databaseTitle"), "<b>Malware database: 3 signatures</b>");
  EXPECT_EQ(level("databaseSign"), "good");
  EXPECT_THAT(text("lastScanTitle"), HasSubstr("Last scan: "));
}

TEST_F(MainWindowTest, TheKeyboardAloneReachesAndStartsAScan) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  // Every button of ours says what it is to a screen reader (Qt's own corner buttons aside).
  for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    bool ours = qobject_cast<QPushButton*>(button) || qobject_cast<QCheckBox*>(button) ||
                qobject_cast<QRadioButton*>(button);
    if (!ours)
      continue;
    EXPECT_FALSE(button->accessibleName().isEmpty() && button->text().isEmpty())
        << button->metaObject()->className() << " " << button->objectName().toStdString();
  }
  // Tab from the navigation to the main page's Quick Scan, then Space.
  window.findChild<QPushButton*>("Main Page")->setFocus();
  QWidget* quick = window.page(MainWindow::Home)->findChild<QPushButton*>("Quick Scan");
  for (int presses = 0; QApplication::focusWidget() != quick && presses < 40; ++presses)
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), quick);
  QSignalSpy finished(&window, &MainWindow::scanFinished);
  QTest::keyClick(quick, Qt::Key_Space);
  ASSERT_TRUE(finished.wait(60000));
  EXPECT_EQ(finished.at(0).at(0).toInt(), static_cast<int>(ScanKind::Quick));
}

TEST_F(MainWindowTest, SignaturesThatLandWhileItRunsAreShownOnTheMainPage) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  auto* title = window.page(MainWindow::Home)->findChild<QLabel*>("databaseTitle");
  EXPECT_EQ(title->text().toStdString(), "<b>No malware database yet</b>");
  // What the live updater (or anyone) installs is taken up at the table's next rebuild.
  plantProgram("qv-one");
  std::string virSig = home.read("vir.sig");
  home.write("vir.sig", virSig + std::string(32, '2') + ".5\r\n");
  std::filesystem::last_write_time(home / "vir.sig", std::filesystem::file_time_type::clock::now() +
                                                         std::chrono::seconds(5));
  for (int i = 0; i < 300 && window.statusMessage().isEmpty(); ++i)
    QTest::qWait(100);
  EXPECT_THAT(window.statusMessage().toStdString(), HasSubstr("New signatures installed: 3"));
  EXPECT_EQ(title->text().toStdString(), "<b>Malware database: 3 signatures</b>");
}

TEST_F(MainWindowTest, AFolderDroppedOnTheWindowIsScanned) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  QSignalSpy finished(&window, &MainWindow::scanFinished);
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(home / "scanme"))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &drop);
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_EQ(finished.at(0).at(1).toInt(), 1); // the EICAR file inside
  EXPECT_EQ(window.currentPage(), MainWindow::Scan);
  // A folder's length is not known beforehand: its bar was a busy one.
  EXPECT_EQ(static_cast<ScanPage*>(window.page(MainWindow::Scan))->progressBar()->maximum(), 0);

  // Anything but one local path is refused at the door.
  QMimeData two;
  two.setUrls({QUrl::fromLocalFile("/tmp"), QUrl::fromLocalFile("/usr")});
  QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &two, Qt::LeftButton, Qt::NoModifier);
  refused.ignore();
  QApplication::sendEvent(&window, &refused);
  EXPECT_FALSE(refused.isAccepted());
}

TEST_F(MainWindowTest, ThePickerCanPickASingleFile) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  QSignalSpy finished(&window, &MainWindow::scanFinished);
  window.showCustomScanPage();
  auto* tree = window.page(MainWindow::Picker)->findChild<QTreeView*>("folders");
  ASSERT_NE(tree, nullptr);
  auto* model = static_cast<QFileSystemModel*>(tree->model());
  QModelIndex file = model->index(QString::fromStdString(home / "scanme/tools/eicar.com"));
  ASSERT_TRUE(file.isValid());
  Q_EMIT tree->clicked(file);
  window.page(MainWindow::Picker)->findChild<QPushButton*>("Start Scanning")->click();
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_EQ(finished.at(0).at(1).toInt(), 1);
  EXPECT_EQ(window.runner().state().filesScanned, 1);
}

TEST_F(MainWindowTest, AHandedOverFolderIsScannedAndItsThreatListed) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  QSignalSpy finished(&window, &MainWindow::scanFinished);
  home.write("folderscan.sig", "\"" + home / "scanme" + "\"\r\n");
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_FALSE(std::filesystem::exists(home / "folderscan.sig"));
  EXPECT_EQ(finished.at(0).at(1).toInt(), 1);
  EXPECT_EQ(window.currentPage(), MainWindow::Scan);
  // The custom area shows its count and the threat picture.
  std::vector<std::string> statuses;
  for (QLabel* label : window.page(MainWindow::Scan)->findChildren<QLabel*>())
    if (label->property("status").isValid() && label->isVisibleTo(window.page(MainWindow::Scan)))
      statuses.push_back(label->property("status").toString().toStdString());
  EXPECT_THAT(statuses, ::testing::ElementsAre("threat"));
  // The summary box holds the numbers, as after the other kinds of scan.
  for (const char* line : {"Total files scanned : 1", "Safe files scanned: 0", "Threats Found : 1",
                           "Unknown Files: 0"})
    EXPECT_THAT(labelTexts(window.page(MainWindow::Scan)), Contains(line));

  window.showPage(MainWindow::Results);
  QAbstractItemModel* results = listOf(window.page(MainWindow::Results));
  ASSERT_EQ(results->rowCount(), 1);
  EXPECT_EQ(cell(results, 0, 2).toStdString(), home / "scanme/tools/eicar.com");
  auto* selectAll = window.page(MainWindow::Results)->findChild<QPushButton*>("Select All");
  selectAll->click();
  EXPECT_EQ(tickOf(results, 0), Qt::Checked);
  EXPECT_EQ(results->data(results->index(0, 1), Qt::ForegroundRole).value<QColor>(),
            QColor(255, 0, 0)); // ticked rows are red
  results->setData(results->index(0, 0), Qt::Unchecked, Qt::CheckStateRole);
  EXPECT_EQ(results->data(results->index(0, 1), Qt::ForegroundRole).value<QColor>(),
            QColor(192, 192, 192)); // and unticked ones light grey
  EXPECT_FALSE(window.runner().results().rows[0].checked) << "the tick goes back to the core's row";
  EXPECT_EQ(selectAll->text(), "Select none");
  EXPECT_THAT(labelTexts(window.page(MainWindow::Scan)), Contains("Finished scanning,Threats found."));

  // Quarantining the ticked row works in the background; the page waits for it.
  results->setData(results->index(0, 0), Qt::Checked, Qt::CheckStateRole);
  QSignalSpy done(&window, &MainWindow::listsChanged);
  window.page(MainWindow::Results)->findChild<QPushButton*>("Quarantine")->click();
  EXPECT_FALSE(window.page(MainWindow::Results)->isEnabled());
  ASSERT_TRUE(done.wait(10000));
  EXPECT_TRUE(window.page(MainWindow::Results)->isEnabled());
  EXPECT_EQ(results->rowCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(home / "scanme/tools/eicar.com"));
  ASSERT_EQ(threats::Quarantine(p, home.path()).showQuarantine().size(), 1u);
}

TEST_F(MainWindowTest, AThreatLeftForTheNextStartGoesWhenTheProgramStarts) {
  std::string left = home.write("left/locked.exe", testing::eicarText());
  auto status = p.files.status(left);
  ASSERT_TRUE(status);
  // As a removal that could not delete it left things: the pair and the file's identity.
  home.write(threats::kRemovalRecordFile,
             threats::recordedFileLine(
                 left, {status->identity(), status->size, "44d88612fea8a8f36de82e1278abb02f"}));
  p.registry.createKey(platform::Hive::LocalMachine, threats::kSessionManagerKey);
  p.registry.setValue(platform::Hive::LocalMachine, threats::kSessionManagerKey,
                      threats::kPendingValue, platform::ValueType::MultiString,
                      threats::encodeMultiString({"\\??\\" + left, ""}));
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  EXPECT_FALSE(std::filesystem::exists(left));
  EXPECT_FALSE(std::filesystem::exists(home / threats::kRemovalRecordFile));
}

TEST_F(MainWindowTest, ASmartScanSummaryShowsItsThreatCount) {
  app::SettingsStore(p).setSetting("windows folder", home / "scanme");
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  QSignalSpy finished(&window, &MainWindow::scanFinished);
  window.startSmartScan();
  ASSERT_TRUE(finished.wait(60000));
  int threats = finished.at(0).at(1).toInt();
  EXPECT_GE(threats, 1);
  EXPECT_THAT(labelTexts(window.page(MainWindow::Scan)),
              Contains("Threats Found : " + std::to_string(window.runner().state().summary.threats)));
  EXPECT_THAT(labelTexts(window.page(MainWindow::Scan)),
              ::testing::Not(Contains(HasSubstr("No internet connection"))));
  // The bar counted the three areas, one by one; the pace was shown.
  auto* scanPage = static_cast<ScanPage*>(window.page(MainWindow::Scan));
  EXPECT_EQ(scanPage->progressBar()->maximum(), 3);
  EXPECT_EQ(scanPage->progressBar()->value(), 3);
  EXPECT_THAT(scanPage->findChild<QLabel*>("rate")->text().toStdString(), HasSubstr(" files/s"));
}

TEST_F(MainWindowTest, ASecondStartHandsItsFolderToTheRunningWindow) {
  app::StartupResult first = app::runStartup(p, home.path(), "");
  ASSERT_FALSE(first.anotherInstance);
  MainWindow window(p, home.path(), signatures, first.mode);
  QSignalSpy finished(&window, &MainWindow::scanFinished);
  std::string command = "QT_QPA_PLATFORM=offscreen QUORVANE_HOME=" + home.path() + " timeout 20 " +
                        QUORVANEAM_BIN + " '\"" + home / "scanme" + "\"'";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(finished.wait(20000));
  window.showPage(MainWindow::Results);
  QAbstractItemModel* results = listOf(window.page(MainWindow::Results));
  ASSERT_EQ(results->rowCount(), 1);
  EXPECT_EQ(cell(results, 0, 1), "eicar.com");
}

TEST_F(MainWindowTest, ALongCaptionIsCutTo254Characters) {
  home.write("lang/english.ini", "[001]\r\n004=" + std::string(300, 'Q') + "\r\n");
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  EXPECT_THAT(labelTexts(window.page(MainWindow::Home)), Contains(std::string(254, 'Q')));
}

TEST_F(MainWindowTest, HistoryAndQuarantinePagesListTheirFiles) {
  threats::ThreatLog(p, home.path()).logThreat("evil.exe", "/media/stick/evil.exe");
  std::string kept = home.write("victim/bad.dll", "bad");
  ASSERT_TRUE(threats::Quarantine(p, home.path()).quarantineFile("bad.dll", kept));
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  window.showPage(MainWindow::History);
  QAbstractItemModel* history = listOf(window.page(MainWindow::History));
  ASSERT_EQ(history->rowCount(), 1);
  EXPECT_EQ(cell(history, 0, 2), "/media/stick/evil.exe");
  window.page(MainWindow::History)->findChild<QPushButton*>("Clear Scan History")->click();
  EXPECT_EQ(history->rowCount(), 0);

  window.showPage(MainWindow::Quarantine);
  QAbstractItemModel* quarantine = listOf(window.page(MainWindow::Quarantine));
  ASSERT_EQ(quarantine->rowCount(), 1);
  EXPECT_EQ(cell(quarantine, 0, 1), "bad.dll");
  // While a file stands at its path, the restore overwrites nothing and says so.
  home.write("victim/bad.dll", "the user's newer file");
  quarantine->setData(quarantine->index(0, 0), Qt::Checked, Qt::CheckStateRole);
  QSignalSpy done(&window, &MainWindow::listsChanged);
  window.page(MainWindow::Quarantine)->findChild<QPushButton*>("Restore")->click();
  ASSERT_TRUE(done.wait(10000));
  EXPECT_EQ(home.read("victim/bad.dll"), "the user's newer file");
  ASSERT_EQ(quarantine->rowCount(), 1);
  ASSERT_EQ(notifier.messages.size(), 1u);
  EXPECT_THAT(notifier.messages[0], ::testing::HasSubstr(kept + ": the path is taken"));

  std::filesystem::remove(kept);
  quarantine->setData(quarantine->index(0, 0), Qt::Checked, Qt::CheckStateRole);
  window.page(MainWindow::Quarantine)->findChild<QPushButton*>("Restore")->click();
  ASSERT_TRUE(done.wait(10000));
  EXPECT_EQ(home.read("victim/bad.dll"), "bad");
  EXPECT_EQ(quarantine->rowCount(), 0);
}

TEST_F(MainWindowTest, WithoutANotificationAreaHidingMinimisesAndSaysSoOnce) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  window.show();
  window.hideToTray();
  window.hideToTray();
  EXPECT_TRUE(window.isMinimized() || window.windowState() & Qt::WindowMinimized);
  EXPECT_EQ(notifier.messages.size(), 1u);
}

TEST_F(MainWindowTest, CaptionsComeFromTheLanguageFileWithEnglishForWhatItLacks) {
  home.write("lang/english.ini", "[001]\r\n004=Quick Scan\r\n005=Smart Scan\r\n");
  home.write("lang/dutch.ini", "[001]\r\n004=Snelle scan\r\n");
  app::SettingsStore(p).setSetting("language", "dutch.ini");
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  auto texts = labelTexts(window.page(MainWindow::Home));
  EXPECT_THAT(texts, Contains("Snelle scan"));
  EXPECT_THAT(texts, Contains("Smart Scan")) << "missing in dutch.ini: english.ini's text";
  EXPECT_THAT(texts, Contains("Custom Scan")) << "missing in both: the design caption";
}

TEST_F(MainWindowTest, TheChooserOffersThePresentFilesAndSwitchesTheCaptions) {
  home.write("lang/english.ini", "[001]\r\n004=Quick Scan\r\n");
  home.write("lang/dutch.ini", "[001]\r\n004=Snelle scan\r\n");
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  auto* chooser = window.page(MainWindow::About)->findChild<QComboBox*>("language");
  ASSERT_NE(chooser, nullptr);
  ASSERT_EQ(chooser->count(), 2);
  EXPECT_EQ(chooser->itemText(0), "english.ini");
  EXPECT_EQ(chooser->itemText(1), "dutch.ini");
  Q_EMIT chooser->textActivated("dutch.ini");
  QCoreApplication::processEvents();
  EXPECT_EQ(app::SettingsStore(p).setting("language"), "dutch.ini");
  EXPECT_THAT(labelTexts(window.page(MainWindow::Home)), Contains("Snelle scan"));
  EXPECT_EQ(window.currentPage(), MainWindow::Home);
}

TEST_F(MainWindowTest, TrayAndHelpMenus) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  std::vector<std::string> items;
  for (QAction* action : window.trayMenu()->actions())
    items.push_back(action->isSeparator() ? "-" : action->text().toStdString());
  EXPECT_THAT(items, ::testing::ElementsAre("Open Quorvane Antimalware", "-",
                                            "Run Live update", "Quick Scan Now",
                                            "Start Smart Scan Now", "-",
                                            "Start Scanning when windows starts", "-",
                                            "View Recent History", "Disable Auto Protect", "-",
                                            "About Quorvane Anti Malware", "Exit"));
  // "Run Live update" starts the updater and says so.
  window.trayMenu()->actions()[2]->trigger();
  ASSERT_EQ(shell.launches.size(), 1u);
  EXPECT_THAT(shell.launches[0].program, HasSubstr("exeupdt"));
  EXPECT_THAT(window.statusMessage().toStdString(), HasSubstr("Live update started"));
  QAction* startup = window.trayMenu()->actions()[6];
  EXPECT_FALSE(startup->isChecked());
  startup->trigger();
  EXPECT_TRUE(startup->isChecked());
  EXPECT_EQ(app::SettingsStore(p).setting("start Quorvane Antimalware"), "1");
  startup->trigger();
  EXPECT_FALSE(startup->isChecked());
  EXPECT_EQ(app::SettingsStore(p).setting("start Quorvane Antimalware"), "0");
  EXPECT_EQ(window.tray()->icon().contextMenu(), window.trayMenu()) << "offered to every tray";

  // Hidden in the tray, the window comes back through the menu's first entry, and through the
  // single activation of trays that send no double click.
  auto away = [&] { return !window.isVisible() || window.isMinimized(); };
  window.show();
  window.hideToTray();
  ASSERT_TRUE(away());
  window.trayMenu()->actions()[0]->trigger();
  EXPECT_FALSE(away());
  window.hideToTray();
  ASSERT_TRUE(away());
  Q_EMIT window.tray()->icon().activated(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(away());

  auto* help = window.findChild<QMenu*>("help");
  ASSERT_NE(help, nullptr);
  EXPECT_EQ(help->actions()[0]->text(), "Live update");
  help->actions()[1]->trigger();
  EXPECT_EQ(window.currentPage(), MainWindow::About);
}

TEST(QuorvaneamStartTest, ASecondInstanceLeavesItsFolderAndEndsWithoutAWindow) {
  testing::TempDir home;
  platform::LinuxFileSystem files;
  auto running = files.tryLock(home / app::kInstanceLockFile); // as the first instance holds it
  ASSERT_TRUE(running);
  std::string command = "cd " + home.path() + " && QT_QPA_PLATFORM=offscreen QUORVANE_HOME=" +
                        home.path() + " timeout 20 " + QUORVANEAM_BIN + " '\"/home/u/My Data\"'";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(home.read("folderscan.sig"), "\"/home/u/My Data\"\r\n");
}

TEST(QuorvaneamStartTest, AFolderThatCannotBeUsedIsToldInAMessageBoxNotOnlyOnStandardError) {
  testing::TempDir home;
  std::string blocked = home.write("a-file", "where the application folder should be");
  // Started from a menu there is no terminal: the program waits on its message box. Under
  // `timeout` it is still there after two seconds, and ends by the signal, not by itself.
  std::string command = "QT_QPA_PLATFORM=offscreen QUORVANE_HOME=" + blocked + " timeout 2 " +
                        QUORVANEAM_BIN + " 2>" + home / "err";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 124) << "ended by itself: no message box waited";
  EXPECT_THAT(home.read("err"), HasSubstr("quorvaneam: Cannot use the application folder " + blocked));
}

TEST_F(MainWindowTest, TheScheduleStartsAQuickScanAndShutsDownOnlyAfterIt) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  app::SettingsStore settings(p);
  settings.setSetting("everyweek_all", "1");
  settings.setSetting("scanmode", "1");
  settings.setSetting("shutdown", "1");
  QSignalSpy finished(&window, &MainWindow::scanFinished);
  bool fired = false;
  for (int attempt = 0; attempt < 2 && !fired; ++attempt) { // the minute may turn meanwhile
    platform::LocalDateTime now = p.clock.localNow();
    settings.setSetting("starthour", std::to_string(now.hour));
    settings.setSetting("startmin", std::to_string(now.minute));
    window.scheduler().loadSchedule();
    fired = window.scheduler().tick() || fired;
  }
  ASSERT_TRUE(fired);
  EXPECT_FALSE(window.scheduler().tick()) << "once per minute";
  EXPECT_EQ(power.shutdowns, 0) << "not before the scan has ended";
  ASSERT_TRUE(finished.wait(60000));
  EXPECT_EQ(finished.at(0).at(0).toInt(), static_cast<int>(ScanKind::Quick));
  EXPECT_EQ(power.shutdowns, 1);
}

TEST_F(MainWindowTest, APictureOfEveryPage) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  window.show();
  std::filesystem::create_directories(QUORVANE_SHOTS_DIR);
  const std::pair<MainWindow::Page, const char*> pages[] = {
      {MainWindow::Home, "home"},       {MainWindow::Scan, "scan"},
      {MainWindow::Picker, "picker"},   {MainWindow::Results, "results"},
      {MainWindow::History, "history"}, {MainWindow::Quarantine, "quarantine"},
      {MainWindow::About, "about"},     {MainWindow::SchedulePage, "schedule"},
      {MainWindow::Settings, "settings"}};
  // Run again with QT_SCALE_FACTOR=2 (a test of its own), the pictures get this suffix.
  const char* given = std::getenv("QUORVANE_SHOT_SUFFIX");
  std::string suffix = given ? given : "";
  qreal scale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                    ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                    : 1.0;
  for (const auto& [which, name] : pages) {
    window.showPage(which);
    std::string file = std::string(QUORVANE_SHOTS_DIR) + "/" + name + suffix + ".png";
    QPixmap picture = window.grab();
    ASSERT_TRUE(picture.save(QString::fromStdString(file))) << name;
    EXPECT_GT(std::filesystem::file_size(file), 1000u) << name;
    // Drawn at the scale asked for: every pixel of the picture is painted, none stretched.
    EXPECT_EQ(picture.width(), qRound(window.width() * scale)) << name;
  }
  // A tall window: the scan page's lines stay together, the room goes above its buttons.
  window.showPage(MainWindow::Scan);
  window.resize(window.width(), 900);
  QApplication::processEvents();
  QWidget* scan = window.page(MainWindow::Scan);
  auto labelWith = [&](const QString& text) -> QLabel* {
    for (QLabel* label : scan->findChildren<QLabel*>())
      if (label->text() == text)
        return label;
    return nullptr;
  };
  QLabel* checking = labelWith("Now Checking :");
  QLabel* files = labelWith("Files scanned :0");
  ASSERT_TRUE(checking && files);
  EXPECT_LE(files->y() - checking->y(), 2 * checking->fontMetrics().height())
      << "lines of the scan page drifted apart";
  std::string tall = std::string(QUORVANE_SHOTS_DIR) + "/scan-tall" + suffix + ".png";
  ASSERT_TRUE(window.grab().save(QString::fromStdString(tall)));
  // The alert and the start's "Please Wait" window.
  window.showThreatAlert("bad tool.exe|0cc175b9c0f1b6a831c399e269772661|/home/u/bad tool.exe|0",
                         true);
  EngineCheckWindow check(p, home.path(), signatures);
  for (auto [widget, name] : {std::pair<QWidget*, const char*>{window.alertWindow(), "alert"},
                              {&check, "engine-check"}}) {
    std::string file = std::string(QUORVANE_SHOTS_DIR) + "/" + name + suffix + ".png";
    ASSERT_TRUE(widget->grab().save(QString::fromStdString(file))) << name;
    EXPECT_GT(std::filesystem::file_size(file), 1000u) << name;
  }
}

/// Every caption of every page.
std::set<std::string> allCaptions(MainWindow& window) {
  std::set<std::string> captions;
  for (int i = 0; window.page(static_cast<MainWindow::Page>(i)) != nullptr; ++i) {
    QWidget* page = window.page(static_cast<MainWindow::Page>(i));
    for (QLabel* label : page->findChildren<QLabel*>())
      captions.insert(label->text().toStdString());
    for (QAbstractButton* b : page->findChildren<QAbstractButton*>())
      captions.insert(b->text().toStdString());
    for (QGroupBox* box : page->findChildren<QGroupBox*>())
      captions.insert(box->title().toStdString());
  }
  for (QPushButton* b : window.centralWidget()->findChildren<QPushButton*>())
    captions.insert(b->text().toStdString());
  captions.erase("");
  return captions;
}

TEST_F(MainWindowTest, TheScanLineTheResultHeadingsAndTheEngineCheckCaptionFollowTheLanguage) {
  home.write("lang/dutch.ini", "[001]\r\n011=Even geduld\r\n023=Bezig met scannen.\r\n"
                               "165=Bestand\r\n166=Pad\r\n");
  app::Language(p, home.path()).chooseLanguage("dutch.ini");
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  QAbstractItemModel* results = listOf(window.page(MainWindow::Results));
  EXPECT_EQ(results->headerData(1, Qt::Horizontal).toString(), "Bestand");
  EXPECT_EQ(results->headerData(2, Qt::Horizontal).toString(), "Pad");
  QSignalSpy finished(&window, &MainWindow::scanFinished);
  window.startQuickScan();
  EXPECT_THAT(labelTexts(window.page(MainWindow::Scan)), Contains("Bezig met scannen."));
  ASSERT_TRUE(finished.wait(60000));
  // A Quick Scan's bar is the modules of the running programs, all checked by the end.
  QProgressBar* bar = static_cast<ScanPage*>(window.page(MainWindow::Scan))->progressBar();
  EXPECT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  const scan::ScanSummary& summary = window.runner().state().summary;
  EXPECT_GT(summary.totalFiles, 0);
  EXPECT_THAT(labelTexts(window.page(MainWindow::Scan)),
              Contains("Total files scanned : " + std::to_string(summary.totalFiles)));
  EXPECT_THAT(labelTexts(window.page(MainWindow::Scan)),
              Contains("Safe files scanned: " + std::to_string(summary.safeFiles)));
  EngineCheckWindow check(p, home.path(), signatures);
  EXPECT_EQ(check.windowTitle(), "Even geduld");
}

TEST_F(MainWindowTest, TheShippedEnglishFileHoldsEveryCaptionTheWindowReads) {
  std::ifstream shipped(QUORVANE_LANG_DIR "/english.ini");
  ASSERT_TRUE(shipped) << QUORVANE_LANG_DIR;
  std::string line, english, marked;
  while (std::getline(shipped, line)) {
    english += line + "\n";
    bool caption = line.size() > 4 && line[3] == '=' && std::isdigit(static_cast<unsigned char>(line[0]));
    marked += caption ? line.substr(0, 4) + "#" + line.substr(4) + "\n" : line + "\n";
  }
  std::set<std::string> design;
  {
    MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
    design = allCaptions(window); // no language file at all: the design captions
  }
  home.write("lang/english.ini", english);
  {
    MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
    EXPECT_EQ(allCaptions(window), design) << "the shipped texts are the design captions";
  }
  // With every text of the file marked, a caption read from a key the file lacks shows unmarked.
  std::filesystem::remove(home / "lang/english.ini");
  home.write("lang/marked.ini", marked);
  app::Language(p, home.path()).chooseLanguage("marked.ini");
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  std::vector<std::string> unmarked;
  for (const std::string& caption : allCaptions(window))
    if (caption.find('#') == std::string::npos)
      unmarked.push_back(caption);
  // What the program always says in English, and texts made at run time.
  std::vector<std::string> fixed = {"-", "0", "0:00.0", ":", "Files scanned :0", "First Time Scan",
                                    "Threats Found  0", "Select All",
                                    "Help us To Translate to your language."};
  for (const scan::AreaText& area : scan::kAreaTexts)
    fixed.push_back(std::string("<b>") + area.title + "</b><br>" + area.subtitle);
  // The protection overview's lines are made at run time from the state they describe.
  app::ProtectionOverview overview = app::protectionOverview(
      p, home.path(), true, static_cast<std::int64_t>(signatures.current()->signatureCount()));
  for (const app::StatusLine* shown : {&overview.protection, &overview.database, &overview.lastScan}) {
    fixed.push_back("<b>" + shown->title + "</b>");
    fixed.push_back(shown->detail);
  }
  fixed.push_back("Real-time protection");
  std::vector<std::string> unexpected;
  for (const std::string& caption : unmarked)
    if (std::find(fixed.begin(), fixed.end(), caption) == fixed.end() &&
        caption.rfind("<h2>Quorvane Antimalware</h2>", 0) != 0 &&
        caption.rfind("Copyright", 0) != 0 && caption.rfind("Running on", 0) != 0)
      unexpected.push_back(caption);
  EXPECT_THAT(unexpected, ::testing::IsEmpty()) << "captions missing from the shipped english.ini";
}

} // namespace
} // namespace quorvane::ui
