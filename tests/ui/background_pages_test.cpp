// The desktop program's background work and its pages: the engine check and the update button
// against a loopback server, the schedule and settings pages, and the auto-protect switch.
#include "support/loopback_server.h"
#include "threats/threatlog.h"
#include "ui/engine_check_window.h"
#include "ui/window_fixture.h"
#include "update/update_fixtures.h"
#include "update/manual_update.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

namespace quorvane::ui {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::LoopbackServer;
using testing::Route;

/// Three keys: a complete signature file.
const std::string kThreeKeys = testing::signatureText(3);

/// Counts the window thread's turns while background work runs: it must keep turning.
class Heartbeat {
public:
  Heartbeat() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { ++beats; });
    timer_.start();
  }
  int beats = 0;

private:
  QTimer timer_;
};

class ServedWindowTest : public MainWindowTest,
                         public ::testing::WithParamInterface<LoopbackServer::Scheme> {
protected:
  ServedWindowTest() : server(GetParam(), home / "ca.pem") {
    app::SettingsStore settings(p);
    testing::useUpdateServer(settings, server, home / "ca.pem");
  }
  LoopbackServer server;
};

TEST_P(ServedWindowTest, TheEngineCheckDownloadsAMissingDatabaseWhileTheWindowTurns) {
  server.route("/vir.zip", Route{200, kThreeKeys});
  EngineCheckWindow check(p, home.path(), signatures);
  EXPECT_EQ(check.windowTitle(), "Please Wait");
  EXPECT_EQ(check.findChild<QLabel*>("version")->text(), "VERSION 0.1.0");
  QSignalSpy finished(&check, &EngineCheckWindow::finished);
  check.start();
  EXPECT_TRUE(check.isVisible());
  EXPECT_FALSE(check.isEnabled()) << "no input while it checks";
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_TRUE(check.result().downloaded);
  EXPECT_EQ(check.result().countBefore, 1);
  EXPECT_EQ(check.result().countAfter, 3);
  EXPECT_EQ(signatures.current()->signatureCount(), 3);
  EXPECT_EQ(home.read("vir.sig"), kThreeKeys);
  ASSERT_FALSE(notifier.messages.empty());
  EXPECT_EQ(notifier.messageStyles[0].title, "No Anti Malware engine found");
  EXPECT_EQ(check.bar()->value(), 100) << "the bar followed the download";
  EXPECT_FALSE(check.isVisible());
}

TEST_P(ServedWindowTest, AFailedFirstDownloadKeepsTheFileAndTheWindowAnswersMeanwhile) {
  std::string before = home.read("vir.sig");
  Route stalled{200, kThreeKeys};
  stalled.sendBytes = 40; // then the connection stays open a while and closes
  stalled.holdOpen = std::chrono::milliseconds(800);
  server.route("/vir.zip", stalled);
  EngineCheckWindow check(p, home.path(), signatures);
  QSignalSpy finished(&check, &EngineCheckWindow::finished);
  Heartbeat heartbeat;
  check.start();
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_GE(heartbeat.beats, 20) << "the window's thread kept turning during the download";
  EXPECT_FALSE(check.result().downloaded);
  EXPECT_EQ(home.read("vir.sig"), before);
  EXPECT_EQ(signatures.current()->signatureCount(), 1);
  // The start's own message, then one that says what to do, with the way to the settings.
  EXPECT_THAT(notifier.messages, ElementsAre(std::string(update::kNoEngineText)));
  ASSERT_EQ(notifier.questions.size(), 1u);
  EXPECT_THAT(notifier.questions[0], HasSubstr("Updates come from " + server.baseUrl()));
  EXPECT_THAT(notifier.questions[0], HasSubstr("quorvane sig build"));
  EXPECT_THAT(notifier.questions[0], HasSubstr("Open the settings now?"));
  EXPECT_EQ(check.settingsWanted(), notifier.answer);
}

TEST_P(ServedWindowTest, CheckUpdateNowAsksThenInstallsTheNewerDatabase) {
  server.route("/updates.txt", Route{200, "57|" + server.baseUrl() + "/vir2.sig\r\n"});
  server.route("/vir2.sig", Route{200, kThreeKeys});
  app::SettingsStore(p).setSetting("update N", "56");
  notifier.answer = true;
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  auto* button = window.page(MainWindow::Home)->findChild<QPushButton*>("Check update Now");
  ASSERT_NE(button, nullptr);
  QSignalSpy finished(&window, &MainWindow::updateFinished);
  QSignalSpy bar(window.updateBar(), &QProgressBar::valueChanged);
  button->click();
  EXPECT_FALSE(button->isEnabled()) << "one check at a time";
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_EQ(finished.at(0).at(0).toInt(), static_cast<int>(update::UpdateOutcome::Updated));
  EXPECT_THAT(notifier.questions, ElementsAre(std::string(update::kUpdateQuestion)));
  EXPECT_THAT(notifier.messages, Contains(std::string(update::kUpdatedText)));
  EXPECT_EQ(home.read("vir.sig"), kThreeKeys);
  EXPECT_EQ(app::SettingsStore(p).setting("update N"), "57");
  ASSERT_FALSE(bar.isEmpty());
  EXPECT_EQ(bar.last().at(0).toInt(), 100);
  EXPECT_TRUE(button->isEnabled());
  EXPECT_FALSE(window.updateBar()->isVisibleTo(window.page(MainWindow::Home)));
}

TEST_P(ServedWindowTest, ASlowFailingUpdateKeepsTheDatabaseAndTheWindowAnswersMeanwhile) {
  std::string before = home.read("vir.sig");
  server.route("/updates.txt", Route{200, "57|" + server.baseUrl() + "/vir2.sig\r\n"});
  Route cut{200, kThreeKeys};
  cut.sendBytes = 50;
  cut.holdOpen = std::chrono::milliseconds(800);
  server.route("/vir2.sig", cut);
  notifier.answer = true;
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  QSignalSpy finished(&window, &MainWindow::updateFinished);
  Heartbeat heartbeat;
  window.checkUpdateNow();
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_GE(heartbeat.beats, 20) << "the window's thread kept turning during the download";
  EXPECT_EQ(finished.at(0).at(0).toInt(), static_cast<int>(update::UpdateOutcome::Failed));
  EXPECT_EQ(home.read("vir.sig"), before);
  EXPECT_THAT(notifier.messages, Contains(HasSubstr("The malware definitions in use are kept.")));
  EXPECT_THAT(notifier.messages, ::testing::Not(Contains(std::string(update::kUpdatedText))));
}

TEST_P(ServedWindowTest, AnsweringNoAsksNothingOfTheServer) {
  std::string before = home.read("vir.sig");
  notifier.answer = false;
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  QSignalSpy finished(&window, &MainWindow::updateFinished);
  window.checkUpdateNow();
  ASSERT_TRUE(finished.wait(20000));
  EXPECT_EQ(finished.at(0).at(0).toInt(), static_cast<int>(update::UpdateOutcome::Declined));
  EXPECT_TRUE(server.requests().empty());
  EXPECT_EQ(home.read("vir.sig"), before);
  EXPECT_EQ(app::SettingsStore(p).setting("update N"), "");
}

INSTANTIATE_TEST_SUITE_P(Schemes, ServedWindowTest,
                         ::testing::Values(LoopbackServer::Scheme::Http, LoopbackServer::Scheme::Https),
                         [](const auto& info) {
                           return info.param == LoopbackServer::Scheme::Http ? "Http" : "Https";
                         });

TEST_F(MainWindowTest, TheMainWindowOpensInTheTrayWhenSetTo) {
  app::SettingsStore settings(p);
  for (const char* stored : {"0", "1"}) {
    SCOPED_TRACE(stored);
    settings.setSetting("start Quorvane Antimalware", stored);
    auto window = openMainWindow(p, home.path(), signatures, app::StartMode::Normal);
    bool toTray = std::string(stored) == "1";
    // Without a notification area (offscreen) the window is minimised instead of hidden.
    EXPECT_EQ(window->isMinimized() || !window->isVisible(), toTray);
  }
}

TEST_F(MainWindowTest, TheSchedulePageShowsAndSavesTheSchedule) {
  app::SettingsStore settings(p);
  for (auto [name, value] : {std::pair{"starthour", "7"}, {"startmin", "30"}, {"everyweek_tue", "1"},
                             {"scanmode", "2"}, {"scanperiod", "2"}, {"shutdown", "1"}})
    settings.setSetting(name, value);
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  window.showSchedulePage();
  EXPECT_EQ(window.currentPage(), MainWindow::SchedulePage);
  QWidget* page = window.page(MainWindow::SchedulePage);
  auto* hour = page->findChild<QComboBox*>("starthour");
  auto* minute = page->findChild<QComboBox*>("startmin");
  EXPECT_EQ(hour->currentText(), "7");
  EXPECT_EQ(minute->currentText(), "30");
  EXPECT_EQ(hour->count(), 24);
  EXPECT_EQ(minute->itemText(0), "1") << "the minute list starts at 1";
  EXPECT_TRUE(page->findChild<QCheckBox*>("everyweek_tue")->isChecked());
  EXPECT_FALSE(page->findChild<QCheckBox*>("everyweek_mon")->isChecked());
  EXPECT_TRUE(page->findChild<QCheckBox*>("shutdown")->isChecked());
  auto radio = [&](const char* caption) {
    for (QRadioButton* b : page->findChildren<QRadioButton*>())
      if (b->text() == caption)
        return b;
    return static_cast<QRadioButton*>(nullptr);
  };
  EXPECT_TRUE(radio("Smart Scan")->isChecked());
  EXPECT_TRUE(radio("Weekly")->isChecked());

  hour->setCurrentText("12");
  minute->setCurrentText("5");
  page->findChild<QCheckBox*>("everyweek_tue")->setChecked(false);
  page->findChild<QCheckBox*>("everyweek_mon")->setChecked(true);
  page->findChild<QCheckBox*>("shutdown")->setChecked(false);
  radio("Quick Scan")->click();
  page->findChild<QPushButton*>("Save")->click();
  EXPECT_EQ(settings.setting("starthour"), "12");
  EXPECT_EQ(settings.setting("startmin"), "5");
  EXPECT_EQ(settings.setting("everyweek_mon"), "1");
  EXPECT_EQ(settings.setting("everyweek_tue"), "0");
  EXPECT_EQ(settings.setting("everyweek_all"), "0");
  EXPECT_EQ(settings.setting("scanmode"), "1");
  EXPECT_EQ(settings.setting("shutdown"), "0");
  EXPECT_EQ(settings.setting("scanperiod"), "2");
  schedule::Schedule held = window.scheduler().schedule();
  EXPECT_EQ(held.hour, "12");
  EXPECT_EQ(held.minute, "5");
  EXPECT_EQ(held.scanMode, 1) << "the scheduler holds what was saved";
}

TEST_F(MainWindowTest, TheSchedulerTickOnItsDayAndMinuteStartsAQuickScan) {
  platform::fake::FakeClock clock;
  platform::Platform timed{p.registry, p.files, clock,  p.environment, p.crypto, p.notifier,
                           p.processes, p.power, p.http, p.shell,       p.drives, p.integration};
  app::SettingsStore settings(timed);
  for (auto [name, value] : {std::pair{"starthour", "12"}, {"startmin", "5"}, {"everyweek_tue", "1"},
                             {"scanmode", "1"}})
    settings.setSetting(name, value);
  MainWindow window(timed, home.path(), signatures, app::StartMode::Normal);
  QSignalSpy finished(&window, &MainWindow::scanFinished);
  clock.now = {2026, 12, 7, 12, 5, 0, 1}; // a Monday
  window.schedulerTick();
  EXPECT_FALSE(window.scanRunning());
  clock.now = {2026, 12, 8, 12, 4, 59, 2}; // Tuesday, a minute early
  window.schedulerTick();
  EXPECT_FALSE(window.scanRunning());
  clock.now = {2026, 12, 8, 12, 5, 10, 2};
  window.schedulerTick();
  EXPECT_TRUE(window.scanRunning());
  EXPECT_EQ(window.currentPage(), MainWindow::Scan);
  ASSERT_TRUE(finished.wait(60000));
  EXPECT_EQ(finished.at(0).at(0).toInt(), static_cast<int>(ScanKind::Quick));
  EXPECT_EQ(power.shutdowns, 0) << "no shutdown was set";
}

TEST_F(MainWindowTest, TheAutoProtectSwitchSwapsCaptionIconAndProtection) {
  std::string program = plantProgram("qv-switched");
  home.write("lang/dutch.ini", "[001]\n000=Quorvane Antimalware NL\n");
  app::Language(p, home.path()).chooseLanguage("dutch.ini");
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  QAction* entry = window.autoProtectEntry();
  EXPECT_EQ(entry->text(), "Disable Auto Protect");
  EXPECT_TRUE(window.autoProtect().enabled());

  entry->trigger();
  EXPECT_EQ(entry->text(), "Enable Auto Protect");
  EXPECT_FALSE(window.autoProtect().enabled());
  EXPECT_EQ(window.trayArea().icon(), "quorvane-off");
  testing::SleepingChild child(program);
  child.waitForExec(program);
  QTest::qWait(1000); // four ticks and more
  EXPECT_TRUE(child.running()) << "switched off, a new threat is left alone";

  QSignalSpy shown(&window, &MainWindow::alertShown);
  entry->trigger();
  EXPECT_EQ(entry->text(), "Disable Auto Protect");
  EXPECT_EQ(window.trayArea().icon(), "quorvane");
  ASSERT_TRUE(shown.wait(10000)) << "switched on again, the program that started meanwhile is checked";
  EXPECT_TRUE(child.ended());
}

TEST_F(MainWindowTest, TheSettingsPageShowsTheStoredValuesAndItsSwitchesAct) {
  app::SettingsStore settings(p);
  struct Case {
    std::map<std::string, std::string> stored;
    bool policy255;
    bool startWithSystem, contextMenu, autorun;
    int action; ///< the option marked, -1 none
  } cases[] = {
      {{}, false, false, false, false, -1},
      // The system's policy decides the autorun box, whatever "usbautorun" says.
      {{{"start Quorvane Antimalware", "1"}, {"threatfound", "2"}, {"usbautorun", "1"}, {"addmenu", "1"}},
       false, true, true, false, 1},
      {{{"usbautorun", "0"}, {"threatfound", "3"}}, true, false, false, true, 2},
  };
  for (const Case& c : cases) {
    for (const char* name : {"start Quorvane Antimalware", "threatfound", "usbautorun", "addmenu"})
      settings.setSetting(name, c.stored.count(name) ? c.stored.at(name) : "");
    settings.regWriteText(platform::Hive::LocalMachine,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", "x",
                          "");
    settings.regWriteNumber(
        "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
        "NoDriveTypeAutoRun", c.policy255 ? 255 : 145);
    MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
    window.showSettingsPage();
    QWidget* page = window.page(MainWindow::Settings);
    EXPECT_EQ(window.currentPage(), MainWindow::Settings);
    EXPECT_EQ(page->findChild<QCheckBox*>("startWithSystem")->isChecked(), c.startWithSystem);
    EXPECT_EQ(page->findChild<QCheckBox*>("contextMenu")->isChecked(), c.contextMenu);
    EXPECT_EQ(page->findChild<QCheckBox*>("autorun")->isChecked(), c.autorun);
    auto options = page->findChildren<QRadioButton*>();
    ASSERT_EQ(options.size(), 3);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(options[i]->isChecked(), c.action == i) << i;
  }
  EXPECT_TRUE(integration.tasks.empty()) << "filling the page changes nothing";
  settings.regWriteNumber(
      "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
      "NoDriveTypeAutoRun", 145);

  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  window.showSettingsPage();
  QWidget* page = window.page(MainWindow::Settings);
  page->findChild<QCheckBox*>("startWithSystem")->click();
  EXPECT_EQ(settings.setting("start Quorvane Antimalware"), "1");
  EXPECT_EQ(integration.tasks.size(), 1u);
  page->findChildren<QRadioButton*>()[0]->click();
  EXPECT_EQ(settings.setting("threatfound"), "1");
  page->findChild<QCheckBox*>("autorun")->click();
  EXPECT_EQ(settings.setting("usbautorun"), "1");
  EXPECT_EQ(
      settings.regReadNumber(
          "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer",
          "NoDriveTypeAutoRun"),
      "255");
}

TEST_F(MainWindowTest, RestoringTheDefaultsRunsInTheBackgroundAndSaysSoWhenDone) {
  app::SettingsStore settings(p);
  const char* policies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
  settings.regWriteText(platform::Hive::CurrentUser, policies, "DisableTaskMgr", "1");
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  QSignalSpy done(&window, &MainWindow::restoreFinished);
  window.showSettingsPage();
  window.page(MainWindow::Settings)->findChild<QPushButton*>("Restore System Default Settings")->click();
  ASSERT_TRUE(done.wait(20000));
  EXPECT_FALSE(settings.regReadText(platform::Hive::CurrentUser, policies, "DisableTaskMgr").first);
  EXPECT_THAT(notifier.messages, Contains("Finished restoring your system default settings"));
}

} // namespace
} // namespace quorvane::ui
