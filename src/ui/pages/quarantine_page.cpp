// The quarantine page.
#include "ui/pages/quarantine_page.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace quorvane::ui {

QuarantinePage::QuarantinePage(const PageServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  auto* layout = new QVBoxLayout(this);
  model_ = new RecordListModel({"", services_.text("167", "Name"), services_.text("168", "Date"),
                                services_.text("172", "Original path")},
                               true, this);
  layout->addWidget(recordListView(model_, this), 1);
  auto* buttons = new QHBoxLayout();
  QPushButton* restore = captionedButton(services_.text("171", "Restore"), this);
  connect(restore, &QPushButton::clicked, this,
          [this] { runInBackground(&threats::Quarantine::restoreQuarantined); });
  QPushButton* remove = captionedButton(services_.text("162", "Delete selected file"), this);
  connect(remove, &QPushButton::clicked, this,
          [this] { runInBackground(&threats::Quarantine::deleteQuarantined); });
  buttons->addWidget(restore);
  buttons->addWidget(remove);
  layout->addLayout(buttons);
}

void QuarantinePage::runInBackground(Command command) {
  setEnabled(false);
  platform::Platform& background = services_.background;
  services_.jobs.run(
      [&background, folder = services_.appFolder, command, rows = model_->rows()] {
        threats::Quarantine list(background, folder);
        // Rows left say why: a restore never overwrites what stands at the path.
        std::string left;
        for (const threats::QuarantineRow& row : (list.*command)(rows))
          left += "\n" + row.record.path + ": " + threats::describeProblem(row);
        if (!left.empty())
          background.notifier.messageBox("These files stay in the quarantine:" + left,
                                         {{}, platform::MessageIcon::Warning});
      },
      [this] {
        setEnabled(true);
        refresh();
        Q_EMIT listsChanged();
      });
}

void QuarantinePage::refresh() {
  std::vector<threats::ThreatRecord> records;
  for (threats::QuarantineRow& row :
       threats::Quarantine(services_.platform, services_.appFolder).showQuarantine())
    records.push_back(std::move(row.record));
  model_->setRecords(std::move(records));
}

} // namespace quorvane::ui
