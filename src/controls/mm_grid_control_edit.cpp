// In-place editing and clipboard copy and paste of the grid.
#include <QClipboard>
#include <QGuiApplication>

#include "controls/mm_grid_control.h"

namespace korvit::controls {

// --- clipboard -----------------------------------------------------------------------------

void MMGridControl::CopySelection() {
    CommitEdit();
    QString text;
    for (int r = std::min(anchor_row_, current_row_); r <= std::max(anchor_row_, current_row_);
         ++r) {
        for (int c = std::min(anchor_column_, current_column_);
             c <= std::max(anchor_column_, current_column_); ++c) {
            text += CellText(r, c) + '\t';
        }
        text += "\r\n";
    }
    QGuiApplication::clipboard()->setText(text);
}

void MMGridControl::Paste() {
    if (!(style_ & kEditable)) return;
    CommitEdit();
    const QString text = QGuiApplication::clipboard()->text();
    if (text.isEmpty()) return;
    QStringList lines = text.split('\n');
    if (lines.size() > 1 && lines.back().isEmpty()) lines.removeLast();  // text ends with a line
    const int rows = static_cast<int>(lines.size());
    // A tab that ends a line only terminates its cell (as a copy writes them): it starts no
    // column, so that a copied block pastes back at its own size.
    int tabs = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\t') continue;
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar('\n');
        tabs += next != '\r' && next != '\n';
    }
    const int columns = tabs / rows + 1;
    const int top = std::min(anchor_row_, current_row_);
    const int left = std::min(anchor_column_, current_column_);
    if (top + rows > rows_ || left + columns > columns_) return;  // does not fit: dropped
    for (int r = 0; r < rows; ++r) {
        QString line = lines[r];
        if (line.endsWith('\r')) line.chop(1);
        const QStringList cells = line.split('\t');
        for (int c = 0; c < columns; ++c) {
            const QString value = c < cells.size() ? cells[c] : QString();
            Cell& cell = At(top + r, left + c);
            if (cell.text != value) {
                cell.text = value;
                cell.flags |= kChanged;
                modified_ = true;
            }
        }
    }
    anchor_row_ = top;
    anchor_column_ = left;
    current_row_ = top + rows - 1;
    current_column_ = left + columns - 1;
    Repaint();
}

// --- editing -------------------------------------------------------------------------------

void MMGridControl::StartEdit(const QString& text) {
    editing_ = true;
    edit_text_ = text;
    NotifyCurrent(kEditStarted);
    RepaintCell(current_row_, current_column_);
}

void MMGridControl::CommitEdit() {
    if (!editing_) return;
    editing_ = false;
    const int row = current_row_;
    const int column = current_column_;
    const QString old = CellText(row, column);
    SetCellText(row, column, edit_text_);
    if (old != edit_text_) {
        At(row, column).flags |= kChanged;
        modified_ = true;
    }
    RepaintCell(row, column);
    Notify(kEditEnded, Address(row, column));
}

void MMGridControl::CancelEdit() {
    if (!editing_) return;
    editing_ = false;
    RepaintCell(current_row_, current_column_);
    NotifyCurrent(kEditEnded);
}

}  // namespace korvit::controls
