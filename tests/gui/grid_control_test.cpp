#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTest>

#include "controls/mm_grid_control.h"

#include "wait_until.h"

using korvit::controls::MMGridControl;

namespace {

uint32_t At(int row, int column) {
    return MMGridControl::Address(row, column);
}

QColor PixelOf(MMGridControl& grid, int row, int column) {
    const QImage image = grid.grab().toImage();
    const QRect cell = grid.CellRect(row, column);
    // Bottom-left inside the border: away from any text.
    return image.pixelColor(cell.left() + 3, cell.bottom() - 3);
}

}  // namespace

TEST(GridControl, SizeHeadersLimitsAndAddressesOutsideTheGrid) {
    MMGridControl grid;
    EXPECT_EQ(grid.dataRowCount(), 10);  // 10 x 10 at creation
    EXPECT_EQ(grid.style(), MMGridControl::kDefaultStyle);
    grid.SetSize(3, 2);
    EXPECT_EQ(grid.dataRowCount(), 3);
    EXPECT_EQ(grid.dataColumnCount(), 2);
    EXPECT_EQ(grid.ColumnWidth(2), 50);
    EXPECT_EQ(grid.RowHeight(3), 21);

    QSignalSpy outside(&grid, &MMGridControl::outsideGrid);
    QSignalSpy set(&grid, &MMGridControl::cellTextSet);
    grid.SetCellText(0, 1, "RPM");  // the header of column 1
    grid.SetCellText(3, 2, "last");
    ASSERT_EQ(set.count(), 2);
    EXPECT_EQ(set.at(1).at(0).toUInt(), At(3, 2));
    EXPECT_EQ(grid.CellText(0, 1), "RPM");
    EXPECT_EQ(outside.count(), 0);

    grid.SetCellText(4, 1, "no");
    grid.SetCellText(1, 3, "no");
    EXPECT_EQ(outside.count(), 2);
    QString text = "kept";
    EXPECT_EQ(grid.GetCellText(9, 9, text), 0);
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(grid.SetReadOnly(0, 5, true), -1);
    EXPECT_EQ(grid.ClassifyCellText(-1, 0), 0);
    EXPECT_EQ(outside.count(), 5);
    EXPECT_EQ(grid.GetCellText(2, 2, text), 1);
    EXPECT_EQ(text, "");

    // A wider grid keeps the widths it had; sizes are cut to the limits.
    grid.SetColumnWidth(1, 77);
    grid.SetSize(40000, 1);
    EXPECT_EQ(grid.dataRowCount(), MMGridControl::kMaxRows);
    EXPECT_EQ(grid.ColumnWidth(1), 77);
    grid.SetSize(1, 300);
    EXPECT_EQ(grid.dataColumnCount(), MMGridControl::kMaxColumns);
    EXPECT_EQ(grid.ColumnWidth(1), 77);
    EXPECT_EQ(grid.ColumnWidth(2), 50);

    grid.Clear();
    EXPECT_EQ(grid.dataRowCount(), 0);
    EXPECT_EQ(grid.CellText(0, 1), "");
}

TEST(GridControl, HeadersShowLettersAndRowNumbers) {
    MMGridControl grid;
    grid.SetSize(3, 30);
    grid.RemoveStyle(MMGridControl::kColumnLetters | MMGridControl::kRowNumbers, false);
    grid.SetCellText(2, 0, "own");
    grid.SetCellText(0, 1, "own");
    EXPECT_EQ(grid.ShownText(2, 0), "own");
    EXPECT_EQ(grid.ShownText(0, 1), "own");
    grid.AddStyle(MMGridControl::kColumnLetters | MMGridControl::kRowNumbers, false);
    EXPECT_EQ(grid.ShownText(0, 1), "A");
    EXPECT_EQ(grid.ShownText(0, 26), "Z");
    EXPECT_EQ(grid.ShownText(0, 27), "AA");
    EXPECT_EQ(grid.ShownText(0, 30), "AD");
    EXPECT_EQ(grid.ShownText(2, 0), "2");
    grid.AddStyle(0, false);  // clears every bit
    EXPECT_EQ(grid.style(), 0u);
    EXPECT_EQ(grid.ShownText(0, 1), "own");
}

TEST(GridControl, ClassifiesNumbersAndText) {
    const std::pair<const char*, int> cases[] = {
        {"12.5", 2}, {"  -3", 2}, {"+.5", 2}, {"007", 2}, {"1-2", 1}, {"1.2.3", 1}, {"abc", 1},
        {"12e3", 1}, {"1 2", 1},  {"", 1},    {"   ", 1}, {".", 1},   {"-", 1},     {"3,5", 1},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(MMGridControl::ClassifyText(text), expected) << '"' << text << '"';
    }
}

TEST(GridControl, CopiesTheSelectionAndPastesOnlyWhatFits) {
    MMGridControl grid;
    grid.SetSize(3, 3);
    grid.SetCellText(1, 1, "a");
    grid.SetCellText(1, 2, "b");
    grid.SetCellText(2, 1, "c");
    grid.SetCellText(2, 2, "d");
    grid.SetSelection(At(2, 2), At(1, 1));
    grid.CopySelection();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "a\tb\t\r\nc\td\t\r\n");

    // Read-only grids take no paste.
    grid.SetSelection(At(2, 2), At(2, 2));
    grid.RemoveStyle(MMGridControl::kEditable, false);
    grid.Paste();
    EXPECT_EQ(grid.CellText(2, 2), "d");

    grid.AddStyle(MMGridControl::kEditable, false);
    grid.Paste();
    EXPECT_EQ(grid.CellText(2, 2), "a");
    EXPECT_EQ(grid.CellText(2, 3), "b");
    EXPECT_EQ(grid.CellText(3, 2), "c");
    EXPECT_EQ(grid.CellText(3, 3), "d");
    EXPECT_TRUE(grid.IsChanged(3, 3));
    EXPECT_FALSE(grid.IsChanged(1, 1));
    EXPECT_TRUE(grid.modified());
    uint32_t anchor = 0;
    uint32_t current = 0;
    grid.GetSelection(&anchor, &current);
    EXPECT_EQ(anchor, At(2, 2));
    EXPECT_EQ(current, At(3, 3));

    // Two columns from (3, 3) do not fit: nothing is pasted.
    grid.SetModified(false);
    grid.SetSelection(At(3, 3), At(3, 3));
    QGuiApplication::clipboard()->setText("x\ty\r\n");
    grid.Paste();
    EXPECT_EQ(grid.CellText(3, 3), "d");
    EXPECT_FALSE(grid.modified());
}

TEST(GridControl, KeyboardEditingCommitsOrCancels) {
    MMGridControl grid;
    grid.SetSize(3, 3);
    grid.SetCellText(1, 1, "old");
    grid.SelectCell(1, 1);
    QSignalSpy started(&grid, &MMGridControl::editStarted);
    QSignalSpy ended(&grid, &MMGridControl::editEnded);
    QSignalSpy moved(&grid, &MMGridControl::currentCellMoved);

    QTest::keyClicks(&grid, "75");
    EXPECT_TRUE(grid.editing());
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(grid.ShownText(1, 1), "75");
    EXPECT_EQ(grid.CellText(1, 1), "old");
    QTest::keyClick(&grid, Qt::Key_Return);
    EXPECT_FALSE(grid.editing());
    EXPECT_EQ(grid.CellText(1, 1), "75");
    EXPECT_TRUE(grid.IsChanged(1, 1));
    EXPECT_TRUE(grid.modified());
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(grid.currentRow(), 2);
    EXPECT_EQ(moved.count(), 1);

    // Escape leaves the cell as it was.
    grid.SetModified(false);
    QTest::keyClick(&grid, Qt::Key_A);
    QTest::keyClick(&grid, Qt::Key_Escape);
    EXPECT_EQ(grid.CellText(2, 1), "");
    EXPECT_FALSE(grid.IsChanged(2, 1));
    EXPECT_FALSE(grid.modified());
    EXPECT_EQ(ended.count(), 2);

    // Committing the same text is no change; read-only cells never start an edit.
    QTest::keyClick(&grid, Qt::Key_Up);
    QTest::keyClick(&grid, Qt::Key_Backspace);
    EXPECT_EQ(grid.ShownText(1, 1), "7");
    QTest::keyClicks(&grid, "5");
    QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_FALSE(grid.modified());
    grid.SetReadOnly(2, 1, true);
    QTest::keyClick(&grid, Qt::Key_X);
    EXPECT_FALSE(grid.editing());

    // Arrows stop at the edges; Delete and function keys only notify.
    QSignalSpy deleted(&grid, &MMGridControl::deletePressed);
    QSignalSpy function(&grid, &MMGridControl::functionKey);
    for (int i = 0; i < 5; ++i) QTest::keyClick(&grid, Qt::Key_Right);
    EXPECT_EQ(grid.currentColumn(), 3);
    for (int i = 0; i < 5; ++i) QTest::keyClick(&grid, Qt::Key_Down);
    EXPECT_EQ(grid.currentRow(), 3);
    QTest::keyClick(&grid, Qt::Key_PageDown);
    EXPECT_EQ(grid.currentRow(), 3);
    QTest::keyClick(&grid, Qt::Key_PageUp);
    EXPECT_EQ(grid.currentRow(), 1);
    for (int i = 0; i < 5; ++i) QTest::keyClick(&grid, Qt::Key_Left);
    EXPECT_EQ(grid.currentColumn(), 1);
    QTest::keyClick(&grid, Qt::Key_Delete);
    QTest::keyClick(&grid, Qt::Key_F12);
    EXPECT_EQ(deleted.count(), 1);
    ASSERT_EQ(function.count(), 1);
    EXPECT_EQ(function.at(0).at(0).toInt(), 12);
}

TEST(GridControl, MouseSelectsCellsHeadersAndExtends) {
    MMGridControl grid;
    grid.resize(400, 300);
    grid.SetSize(4, 4);
    QSignalSpy clicked(&grid, &MMGridControl::cellClicked);
    QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.CellRect(2, 3).center());
    EXPECT_EQ(grid.currentRow(), 2);
    EXPECT_EQ(grid.currentColumn(), 3);
    EXPECT_EQ(clicked.count(), 1);

    QTest::mouseClick(&grid, Qt::LeftButton, Qt::ShiftModifier, grid.CellRect(4, 4).center());
    EXPECT_TRUE(grid.IsSelected(3, 3));
    EXPECT_FALSE(grid.IsSelected(1, 3));

    QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.CellRect(0, 2).center());
    for (int row = 1; row <= 4; ++row) EXPECT_TRUE(grid.IsSelected(row, 2)) << row;
    EXPECT_FALSE(grid.IsSelected(1, 1));
    QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.CellRect(0, 0).center());
    EXPECT_TRUE(grid.IsSelected(1, 1));
    EXPECT_TRUE(grid.IsSelected(4, 4));
}

TEST(GridControl, MarkedAndSelectedCellsPaintTheirColours) {
    MMGridControl grid;
    grid.resize(300, 200);
    grid.SetSize(3, 3);
    grid.SetMarkedRange(At(1, 1), At(1, 2));
    grid.SetSelection(At(1, 1), At(1, 1));
    // Without focus: selection grey (180) averaged with the marked yellow.
    EXPECT_EQ(PixelOf(grid, 1, 1), QColor(217, 217, 90));
    EXPECT_EQ(PixelOf(grid, 1, 2), QColor(255, 255, 0));
    EXPECT_EQ(PixelOf(grid, 2, 2), QColor(255, 255, 255));
    grid.SetSelection(At(3, 3), At(3, 3));
    // Own backgrounds with averaging (at creation): grey averaged with the cell's white.
    EXPECT_EQ(PixelOf(grid, 3, 3), QColor(217, 217, 217));
    grid.RemoveStyle(MMGridControl::kAverageOwnBackground, false);
    EXPECT_EQ(PixelOf(grid, 3, 3), QColor(180, 180, 180));
    EXPECT_EQ(PixelOf(grid, 1, 1), QColor(255, 255, 0));

    // Own backgrounds, read-only cells, and a changed colour.
    grid.SetCellBackground(2, 1, QColor(10, 200, 30));
    grid.SetReadOnly(2, 2, true);
    grid.SetColor(MMGridControl::kMarkedBackground, QColor(0, 255, 255));
    EXPECT_EQ(PixelOf(grid, 2, 1), QColor(10, 200, 30));
    EXPECT_EQ(PixelOf(grid, 2, 2), QColor(230, 230, 230));
    EXPECT_EQ(PixelOf(grid, 1, 2), QColor(0, 255, 255));
    // Past the last column the window is grey.
    const QImage image = grid.grab().toImage();
    EXPECT_EQ(image.pixelColor(290, 195), QColor(128, 128, 128));
}

namespace {

/// Collects the regions a widget paints.
class PaintSpy : public QObject {
  public:
    QRegion painted;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

}  // namespace

// A histogram feed moves a one-cell mark on every reply: only the two cells may be repainted,
// also when the old mark has scrolled out of view.
TEST(GridControl, MovingAOneCellMarkRepaintsTwoCellsOnly) {
    MMGridControl grid;
    grid.resize(300, 200);
    grid.SetSize(40, 10);
    grid.show();
    grid.SetMarkedRange(At(40, 10), At(40, 10));  // off screen
    QCoreApplication::processEvents();
    PaintSpy spy;
    grid.installEventFilter(&spy);
    grid.SetCellText(2, 2, "7");
    grid.SetMarkedRange(At(2, 2), At(2, 2));
    ASSERT_TRUE(WaitUntil([&] { return !spy.painted.isEmpty(); }, 2000));
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.painted.boundingRect(), grid.CellRect(2, 2));

    spy.painted = QRegion();
    grid.SetMarkedRange(At(3, 1), At(3, 1));
    ASSERT_TRUE(WaitUntil([&] { return !spy.painted.isEmpty(); }, 2000));
    QCoreApplication::processEvents();
    EXPECT_EQ(spy.painted, QRegion(grid.CellRect(2, 2)) + grid.CellRect(3, 1));
}

TEST(GridControl, GrowToFitWidensAndHeightensButNeverShrinks) {
    MMGridControl grid;
    grid.SetSize(2, 2);
    grid.AddStyle(MMGridControl::kGrowToFit, false);
    grid.SetCellText(1, 1, "a rather long text for one cell");
    const int wide = grid.ColumnWidth(1);
    EXPECT_GT(wide, 150);
    EXPECT_EQ(grid.RowHeight(1), 21);  // one line fits the height it had
    grid.SetCellText(2, 1, "one\ntwo\nthree");
    EXPECT_GT(grid.RowHeight(2), 40);
    grid.SetCellText(1, 1, "x");
    EXPECT_EQ(grid.ColumnWidth(1), wide);
    // Without the bit nothing grows.
    grid.RemoveStyle(MMGridControl::kGrowToFit, false);
    grid.SetCellText(1, 2, "another rather long text for a cell");
    EXPECT_EQ(grid.ColumnWidth(2), 50);
}

// A number wider than its cell ends in an ellipsis: right-aligned and clipped, it would lose
// its first digits and sign and pass for another number.
TEST(GridControl, TextWiderThanItsCellIsElidedNotClipped) {
    MMGridControl grid;
    grid.resize(300, 200);
    grid.SetSize(3, 2);
    grid.SetColumnWidth(1, 60);
    grid.SetColumnWidth(2, 200);
    const QString number = "-88888888888888";
    grid.SetCellText(2, 1, number);
    grid.SetCellText(2, 2, number);
    EXPECT_EQ(grid.CellText(2, 1), number);  // the text itself is kept whole
    const QImage image = grid.grab().toImage();
    // Dark pixels in the upper half of the last few columns of a cell's text: an "8" has
    // them, the dots of an ellipsis do not.
    const auto dark_top_right = [&](int column) {
        const QRect cell = grid.CellRect(2, column);
        int n = 0;
        for (int y = cell.top() + 1; y < cell.center().y() - 1; ++y)
            for (int x = cell.right() - 8; x <= cell.right() - 3; ++x)
                n += qGray(image.pixel(x, y)) < 110;
        return n;
    };
    EXPECT_GT(dark_top_right(2), 0);  // fits: ends in an 8
    EXPECT_EQ(dark_top_right(1), 0);  // does not fit: ends in an ellipsis
}
