#pragma once

#include <QString>
#include <QTabWidget>

namespace korvit::controls {

/// The page container of the main window: tabs along the bottom edge, one page shown at a time.
/// Selecting a tab shows its page, gives it the focus and takes the tab's text as window title.
class MMTabSheet : public QTabWidget {
    Q_OBJECT
  public:
    explicit MMTabSheet(QWidget* parent = nullptr);

    /// Adds a page at `position` (-1: at the end); the first page added is shown. Returns its
    /// index. A page destroyed elsewhere takes its tab with it.
    int AddPage(QWidget* page, const QString& text, int position = -1);
    void Select(int index) { setCurrentIndex(index); }
    /// The index of the tab with exactly this text, or -1.
    int IndexOf(const QString& text) const;

    QSize minimumSizeHint() const override;

  private:
    void OnSelected(int index);
};

}  // namespace korvit::controls
