// Message boxes on the window's thread, and the window's background work.
#include "ui/ui_notifier.h"

#include <QCoreApplication>

#include <algorithm>

namespace quorvane::ui {

void UiNotifier::onOwnThread(const std::function<void()>& call) {
  if (closing_)
    return;
  if (QThread::currentThread() == thread()) {
    call();
    return;
  }
  QMetaObject::invokeMethod(
      this,
      [this, &call] {
        if (!closing_)
          call();
      },
      Qt::BlockingQueuedConnection);
}

void UiNotifier::messageBox(const std::string& text, const platform::MessageStyle& style) {
  onOwnThread([&] { target_.messageBox(text, style); });
}

bool UiNotifier::ask(const std::string& text, const platform::MessageStyle& style) {
  bool answer = false;
  onOwnThread([&] { answer = target_.ask(text, style); });
  return answer;
}

BackgroundJobs::~BackgroundJobs() {
  // A job may be waiting for a message box: those are answered "no" from now on, and the
  // calls already queued here are let through while the jobs end.
  notifier_.close();
  for (QThread* thread : threads_) {
    while (!thread->wait(10))
      QCoreApplication::sendPostedEvents(&notifier_);
    delete thread;
  }
}

void BackgroundJobs::run(std::function<void()> work, std::function<void()> done) {
  QThread* thread = QThread::create(std::move(work));
  threads_.push_back(thread);
  connect(thread, &QThread::finished, this, [this, thread, done = std::move(done)] {
    threads_.erase(std::remove(threads_.begin(), threads_.end(), thread), threads_.end());
    thread->deleteLater();
    if (done)
      done();
  });
  thread->start();
}

} // namespace quorvane::ui
