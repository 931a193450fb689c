// The detected-threat list and its commands.
#include "ui/pages/results_page.h"

#include "threats/removal.h"
#include "threats/threat_list.h"

#include <QGridLayout>
#include <QVBoxLayout>

#include <memory>

namespace quorvane::ui {

ResultsPage::ResultsPage(const PageServices& services, scan::ScanRunner& runner,
                         std::function<bool()> scanRunning, QWidget* parent)
    : QWidget(parent), services_(services), runner_(runner), scanRunning_(std::move(scanRunning)) {
  auto* layout = new QVBoxLayout(this);
  model_ = new ThreatListModel(
      runner_.results(), {services_.text("165", "File"), services_.text("166", "Path")}, this);
  layout->addWidget(recordListView(model_, this), 1);
  // Three to a row: five captions side by side would make the window wider than small screens.
  auto* buttons = new QGridLayout();
  selectAll_ = captionedButton("Select All", this);
  connect(selectAll_, &QPushButton::clicked, this, [this] {
    bool tick = selectAll_->text() == "Select All";
    selectAll_->setText(QString::fromStdString(threats::selectAllThreats(runner_.results(), tick)));
    refresh();
  });
  auto removal = [this](threats::RemovalMode mode) {
    return [this, mode] {
      runInBackground([this, mode](threats::ScanResults& results) {
        threats::ThreatRemover(services_.background, services_.appFolder)
            .removeSelectedThreats(results, runner_.references(), mode);
      });
    };
  };
  QPushButton* remove = captionedButton(services_.text("162", "Delete selected file"), this);
  connect(remove, &QPushButton::clicked, this, removal(threats::RemovalMode::Delete));
  QPushButton* quarantine = captionedButton(services_.text("163", "Quarantine"), this);
  connect(quarantine, &QPushButton::clicked, this, removal(threats::RemovalMode::Quarantine));
  QPushButton* safe = captionedButton(services_.text("164", "Mark Selected as safe"), this);
  connect(safe, &QPushButton::clicked, this, [this] {
    runInBackground([this](threats::ScanResults& results) {
      threats::markSelectedAsSafe(services_.background, services_.appFolder, results);
    });
  });
  QPushButton* memory = captionedButton(services_.text("169", "Remove Threat from memory"), this);
  connect(memory, &QPushButton::clicked, this, [this] {
    runInBackground([this](threats::ScanResults& results) {
      threats::ThreatRemover(services_.background, services_.appFolder)
          .removeThreatFromMemory(results);
    });
  });
  int at = 0;
  for (QPushButton* b : {selectAll_, remove, quarantine, safe, memory}) {
    buttons->addWidget(b, at / 3, at % 3);
    ++at;
  }
  layout->addLayout(buttons);
}

void ResultsPage::refresh() {
  model_->reload();
}

void ResultsPage::runInBackground(std::function<void(threats::ScanResults&)> command) {
  if (scanRunning_() || busy_)
    return;
  // The work changes a copy; the list shown stays as it is until the work is done.
  busy_ = true;
  setEnabled(false);
  auto copy = std::make_shared<threats::ScanResults>(runner_.results());
  services_.jobs.run([copy, command = std::move(command)] { command(*copy); },
                     [this, copy] {
                       runner_.results() = *copy;
                       busy_ = false;
                       setEnabled(true);
                       refresh();
                       Q_EMIT listsChanged();
                     });
}

} // namespace quorvane::ui
