// Table models over the core's lists: the detected threats of the last scan, the threat log and
// the quarantine. The views only show them; ticking goes back into the core's rows.
#pragma once

#include "scan/scan_state.h"
#include "threats/quarantine.h"
#include "threats/threatlog.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

namespace quorvane::ui {

/// The detected-threat list: a tick column, the file name and the path, in the rows' colours.
class ThreatListModel final : public QAbstractTableModel {
  Q_OBJECT
public:
  /// `headings`: the captions of the file-name and path columns.
  ThreatListModel(threats::ScanResults& results, QStringList headings, QObject* parent = nullptr)
      : QAbstractTableModel(parent), results_(results), headings_(std::move(headings)) {}
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  /// The core's list changed as a whole (a scan ended, rows were removed).
  void reload();

private:
  threats::ScanResults& results_;
  QStringList headings_;
};

/// Rows of a record list with a tick column when `checkable`.
class RecordListModel final : public QAbstractTableModel {
  Q_OBJECT
public:
  RecordListModel(QStringList headings, bool checkable, QObject* parent = nullptr)
      : QAbstractTableModel(parent), headings_(std::move(headings)), checkable_(checkable) {}
  void setRecords(std::vector<threats::ThreatRecord> records);
  /// The rows with their ticks, for the quarantine's commands.
  std::vector<threats::QuarantineRow> rows() const;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
  QStringList headings_;
  bool checkable_;
  std::vector<threats::QuarantineRow> rows_;
};

} // namespace quorvane::ui
