#include "desktop/widgets/CGridCtrl.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QToolTip>
#include <algorithm>
#include <vector>

namespace desktop::widgets {

namespace {
// Room left and right of a cell's text, in pixels of the device painted on.
constexpr int kCellPadding = 4;
}  // namespace

CGridCtrl::CGridCtrl(QWidget* parent) : QTableView(parent), model_(this) {
  setModel(&model_);
  // One row height for all rows: scrolling never measures rows one by one.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  verticalHeader()->hide();
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setHighlightSections(false);
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  setWordWrap(false);
  setTextElideMode(Qt::ElideRight);
}

QString CGridCtrl::CutTextAt(const QPoint& pos) const {
  const QModelIndex cell = indexAt(pos);
  if (!cell.isValid()) return {};
  const QString& text = model_.Text(cell.row(), cell.column());
  const int room = visualRect(cell).width() - 2 * kCellPadding;
  return fontMetrics().horizontalAdvance(text) > room ? text : QString();
}

bool CGridCtrl::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = CutTextAt(help->pos());
    if (text.isEmpty()) {
      QToolTip::hideText();
    } else {
      QToolTip::showText(help->globalPos(), text, viewport(), visualRect(indexAt(help->pos())));
    }
    return true;
  }
  return QTableView::viewportEvent(event);
}

bool CGridCtrl::Print(QPrinter& printer, const QString& title) const {
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  const QRect page = painter.viewport();
  const QFontMetrics metrics(painter.font(), &printer);
  const int rowHeight = metrics.height() + metrics.height() / 3;
  const int columns = ColumnCount();
  if (columns == 0 || rowHeight <= 0) return painter.end();

  // Columns share the page width as they share the view's width.
  std::vector<int> widths(static_cast<std::size_t>(columns));
  int viewWidth = 0;
  for (int c = 0; c < columns; ++c) viewWidth += std::max(1, columnWidth(c));
  for (int c = 0; c < columns; ++c) {
    const int w = page.width() * std::max(1, columnWidth(c)) / std::max(1, viewWidth);
    widths[static_cast<std::size_t>(c)] = w;
  }
  const int top = title.isEmpty() ? 0 : rowHeight * 2;
  const int rowsPerPage = std::max(1, (page.height() - top) / rowHeight - 1);

  auto drawRow = [&](int y, auto textOf, bool heading) {
    int left = 0;
    for (int c = 0; c < columns; ++c) {
      const int w = widths[static_cast<std::size_t>(c)];
      const QRect cell(left, y, w, rowHeight);
      painter.drawRect(cell);
      painter.drawText(cell.adjusted(kCellPadding, 0, -kCellPadding, 0),
                       Qt::AlignVCenter | (heading ? Qt::AlignHCenter : Qt::AlignRight), textOf(c));
      left += w;
    }
  };

  const int rows = RowCount();
  for (int first = 0; first < rows || first == 0; first += rowsPerPage) {
    if (first > 0 && !printer.newPage()) return false;
    if (!title.isEmpty()) {
      painter.drawText(QRect(0, 0, page.width(), rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                       title);
    }
    drawRow(
        top,
        [&](int c) { return model_.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(); },
        true);
    const int last = std::min(rows, first + rowsPerPage);
    for (int r = first; r < last; ++r) {
      drawRow(
          top + (r - first + 1) * rowHeight, [&](int c) { return model_.Text(r, c); }, false);
    }
    if (rows == 0) break;
  }
  return painter.end();
}

bool CGridCtrl::PrintToPdf(const QString& path, const QString& title) const {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(path);
  return Print(printer, title);
}

void CGridCtrl::PrintWithDialog(const QString& title) {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dialog(&printer, this);
  if (dialog.exec() != QDialog::Accepted) return;
  Print(printer, title);
}

}  // namespace desktop::widgets
