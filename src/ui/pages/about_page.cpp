// The about page.
#include "ui/pages/about_page.h"

#include "ui/qt_text.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QSysInfo>
#include <QUrl>
#include <QVBoxLayout>

namespace quorvane::ui {

AboutPage::AboutPage(const PageServices& services, QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  auto* heading = new QLabel("<h2>Quorvane Antimalware</h2><p>Finds known malicious files by "
                             "their fingerprint, guards new programs and drives, and keeps what "
                             "it removes restorable in the quarantine.</p>",
                             this);
  heading->setWordWrap(true); // one line would set the window's least width
  layout->addWidget(heading);
  auto* year = new QLabel(copyrightNotice(services.platform.clock.localNow().year) +
                              ". Version " QUORVANE_VERSION ".",
                          this);
  year->setObjectName("year");
  layout->addWidget(year);
  auto* system = new QLabel("Running on " + QSysInfo::prettyProductName(), this);
  system->setObjectName("system");
  layout->addWidget(system);
  auto* row = new QHBoxLayout();
  row->addWidget(new QLabel(services.text("043", "Language:"), this));
  row->addWidget(languageChooser(services, this, [this] { Q_EMIT languageChosen(); }), 1);
  layout->addLayout(row);
  QPushButton* translate = captionedButton("Help us To Translate to your language.", this);
  const app::Language& language = services.language;
  connect(translate, &QPushButton::clicked, this, [&language] {
    QDesktopServices::openUrl(
        QUrl::fromLocalFile(QString::fromStdString(language.pathOf(app::kDefaultLanguageFile))));
  });
  layout->addWidget(translate);
  layout->addStretch();
}

} // namespace quorvane::ui
