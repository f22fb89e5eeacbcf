#pragma once

#include <QColor>
#include <QWidget>
#include <array>
#include <cstdint>

namespace korvit::controls {

/// A digital readout: title, value and units in a 100 x 100 logical box. The value text takes
/// an alarm colour when it reaches an enabled limit (the limits themselves count as alarm).
/// A widget of the GUI thread: a change schedules a repaint, which Qt merges.
class MMDigitalGaugeReadout : public QWidget {
    Q_OBJECT
  public:
    enum ColorSlot { kFrame, kTitle, kUnits, kNormalValue, kHighAlarm, kLowAlarm, kBackground };
    static constexpr uint32_t kStyleFrame = 32;
    static constexpr size_t kTitleCapacity = 80;
    static constexpr size_t kUnitsCapacity = 50;
    static constexpr size_t kValueTextCapacity = 25;

    explicit MMDigitalGaugeReadout(QWidget* parent = nullptr);

    void SetTitle(const QString& text);
    void SetUnits(const QString& text);
    /// Decimal flag (1 "%.*f", 0 integer) and digits; -1 leaves either as it is.
    void SetNumberFormat(int decimal, int digits);
    void SetColor(int slot, uint32_t colorref);
    void SetAlarmLow(float limit);
    void SetAlarmHigh(float limit);
    void EnableHighAlarm(bool on);
    void EnableLowAlarm(bool on);
    /// Stores the value, picks its colour and formats its text; repaints only when the value
    /// changed. Returns the previous value. A value that is not finite shows as "----".
    float SetValue(float value);
    /// Shows no value ("----" in the normal colour) until the next SetValue: before the first
    /// reply of a scan or log. A new readout starts this way.
    void ClearValue();
    /// False before the first value, after ClearValue and while the value is not finite.
    bool hasValue() const;
    void SetAutoSize(bool on);

    float value() const;
    QString title() const;
    QString units() const;
    QString valueText() const;
    QColor valueColor() const;
    int valueFontHeight() const;

    /// True once after a change that needs painting; the owner then calls update().
  signals:
    /// A right-click at the position (widget coordinates).
    void rightClicked(const QPoint& pos);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void PickColorAndText();

    QString title_;
    QString units_;
    std::array<char, kValueTextCapacity> text_{};
    uint32_t style_ = 33;
    std::array<QColor, 7> colors_;
    QColor current_;
    int title_height_ = 10;
    int value_height_ = 34;
    int units_height_ = 10;
    uint32_t decimal_ = 1;
    uint32_t digits_ = 2;
    uint32_t auto_size_ = 1;
    size_t last_length_ = 0;
    float value_ = 0.0f;
    bool has_value_ = false;
    float alarm_low_ = -1.0f;
    float alarm_high_ = 256.0f;
    bool low_enabled_ = false;
    bool high_enabled_ = false;
};

}  // namespace korvit::controls
