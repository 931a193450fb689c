// `quorvaneam`: the desktop program.
#include "app/appfolder.h"
#include "app/settings.h"
#include "app/startup.h"
#include "engine/datafiles.h"
#include "engine/sigtable.h"
#include "platform/linux/linux_platform.h"
#include "platform/stop_request.h"
#include "ui/engine_check_window.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <clocale>
#include <iostream>

namespace {

/// Message boxes of the desktop program.
class DialogNotifier final : public quorvane::platform::Notifier {
public:
  using Notifier::ask;
  using Notifier::messageBox;
  void messageBox(const std::string& text, const quorvane::platform::MessageStyle& style) override {
    QMessageBox box(iconOf(style.icon), titleOf(style), QString::fromStdString(text));
    box.exec();
  }
  bool ask(const std::string& text, const quorvane::platform::MessageStyle& style) override {
    QMessageBox box(iconOf(style.icon), titleOf(style), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
  }

private:
  static QString titleOf(const quorvane::platform::MessageStyle& style) {
    return QString::fromStdString(style.title.empty() ? "Quorvane Antimalware" : style.title);
  }
  static QMessageBox::Icon iconOf(quorvane::platform::MessageIcon icon) {
    using quorvane::platform::MessageIcon;
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Critical: return QMessageBox::Critical;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
  }
  void showThreatAlert(const std::string&) override {} // the window's own alert shows them
};

/// A start-up problem, told on standard error and in a message box (the program may have been
/// started from a menu, with no terminal to read).
void tellStartupProblem(int& argc, char** argv, const std::string& text, bool fatal) {
  std::cerr << "quorvaneam: " << text << '\n';
  std::unique_ptr<QApplication> own;
  if (!QApplication::instance())
    own = std::make_unique<QApplication>(argc, argv);
  QMessageBox box(fatal ? QMessageBox::Critical : QMessageBox::Warning,
                  "Quorvane Antimalware", QString::fromStdString(text));
  box.exec();
}

} // namespace

int main(int argc, char** argv) {
  using namespace quorvane;
  std::string arguments = app::argumentText(argc, argv);
  platform::LinuxEnvironment environment;
  platform::LinuxFileSystem files;
  app::AppFolderChoice choice = app::chooseAppFolder(std::nullopt, environment, files);
  if (choice.folder.empty()) {
    tellStartupProblem(argc, argv, "Cannot tell the application folder: set QUORVANE_HOME.", true);
    return 2;
  }
  if (std::error_code error = app::prepareAppFolder(choice, files)) {
    tellStartupProblem(argc, argv,
                       "Cannot use the application folder " + choice.folder + ": " +
                           error.message(),
                       true);
    return 2;
  }
  const std::string& folder = choice.folder;
  std::unique_ptr<platform::SystemPlatform> system;
  try {
    system = std::make_unique<platform::SystemPlatform>(folder);
  } catch (const std::exception& error) {
    // Settings are then kept for this run only; everything else goes on.
    tellStartupProblem(argc, argv,
                       std::string(error.what()) +
                           "\nSettings changed now are kept until the program ends.",
                       false);
    system = std::make_unique<platform::SystemPlatform>(std::string());
  }
  app::StartupResult start = app::runStartup(system->get(), folder, arguments);
  if (start.anotherInstance)
    return 0; // the running instance picks up the request

  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  // Hidden in the notification area the program has no window open; it ends through "Exit" or
  // by closing the main window.
  application.setQuitOnLastWindowClosed(false);
  // A stop from the session or the service manager (SIGTERM, SIGINT) ends the program the way
  // "Exit" does: the window goes, then the program, with exit status 0.
  platform::catchStopRequests();
  QTimer stopWatch;
  QObject::connect(&stopWatch, &QTimer::timeout, [] {
    if (!platform::stopRequested())
      return;
    // A message box open at that moment (one shown while the window is made, before the
    // program's own loop runs) is closed first, so the stop is not lost in it.
    if (QWidget* modal = QApplication::activeModalWidget())
      modal->close();
    QApplication::quit();
  });
  stopWatch.start(200);
  DialogNotifier notifier;
  platform::Platform p = platform::withNotifier(system->get(), notifier);
  engine::SignatureDatabase signatures(p.files, platform::joinPath(folder, app::kVirSigFile));
  std::unique_ptr<ui::MainWindow> window;
  if (start.mode == app::StartMode::Silent) {
    signatures.loadSignatureTable();
    window = ui::openMainWindow(p, folder, signatures, start.mode);
    int status = platform::stopRequested() ? 0 : application.exec();
    window.reset();
    return status;
  }
  // A normal start checks the engine first, in its "Please Wait" window.
  ui::EngineCheckWindow check(p, folder, signatures);
  QObject::connect(&check, &ui::EngineCheckWindow::finished, [&] {
    window = ui::openMainWindow(p, folder, signatures, start.mode);
    if (window && check.settingsWanted())
      window->showPage(ui::MainWindow::Settings);
  });
  check.start();
  int status = application.exec();
  window.reset();
  return status;
}
