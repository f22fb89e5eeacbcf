#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <optional>
#include <vector>

namespace korvit::controls {

/// The start-up splash: a picture with text items drawn over it, centred on the screen and
/// hidden again after a given time.
class MMSplash : public QWidget {
    Q_OBJECT
  public:
    MMSplash(QWidget* owner, const QPixmap& picture);

    /// Adds a text item with its top-left corner at `at` in picture coordinates; an item with the
    /// same id is replaced. Without a font the item is drawn in bold Arial 13.
    void SetTextItem(int id, const QString& text, QPoint at, std::optional<QFont> font,
                     const QColor& color);
    /// Centres on the screen, shows, and hides after `ms` milliseconds.
    void ShowFor(int ms);

    /// The picture with its text items, as the splash draws it.
    QPixmap Render() const;

    /// The program's own splash picture (420 x 131).
    static QPixmap DefaultPicture();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct TextItem {
        int id;
        QString text;
        QPoint at;
        std::optional<QFont> font;
        QColor color;
    };

    void Draw(QPainter& painter) const;

    QPixmap picture_;
    std::vector<TextItem> items_;
    QTimer hide_timer_;
};

}  // namespace korvit::controls
