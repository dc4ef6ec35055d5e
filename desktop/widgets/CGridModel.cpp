#include "desktop/widgets/CGridModel.h"

namespace desktop::widgets {

CGridModel::CGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void CGridModel::SetHeadings(const QStringList& headings) {
  beginResetModel();
  headings_ = headings;
  editable_.assign(static_cast<std::size_t>(headings.size()), false);
  cells_.assign(static_cast<std::size_t>(rows_) * editable_.size(), QString());
  endResetModel();
}

void CGridModel::SetRowCount(int rows) {
  beginResetModel();
  rows_ = rows < 0 ? 0 : rows;
  cells_.assign(static_cast<std::size_t>(rows_) * editable_.size(), QString());
  endResetModel();
}

void CGridModel::SetColumnEditable(int column, bool editable) {
  if (column < 0 || column >= columnCount()) return;
  editable_[static_cast<std::size_t>(column)] = editable;
}

bool CGridModel::Valid(int row, int column) const {
  return row >= 0 && row < rows_ && column >= 0 && column < columnCount();
}

std::size_t CGridModel::At(int row, int column) const {
  return static_cast<std::size_t>(row) * editable_.size() + static_cast<std::size_t>(column);
}

const QString& CGridModel::Text(int row, int column) const {
  static const QString kNone;
  return Valid(row, column) ? cells_[At(row, column)] : kNone;
}

void CGridModel::SetText(int row, int column, const QString& text) {
  if (!Valid(row, column)) return;
  cells_[At(row, column)] = text;
  const QModelIndex cell = index(row, column);
  emit dataChanged(cell, cell, {Qt::DisplayRole, Qt::EditRole});
}

void CGridModel::FillColumn(int column, const QString& text) {
  if (rows_ == 0 || column < 0 || column >= columnCount()) return;
  for (int row = 0; row < rows_; ++row) cells_[At(row, column)] = text;
  emit dataChanged(index(0, column), index(rows_ - 1, column), {Qt::DisplayRole, Qt::EditRole});
}

int CGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int CGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(editable_.size());
}

QVariant CGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !Valid(index.row(), index.column())) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return cells_[At(index.row(), index.column())];
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    default:
      return {};
  }
}

bool CGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !index.isValid()) return false;
  if (!(flags(index) & Qt::ItemIsEditable)) return false;
  SetText(index.row(), index.column(), value.toString());
  if (editEnded_) editEnded_(index.row(), index.column());
  return true;
}

QVariant CGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
      section < headings_.size()) {
    return headings_[section];
  }
  if (orientation == Qt::Vertical && role == Qt::DisplayRole) return section + 1;
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags CGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid() || !Valid(index.row(), index.column())) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (editable_[static_cast<std::size_t>(index.column())]) f |= Qt::ItemIsEditable;
  return f;
}

}  // namespace desktop::widgets
