#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

class QScrollBar;

namespace korvit::controls {

/// A spreadsheet-like table of text cells with a header row (row 0) and a header column
/// (column 0), per-cell colours and flags, a title bar, scrolling, a selection, keyboard
/// navigation, in-place editing and clipboard copy and paste. Cells are addressed by row and
/// column counted with the headers; packed addresses are (column << 16) | row.
class MMGridControl : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kMaxRows = 32000;
    static constexpr int kMaxColumns = 256;
    static constexpr int kNewColumnWidth = 50;
    static constexpr int kNewRowHeight = 21;

    enum Style : uint32_t {
        kStretchLastColumn = 0x1,
        kHidePartialLastRow = 0x2,
        kEllipsis = 0x4,
        kGrowToFit = 0x8,
        kDragColumnBorders = 0x10,
        kDragRowBorders = 0x20,
        kRightAlignText = 0x40,
        kLeftAlignNumbers = 0x80,
        kHighlightRowHeaders = 0x200,
        kHighlightColumnHeaders = 0x400,
        kEditable = 0x800,
        kExtendedSelection = 0x1000,
        kRowNumbers = 0x2000,
        kColumnLetters = 0x4000,
        kOwnBackgrounds = 0x8000,
        kColorChanged = 0x10000,
        kAverageOwnBackground = 0x20000,
        kNoHorizontalScrollBar = 0x40000,
        kNoVerticalScrollBar = 0x80000,
        kOffScreen = 0x100000,
    };
    static constexpr uint32_t kDefaultStyle = 0x12FF01;

    enum CellFlag : uint16_t {
        kReadOnly = 0x2,
        kChanged = 0x4,
        kAlignRight = 0x8,
        kAlignHCenter = 0x10,
        kAlignBottom = 0x20,
        kAlignVCenter = 0x40,
        kOwnAlignment = 0x80,
    };

    /// Colour table indices.
    enum ColorIndex {
        kTitleText = 0,
        kReadOnlyBackground = 1,
        kEditableBackground = 2,
        kCellText = 3,
        kHeaderHighlight = 5,
        kBorder = 7,
        kHeaderBackground = 8,
        kChangedText = 9,
        kMarkedBackground = 10,
        kColorCount = 11,
    };

    /// Notification codes.
    enum Notification {
        kOutsideGrid = 3,
        kCurrentCellMoved = 5,
        kSelectionExtended = 6,
        kEditStarted = 8,
        kDeletePressed = 9,
        kEditEnded = 10,
        kFunctionKey1 = 11,
        kFocusGained = 23,
        kFocusLost = 24,
        kCellClicked = 25,
        kCellTextSet = 26,
    };

    static uint32_t Address(int row, int column) {
        return (static_cast<uint32_t>(column) << 16) | (static_cast<uint32_t>(row) & 0xFFFFu);
    }
    static int RowOf(uint32_t address) { return static_cast<int>(address & 0xFFFFu); }
    static int ColumnOf(uint32_t address) { return static_cast<int>(address >> 16); }

    explicit MMGridControl(QWidget* parent = nullptr);
    ~MMGridControl() override;

    // Style. Adding 0 clears every bit.
    void AddStyle(uint32_t bits, bool redraw);
    void RemoveStyle(uint32_t bits, bool redraw);
    uint32_t style() const { return style_; }

    // Cells. Outside the grid: refused, with notification 3.
    void SetCellText(int row, int column, const QString& text);
    /// 1 with the text (an empty cell gives ""), 0 outside the grid.
    int GetCellText(int row, int column, QString& text);
    QString CellText(int row, int column) const;
    int CellTextLength(int row, int column) const;
    /// The text a cell shows: its own, a row number, column letters, or the text being edited.
    QString ShownText(int row, int column) const;
    /// Every text empty, only the header row left, current row and first visible cell at 1.
    void Clear();
    /// Data rows and columns (cut to 32000 and 256); kept widths and heights stay.
    void SetSize(int rows, int columns);
    int dataRowCount() const { return rows_ - 1; }
    int dataColumnCount() const { return columns_ - 1; }
    /// 2 for a number, 1 for text, 0 outside the grid.
    int ClassifyCellText(int row, int column);
    static int ClassifyText(const QString& text);
    /// -1 outside the grid, else 1.
    int SetReadOnly(int row, int column, bool on);
    bool IsReadOnly(int row, int column) const;
    bool IsChanged(int row, int column) const;
    void SetChanged(int row, int column, bool on);
    void ClearChanged(bool redraw);
    void SetCellTextColor(int row, int column, const QColor& color);
    QColor CellTextColor(int row, int column) const;
    void SetCellBackground(int row, int column, const QColor& color);
    QColor CellBackground(int row, int column) const;
    /// 0 back to the default; else 2 centre vertically, 4 bottom, 16 centre horizontally, 32
    /// right.
    void SetCellAlignment(int row, int column, int alignment);
    int CellAlignment(int row, int column) const;

    // Selection.
    void SelectCell(int row, int column);
    int currentRow() const { return current_row_; }
    int currentColumn() const { return current_column_; }
    /// Packed anchor and current cell; returns 1.
    int GetSelection(uint32_t* anchor, uint32_t* current) const;
    void SetSelection(uint32_t anchor, uint32_t current);
    /// The marked range, painted in the marked colour; first > last marks nothing.
    void SetMarkedRange(uint32_t first, uint32_t last);
    bool IsMarked(int row, int column) const;
    bool IsSelected(int row, int column) const;

    // Layout.
    void SetColumnWidth(int column, int pixels);
    int ColumnWidth(int column) const;
    void SetRowHeight(int row, int pixels);
    int RowHeight(int row) const;
    void SetTitleBarHeight(int pixels);
    void SetTitle(const QString& title);
    QString title() const { return title_; }
    void SetTitleFont(const QFont& font);
    void SetHeaderFont(const QFont& font);
    void SetCellFont(const QFont& font);
    /// Suspends (false) or resumes (true) drawing.
    void SetRedraw(bool on);
    void RedrawNow();
    /// The pixel rectangle of a cell as drawn now (empty when it is not on screen).
    QRect CellRect(int row, int column) const;
    int firstVisibleRow() const { return first_row_; }
    int firstVisibleColumn() const { return first_column_; }

    // Colours.
    void SetColor(int index, const QColor& color);
    QColor Color(int index) const;

    // Editing and the clipboard.
    void CopySelection();
    void Paste();
    bool modified() const { return modified_; }
    void SetModified(bool on) { modified_ = on; }
    bool editing() const { return editing_; }
    void CommitEdit();
    void CancelEdit();

    QSize sizeHint() const override { return {400, 300}; }

  signals:
    /// Every notification as (code, lParam), besides the named signals below.
    void notified(int code, uint32_t lparam);
    void outsideGrid();
    void currentCellMoved(uint32_t address);
    void selectionExtended(uint32_t address);
    void editStarted(uint32_t address);
    void deletePressed(uint32_t address);
    void editEnded(uint32_t address);
    /// F1 to F12 as 1 to 12.
    void functionKey(int number, uint32_t address);
    void focusGained(uint32_t address);
    void focusLost(uint32_t address);
    void cellClicked(uint32_t address);
    void cellTextSet(uint32_t address);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; }

  private:
    struct Cell {
        QRgb text_color = qRgb(0, 0, 0);
        QRgb background = qRgb(255, 255, 255);
        QString text;
        uint16_t flags = 0;
    };
    struct Painter;

    bool Inside(int row, int column) const;
    bool InsideOrNotify(int row, int column);
    Cell& At(int row, int column) { return cells_[static_cast<size_t>(row)][column]; }
    const Cell& At(int row, int column) const { return cells_[static_cast<size_t>(row)][column]; }
    void Notify(int code, uint32_t lparam);
    void NotifyCurrent(int code) { Notify(code, Address(current_row_, current_column_)); }
    void Resize(int rows, int columns);
    void GrowToFit(int row, int column);
    void Relayout();
    void RepaintCell(int row, int column);
    void Repaint();
    int DataAreaWidth() const;
    int DataAreaHeight() const;
    int LastFirstRow(int height) const;
    int LastFirstColumn(int width) const;
    int ColumnX(int column) const;
    int RowY(int row) const;
    int VisibleWidth(int column) const;
    /// The cell under a point: row and column, -1 where there is none.
    std::pair<int, int> HitTest(QPoint point) const;
    int ColumnBorderAt(QPoint point) const;
    int RowBorderAt(QPoint point) const;
    void MoveCurrent(int row, int column, bool extend);
    void ScrollIntoView(int row, int column);
    void StartEdit(const QString& text);
    QColor Background(int row, int column) const;
    void AutoScroll();

    std::vector<std::vector<Cell>> cells_;
    int rows_ = 11;
    int columns_ = 11;
    QString title_;
    int first_row_ = 1;
    int first_column_ = 1;
    int title_height_ = 0;
    QFont cell_font_;
    QFont header_font_;
    QFont title_font_;
    std::vector<int> widths_;
    std::vector<int> heights_;
    std::array<QColor, kColorCount> colors_;
    int anchor_row_ = 1;
    int anchor_column_ = 1;
    int current_row_ = 1;
    int current_column_ = 1;
    int mark_first_row_ = 1;
    int mark_first_column_ = 1;
    int mark_last_row_ = 0;
    int mark_last_column_ = 0;
    uint32_t style_ = kDefaultStyle;
    bool modified_ = false;
    bool redraw_ = true;

    QScrollBar* hbar_;
    QScrollBar* vbar_;
    bool editing_ = false;
    QString edit_text_;
    bool selecting_ = false;
    QPoint last_mouse_;
    QTimer scroll_timer_;
    int drag_column_ = -1;
    int drag_row_ = -1;
    int drag_start_ = 0;
    int drag_start_size_ = 0;
    bool suspended_partial_ = false;
};

}  // namespace korvit::controls
