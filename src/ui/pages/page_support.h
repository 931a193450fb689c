// What the pages of the main window are built from: the program's services they share and the
// small widgets several pages use.
#pragma once

#include "app/language.h"
#include "platform/platform.h"
#include "ui/ui_notifier.h"

#include <QComboBox>
#include <QPushButton>
#include <QString>
#include <QTableView>

#include <functional>
#include <string>

namespace quorvane::ui {

/// The services a page works with. The window owns them and outlives its pages.
struct PageServices {
  /// For work on the window's thread.
  platform::Platform& platform;
  /// For work on other threads: its questions and messages open on the window's thread.
  platform::Platform& background;
  const std::string& appFolder;
  app::Language& language;
  /// Background work; the window does not rebuild its pages while any runs.
  BackgroundJobs& jobs;

  /// The caption `key` of the chosen language, `english` when it has none.
  QString text(const char* key, const char* english) const {
    return QString::fromStdString(language.readLanguageText(key, english));
  }
};

/// A push button whose object name is its caption (tests and style sheets find it by that).
QPushButton* captionedButton(const QString& caption, QWidget* parent);

/// A read-only list of whole rows over `model`.
QTableView* recordListView(QAbstractItemModel* model, QWidget* parent);

/// The language files to choose from, the current one shown. Choosing one stores it and then
/// calls `chosen`.
QComboBox* languageChooser(const PageServices& services, QWidget* parent,
                           std::function<void()> chosen);

} // namespace quorvane::ui
