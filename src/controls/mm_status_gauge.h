#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <cstdint>

namespace korvit::controls {

/// A two-state indicator: a title and the true or false text on its own background, in a
/// 100 x 100 logical box. A widget of the GUI thread: a change schedules a repaint, which Qt
/// merges.
class MMStatusGauge : public QWidget {
    Q_OBJECT
  public:
    explicit MMStatusGauge(QWidget* parent = nullptr);

    /// Adds style bits (0 clears them all).
    void AddStyle(uint32_t bits, bool redraw);
    void ClearStyle(uint32_t bits, bool redraw);
    /// 1 shows the true text in the true colours; anything else uses the false colours.
    void SetState(uint32_t state, bool redraw);
    /// No state until the next SetState: "----" on the face, neither state's colours. A new
    /// indicator starts this way.
    void ClearState();
    bool hasState() const;
    void SetTitle(const QString& text);
    void SetTrueText(const QString& text);
    void SetFalseText(const QString& text);

    uint32_t style() const;
    uint32_t state() const;
    QString title() const;
    QString trueText() const;
    QString falseText() const;

  signals:
    void rightClicked(const QPoint& pos);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    uint32_t style_ = 1;
    QColor background_ = Qt::white;
    QColor title_color_ = Qt::black;
    QColor true_text_color_ = Qt::black;
    QColor false_text_color_ = Qt::black;
    QColor true_background_ = QColor(0, 255, 0);
    QColor false_background_ = QColor(255, 0, 0);
    uint32_t state_ = 0;
    bool has_state_ = false;
    QString title_;
    QString true_text_;
    QString false_text_;
};

}  // namespace korvit::controls
