#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <optional>

namespace korvit::controls {

/// The status line: one centred line of coloured text on a coloured field, with timed flashes
/// that show a message and then restore what was there.
class MMRichStatic : public QWidget {
    Q_OBJECT
  public:
    /// Longest text kept; longer text is cut.
    static constexpr int kMaxText = 259;

    explicit MMRichStatic(QWidget* parent = nullptr);

    /// During a flash the new text, and each colour below, are kept for after it.
    void SetText(const QString& text);
    QString text() const { return text_; }
    /// No colour means the system's button face. Returns the previous colour.
    std::optional<QColor> SetBackgroundColor(std::optional<QColor> color);
    QColor SetTextColor(const QColor& color);
    /// No colour draws no border.
    void SetBorderColor(std::optional<QColor> color);
    /// A default-constructed font goes back to the default font.
    void SetTextFont(const QFont& font);
    const QFont& textFont() const { return font_; }

    /// Shows the text and colours for `ms` milliseconds, then restores the previous ones. Ignored
    /// while a flash is showing.
    void Flash(const QString& text, const QColor& text_color, const QColor& background, int ms);
    bool flashing() const { return flashing_; }

    /// What is on screen now (the flash's values while one shows).
    QColor shownTextColor() const { return text_color_; }
    std::optional<QColor> shownBackground() const { return background_; }
    QString shownText() const { return text_; }

    QSize sizeHint() const override { return {130, 20}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void EndFlash();

    QString text_;
    QColor text_color_{Qt::black};
    std::optional<QColor> background_;
    std::optional<QColor> border_{QColor(Qt::black)};
    QFont default_font_;
    QFont font_;

    bool flashing_ = false;
    QString saved_text_;
    QColor saved_text_color_;
    std::optional<QColor> saved_background_;
    QTimer flash_timer_;
};

}  // namespace korvit::controls
