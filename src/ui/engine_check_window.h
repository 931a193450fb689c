// The "Please Wait" window of a normal start: it loads the signature table and, when the table
// is missing or nearly empty, says so and downloads the first database before the main window
// opens. The loading and the download run off the window's thread.
#pragma once

#include "engine/sigtable.h"
#include "platform/platform.h"
#include "ui/ui_notifier.h"
#include "update/engine_check.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

namespace quorvane::ui {

class EngineCheckWindow final : public QWidget {
  Q_OBJECT
public:
  EngineCheckWindow(platform::Platform& platform, std::string appFolder,
                    engine::SignatureDatabase& signatures, QWidget* parent = nullptr);
  ~EngineCheckWindow() override;

  /// Centres and shows the window, then runs the check; finished() follows.
  void start();
  const update::EngineCheckResult& result() const { return result_; }
  /// True when the check failed and the user asked to open the settings.
  bool settingsWanted() const { return settingsWanted_; }
  QProgressBar* bar() const { return bar_; }

Q_SIGNALS:
  void finished();

private:
  platform::Platform& p_;
  std::string folder_;
  engine::SignatureDatabase& signatures_;
  UiNotifier* notifier_ = nullptr;
  platform::Platform background_;
  BackgroundJobs* jobs_ = nullptr;
  update::EngineCheckResult result_;
  QProgressBar* bar_ = nullptr;
  QTimer clock_;
  bool downloading_ = false;
  bool settingsWanted_ = false;
};

} // namespace quorvane::ui
