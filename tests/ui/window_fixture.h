// The desktop window's test fixture: a temporary application folder on the real file system with
// the EICAR key listed, and fakes for everything that would reach outside it (power, shell,
// drives, session integration).
#pragma once

#include "app/settings.h"
#include "engine/datafiles.h"
#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "platform/fake/fakes.h"
#include "platform/linux/linux_platform.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"

#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace quorvane::ui {

inline std::vector<std::string> labelTexts(QWidget* page) {
  std::vector<std::string> texts;
  for (QLabel* label : page->findChildren<QLabel*>())
    texts.push_back(label->text().toStdString());
  for (QPushButton* b : page->findChildren<QPushButton*>())
    texts.push_back(b->text().toStdString());
  return texts;
}

/// The list model a page shows.
inline QAbstractItemModel* listOf(QWidget* page) { return page->findChild<QTableView*>()->model(); }
inline QString cell(QAbstractItemModel* model, int row, int column, int role = Qt::DisplayRole) {
  return model->data(model->index(row, column), role).toString();
}
inline Qt::CheckState tickOf(QAbstractItemModel* model, int row) {
  return static_cast<Qt::CheckState>(model->data(model->index(row, 0), Qt::CheckStateRole).toInt());
}

class MainWindowTest : public ::testing::Test {
protected:
  MainWindowTest() : system(home.path()) {
    // The status line looks at this state file, never at the machine's own.
    setenv("QUORVANE_GUARD_STATE", (home / "guard.state").c_str(), 1);
    std::string eicar = home.write("scanme/tools/eicar.com", testing::eicarText());
    auto digest = engine::hashFile(p, eicar);
    home.write("vir.sig",
               engine::fileKeyText(engine::digestText(*digest), testing::eicarText().size()) +
                   "\r\n");
    signatures.loadSignatureTable();
  }
  testing::TempDir home;
  platform::SystemPlatform system;
  platform::fake::RecordingNotifier notifier;
  platform::fake::FakePower power; // a scheduled shutdown in a test must never reach the machine
  platform::Platform& real = system.get();
  platform::fake::FakeShell shell;
  platform::fake::FakeDrives drives; // a real stick plugged in meanwhile is left alone
  platform::fake::FakeIntegration integration;
  platform::Platform p{real.registry, real.files, real.clock, real.environment, real.crypto,
                       notifier,      real.processes, power, real.http,        shell,
                       drives,        integration};
  engine::SignatureDatabase signatures{p.files, home / "vir.sig"};

  /// A copy of `sleep` with a fingerprint of its own, listed in vir.sig (and the table).
  std::string plantProgram(const std::string& name) {
    std::string program = home / name;
    testing::copySleep(program, "planted " + name + " " + home.path());
    auto digest = engine::hashFile(p, program);
    std::string sig = home.read("vir.sig");
    home.write("vir.sig", sig +
                              engine::fileKeyText(engine::digestText(*digest),
                                                  std::filesystem::file_size(program)) +
                              "\r\n");
    signatures.loadSignatureTable();
    return program;
  }
};

} // namespace quorvane::ui
