// The settings page.
#include "ui/pages/settings_page.h"

#include "app/settings.h"
#include "protect/drive_protect.h"
#include "repair/restore_defaults.h"
#include "schedule/integration.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quorvane::ui {

SettingsPage::SettingsPage(const PageServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("<h3>" + services_.text("032", "Settings") + "</h3>", this));
  // The switches act on the user's clicks only: filling the page changes nothing.
  startWithSystem_ =
      new QCheckBox(services_.text("181", "Start Quorvane Anti Malware on system startup"), this);
  startWithSystem_->setObjectName("startWithSystem");
  connect(startWithSystem_, &QCheckBox::clicked, this, [this](bool on) {
    if (schedule::SystemIntegration(services_.platform, services_.appFolder).setStartWithSystem(on))
      startWithSystem_->setChecked(!on); // the entry could not be changed
  });
  contextMenu_ = new QCheckBox(
      services_.text("182", "Add scan option to windows right click context menu"), this);
  contextMenu_->setObjectName("contextMenu");
  connect(contextMenu_, &QCheckBox::clicked, this, [this](bool on) {
    if (schedule::SystemIntegration(services_.platform, services_.appFolder).setContextMenu(on))
      contextMenu_->setChecked(!on);
  });
  autorun_ = new QCheckBox(services_.text("183", "Disable AutoRun for drives"), this);
  autorun_->setObjectName("autorun");
  connect(autorun_, &QCheckBox::clicked, this,
          [this](bool on) { protect::setDisableAutoRun(services_.platform, on); });
  for (QCheckBox* box : {startWithSystem_, contextMenu_, autorun_})
    layout->addWidget(box);

  auto* actionBox = new QGroupBox(services_.text("184", "When a threat is found"), this);
  auto* actionLayout = new QVBoxLayout(actionBox);
  auto* actions = new QButtonGroup(this);
  const std::pair<const char*, const char*> actionCaptions[] = {
      {"173", "Delete the threat file immediately."},
      {"174", "Quarantine threat file."},
      {"175", "Leave threat file."}};
  for (int i = 0; i < 3; ++i) {
    threatAction_[i] = new QRadioButton(
        services_.text(actionCaptions[i].first, actionCaptions[i].second), actionBox);
    actions->addButton(threatAction_[i]);
    actionLayout->addWidget(threatAction_[i]);
    connect(threatAction_[i], &QRadioButton::clicked, this, [this, i] {
      app::SettingsStore(services_.platform).setSetting("threatfound", std::to_string(i + 1));
    });
  }
  layout->addWidget(actionBox);

  auto* row = new QHBoxLayout();
  row->addWidget(new QLabel(services_.text("043", "Language:"), this));
  row->addWidget(languageChooser(services_, this, [this] { Q_EMIT languageChosen(); }), 1);
  layout->addLayout(row);
  restore_ = captionedButton(services_.text("185", "Restore System Default Settings"), this);
  connect(restore_, &QPushButton::clicked, this, &SettingsPage::restoreSystemDefaults);
  layout->addWidget(restore_, 0, Qt::AlignLeft);
  layout->addStretch();
}

void SettingsPage::fill() {
  schedule::SettingsPageState state =
      schedule::SystemIntegration(services_.platform).fillSettingsPage();
  startWithSystem_->setChecked(state.startWithSystem);
  contextMenu_->setChecked(state.contextMenu);
  autorun_->setChecked(state.autorunDisabled);
  // No option is marked when none was chosen yet.
  for (QRadioButton* option : threatAction_)
    option->group()->setExclusive(false);
  for (int i = 0; i < 3; ++i)
    threatAction_[i]->setChecked(state.threatAction == i);
  for (QRadioButton* option : threatAction_)
    option->group()->setExclusive(true);
}

void SettingsPage::restoreSystemDefaults() {
  restore_->setEnabled(false);
  platform::Platform& background = services_.background;
  services_.jobs.run([&background] { repair::restoreSystemDefaults(background); },
                     [this] {
                       restore_->setEnabled(true);
                       Q_EMIT restoreFinished();
                     });
}

} // namespace quorvane::ui
