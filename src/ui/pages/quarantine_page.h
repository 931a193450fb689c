// The quarantine: the files it holds, restored or deleted in the background.
#pragma once

#include "threats/quarantine.h"
#include "ui/list_models.h"
#include "ui/pages/page_support.h"

#include <QWidget>

#include <vector>

namespace quorvane::ui {

class QuarantinePage : public QWidget {
  Q_OBJECT
public:
  explicit QuarantinePage(const PageServices& services, QWidget* parent = nullptr);

  /// Reads the quarantine's index again.
  void refresh();

Q_SIGNALS:
  /// A restore or deletion has done its work in the background.
  void listsChanged();

private:
  using Command = std::vector<threats::QuarantineRow> (threats::Quarantine::*)(
      const std::vector<threats::QuarantineRow>&);
  /// Runs a command of the quarantine on the rows ticked; the rows it leaves say why.
  void runInBackground(Command command);

  const PageServices& services_;
  RecordListModel* model_ = nullptr;
};

} // namespace quorvane::ui
