// The about page: what the program is, its version, the system it runs on, and the language.
#pragma once

#include "ui/pages/page_support.h"

#include <QWidget>

namespace quorvane::ui {

class AboutPage : public QWidget {
  Q_OBJECT
public:
  explicit AboutPage(const PageServices& services, QWidget* parent = nullptr);

Q_SIGNALS:
  /// Another language file was chosen and stored.
  void languageChosen();
};

} // namespace quorvane::ui
