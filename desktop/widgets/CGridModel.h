#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace desktop::widgets {

// The cells of a grid control as text: a fixed number of columns with their
// headings, any number of data rows, and per column whether the user may edit
// it. Every cell is held as one string so 2048 rows cost no widgets.
class CGridModel final : public QAbstractTableModel {
 public:
  explicit CGridModel(QObject* parent = nullptr);

  void SetHeadings(const QStringList& headings);
  void SetRowCount(int rows);
  void SetColumnEditable(int column, bool editable);

  const QString& Text(int row, int column) const;
  // Sets a cell without telling the edit listener.
  void SetText(int row, int column, const QString& text);
  void FillColumn(int column, const QString& text);

  // Called after the user has committed an edit of a cell.
  void SetEditEnded(std::function<void(int row, int column)> listener) {
    editEnded_ = std::move(listener);
  }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  bool Valid(int row, int column) const;
  std::size_t At(int row, int column) const;

  QStringList headings_;
  std::vector<bool> editable_;
  int rows_ = 0;
  std::vector<QString> cells_;
  std::function<void(int, int)> editEnded_;
};

}  // namespace desktop::widgets
