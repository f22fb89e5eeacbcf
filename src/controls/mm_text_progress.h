#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>
#include <optional>

#include "definition/progress.h"

namespace korvit::controls {

/// The rate line: a progress bar that also shows one line of text. The definition loader uses
/// it as its progress bar, so it takes the loader's progress interface as well.
class MMTextProgress : public QWidget, public definition::IProgress {
    Q_OBJECT
  public:
    static constexpr int kMaxText = 259;

    explicit MMTextProgress(QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString text() const { return text_; }
    const QFont& textFont() const { return font_; }

    void SetRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    /// Returns the previous position.
    int SetPos(int position);
    int pos() const { return position_; }
    void SetStep(int step) { step_ = step; }
    /// Advances by the step; past the maximum the bar wraps to the minimum. Returns the old
    /// position.
    int StepIt();

    void SetBarColor(const QColor& color);
    void SetBackgroundColor(std::optional<QColor> color);
    /// No colour draws the text in two colours: the background's over the bar, the bar's elsewhere.
    void SetTextColor(std::optional<QColor> color);
    void SetVertical(bool vertical);
    bool vertical() const { return vertical_; }

    // Loader progress.
    void SetRange(uint32_t maximum) override { SetRange(0, static_cast<int>(maximum)); }
    void Step() override;
    void SetPosition(uint32_t position) override { SetPos(static_cast<int>(position)); }

    QSize sizeHint() const override { return {130, 20}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
    std::optional<QColor> text_color_{QColor(Qt::black)};
    std::optional<QColor> background_;
    QColor bar_color_{0, 100, 210};
    bool vertical_ = false;
    int minimum_ = 0;
    int maximum_ = 255;
    int step_ = 1;
    int position_ = 0;
    QFont font_;
};

}  // namespace korvit::controls
