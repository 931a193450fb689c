// The threat alert window: where it slides to and when it goes, what each of its links does to
// the file, what "threatfound" shows, and an alert raised by auto-protect in the window.
#include "engine/datafiles.h"
#include "threats/quarantine.h"
#include "threats/threatlog.h"
#include "ui/alert_window.h"
#include "ui/window_fixture.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace quorvane::ui {
namespace {

using ::testing::HasSubstr;

class AlertWindowTest : public MainWindowTest {
protected:
  AlertWindowTest() : threat(home.write("downloads/bad tool.exe", "MZ pretend threat")) {
    record.name = "bad tool.exe";
    record.digest = "835a7bd0e4265430b45b6a46160288bf"; // of the content written above
    record.path = threat;
    record.pid = 0;
  }
  std::unique_ptr<AlertWindow> open(bool safeLink = false) {
    auto alert = std::make_unique<AlertWindow>(p, home.path(), language, record, safeLink, area);
    alert->setAttribute(Qt::WA_DeleteOnClose, false); // the test owns it
    alert->show();
    return alert;
  }
  static QPushButton* link(AlertWindow& alert, const char* name) {
    return alert.findChild<QPushButton*>(name);
  }
  /// The links a user can see.
  static std::vector<std::string> visibleLinks(AlertWindow& alert) {
    std::vector<std::string> shown;
    for (QPushButton* b : alert.findChildren<QPushButton*>())
      if (b->isVisibleTo(&alert) && b->objectName() != "close")
        shown.push_back(b->objectName().toStdString());
    return shown;
  }

  std::string threat;
  threats::AlertRecord record;
  app::Language language{p, home.path()};
  const QRect area{100, 50, 800, 600}; // right edge 899, bottom 649
};

TEST_F(AlertWindowTest, RisesFromTheBottomRightOfTheFreeAreaAndGoesTenSecondsLater) {
  auto alert = open();
  EXPECT_EQ(alert->windowFlags() & Qt::FramelessWindowHint, Qt::FramelessWindowHint);
  EXPECT_EQ(alert->x() + alert->width(), 900);
  EXPECT_EQ(alert->y(), 650) << "it starts just below the free area";
  QTRY_VERIFY_WITH_TIMEOUT(alert->arrived(), 5000);
  EXPECT_EQ(alert->x() + alert->width(), 900);
  EXPECT_EQ(alert->y() + alert->height(), 650) << "its bottom on the panel's top";
  EXPECT_TRUE(alert->holdTimer().isActive());
  EXPECT_EQ(alert->holdTimer().interval(), kAlertHoldMs);
  EXPECT_EQ(kAlertHoldMs, 10000);

  QSignalSpy closed(alert.get(), &AlertWindow::closed);
  int lastTop = 0;
  QObject::connect(alert.get(), &AlertWindow::closed, [&] { lastTop = alert->y(); });
  alert->setHoldInterval(30); // the ten seconds, shortened
  ASSERT_TRUE(closed.wait(5000));
  EXPECT_GE(lastTop, 650) << "it slid out of the free area before closing";
  EXPECT_FALSE(alert->isVisible());
  EXPECT_TRUE(std::filesystem::exists(threat)) << "going away on its own does nothing to the file";
}

TEST_F(AlertWindowTest, EachLinkActsOnTheFileAndCloses) {
  struct Case {
    const char* link;
    bool fileStays;
    bool quarantined;
    bool markedSafe;
  } cases[] = {{"Delete this file", false, false, false},
               {"Quarantine this file", false, true, false},
               {"Leave this file", true, false, false},
               {"safe", true, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    home.write("downloads/bad tool.exe", "MZ pretend threat");
    std::filesystem::remove(home / "safe.sig");
    std::filesystem::remove(home / threats::kQuarantineIndexFile);
    auto alert = open(/*safeLink=*/true);
    QSignalSpy closed(alert.get(), &AlertWindow::closed);
    ASSERT_NE(link(*alert, c.link), nullptr);
    link(*alert, c.link)->click();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(std::filesystem::exists(threat), c.fileStays);
    auto listed = threats::Quarantine(p, home.path()).showQuarantine();
    EXPECT_EQ(listed.size(), c.quarantined ? 1u : 0u);
    if (c.quarantined) {
      EXPECT_EQ(listed[0].record.name, "bad tool.exe");
      EXPECT_EQ(listed[0].record.path, threat);
    }
    EXPECT_EQ(std::filesystem::exists(home / "safe.sig"), c.markedSafe);
    if (c.markedSafe) {
      EXPECT_EQ(home.read("safe.sig"), "835A7BD0E4265430B45B6A46160288BF\r\n");
    }
  }
}

TEST_F(AlertWindowTest, ReadMoreOpensTheFileInformationPage) {
  record.name = "a:b.exe";
  record.digest = "9f86d081884c7d659a2feaa0c55ad015";
  auto alert = open();
  link(*alert, "Read more about this file")->click();
  ASSERT_EQ(shell.launches.size(), 1u);
  ASSERT_EQ(shell.launches[0].arguments.size(), 1u);
  EXPECT_THAT(shell.launches[0].arguments[0], HasSubstr("/md/9/ab.exe9f"));
  EXPECT_TRUE(alert->isVisible()) << "reading more leaves the choice open";
}

TEST_F(AlertWindowTest, TheThreatActionSettingDecidesWhatIsOffered) {
  app::SettingsStore settings(p);
  struct Case {
    const char* threatfound;
    bool safeLink;
    std::vector<std::string> links;
    bool notice;
  } cases[] = {
      {"", false, {"Delete this file", "Quarantine this file", "Leave this file", "Read more about this file"}, false},
      {"0", true, {"Delete this file", "Quarantine this file", "Leave this file", "Read more about this file", "safe"}, false},
      {"7", false, {"Delete this file", "Quarantine this file", "Leave this file", "Read more about this file"}, false},
      {"3", false, {"Read more about this file", "safe"}, true},
      {"1", false, {"Read more about this file", "safe"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("threatfound=") + c.threatfound);
    settings.setSetting("threatfound", c.threatfound);
    auto alert = open(c.safeLink);
    EXPECT_THAT(visibleLinks(*alert), ::testing::UnorderedElementsAreArray(c.links));
    QLabel* notice = alert->findChild<QLabel*>("notice");
    EXPECT_EQ(notice->isVisibleTo(alert.get()), c.notice);
    EXPECT_EQ(notice->text(), "This threat was removed, No further actions needed");
    EXPECT_EQ(alert->findChild<QLabel*>("file")->text(), "bad tool.exe");
    EXPECT_TRUE(std::filesystem::exists(threat)) << "the guard acts on the file, not the window";
  }
}

TEST_F(AlertWindowTest, CaptionsOfTheNoticeAndTheSafeLinkComeFromTheLanguageFile) {
  home.write("lang/dutch.ini", "[001]\n186=Deze dreiging is verwijderd\n222=Dit bestand is veilig\n");
  language.chooseLanguage("dutch.ini");
  language.loadLanguage();
  app::SettingsStore(p).setSetting("threatfound", "3");
  auto alert = open();
  EXPECT_EQ(alert->findChild<QLabel*>("notice")->text(), "Deze dreiging is verwijderd");
  EXPECT_EQ(link(*alert, "safe")->text(), "Dit bestand is veilig");
  EXPECT_NE(link(*alert, "Delete this file"), nullptr) << "the other links keep their English texts";
}

TEST_F(AlertWindowTest, ANewAlertClosesThePreviousOneAndItsLinksWorkInTheBackground) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  window.setAlertArea(area);
  window.showThreatAlert(QString::fromStdString(record.text()), true);
  QPointer<AlertWindow> first = window.alertWindow();
  ASSERT_TRUE(first);
  record.name = "second.exe";
  window.showThreatAlert(QString::fromStdString(record.text()), true);
  QTRY_VERIFY_WITH_TIMEOUT(!first, 2000); // closed and gone
  ASSERT_NE(window.alertWindow(), nullptr);
  EXPECT_EQ(window.alertWindow()->record().name, "second.exe");
  EXPECT_TRUE(window.alertWindow()->isVisible());

  EXPECT_FALSE(window.alertWindow()->testAttribute(Qt::WA_QuitOnClose))
      << "its going must not end a program that lives in the notification area";

  // In the window the link's file work runs in the background.
  QSignalSpy done(&window, &MainWindow::listsChanged);
  link(*window.alertWindow(), "Quarantine this file")->click();
  ASSERT_TRUE(done.wait(10000));
  EXPECT_FALSE(std::filesystem::exists(threat));
  auto listed = threats::Quarantine(p, home.path()).showQuarantine();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].record.name, "second.exe");
}

TEST_F(AlertWindowTest, APlantedProgramIsEndedQuarantinedAndReported) {
  std::string program = plantProgram("qv-alerted");
  app::SettingsStore(p).setSetting("threatfound", "2");
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  window.setAlertArea(area);
  QSignalSpy shown(&window, &MainWindow::alertShown);
  testing::SleepingChild child(program);
  ASSERT_TRUE(shown.wait(10000));
  EXPECT_TRUE(child.ended()) << "the threat's process was ended";
  AlertWindow* alert = window.alertWindow();
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->record().name, "qv-alerted");
  EXPECT_EQ(alert->record().path, program);
  EXPECT_TRUE(alert->findChild<QLabel*>("notice")->isVisibleTo(alert));
  EXPECT_TRUE(link(*alert, "safe")->isVisibleTo(alert));
  EXPECT_FALSE(std::filesystem::exists(program)) << "quarantined, then deleted";
  auto listed = threats::Quarantine(p, home.path()).showQuarantine();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].record.name, "qv-alerted");
  EXPECT_THAT(home.read(std::string(threats::kThreatLogFile)), HasSubstr(program));
}

TEST_F(AlertWindowTest, RestoringTheWindowFromTheTrayClosesTheAlert) {
  MainWindow window(p, home.path(), signatures, app::StartMode::Silent);
  window.showThreatAlert(QString::fromStdString(record.text()), true);
  QPointer<AlertWindow> alert = window.alertWindow();
  ASSERT_TRUE(alert);
  window.onTrayEvent(515); // a double click on the icon
  QTRY_VERIFY_WITH_TIMEOUT(!alert, 2000);
  EXPECT_TRUE(window.isVisible());
}

TEST_F(AlertWindowTest, AStickArrivingWhileTheWindowRunsIsCleanedAndItsThreatReported) {
  drives.drives = {{"/", {true, 0, false}}};
  MainWindow window(p, home.path(), signatures, app::StartMode::Normal);
  window.setAlertArea(area);
  QSignalSpy shown(&window, &MainWindow::alertShown);
  QTest::qWait(300); // the guard has taken the drives present at start

  std::string stick = home / "media/STICK";
  std::string setup = home.write("media/STICK/setup.exe", testing::eicarText());
  home.write("media/STICK/autorun.inf", "[autorun]\r\nopen=setup.exe\r\n");
  drives.drives.push_back({stick, {true, platform::kBusTypeUsb, true}});
  drives.notice(); // the mount table changed
  ASSERT_TRUE(shown.wait(10000));
  AlertWindow* alert = window.alertWindow();
  EXPECT_EQ(alert->record().name, "setup.exe");
  EXPECT_EQ(alert->record().path, setup);
  EXPECT_FALSE(link(*alert, "safe")->isVisibleTo(alert)) << "only a program's alert offers it";
  EXPECT_FALSE(std::filesystem::exists(setup));
  EXPECT_THAT(home.read(std::string(threats::kThreatLogFile)), HasSubstr(setup));
}

} // namespace
} // namespace quorvane::ui
