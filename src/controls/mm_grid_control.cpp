// The grid's cell table, its operations and its layout; painting and input are in the files
// beside this one.
#include "controls/mm_grid_control.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPalette>
#include <QScrollBar>
#include <algorithm>

namespace korvit::controls {
namespace {

QFont ArialFont(int weight) {
    QFont font("Arial");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(14);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

}  // namespace

MMGridControl::MMGridControl(QWidget* parent)
    : QWidget(parent),
      cell_font_(ArialFont(100)),
      header_font_(ArialFont(400)),
      title_font_(ArialFont(600)),
      hbar_(new QScrollBar(Qt::Horizontal, this)),
      vbar_(new QScrollBar(Qt::Vertical, this)) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    colors_ = {QColor(0, 0, 0),
               QColor(230, 230, 230),
               QColor(255, 255, 255),
               QColor(0, 0, 0),
               QColor(255, 255, 255),
               QColor(248, 238, 158),
               QColor(255, 255, 255),
               QColor(220, 220, 220),
               QGuiApplication::palette().color(QPalette::Button),
               QColor(255, 0, 0),
               QColor(255, 255, 0)};
    Resize(rows_, columns_);
    hbar_->hide();
    vbar_->hide();
    connect(hbar_, &QScrollBar::valueChanged, this, [this](int v) {
        first_column_ = std::clamp(v, 1, std::max(1, columns_ - 1));
        Repaint();
    });
    connect(vbar_, &QScrollBar::valueChanged, this, [this](int v) {
        first_row_ = std::clamp(v, 1, std::max(1, rows_ - 1));
        Repaint();
    });
    scroll_timer_.setInterval(10);
    connect(&scroll_timer_, &QTimer::timeout, this, &MMGridControl::AutoScroll);
}

MMGridControl::~MMGridControl() = default;

void MMGridControl::Notify(int code, uint32_t lparam) {
    emit notified(code, lparam);
    switch (code) {
        case kOutsideGrid:
            emit outsideGrid();
            break;
        case kCurrentCellMoved:
            emit currentCellMoved(lparam);
            break;
        case kSelectionExtended:
            emit selectionExtended(lparam);
            break;
        case kEditStarted:
            emit editStarted(lparam);
            break;
        case kDeletePressed:
            emit deletePressed(lparam);
            break;
        case kEditEnded:
            emit editEnded(lparam);
            break;
        case kFocusGained:
            emit focusGained(lparam);
            break;
        case kFocusLost:
            emit focusLost(lparam);
            break;
        case kCellClicked:
            emit cellClicked(lparam);
            break;
        case kCellTextSet:
            emit cellTextSet(lparam);
            break;
        default:
            if (code >= kFunctionKey1 && code < kFunctionKey1 + 12) {
                emit functionKey(code - kFunctionKey1 + 1, lparam);
            }
            break;
    }
}

// --- style ---------------------------------------------------------------------------------

void MMGridControl::AddStyle(uint32_t bits, bool redraw) {
    style_ = bits == 0 ? 0 : style_ | bits;
    Relayout();
    if (redraw) RedrawNow();
}

void MMGridControl::RemoveStyle(uint32_t bits, bool redraw) {
    style_ &= ~bits;
    Relayout();
    if (redraw) RedrawNow();
}

// --- cells ---------------------------------------------------------------------------------

bool MMGridControl::Inside(int row, int column) const {
    return row >= 0 && column >= 0 && row < rows_ && column < columns_;
}

bool MMGridControl::InsideOrNotify(int row, int column) {
    if (Inside(row, column)) return true;
    Notify(kOutsideGrid, 0);
    return false;
}

void MMGridControl::SetCellText(int row, int column, const QString& text) {
    if (!InsideOrNotify(row, column)) return;
    At(row, column).text = text;
    if ((style_ & kGrowToFit) && !text.isEmpty()) GrowToFit(row, column);
    RepaintCell(row, column);
    Notify(kCellTextSet, Address(row, column));
}

void MMGridControl::GrowToFit(int row, int column) {
    const QString& text = At(row, column).text;
    const QFontMetrics metrics(row == 0 ? header_font_ : cell_font_);
    const QStringList lines = text.split('\n');
    int widest = 0;
    for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
    const bool one_line = (style_ & kEllipsis) && row != 0;
    const int line_count = one_line ? 1 : static_cast<int>(lines.size());
    const int width = widest + 5;
    const int height = line_count * metrics.height() + 5;
    bool grew = false;
    if (widths_[column] < width) widths_[column] = width, grew = true;
    if (heights_[row] < height) heights_[row] = height, grew = true;
    if (grew) {
        Relayout();
        Repaint();
    }
}

int MMGridControl::GetCellText(int row, int column, QString& text) {
    if (!InsideOrNotify(row, column)) return 0;
    text = At(row, column).text;
    return 1;
}

QString MMGridControl::CellText(int row, int column) const {
    return Inside(row, column) ? At(row, column).text : QString();
}

int MMGridControl::CellTextLength(int row, int column) const {
    return Inside(row, column) ? static_cast<int>(At(row, column).text.size()) : 0;
}

void MMGridControl::Clear() {
    CancelEdit();
    for (auto& row : cells_) {
        for (Cell& cell : row) cell.text.clear();
    }
    Resize(1, columns_);
    current_row_ = anchor_row_ = 1;
    first_row_ = first_column_ = 1;
    Relayout();
    Repaint();
}

void MMGridControl::SetSize(int rows, int columns) {
    CommitEdit();
    rows = std::clamp(rows, 0, kMaxRows);
    columns = std::clamp(columns, 0, kMaxColumns);
    Resize(rows + 1, columns + 1);
    Relayout();
    Repaint();
}

void MMGridControl::Resize(int rows, int columns) {
    rows_ = rows;
    columns_ = columns;
    cells_.resize(static_cast<size_t>(rows));
    for (auto& row : cells_) row.resize(static_cast<size_t>(columns));
    widths_.resize(static_cast<size_t>(columns), kNewColumnWidth);
    heights_.resize(static_cast<size_t>(rows), kNewRowHeight);
    const int last_row = std::max(1, rows_ - 1);
    const int last_column = std::max(1, columns_ - 1);
    current_row_ = std::min(current_row_, last_row);
    current_column_ = std::min(current_column_, last_column);
    anchor_row_ = std::min(anchor_row_, last_row);
    anchor_column_ = std::min(anchor_column_, last_column);
    first_row_ = std::min(first_row_, last_row);
    first_column_ = std::min(first_column_, last_column);
}

int MMGridControl::ClassifyText(const QString& input) {
    const QString text = input.left(511).toUpper();
    int i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    if (i == text.size()) return 1;
    const int start = i;
    bool digit = false;
    int dots = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isDigit()) {
            digit = true;
        } else if (c == '.') {
            if (++dots > 1) return 1;
        } else if (c == '+' || c == '-') {
            if (i != start) return 1;
        } else {
            return 1;  // letters, inner white space and anything else make it text
        }
    }
    return digit ? 2 : 1;
}

int MMGridControl::ClassifyCellText(int row, int column) {
    if (!InsideOrNotify(row, column)) return 0;
    return ClassifyText(At(row, column).text);
}

int MMGridControl::SetReadOnly(int row, int column, bool on) {
    if (!InsideOrNotify(row, column)) return -1;
    uint16_t& flags = At(row, column).flags;
    flags = on ? flags | kReadOnly : flags & ~kReadOnly;
    RepaintCell(row, column);
    return 1;
}

bool MMGridControl::IsReadOnly(int row, int column) const {
    return Inside(row, column) && (At(row, column).flags & kReadOnly);
}

bool MMGridControl::IsChanged(int row, int column) const {
    return Inside(row, column) && (At(row, column).flags & kChanged);
}

void MMGridControl::SetChanged(int row, int column, bool on) {
    if (!InsideOrNotify(row, column)) return;
    uint16_t& flags = At(row, column).flags;
    flags = on ? flags | kChanged : flags & ~kChanged;
    RepaintCell(row, column);
}

void MMGridControl::ClearChanged(bool redraw) {
    for (auto& row : cells_) {
        for (Cell& cell : row) cell.flags &= ~kChanged;
    }
    if (redraw) RedrawNow();
}

void MMGridControl::SetCellTextColor(int row, int column, const QColor& color) {
    if (!InsideOrNotify(row, column)) return;
    At(row, column).text_color = color.rgb();
    RepaintCell(row, column);
}

QColor MMGridControl::CellTextColor(int row, int column) const {
    return Inside(row, column) ? QColor(At(row, column).text_color) : QColor();
}

void MMGridControl::SetCellBackground(int row, int column, const QColor& color) {
    if (!InsideOrNotify(row, column)) return;
    At(row, column).background = color.rgb();
    RepaintCell(row, column);
}

QColor MMGridControl::CellBackground(int row, int column) const {
    return Inside(row, column) ? QColor(At(row, column).background) : QColor();
}

void MMGridControl::SetCellAlignment(int row, int column, int alignment) {
    if (!InsideOrNotify(row, column)) return;
    uint16_t& flags = At(row, column).flags;
    flags &= ~(kOwnAlignment | kAlignRight | kAlignHCenter | kAlignBottom | kAlignVCenter);
    if (alignment != 0) {
        flags |= kOwnAlignment;
        if (alignment & 2) flags |= kAlignVCenter;
        if (alignment & 4) flags |= kAlignBottom;
        if (alignment & 16) flags |= kAlignHCenter;
        if (alignment & 32) flags |= kAlignRight;
    }
    RepaintCell(row, column);
}

int MMGridControl::CellAlignment(int row, int column) const {
    if (!Inside(row, column)) return 0;
    const uint16_t flags = At(row, column).flags;
    if (!(flags & kOwnAlignment)) return 0;
    return ((flags & kAlignVCenter) ? 2 : 0) | ((flags & kAlignBottom) ? 4 : 0) |
           ((flags & kAlignHCenter) ? 16 : 0) | ((flags & kAlignRight) ? 32 : 0);
}

// --- selection -----------------------------------------------------------------------------

void MMGridControl::SelectCell(int row, int column) {
    if (row < 1 || column < 1 || row >= rows_ || column >= columns_) return;
    CommitEdit();
    anchor_row_ = current_row_ = row;
    anchor_column_ = current_column_ = column;
    ScrollIntoView(row, column);
    Repaint();
}

int MMGridControl::GetSelection(uint32_t* anchor, uint32_t* current) const {
    if (anchor != nullptr) *anchor = Address(anchor_row_, anchor_column_);
    if (current != nullptr) *current = Address(current_row_, current_column_);
    return 1;
}

void MMGridControl::SetSelection(uint32_t anchor, uint32_t current) {
    const auto fit = [](int v, int count) { return std::clamp(v, 1, std::max(1, count - 1)); };
    anchor_row_ = fit(RowOf(anchor), rows_);
    anchor_column_ = fit(ColumnOf(anchor), columns_);
    current_row_ = fit(RowOf(current), rows_);
    current_column_ = fit(ColumnOf(current), columns_);
    Repaint();
}

void MMGridControl::SetMarkedRange(uint32_t first, uint32_t last) {
    const bool single_old =
        mark_first_row_ == mark_last_row_ && mark_first_column_ == mark_last_column_;
    const int old_row = mark_first_row_;
    const int old_column = mark_first_column_;
    mark_first_row_ = RowOf(first);
    mark_first_column_ = ColumnOf(first);
    mark_last_row_ = RowOf(last);
    mark_last_column_ = ColumnOf(last);
    const bool single_new = first == last;
    // Moving a one-cell mark (the histogram's feed) repaints the two cells alone.
    if (single_old && single_new) {
        RepaintCell(old_row, old_column);
        RepaintCell(mark_first_row_, mark_first_column_);
    } else {
        Repaint();
    }
}

bool MMGridControl::IsMarked(int row, int column) const {
    return row >= mark_first_row_ && row <= mark_last_row_ && column >= mark_first_column_ &&
           column <= mark_last_column_;
}

bool MMGridControl::IsSelected(int row, int column) const {
    return row >= std::min(anchor_row_, current_row_) &&
           row <= std::max(anchor_row_, current_row_) &&
           column >= std::min(anchor_column_, current_column_) &&
           column <= std::max(anchor_column_, current_column_);
}

// --- layout --------------------------------------------------------------------------------

void MMGridControl::SetColumnWidth(int column, int pixels) {
    if (!InsideOrNotify(0, column)) return;
    widths_[column] = std::clamp(pixels, 0, 0x7FFF);
    Relayout();
    Repaint();
}

int MMGridControl::ColumnWidth(int column) const {
    return column >= 0 && column < columns_ ? widths_[column] : 0;
}

void MMGridControl::SetRowHeight(int row, int pixels) {
    if (!InsideOrNotify(row, 0)) return;
    heights_[row] = std::clamp(pixels, 0, 0x7FFF);
    Relayout();
    Repaint();
}

int MMGridControl::RowHeight(int row) const {
    return row >= 0 && row < rows_ ? heights_[row] : 0;
}

void MMGridControl::SetTitleBarHeight(int pixels) {
    title_height_ = std::clamp(pixels, 0, 0x7FFF);
    Relayout();
    Repaint();
}

void MMGridControl::SetTitle(const QString& title) {
    title_ = title;
    if (title_height_ > 0) update(0, 0, width(), title_height_);
}

void MMGridControl::SetTitleFont(const QFont& font) {
    title_font_ = font;
    Repaint();
}

void MMGridControl::SetHeaderFont(const QFont& font) {
    header_font_ = font;
    Repaint();
}

void MMGridControl::SetCellFont(const QFont& font) {
    cell_font_ = font;
    Repaint();
}

void MMGridControl::SetRedraw(bool on) {
    redraw_ = on;
    if (on) Repaint();
}

void MMGridControl::RedrawNow() {
    if (!redraw_) return;
    update();
    if (isVisible()) repaint();
}

void MMGridControl::Repaint() {
    if (redraw_) update();
}

void MMGridControl::RepaintCell(int row, int column) {
    if (!redraw_) return;
    const QRect rect = CellRect(row, column);
    if (!rect.isEmpty()) update(rect);
}

void MMGridControl::SetColor(int index, const QColor& color) {
    if (index < 0 || index >= kColorCount) return;
    colors_[static_cast<size_t>(index)] = color;
    Repaint();
}

QColor MMGridControl::Color(int index) const {
    return index >= 0 && index < kColorCount ? colors_[static_cast<size_t>(index)] : QColor();
}

int MMGridControl::DataAreaWidth() const {
    return width() - (vbar_->isVisible() ? vbar_->sizeHint().width() : 0);
}

int MMGridControl::DataAreaHeight() const {
    return height() - (hbar_->isVisible() ? hbar_->sizeHint().height() : 0);
}

int MMGridControl::ColumnX(int column) const {
    if (column == 0) return 0;
    if (column < first_column_) return -1;
    int x = widths_[0];
    for (int c = first_column_; c < column; ++c) x += widths_[c];
    return x;
}

int MMGridControl::RowY(int row) const {
    if (row == 0) return title_height_;
    if (row < first_row_) return -1;
    int y = title_height_ + heights_[0];
    for (int r = first_row_; r < row; ++r) y += heights_[r];
    return y;
}

int MMGridControl::VisibleWidth(int column) const {
    const int w = widths_[column];
    if ((style_ & kStretchLastColumn) && column == columns_ - 1 && column > 0 && w > 0) {
        const int x = ColumnX(column);
        return std::max(w, DataAreaWidth() - x);
    }
    return w;
}

QRect MMGridControl::CellRect(int row, int column) const {
    if (!Inside(row, column)) return {};
    const int x = ColumnX(column);
    const int y = RowY(row);
    if (x < 0 || y < 0 || x >= width() || y >= height()) return {};
    return QRect(x, y, VisibleWidth(column), heights_[row]);
}

std::pair<int, int> MMGridControl::HitTest(QPoint point) const {
    int row = -1;
    int column = -1;
    int y = title_height_;
    if (point.y() >= y && point.y() < y + heights_[0]) row = 0;
    y += heights_[0];
    for (int r = first_row_; row < 0 && r < rows_ && y <= point.y(); ++r) {
        if (point.y() < y + heights_[r]) row = r;
        y += heights_[r];
    }
    int x = 0;
    if (point.x() >= 0 && point.x() < widths_[0]) column = 0;
    x += widths_[0];
    for (int c = first_column_; column < 0 && c < columns_ && x <= point.x(); ++c) {
        if (point.x() < x + VisibleWidth(c)) column = c;
        x += widths_[c];
    }
    return {row, column};
}

int MMGridControl::LastFirstRow(int height) const {
    int room = height - title_height_ - heights_[0];
    int first = rows_ - 1;
    while (first > 1 && room - heights_[first] >= heights_[first - 1]) room -= heights_[first--];
    return std::max(1, first);
}

int MMGridControl::LastFirstColumn(int width) const {
    int room = width - widths_[0];
    int first = columns_ - 1;
    while (first > 1 && room - widths_[first] >= widths_[first - 1]) room -= widths_[first--];
    return std::max(1, first);
}

void MMGridControl::Relayout() {
    int total_width = 0;
    for (int w : widths_) total_width += w;
    int total_height = title_height_;
    for (int h : heights_) total_height += h;
    const int bar_w = vbar_->sizeHint().width();
    const int bar_h = hbar_->sizeHint().height();
    bool need_v = !(style_ & kNoVerticalScrollBar) && total_height > height();
    bool need_h =
        !(style_ & kNoHorizontalScrollBar) && total_width > width() - (need_v ? bar_w : 0);
    if (!need_v && need_h && !(style_ & kNoVerticalScrollBar))
        need_v = total_height > height() - bar_h;
    vbar_->setVisible(need_v);
    hbar_->setVisible(need_h);
    const int w = width() - (need_v ? bar_w : 0);
    const int h = height() - (need_h ? bar_h : 0);
    vbar_->setGeometry(w, 0, bar_w, h);
    hbar_->setGeometry(0, h, w, bar_h);
    const int max_row = need_v ? LastFirstRow(h) : 1;
    const int max_column = need_h ? LastFirstColumn(w) : 1;
    first_row_ = std::clamp(first_row_, 1, max_row);
    first_column_ = std::clamp(first_column_, 1, max_column);
    const QSignalBlocker block_v(vbar_);
    const QSignalBlocker block_h(hbar_);
    vbar_->setRange(1, max_row);
    vbar_->setPageStep(std::max(1, (h - title_height_ - heights_[0]) / kNewRowHeight));
    vbar_->setValue(first_row_);
    hbar_->setRange(1, max_column);
    hbar_->setPageStep(std::max(1, (w - widths_[0]) / kNewColumnWidth));
    hbar_->setValue(first_column_);
}

void MMGridControl::resizeEvent(QResizeEvent*) {
    Relayout();
}

void MMGridControl::ScrollIntoView(int row, int column) {
    if (row >= 1 && row < rows_) {
        if (row < first_row_) {
            first_row_ = row;
        } else {
            // Move the first visible row down until the row's bottom edge is on screen.
            while (first_row_ < row && RowY(row) + heights_[row] > DataAreaHeight()) ++first_row_;
        }
    }
    if (column >= 1 && column < columns_) {
        if (column < first_column_) {
            first_column_ = column;
        } else {
            while (first_column_ < column && ColumnX(column) + widths_[column] > DataAreaWidth())
                ++first_column_;
        }
    }
    Relayout();
    Repaint();
}

}  // namespace korvit::controls
