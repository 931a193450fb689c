// Table models over the core's lists.
#include "ui/list_models.h"

#include "threats/threat_list.h"

#include <QColor>

namespace quorvane::ui {
namespace {

QColor colorOf(std::uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

QString q(const std::string& text) { return QString::fromStdString(text); }

} // namespace

int ThreatListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(results_.rows.size());
}

int ThreatListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 3; }

QVariant ThreatListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= results_.rows.size())
    return {};
  const threats::ThreatRow& row = results_.rows[static_cast<std::size_t>(index.row())];
  if (index.column() == 0 && role == Qt::CheckStateRole)
    return row.checked ? Qt::Checked : Qt::Unchecked;
  if (role == Qt::DisplayRole && index.column() == 1)
    return q(row.fileName);
  if (role == Qt::DisplayRole && index.column() == 2)
    return q(row.fullPath);
  if (role == Qt::ForegroundRole && index.column() > 0 && row.color)
    return colorOf(*row.color);
  return {};
}

bool ThreatListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole)
    return false;
  std::size_t row = static_cast<std::size_t>(index.row());
  results_.rows[row].checked = value.toInt() == Qt::Checked;
  threats::colorThreatRow(results_, row);
  Q_EMIT dataChanged(this->index(index.row(), 0), this->index(index.row(), 2));
  return true;
}

Qt::ItemFlags ThreatListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  return index.column() == 0 ? flags | Qt::ItemIsUserCheckable : flags;
}

QVariant ThreatListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return {};
  if (section == 0)
    return QString();
  return section > 0 && section <= headings_.size() ? QVariant(headings_[section - 1]) : QVariant();
}

void ThreatListModel::reload() {
  beginResetModel();
  endResetModel();
}

void RecordListModel::setRecords(std::vector<threats::ThreatRecord> records) {
  beginResetModel();
  rows_.clear();
  for (threats::ThreatRecord& record : records)
    rows_.push_back({std::move(record), false, {}});
  endResetModel();
}

std::vector<threats::QuarantineRow> RecordListModel::rows() const { return rows_; }

int RecordListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecordListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(headings_.size());
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<std::size_t>(index.row()) >= rows_.size())
    return {};
  const threats::QuarantineRow& row = rows_[static_cast<std::size_t>(index.row())];
  int column = index.column() - (checkable_ ? 1 : 0);
  if (checkable_ && index.column() == 0)
    return role == Qt::CheckStateRole ? QVariant(row.checked ? Qt::Checked : Qt::Unchecked) : QVariant();
  if (role != Qt::DisplayRole)
    return {};
  switch (column) {
  case 0: return q(row.record.name);
  case 1: return q(row.record.date);
  case 2: return q(row.record.path);
  default: return {};
  }
}

bool RecordListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!checkable_ || !index.isValid() || index.column() != 0 || role != Qt::CheckStateRole)
    return false;
  rows_[static_cast<std::size_t>(index.row())].checked = value.toInt() == Qt::Checked;
  Q_EMIT dataChanged(index, index);
  return true;
}

Qt::ItemFlags RecordListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  return checkable_ && index.column() == 0 ? flags | Qt::ItemIsUserCheckable : flags;
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= headings_.size())
    return {};
  return headings_[section];
}

} // namespace quorvane::ui
