#include "controls/mm_tab_sheet.h"

#include <QTabBar>

namespace korvit::controls {

MMTabSheet::MMTabSheet(QWidget* parent) : QTabWidget(parent) {
    setTabPosition(QTabWidget::South);
    setFocusPolicy(Qt::NoFocus);
    tabBar()->setFocusPolicy(Qt::NoFocus);
    QFont f("Arial");
    f.setPixelSize(14);
    f.setWeight(QFont::Normal);
    tabBar()->setFont(f);
    connect(this, &QTabWidget::currentChanged, this, &MMTabSheet::OnSelected);
}

int MMTabSheet::AddPage(QWidget* page, const QString& text, int position) {
    int index = insertTab(position < 0 ? count() : position, page, text);
    if (count() == 1) OnSelected(index);
    return index;
}

int MMTabSheet::IndexOf(const QString& text) const {
    for (int i = 0; i < count(); ++i) {
        if (tabText(i) == text) return i;
    }
    return -1;
}

QSize MMTabSheet::minimumSizeHint() const {
    QSize s = QTabWidget::minimumSizeHint();
    return {s.width(), std::max(s.height(), 60)};
}

void MMTabSheet::OnSelected(int index) {
    if (index < 0) return;
    setWindowTitle(tabText(index));
    if (QWidget* page = widget(index)) page->setFocus();
}

}  // namespace korvit::controls
