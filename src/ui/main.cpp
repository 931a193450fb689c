// `quorvaneam`: the desktop program.
#include "app/appfolder.h"
#include "app/settings.h"
#include "app/startup.h"
#include "engine/datafiles.h"
#include "engine/sigtable.h"
#include "platform/linux/linux_platform.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QMessageBox>

#include <clocale>
#include <iostream>

namespace {

/// Message boxes of the desktop program.
class DialogNotifier final : public quorvane::platform::Notifier {
public:
  using Notifier::ask;
  using Notifier::messageBox;
  void messageBox(const std::string& text, const quorvane::platform::MessageStyle& style) override {
    QMessageBox::information(nullptr, QString::fromStdString(style.title.empty() ? "Quorvane Antimalware" : style.title),
                             QString::fromStdString(text));
  }
  bool ask(const std::string& text, const quorvane::platform::MessageStyle& style) override {
    return QMessageBox::question(nullptr, QString::fromStdString(style.title),
                                 QString::fromStdString(text)) == QMessageBox::Yes;
  }
  void showThreatAlert(const std::string& record) override {
    // Not modal: the window's timers and scans go on while it is open.
    auto* box = new QMessageBox(QMessageBox::Warning, "Threat Found", QString::fromStdString(record));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
  }
};

} // namespace

int main(int argc, char** argv) {
  using namespace quorvane;
  std::string arguments = app::ArgumentText(argc, argv);
  platform::LinuxEnvironment environment;
  std::string folder = app::ResolveAppFolder(std::nullopt, environment);
  if (folder.empty()) {
    std::cerr << "quorvaneam: cannot tell the application folder; set QUORVANE_HOME\n";
    return 2;
  }
  std::unique_ptr<platform::SystemPlatform> system;
  try {
    system = std::make_unique<platform::SystemPlatform>(folder);
  } catch (const std::exception& error) {
    std::cerr << "quorvaneam: " << error.what() << '\n';
    return 2;
  }
  app::StartupResult start = app::RunStartup(system->get(), folder, arguments);
  if (start.anotherInstance)
    return 0; // the running instance picks up the request

  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  DialogNotifier notifier;
  platform::Platform p = platform::withNotifier(system->get(), notifier);
  engine::SignatureDatabase signatures(p.files, platform::joinPath(folder, engine::kVirSigFile));
  signatures.LoadSignatureTable();
  ui::MainWindow window(p, folder, signatures, start.mode);
  if (start.mode == app::StartMode::Normal)
    window.show();
  return application.exec();
}
