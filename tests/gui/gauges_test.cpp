// The three gauge controls, checked on their drawn pixels and their state.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

#include "controls/gauge_paint.h"
#include "controls/mm_analog_gauge.h"
#include "controls/mm_digital_gauge_readout.h"
#include "controls/mm_status_gauge.h"

using namespace korvit::controls;

namespace {

int CountColor(const QImage& image, const QColor& color, QRect area = {}) {
    if (area.isNull()) area = image.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) n += image.pixelColor(x, y) == color;
    }
    return n;
}

}  // namespace

TEST(GaugeColors, ColorRefHasRedInTheLowestByte) {
    EXPECT_EQ(FromColorRef(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(FromColorRef(0x00B4FA), QColor(250, 180, 0));
    EXPECT_EQ(FromColorRef(0x4080FF), QColor(255, 128, 64));
}

TEST(DigitalReadout, HighAlarmStartsAtTheLimitAndTheFontFollowsTheTextLength) {
    MMDigitalGaugeReadout readout;
    readout.resize(200, 200);
    readout.SetColor(MMDigitalGaugeReadout::kHighAlarm, 0x0000FF);
    readout.SetColor(MMDigitalGaugeReadout::kLowAlarm, 0x0080FF);
    readout.SetAlarmHigh(100.0f);
    readout.SetAlarmLow(10.0f);
    readout.EnableHighAlarm(true);
    readout.EnableLowAlarm(true);
    const QColor normal(100, 100, 255), high(255, 0, 0), low(255, 128, 0);

    EXPECT_EQ(readout.SetValue(99.9f), 0.0f);
    EXPECT_EQ(readout.valueColor(), normal);
    EXPECT_EQ(readout.SetValue(100.0f), 99.9f);
    EXPECT_EQ(readout.valueColor(), high);
    EXPECT_EQ(readout.valueText(), "100.00");
    QImage image = readout.grab().toImage();
    EXPECT_GT(CountColor(image, high), 50);
    EXPECT_EQ(CountColor(image, normal), 0);
    readout.SetValue(10.0f);
    EXPECT_EQ(readout.valueColor(), low);
    // Moving the limit re-tests the current value.
    readout.SetAlarmLow(5.0f);
    EXPECT_EQ(readout.valueColor(), normal);
    image = readout.grab().toImage();
    EXPECT_GT(CountColor(image, normal), 50);

    // Font height by text length: 5 characters give 40, 12 give 24.
    readout.SetNumberFormat(1, 2);
    readout.SetValue(12.5f);  // "12.50"
    EXPECT_EQ(readout.valueText().size(), 5);
    EXPECT_EQ(readout.valueFontHeight(), 40);
    readout.SetValue(123456789.0f);  // "123456792.00"
    EXPECT_EQ(readout.valueText().size(), 12);
    EXPECT_EQ(readout.valueFontHeight(), 24);
    // The integer format truncates and pads to the digits.
    readout.SetNumberFormat(0, 3);
    readout.SetValue(7.9f);
    EXPECT_EQ(readout.valueText(), "007");
    EXPECT_EQ(readout.valueFontHeight(), 50);
}

TEST(DigitalReadout, TitleAndFrameAreDrawnInTheirColours) {
    MMDigitalGaugeReadout readout;
    readout.resize(150, 150);
    readout.SetColor(MMDigitalGaugeReadout::kBackground, 0xFFFFFF);
    readout.SetColor(MMDigitalGaugeReadout::kFrame, 0x00FF00);
    readout.SetColor(MMDigitalGaugeReadout::kTitle, 0xFF0000);
    readout.SetTitle("Engine speed");
    const QImage image = readout.grab().toImage();
    EXPECT_EQ(image.pixelColor(0, 75), QColor(0, 255, 0));  // frame
    EXPECT_EQ(image.pixelColor(5, 75), QColor(Qt::white));  // background
    // The title sits at the top: blue pixels in the upper fifth only.
    EXPECT_GT(CountColor(image, QColor(0, 0, 255), QRect(0, 0, 150, 30)), 10);
    EXPECT_EQ(CountColor(image, QColor(0, 0, 255), QRect(0, 40, 150, 100)), 0);
}

TEST(AnalogDial, ClampsToTheScaleAndKeepsLowestAndHighestUntilDoubleClick) {
    MMAnalogGauge dial;
    dial.resize(180, 180);
    dial.SetScale(0.0f, 150.0f);
    dial.SetValue(200.0f, true);
    EXPECT_EQ(dial.value(), 150.0f);
    EXPECT_EQ(dial.highest(), 150.0f);
    dial.SetValue(-5.0f, true);
    EXPECT_EQ(dial.value(), 0.0f);
    EXPECT_EQ(dial.lowest(), 0.0f);
    EXPECT_EQ(dial.highest(), 150.0f);
    dial.SetValue(42.7f, true);
    EXPECT_EQ(dial.IntValue(), 42);

    QTest::mouseDClick(&dial, Qt::LeftButton, {}, QPoint(90, 90));
    EXPECT_GT(dial.lowest(), dial.highest());  // nothing seen
    dial.SetValue(60.0f, true);
    EXPECT_EQ(dial.lowest(), 60.0f);
    EXPECT_EQ(dial.highest(), 60.0f);

    // Zones: replace, append past the end, insert in front.
    EXPECT_EQ(dial.SetZone(5, {100, 150, 0x0000FF}), 0);
    EXPECT_EQ(dial.SetZone(-1, {0, 10, 0x00B4FA}), 0);
    EXPECT_EQ(dial.SetZone(1, {120, 150, 0x0000FF}), 1);
    GaugeZone zone;
    ASSERT_TRUE(dial.Zone(0, zone));
    EXPECT_EQ(zone.end, 10.0f);
    EXPECT_FALSE(dial.Zone(2, zone));
}

TEST(AnalogDial, ZoneNeedleAndScaleAreDrawnWhereTheAnglesSay) {
    MMAnalogGauge dial;
    dial.resize(360, 360);  // two pixels per unit
    dial.SetScale(0.0f, 100.0f);
    dial.SetValue(0.0f, true);
    dial.SetZone(0, {80.0f, 100.0f, 0x00FF00});  // green band at the top of the scale
    // The scale runs clockwise from 40 - 270 to 300 - 270 degrees: 50 is straight up.
    EXPECT_NEAR(dial.AngleOf(50.0f), -100.0f, 1e-3);
    EXPECT_NEAR(dial.AngleOf(100.0f), 30.0f, 1e-3);

    const auto rim = [](float angle) {
        const double a = angle * std::numbers::pi / 180.0;
        return QPoint(static_cast<int>(std::lround(2 * (90 + 88 * std::cos(a)))),
                      static_cast<int>(std::lround(2 * (90 + 88 * std::sin(a)))));
    };
    QImage image = dial.grab().toImage();
    EXPECT_EQ(image.pixelColor(rim(dial.AngleOf(90.0f))), QColor(0, 255, 0));
    EXPECT_EQ(image.pixelColor(rim(dial.AngleOf(50.0f))), QColor(Qt::black));  // scale arc
    // The zone is drawn only with style bit 64.
    dial.ClearStyle(MMAnalogGauge::kStyleZones, true);
    image = dial.grab().toImage();
    EXPECT_EQ(image.pixelColor(rim(dial.AngleOf(90.0f))), QColor(Qt::black));

    // The needle's red rim mark follows the value.
    dial.SetValue(50.0f, true);
    image = dial.grab().toImage();
    const double up = dial.AngleOf(50.0f) * std::numbers::pi / 180.0;
    const QPoint mark(static_cast<int>(std::lround(2 * (90 + 86 * std::cos(up)))),
                      static_cast<int>(std::lround(2 * (90 + 86 * std::sin(up)))));
    EXPECT_EQ(image.pixelColor(mark), QColor(255, 0, 0));
    // Min/Max texts are black (dark pixels of small antialiased text) and drawn only with
    // their style bits.
    const QRect texts(2 * 40, 2 * 120, 2 * 100, 2 * 12);
    const auto dark = [&](const QImage& im) {
        int n = 0;
        for (int y = texts.top(); y <= texts.bottom(); ++y)
            for (int x = texts.left(); x <= texts.right(); ++x) n += qGray(im.pixel(x, y)) < 100;
        return n;
    };
    EXPECT_GT(dark(image), 20);
    dial.ClearStyle(MMAnalogGauge::kStyleMin | MMAnalogGauge::kStyleMax, true);
    image = dial.grab().toImage();
    EXPECT_EQ(dark(image), 0);
}

TEST(StatusIndicator, StateTextSitsOnTheTrueOrFalseBackground) {
    MMStatusGauge status;
    status.resize(200, 200);
    status.SetTitle("Closed loop");
    status.SetTrueText("CLOSED");
    status.SetFalseText("OPEN");
    const QColor green(0, 255, 0), red(255, 0, 0);

    status.SetState(0, true);
    QImage image = status.grab().toImage();  // state 0: false
    EXPECT_GT(CountColor(image, red), 200);
    EXPECT_EQ(CountColor(image, green), 0);
    EXPECT_EQ(image.pixelColor(0, 100), QColor(Qt::black));  // frame
    EXPECT_EQ(image.pixelColor(5, 100), QColor(Qt::white));  // face around the text cell

    status.SetState(1, true);
    image = status.grab().toImage();
    EXPECT_GT(CountColor(image, green), 200);
    EXPECT_EQ(CountColor(image, red), 0);
    // Any other nonzero state shows the true text on the false background.
    status.SetState(2, true);
    image = status.grab().toImage();
    EXPECT_GT(CountColor(image, red), 200);
    EXPECT_EQ(status.state(), 2u);
}

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

QPoint RimPoint(float angle, double radius, int scale) {
    const double a = angle * std::numbers::pi / 180.0;
    return QPoint(static_cast<int>(std::lround(scale * (90 + radius * std::cos(a)))),
                  static_cast<int>(std::lround(scale * (90 + radius * std::sin(a)))));
}

}  // namespace

// A readout without a reading shows "----" in the normal colour, whatever its alarms say about
// zero; a number that is not finite reads the same, and a long one keeps its sign and stays
// inside the box.
TEST(DigitalReadout, ShowsNoValueAsDashesAndNeverClipsANumberAtBothEnds) {
    MMDigitalGaugeReadout readout;
    readout.resize(120, 120);
    readout.SetColor(MMDigitalGaugeReadout::kLowAlarm, 0x0080FF);
    readout.SetAlarmLow(10.0f);
    readout.EnableLowAlarm(true);
    const QColor normal(100, 100, 255), low(255, 128, 0);
    EXPECT_FALSE(readout.hasValue());
    EXPECT_EQ(readout.valueText(), "----");
    EXPECT_EQ(readout.valueColor(), normal);  // 0 would be a low alarm
    EXPECT_GT(CountColor(readout.grab().toImage(), normal), 20);

    readout.SetValue(5.0f);
    EXPECT_TRUE(readout.hasValue());
    EXPECT_EQ(readout.valueColor(), low);
    for (const float bad : {kNaN, kInf, -kInf}) {
        readout.SetValue(bad);
        EXPECT_FALSE(readout.hasValue());
        EXPECT_EQ(readout.valueText(), "----");
        EXPECT_EQ(readout.valueColor(), normal);
    }
    readout.SetValue(5.0f);
    readout.ClearValue();
    EXPECT_EQ(readout.valueText(), "----");
    EXPECT_EQ(readout.valueColor(), normal);

    // -4294967296 + 2^32 - 294967296: thirteen characters in a 120-pixel box.
    readout.SetValue(-294967296.0f);
    EXPECT_EQ(readout.valueText(), "-294967296.00");
    // Mostly-covered pixels of the value's colour near the sides would be a text running out.
    const QImage image = readout.grab().toImage();
    const auto inked = [&](int from, int to) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = from; x <= to; ++x) {
                const QColor c = image.pixelColor(x, y);
                n += c.red() > 200 && c.blue() < 110;
            }
        return n;
    };
    EXPECT_GT(inked(20, 100), 50);
    EXPECT_EQ(inked(1, 4) + inked(115, 118), 0);
    // A number too long for the text keeps its magnitude in exponent form.
    readout.SetValue(3.0e38f);
    EXPECT_EQ(readout.valueText(), "3.00e+38");
}

// A dial without a reading rests its needle at the start of the scale and keeps no lowest or
// highest value; reversed scales and zones beyond the scale are drawn where they belong.
TEST(AnalogDial, NoValueReversedScaleAndZonesClippedToTheScale) {
    MMAnalogGauge dial;
    dial.resize(360, 360);
    dial.SetScale(0.0f, 100.0f);
    const QColor red(255, 0, 0);
    EXPECT_FALSE(dial.hasValue());
    EXPECT_EQ(dial.grab().toImage().pixelColor(RimPoint(dial.AngleOf(0.0f), 86, 2)), red);

    dial.SetValue(60.0f, true);
    EXPECT_TRUE(dial.hasValue());
    dial.SetValue(kNaN, true);
    dial.SetValue(kInf, true);
    EXPECT_FALSE(dial.hasValue());
    EXPECT_EQ(dial.lowest(), 60.0f);  // not widened to the scale's ends
    EXPECT_EQ(dial.highest(), 60.0f);
    QImage image = dial.grab().toImage();
    EXPECT_EQ(image.pixelColor(RimPoint(dial.AngleOf(0.0f), 86, 2)), red);
    EXPECT_NE(image.pixelColor(RimPoint(dial.AngleOf(60.0f), 86, 2)), red);
    dial.ClearValue();
    EXPECT_GT(dial.lowest(), dial.highest());

    // Range low above range high: the value is kept, and drawn on the reversed scale.
    dial.SetScale(100.0f, 0.0f);
    dial.SetValue(30.0f, true);
    EXPECT_EQ(dial.value(), 30.0f);
    dial.SetValue(130.0f, true);
    EXPECT_EQ(dial.value(), 100.0f);
    dial.SetValue(30.0f, true);
    EXPECT_EQ(dial.grab().toImage().pixelColor(RimPoint(dial.AngleOf(30.0f), 86, 2)), red);
    EXPECT_LT(dial.AngleOf(70.0f), dial.AngleOf(30.0f));

    // Zones: one wholly beyond the scale draws nothing; one reaching past it stops at its end.
    // The rim between the scale's ends (the bottom of the dial) stays clear either way.
    dial.SetScale(0.0f, 100.0f);
    dial.SetValue(0.0f, true);
    const QColor green(0, 255, 0);
    dial.SetZone(0, {150.0f, 200.0f, 0x00FF00});
    dial.SetZone(1, {400.0f, 80.0f, 0x00FF00});
    image = dial.grab().toImage();
    EXPECT_EQ(image.pixelColor(RimPoint(dial.AngleOf(90.0f), 88, 2)), green);
    for (const float v : {105.0f, 125.0f, 150.0f, 175.0f}) {
        EXPECT_NE(image.pixelColor(RimPoint(dial.AngleOf(v), 88, 2)), green) << v;
    }
}

TEST(StatusIndicator, ShowsNeitherStateBeforeTheFirst) {
    MMStatusGauge status;
    status.resize(200, 200);
    status.SetTrueText("CLOSED");
    status.SetFalseText("OPEN");
    const QColor green(0, 255, 0), red(255, 0, 0);
    EXPECT_FALSE(status.hasState());
    QImage image = status.grab().toImage();
    EXPECT_EQ(CountColor(image, red), 0);
    EXPECT_EQ(CountColor(image, green), 0);
    EXPECT_GT(CountColor(image, QColor(Qt::black), QRect(40, 80, 120, 40)), 10);  // "----"
    status.SetState(0, true);
    EXPECT_GT(CountColor(status.grab().toImage(), red), 200);
    status.ClearState();
    EXPECT_EQ(CountColor(status.grab().toImage(), red), 0);
}

// A dial keeps its face between paints: after any change it must look exactly like a new dial
// set up the same way and painted once, whether the change is to the face or to the readings.
TEST(AnalogDial, RepaintedAfterEachChangeLooksLikeANewDialWithTheSameSettings) {
    using Change = std::function<void(MMAnalogGauge&)>;
    const std::vector<std::pair<const char*, Change>> changes = {
        {"value", [](MMAnalogGauge& d) { d.SetValue(70.25f, true); }},
        {"digits", [](MMAnalogGauge& d) { d.SetDigits(0); }},
        {"no value", [](MMAnalogGauge& d) { d.ClearValue(); }},
        {"title", [](MMAnalogGauge& d) { d.SetTitle("Coolant"); }},
        {"units", [](MMAnalogGauge& d) { d.SetUnits("degC"); }},
        {"scale", [](MMAnalogGauge& d) { d.SetScale(-40.0f, 160.0f); }},
        {"angles", [](MMAnalogGauge& d) { d.SetAngles(60.0f, 280.0f); }},
        {"face colour", [](MMAnalogGauge& d) { d.SetColor(MMAnalogGauge::kFace, 0x00FFFF); }},
        {"label colour", [](MMAnalogGauge& d) { d.SetColor(MMAnalogGauge::kLabels, 0x0000FF); }},
        {"zone",
         [](MMAnalogGauge& d) {
             d.SetZone(5, {60.0f, 90.0f, 0xFF00FF});
         }},
        {"zone moved",
         [](MMAnalogGauge& d) {
             d.SetZone(0, {10.0f, 20.0f, 0x00FF00});
         }},
        {"zones off", [](MMAnalogGauge& d) { d.ClearStyle(MMAnalogGauge::kStyleZones, true); }},
        {"not round", [](MMAnalogGauge& d) { d.ClearStyle(0xFFFFFF80u, true); }},
        {"round", [](MMAnalogGauge& d) { d.AddStyle(MMAnalogGauge::kStyleRound, true); }},
        {"resized", [](MMAnalogGauge& d) { d.resize(240, 180); }},
    };
    const auto set_up = [](MMAnalogGauge& d) {
        d.resize(180, 240);
        d.AddStyle(MMAnalogGauge::kStyleRound, false);
        d.SetScale(0.0f, 100.0f);
        d.SetTitle("Speed");
        d.SetUnits("km/h");
        d.SetZone(0, {80.0f, 100.0f, 0x00FF00});
        d.SetValue(20.0f, true);
    };
    MMAnalogGauge dial;
    set_up(dial);
    QImage before = dial.grab().toImage();
    for (size_t i = 0; i < changes.size(); ++i) {
        changes[i].second(dial);
        const QImage after = dial.grab().toImage();
        MMAnalogGauge fresh;
        set_up(fresh);
        for (size_t k = 0; k <= i; ++k) changes[k].second(fresh);
        EXPECT_EQ(after, fresh.grab().toImage()) << "after the " << changes[i].first << " change";
        EXPECT_NE(after, before) << "the " << changes[i].first << " change shows nothing";
        before = after;
    }
}
