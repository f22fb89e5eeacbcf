#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <array>
#include <cfloat>
#include <cstdint>
#include <memory>
#include <vector>

class QPainter;

namespace korvit::controls {

/// An alarm band on the dial's rim, from `start` to `end` in scale units.
struct GaugeZone {
    float start = 0.0f;
    float end = 0.0f;
    uint32_t color = 0;  // COLORREF
};

/// An analog dial in a 180-unit logical square: face, ticks and labels, scale arc, alarm
/// zones, needle, title, units, value and the lowest and highest values seen. A widget of the GUI
/// thread: a change schedules a repaint, which Qt merges.
class MMAnalogGauge : public QWidget {
    Q_OBJECT
  public:
    enum Style : uint32_t {
        kStyleValueText = 4,
        kStyleMax = 8,
        kStyleMin = 16,
        kStyleZones = 64,
        kStyleRound = 128,  // this bit or any above keeps the dial round
    };
    enum ColorSlot {
        kFace,
        kOutline,
        kNeedle,
        kTitle,
        kUnits,
        kBackground,
        kLabels,
        kMajorTicks,
        kMinorTicks,
        kValueText
    };
    static constexpr int kLogicalSize = 180;

    explicit MMAnalogGauge(QWidget* parent = nullptr);
    ~MMAnalogGauge() override;

    void AddStyle(uint32_t bits, bool redraw);
    void ClearStyle(uint32_t bits, bool redraw);
    void SetColor(int slot, uint32_t colorref);
    /// The slot's COLORREF (0 for an unknown slot).
    uint32_t Color(int slot) const;
    void SetScale(float minimum, float maximum);
    /// Clamps the value to the scale, stores it and widens the lowest and highest values seen.
    /// A value that is not finite leaves the dial without a value (needle at rest, "----").
    void SetValue(float value, bool redraw);
    /// No value until the next SetValue: the needle rests at the scale's start, the value reads
    /// "----" and the lowest and highest values seen start again. A new dial starts this way.
    void ClearValue();
    bool hasValue() const;
    /// The value truncated to an integer.
    int IntValue() const;
    void SetAngles(float start, float end);
    void ResetLowest();
    void ResetHighest();
    void SetTitle(const QString& text);
    void SetUnits(const QString& text);
    void SetDigits(int digits);
    /// Replaces the zone at index, appends when index is not below the count (returns the new
    /// index), or inserts in front for -1 (returns 0).
    int SetZone(int index, const GaugeZone& zone);
    /// Copies the zone out; false when there is none at index.
    bool Zone(int index, GaugeZone& out) const;
    void RemoveZones();

    float value() const;
    float lowest() const;
    float highest() const;
    float minimum() const;
    float maximum() const;
    uint32_t style() const;
    QString title() const;
    QString units() const;
    int digits() const;
    int zoneCount() const;
    /// The dial angle of a value in degrees, clockwise on screen from 3 o'clock.
    float AngleOf(float value) const;

  signals:
    void rightClicked(const QPoint& pos);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    struct Look;
    static void DrawFace(QPainter& p, const Look& look);
    static void DrawReadings(QPainter& p, const Look& look);
    static bool SameFace(const Look& a, const Look& b);

    uint32_t style_ = 95;
    float start_angle_ = 40.0f;
    float end_angle_ = 300.0f;
    float minimum_ = 0.0f;
    float maximum_ = 150.0f;
    std::array<uint32_t, 10> colors_{0xF0F0F0, 0x000000, 0x0050FA, 0x000000, 0x000000,
                                     0xFFFFFF, 0x000000, 0x000000, 0xFF0000, 0xFF0000};
    int digits_ = 2;
    float value_ = 0.0f;
    bool has_value_ = false;
    float lowest_ = FLT_MAX;
    float highest_ = -FLT_MAX;
    QString title_;
    QString units_;
    int major_ticks_ = 11;
    int minor_divisions_ = 5;
    std::vector<GaugeZone> zones_;
    QImage face_;
    std::unique_ptr<Look> face_look_;  // what face_ was drawn from
};

}  // namespace korvit::controls
