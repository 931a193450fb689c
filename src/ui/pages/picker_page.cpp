// The custom scan's folder picker.
#include "ui/pages/picker_page.h"

#include <QDir>
#include <QFileSystemModel>
#include <QVBoxLayout>

namespace quorvane::ui {

PickerPage::PickerPage(const PageServices& services, QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(services.text("040", "Select Drive"), this));
  drives_ = new QComboBox(this);
  for (const std::string& root : services.platform.drives.roots())
    drives_->addItem(QString::fromStdString(root));
  drives_->addItem(QDir::homePath());
  layout->addWidget(drives_);
  layout->addWidget(new QLabel(services.text("041", "Select Folder"), this));
  auto* model = new QFileSystemModel(this);
  // Folders and files alike: a single file can be picked and checked on its own.
  model->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
  model->setRootPath("/");
  tree_ = new QTreeView(this);
  tree_->setObjectName("folders");
  tree_->setModel(model);
  for (int column = 1; column < model->columnCount(); ++column)
    tree_->hideColumn(column);
  layout->addWidget(tree_, 1);
  layout->addWidget(new QLabel(services.text("042", "Current path:"), this));
  pickedPath_ = new QLabel(this);
  layout->addWidget(pickedPath_);
  startScanning_ = captionedButton(services.text("014", "Start Scanning"), this);
  startScanning_->setEnabled(false);
  layout->addWidget(startScanning_);
  connect(drives_, &QComboBox::currentTextChanged, this,
          [this, model](const QString& root) { tree_->setRootIndex(model->index(root)); });
  connect(tree_, &QTreeView::clicked, this, [this, model](const QModelIndex& index) {
    pickedPath_->setText(model->filePath(index));
    startScanning_->setEnabled(true);
  });
  connect(startScanning_, &QPushButton::clicked, this,
          [this] { Q_EMIT scanRequested(pickedPath_->text()); });
}

void PickerPage::reset() {
  pickedPath_->clear();
  startScanning_->setEnabled(false);
}

} // namespace quorvane::ui
