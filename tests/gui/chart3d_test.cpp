#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "controls/chart3d.h"

using korvit::controls::Chart3D;

namespace {

/// A chart set up as the histogram page sets it up.
void HistogramStyle(Chart3D& chart) {
    chart.AddStyle(0x84200, false);
    chart.RemoveStyle(0x7, false);
    chart.SetColorRangeMode(0);
}

/// Rows of points on x = column, y = row, with the given values.
void Fill(Chart3D& chart, const std::vector<std::vector<float>>& values) {
    const int rows = static_cast<int>(values.size());
    const int columns = static_cast<int>(values[0].size());
    chart.SetSize(rows, columns);
    const float x_hi = static_cast<float>(columns - 1);
    const float y_hi = static_cast<float>(rows - 1);
    const float zero = 0.0f;
    chart.SetRange(Chart3D::kX, &zero, &x_hi);
    chart.SetRange(Chart3D::kY, &zero, &y_hi);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            chart.SetPoint(r, c, {static_cast<float>(c), static_cast<float>(r), values[r][c], 0});
        }
    }
}

/// The colour at the middle of the quadrilateral whose first corner is (row, column).
QColor QuadColor(Chart3D& chart, const QImage& image, int row, int column) {
    Chart3D::Point corner[4];
    chart.GetPoint(row, column, corner[0]);
    chart.GetPoint(row, column + 1, corner[1]);
    chart.GetPoint(row + 1, column, corner[2]);
    chart.GetPoint(row + 1, column + 1, corner[3]);
    QPointF sum;
    for (const auto& p : corner) sum += chart.Project(p.x, p.value, p.y);
    return image.pixelColor((sum / 4).toPoint());
}

int CountPixels(const QImage& image, const QRect& area, const QColor& color) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) n += image.pixelColor(x, y) == color;
    }
    return n;
}

}  // namespace

TEST(Chart3D, ValueRangeFollowsTheDataAndNotifies) {
    Chart3D chart;
    HistogramStyle(chart);
    QSignalSpy notified(&chart, &Chart3D::notified);
    chart.SetSize(2, 2);
    chart.SetPoint(0, 0, {0, 0, 10, 0});
    chart.SetPoint(1, 1, {1, 1, 40, 0});
    float low = 0;
    float high = 0;
    chart.GetRange(Chart3D::kValue, &low, &high);
    EXPECT_EQ(low, 0.0f);  // the two points not yet set hold 0
    EXPECT_EQ(high, 40.0f);
    int value_notes = 0;
    for (const auto& args : notified) value_notes += args.at(0).toInt() == 1230;
    EXPECT_GE(value_notes, 1);

    // A point inside the extremes changes no range and sends nothing.
    notified.clear();
    chart.SetPoint(0, 1, {1, 0, 20, 0});
    EXPECT_EQ(notified.count(), 0);
    // The value range follows the data, so setting it by hand is ignored; x does not follow.
    const float forced = 500;
    chart.SetRange(Chart3D::kValue, nullptr, &forced);
    chart.GetRange(Chart3D::kValue, nullptr, &high);
    EXPECT_EQ(high, 40.0f);
    chart.SetRange(Chart3D::kX, nullptr, &forced);
    chart.GetRange(Chart3D::kX, nullptr, &high);
    EXPECT_EQ(high, 500.0f);

    // Automatic value labels: six from the minimum to the maximum, "%.2f".
    ASSERT_EQ(chart.LabelCount(Chart3D::kValue), 6);
    Chart3D::Label label;
    ASSERT_TRUE(chart.GetLabel(Chart3D::kValue, 5, label));
    EXPECT_EQ(label.text, "40.00");
    ASSERT_TRUE(chart.GetLabel(Chart3D::kValue, 1, label));
    EXPECT_EQ(label.text, "8.00");
}

TEST(Chart3D, ColourRampRunsFromBlueAtTheSmallestToRedAtTheLargest) {
    Chart3D chart;
    chart.resize(500, 400);
    HistogramStyle(chart);
    chart.SetTurn(-1.2f, 0.0f);  // looking down on the surface
    // Left quadrilateral all at the smallest value, right one all at the largest.
    Fill(chart, {{5, 5, 1000, 1000}, {5, 5, 1000, 1000}});
    QImage image = chart.grab().toImage();
    EXPECT_EQ(QuadColor(chart, image, 0, 0), QColor(0, 0, 255));
    EXPECT_EQ(QuadColor(chart, image, 0, 2), QColor(255, 0, 0));
    EXPECT_EQ(chart.colorRange(), std::make_pair(5.0f, 1000.0f));
    EXPECT_EQ(chart.RampColor(502.5f), QColor(0, 255, 0));  // green in the middle

    // Mode 1 takes the value limits (0..255 at creation): 255 or more is red.
    chart.SetColorRangeMode(1);
    Fill(chart, {{0, 0, 255, 300}, {0, 0, 255, 300}});
    image = chart.grab().toImage();
    EXPECT_EQ(QuadColor(chart, image, 0, 2), QColor(255, 0, 0));
    EXPECT_EQ(QuadColor(chart, image, 0, 0), QColor(0, 0, 255));
    EXPECT_EQ(chart.RampColor(1e6f), QColor(255, 0, 0));
}

TEST(Chart3D, KeysAndMouseStayWithinTheirLimits) {
    Chart3D chart;
    chart.resize(400, 300);
    for (int i = 0; i < 60; ++i) QTest::keyClick(&chart, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(chart.tilt(), 1.57f);
    for (int i = 0; i < 100; ++i) QTest::keyClick(&chart, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(chart.tilt(), -1.57f);
    const float turn = chart.turn();
    QTest::keyClick(&chart, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_NEAR(chart.turn(), turn + 0.05f, 1e-5f);

    for (int i = 0; i < 300; ++i) QTest::keyClick(&chart, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_FLOAT_EQ(chart.screenOffset().x(), -300.0f);
    for (int i = 0; i < 60; ++i) {
        QTest::keyClick(&chart, Qt::Key_BracketLeft, Qt::ControlModifier | Qt::ShiftModifier);
    }
    EXPECT_FLOAT_EQ(chart.scale(), 0.2f);

    // Ctrl and a vertical drag tilt the view, again no further than 1.57.
    chart.SetTurn(0.0f, 0.0f);
    QTest::mousePress(&chart, Qt::LeftButton, Qt::ControlModifier, QPoint(200, 10));
    QTest::mouseMove(&chart, QPoint(200, 290));
    QTest::mouseRelease(&chart, Qt::LeftButton, Qt::ControlModifier, QPoint(200, 290));
    EXPECT_FLOAT_EQ(chart.tilt(), 1.57f);
}

TEST(Chart3D, ClickSelectsAPointAndTheInfoBoxCountsIt) {
    Chart3D chart;
    chart.resize(500, 400);
    chart.show();
    chart.AddStyle(Chart3D::kClickSelect, false);
    chart.RemoveStyle(0x7, false);
    Fill(chart, {{10, 20}, {30, 40}});
    QSignalSpy clicked(&chart, &Chart3D::pointClicked);
    const QPoint at = chart.Project(1, 40, 1).toPoint();
    QTest::mouseClick(&chart, Qt::LeftButton, {}, at);
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toUInt(), Chart3D::Address(1, 1));
    EXPECT_EQ(chart.selectedCount(), 1);
    const QImage image = chart.grab().toImage();
    EXPECT_GT(CountPixels(image, QRect(300, 15, 180, 50), QColor(254, 250, 158)), 500);
    EXPECT_EQ(image.pixelColor(at), QColor(0, 0, 255));  // the selected marker's fill

    QTest::mouseClick(&chart, Qt::LeftButton, Qt::ControlModifier, at);
    EXPECT_EQ(chart.selectedCount(), 0);
}

TEST(Chart3D, EmptyChartDrawsBoxAxesAndTitleOnly) {
    Chart3D chart;
    chart.resize(400, 300);
    chart.SetTitle("Empty");
    chart.SetAxisTitle(Chart3D::kX, "RPM");
    chart.SetColor(Chart3D::kAxisTitleX, QColor(0, 160, 0));
    chart.show();
    chart.SetCubeSize(120);
    const QImage image = chart.grab().toImage();
    EXPECT_GT(CountPixels(image, image.rect(), QColor(150, 150, 150)), 200);  // box and grid
    int green = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            green += c.green() > c.red() + 40 && c.green() > c.blue() + 40;
        }
    }
    EXPECT_GT(green, 5);  // the axis title
    int dark = 0;
    for (int y = 16; y < 40; ++y) {
        for (int x = 0; x < 400; ++x) dark += image.pixelColor(x, y).lightness() < 100;
    }
    EXPECT_GT(dark, 20);  // the title
    EXPECT_EQ(CountPixels(image, image.rect(), QColor(255, 0, 0)), 0);
    EXPECT_EQ(CountPixels(image, image.rect(), QColor(0, 0, 255)), 0);
}

// With style 0x4 a press on a point drags the selected points' values (upwards positive), cut at
// the value limits, and every moved point notifies 1225.
TEST(Chart3D, DraggingValuesStopsAtTheValueLimits) {
    Chart3D chart;
    chart.resize(500, 400);
    chart.show();
    Fill(chart, {{100, 100}, {100, 250}});
    const float zero = 0;
    const float top = 255;
    chart.SetRange(Chart3D::kValue, &zero, &top);
    chart.SelectPoint(0, 0, true, false);
    chart.SelectPoint(1, 1, true, false);
    QSignalSpy moved(&chart, &Chart3D::pointMoved);
    const QPoint at = chart.Project(0, 100, 0).toPoint();
    QTest::mousePress(&chart, Qt::LeftButton, {}, at);
    QTest::mouseMove(&chart, at - QPoint(0, 40));
    QTest::mouseRelease(&chart, Qt::LeftButton, {}, at - QPoint(0, 40));
    Chart3D::Point a;
    Chart3D::Point b;
    Chart3D::Point still;
    chart.GetPoint(0, 0, a);
    chart.GetPoint(1, 1, b);
    chart.GetPoint(0, 1, still);
    EXPECT_FLOAT_EQ(b.value, 255.0f);  // the step was cut so that this one stays inside
    EXPECT_FLOAT_EQ(a.value, 105.0f);
    EXPECT_FLOAT_EQ(still.value, 100.0f);
    EXPECT_EQ(moved.count(), 2);
}

TEST(Chart3D, RubberBandSelectsThePointsInside) {
    Chart3D chart;
    chart.resize(500, 400);
    chart.show();
    chart.RemoveStyle(0x7, false);
    Fill(chart, {{10, 20, 30}, {40, 50, 60}});
    const QPointF left = chart.Project(0, 10, 0);
    const QPointF middle = chart.Project(1, 50, 1);
    // A band around the first point only, then one around the whole window.
    const QRect first = QRectF(left - QPointF(4, 4), QSizeF(8, 8)).toRect();
    ASSERT_FALSE(first.contains(middle.toPoint()));
    QTest::mousePress(&chart, Qt::LeftButton, {}, first.topLeft());
    QTest::mouseMove(&chart, first.center());
    QTest::mouseMove(&chart, first.bottomRight());
    QTest::mouseRelease(&chart, Qt::LeftButton, {}, first.bottomRight());
    EXPECT_EQ(chart.selectedCount(), 1);
    Chart3D::Point point;
    chart.GetPoint(0, 0, point);
    EXPECT_TRUE(point.flags & 1);

    QTest::mousePress(&chart, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseMove(&chart, QPoint(250, 200));
    QTest::mouseMove(&chart, QPoint(498, 398));
    QTest::mouseRelease(&chart, Qt::LeftButton, {}, QPoint(498, 398));
    EXPECT_EQ(chart.selectedCount(), 6);
}
