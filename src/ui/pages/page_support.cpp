// The small widgets several pages use.
#include "ui/pages/page_support.h"

#include <QHeaderView>

namespace quorvane::ui {

QPushButton* captionedButton(const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(caption);
  button->setAccessibleName(caption);
  return button;
}

QTableView* recordListView(QAbstractItemModel* model, QWidget* parent) {
  auto* view = new QTableView(parent);
  view->setModel(model);
  view->horizontalHeader()->setStretchLastSection(true);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->verticalHeader()->hide();
  return view;
}

QComboBox* languageChooser(const PageServices& services, QWidget* parent,
                           std::function<void()> chosen) {
  auto* chooser = new QComboBox(parent);
  chooser->setObjectName("language");
  for (const std::string& file : services.language.availableLanguages())
    chooser->addItem(QString::fromStdString(file));
  chooser->setCurrentText(QString::fromStdString(services.language.currentFile()));
  app::Language& language = services.language;
  QObject::connect(chooser, &QComboBox::textActivated, parent,
                   [&language, chosen = std::move(chosen)](const QString& file) {
                     language.chooseLanguage(file.toStdString());
                     chosen();
                   });
  return chooser;
}

} // namespace quorvane::ui
