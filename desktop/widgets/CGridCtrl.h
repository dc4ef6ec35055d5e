#pragma once

#include <QString>
#include <QStringList>
#include <QTableView>
#include <functional>

#include "desktop/widgets/CGridModel.h"

class QPrinter;

namespace desktop::widgets {

// A table of text cells with a fixed heading row: in-place editing of the
// columns marked editable (the owner hears when an edit ends, to clamp and
// reformat the value), a tool tip with the whole text of a cell that is cut,
// and printing, paged with the headings on every page. Rows have one height
// and no widgets of their own, so thousands of them scroll smoothly.
class CGridCtrl : public QTableView {
 public:
  explicit CGridCtrl(QWidget* parent = nullptr);

  void SetHeadings(const QStringList& headings) { model_.SetHeadings(headings); }
  void SetRowCount(int rows) { model_.SetRowCount(rows); }
  void SetColumnEditable(int column, bool editable) { model_.SetColumnEditable(column, editable); }
  int RowCount() const { return model_.rowCount(); }
  int ColumnCount() const { return model_.columnCount(); }

  // Data rows count from 0; the heading row is not one of them.
  const QString& Text(int row, int column) const { return model_.Text(row, column); }
  void SetText(int row, int column, const QString& text) { model_.SetText(row, column, text); }
  void ClearColumn(int column, const QString& text) { model_.FillColumn(column, text); }
  void SetEditEnded(std::function<void(int row, int column)> listener) {
    model_.SetEditEnded(std::move(listener));
  }

  // The whole text of the cell under `pos` (viewport coordinates) when the
  // cell shows less of it than there is; empty otherwise.
  QString CutTextAt(const QPoint& pos) const;

  // Prints every row on `printer`; false when it cannot be painted on.
  bool Print(QPrinter& printer, const QString& title) const;
  // Writes the grid as a PDF file.
  bool PrintToPdf(const QString& path, const QString& title) const;
  // Asks for a printer (any, or a PDF file) and prints there.
  void PrintWithDialog(const QString& title);

 protected:
  bool viewportEvent(QEvent* event) override;

 private:
  CGridModel model_;
};

}  // namespace desktop::widgets
