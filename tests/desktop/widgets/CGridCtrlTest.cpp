// The grid control offscreen: in-place editing through the real editor and
// its keys, the read-only column, tool tips for cut cells, 2048 rows that
// scroll as one block, and printing to a PDF file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <utility>
#include <vector>

#include "desktop/widgets/CGridCtrl.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TempDir.h"

namespace desktop::widgets {
namespace {

constexpr int kRows = 2048;

class CGridCtrlTest : public ::testing::Test {
 protected:
  CGridCtrlTest() {
    grid_.SetHeadings({"Hz", "Amp. in dB", "Phase in °"});
    grid_.SetRowCount(kRows);
    grid_.SetColumnEditable(1, true);
    grid_.SetColumnEditable(2, true);
    for (int r = 0; r < kRows; ++r) {
      grid_.SetText(r, 0, QString::number(r));
      grid_.SetText(r, 1, QStringLiteral("0.0"));
      grid_.SetText(r, 2, QStringLiteral("0.0"));
    }
    // The owner's reaction to an edit: note it and show the value bracketed.
    grid_.SetEditEnded([this](int row, int column) {
      ended_.emplace_back(row, column);
      grid_.SetText(row, column, "[" + grid_.Text(row, column) + "]");
    });
    grid_.resize(400, 300);
    grid_.show();
    QApplication::processEvents();
  }

  // Opens the cell's editor as a user's key press does and types `text`.
  QLineEdit* TypeInto(int row, int column, const QString& text) {
    grid_.setCurrentIndex(grid_.model()->index(row, column));
    grid_.scrollTo(grid_.currentIndex());
    QTest::keyClick(grid_.viewport(), Qt::Key_F2);
    auto* editor = grid_.viewport()->findChild<QLineEdit*>();
    if (editor == nullptr) return nullptr;
    editor->selectAll();
    QTest::keyClicks(editor, text);
    return editor;
  }

  QApplication& app_ = testing_support::TestApplication();  // before any widget
  CGridCtrl grid_;
  std::vector<std::pair<int, int>> ended_;
};

TEST_F(CGridCtrlTest, EnterCommitsTheEditAndTellsTheOwnerWhichCell) {
  QLineEdit* editor = TypeInto(1500, 1, QStringLiteral("7.5"));
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();
  EXPECT_EQ(grid_.Text(1500, 1).toStdString(), "[7.5]");
  ASSERT_EQ(ended_.size(), 1u);
  EXPECT_EQ(ended_[0], std::make_pair(1500, 1));
}

TEST_F(CGridCtrlTest, EscapeLeavesTheCellAsItWas) {
  QLineEdit* editor = TypeInto(3, 2, QStringLiteral("99"));
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_Escape);
  QApplication::processEvents();
  EXPECT_EQ(grid_.Text(3, 2).toStdString(), "0.0");
  EXPECT_TRUE(ended_.empty());
}

TEST_F(CGridCtrlTest, TheFirstColumnCannotBeEdited) {
  EXPECT_EQ(TypeInto(10, 0, QStringLiteral("5")), nullptr);
  EXPECT_FALSE(grid_.model()->setData(grid_.model()->index(10, 0), QStringLiteral("5")));
  EXPECT_EQ(grid_.Text(10, 0).toStdString(), "10");
  EXPECT_TRUE(ended_.empty());
}

TEST_F(CGridCtrlTest, ClearColumnFillsEveryRowAndNoOtherColumn) {
  grid_.SetText(kRows - 1, 1, QStringLiteral("-3.5"));
  grid_.ClearColumn(1, QStringLiteral("  0.0"));
  for (int r : {0, 1000, kRows - 1}) {
    EXPECT_EQ(grid_.Text(r, 1).toStdString(), "  0.0");
    EXPECT_EQ(grid_.Text(r, 0), QString::number(r));
  }
}

TEST_F(CGridCtrlTest, ToolTipShowsTheWholeTextOnlyOfACutCell) {
  const QString longText = QStringLiteral("-1234567890.123456789");
  grid_.SetText(0, 1, longText);
  grid_.setColumnWidth(1, 40);
  const QPoint cell = grid_.visualRect(grid_.model()->index(0, 1)).center();
  EXPECT_EQ(grid_.CutTextAt(cell), longText);
  grid_.setColumnWidth(1, 300);
  EXPECT_TRUE(grid_.CutTextAt(grid_.visualRect(grid_.model()->index(0, 1)).center()).isEmpty());
  EXPECT_TRUE(grid_.CutTextAt(QPoint(-5, -5)).isEmpty());
}

TEST_F(CGridCtrlTest, AllRowsShareOneHeightAndTheLastRowIsReachable) {
  EXPECT_EQ(grid_.verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
  const int height = grid_.rowHeight(0);
  EXPECT_EQ(grid_.rowHeight(kRows - 1), height);
  EXPECT_EQ(grid_.verticalHeader()->length(), height * kRows);
  grid_.scrollToBottom();
  QApplication::processEvents();
  const QRect last = grid_.visualRect(grid_.model()->index(kRows - 1, 0));
  EXPECT_TRUE(grid_.viewport()->rect().contains(last.center()));
  // The heading row stays where it is while the rows scroll under it.
  EXPECT_TRUE(grid_.horizontalHeader()->isVisible());
  EXPECT_EQ(grid_.horizontalHeader()->y(), grid_.frameWidth());
  EXPECT_EQ(grid_.indexWidget(grid_.model()->index(kRows - 1, 1)), nullptr);
}

TEST_F(CGridCtrlTest, PrintingToPdfWritesEveryRowOnSeveralPages) {
  testing_support::TempDir dir;
  const QString path = QString::fromStdString((dir.path() / "grid.pdf").string());
  ASSERT_TRUE(grid_.PrintToPdf(path, QStringLiteral("Front")));
  QFile pdf(path);
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  const QByteArray bytes = pdf.readAll();
  EXPECT_TRUE(bytes.startsWith("%PDF-"));
  // 2048 rows do not fit on one page; every page is its own object.
  EXPECT_GT(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r"), 10);
}

TEST_F(CGridCtrlTest, PrintingToAnUnwritablePlaceFails) {
  EXPECT_FALSE(grid_.PrintToPdf(QStringLiteral("/nonexistent-folder/x/grid.pdf"), QString()));
}

}  // namespace
}  // namespace desktop::widgets
