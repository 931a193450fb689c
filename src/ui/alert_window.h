// The threat alert: a small frameless window that slides up from the bottom-right corner of the
// screen's free area, names the file found, offers what to do with it, and slides away again
// ten seconds after it arrived.
#pragma once

#include "app/language.h"
#include "platform/platform.h"
#include "threats/alert.h"

#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace quorvane::ui {

/// How long the alert stays once it has arrived.
inline constexpr int kAlertHoldMs = 10000;
/// The slide: one step of kAlertSlideStep pixels every kAlertSlideMs.
inline constexpr int kAlertSlideMs = 10;
inline constexpr int kAlertSlideStep = 8;

class AlertWindow final : public QWidget {
  Q_OBJECT
public:
  /// `area` is the screen's free area (without panels); `safeLink` shows the safe-list link even
  /// when the user decides. The action "threatfound" asks for has already been taken by the
  /// guard that found the threat; the window then only says so.
  AlertWindow(platform::Platform& platform, std::string appFolder, const app::Language& language,
              threats::AlertRecord record, bool safeLink, QRect area, QWidget* parent = nullptr);

  const threats::AlertRecord& record() const { return record_; }
  /// True once the window has slid fully into view.
  bool arrived() const { return phase_ == Phase::Shown; }
  QTimer& holdTimer() { return hold_; }
  void setHoldInterval(int ms) { hold_.setInterval(ms); }

  /// Runs a link's work on the file; by default at once, on this thread.
  using Work = std::function<void(platform::Platform&)>;
  std::function<void(Work)> runWork;

  // The links.
  void deleteThisFile();
  void quarantineThisFile();
  void leaveThisFile();
  void markSafe();
  void readMore();

Q_SIGNALS:
  void closed();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  enum class Phase { Rising, Shown, Sinking };
  void step();
  /// Hands one of the alert's actions to runWork, then closes.
  void act(void (threats::ThreatAlert::*action)(const threats::AlertRecord&));

  platform::Platform& p_;
  std::string folder_;
  threats::ThreatAlert alert_;
  threats::AlertRecord record_;
  QRect area_;
  Phase phase_ = Phase::Rising;
  QTimer slide_, hold_;
};

} // namespace quorvane::ui
