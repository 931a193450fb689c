// Work the window hands to threads of its own (downloads, hashing, registry passes), and the
// message boxes such work shows: they always open on the window's thread, whichever thread
// asks.
#pragma once

#include "platform/notifier.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace quorvane::ui {

/// Forwards every message box and question to another notifier on the thread this object lives
/// on; a caller on another thread waits for the answer. Threat alerts are not forwarded: the
/// window shows those itself from the guards' reports.
class UiNotifier final : public QObject, public platform::Notifier {
  Q_OBJECT
public:
  explicit UiNotifier(platform::Notifier& target, QObject* parent = nullptr)
      : QObject(parent), target_(target) {}

  using Notifier::ask;
  using Notifier::messageBox;
  void messageBox(const std::string& text, const platform::MessageStyle& style) override;
  bool ask(const std::string& text, const platform::MessageStyle& style) override;
  void showThreatAlert(const std::string&) override {}

  /// From now on nothing is shown and every question is answered no: the window is closing.
  /// Calls already waiting are let go once this object's posted events are sent.
  void close() { closing_ = true; }

private:
  void onOwnThread(const std::function<void()>& call);

  platform::Notifier& target_;
  std::atomic<bool> closing_{false};
};

/// Threads running one piece of work each; what the work returns comes back to the owner's
/// thread. Waits for every piece at its end.
class BackgroundJobs final : public QObject {
  Q_OBJECT
public:
  explicit BackgroundJobs(UiNotifier& notifier, QObject* parent = nullptr)
      : QObject(parent), notifier_(notifier) {}
  ~BackgroundJobs() override;

  /// Runs `work` on a thread of its own; `done` runs afterwards on this object's thread.
  void run(std::function<void()> work, std::function<void()> done = {});
  /// True while any work runs.
  bool busy() const { return !threads_.empty(); }

private:
  UiNotifier& notifier_;
  std::vector<QThread*> threads_;
};

} // namespace quorvane::ui
