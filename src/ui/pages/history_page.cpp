// The recent-scan history.
#include "ui/pages/history_page.h"

#include "threats/threatlog.h"

#include <QVBoxLayout>

namespace quorvane::ui {

HistoryPage::HistoryPage(const PageServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  auto* layout = new QVBoxLayout(this);
  model_ = new RecordListModel(
      {services_.text("167", "Name"), services_.text("168", "Date"), services_.text("166", "Path")},
      false, this);
  layout->addWidget(recordListView(model_, this), 1);
  QPushButton* clear = captionedButton(services_.text("170", "Clear Scan History"), this);
  connect(clear, &QPushButton::clicked, this, [this] {
    threats::ThreatLog(services_.platform, services_.appFolder).clearScanHistory();
    refresh();
  });
  layout->addWidget(clear);
}

void HistoryPage::refresh() {
  model_->setRecords(threats::ThreatLog(services_.platform, services_.appFolder).showScanHistory());
}

} // namespace quorvane::ui
