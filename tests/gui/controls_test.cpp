#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QTest>

#include "controls/mm_rich_static.h"
#include "controls/mm_splash.h"
#include "controls/mm_tab_sheet.h"
#include "controls/mm_text_progress.h"

#include "wait_until.h"

using namespace korvit::controls;

TEST(StatusLine, FlashShowsThenRestoresAndASecondFlashIsIgnored) {
    MMRichStatic line;
    line.SetText("ALDL: Connected");
    line.SetTextColor(Qt::white);
    line.SetBackgroundColor(QColor(0, 0, 255));

    line.Flash("Packet Error!", Qt::black, QColor(255, 0, 0), 80);
    line.Flash("Data Byte Error!", Qt::black, QColor(255, 0, 0), 80);
    EXPECT_EQ(line.shownText(), "Packet Error!");
    EXPECT_EQ(line.shownBackground(), QColor(255, 0, 0));

    // Changes during the flash are kept for after it.
    line.SetText("ALDL: Not Connected");
    EXPECT_EQ(line.SetBackgroundColor(QColor(255, 255, 0)), QColor(0, 0, 255));
    EXPECT_EQ(line.SetTextColor(Qt::black), QColor(Qt::white));
    EXPECT_EQ(line.shownText(), "Packet Error!");

    ASSERT_TRUE(WaitUntil([&] { return !line.flashing(); }, 2000));
    EXPECT_EQ(line.shownText(), "ALDL: Not Connected");
    EXPECT_EQ(line.shownBackground(), QColor(255, 255, 0));
    EXPECT_EQ(line.shownTextColor(), QColor(Qt::black));
}

TEST(StatusLine, PaintsItsBackgroundAndCutsLongText) {
    MMRichStatic line;
    line.resize(130, 20);
    line.SetBackgroundColor(QColor(255, 255, 0));
    line.SetText(QString(300, 'x'));
    EXPECT_EQ(line.text().size(), MMRichStatic::kMaxText);
    QImage image = line.grab().toImage();
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black));  // the border
    EXPECT_EQ(image.pixelColor(3, 3), QColor(255, 255, 0));
}

TEST(RateLine, StepWrapsAtTheMaximumAndTheBarFollowsThePosition) {
    MMTextProgress bar;
    bar.SetRange(0, 3);
    bar.SetStep(2);
    EXPECT_EQ(bar.StepIt(), 0);
    EXPECT_EQ(bar.pos(), 2);
    EXPECT_EQ(bar.StepIt(), 2);
    EXPECT_EQ(bar.pos(), 0);  // 4 is past the maximum

    bar.resize(100, 10);
    bar.SetRange(0, 1024);
    bar.SetPos(512);
    QImage image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(10, 1), QColor(0, 100, 210));
    EXPECT_NE(image.pixelColor(90, 1), QColor(0, 100, 210));

    // The loader drives it through its progress interface.
    bar.SetStep(1);
    korvit::definition::IProgress& progress = bar;
    progress.SetRange(10u);
    progress.SetPosition(9u);
    progress.Step();
    EXPECT_EQ(bar.pos(), 10);
    progress.Step();
    EXPECT_EQ(bar.pos(), 0);
}

TEST(TabSheet, FirstPageStaysShownAndSelectionSetsTheTitle) {
    MMTabSheet tabs;
    auto* output = new QLabel("out");
    auto* dash = new QLabel("dash");
    EXPECT_EQ(tabs.AddPage(output, "Output"), 0);
    EXPECT_EQ(tabs.AddPage(dash, "Dash"), 1);
    EXPECT_EQ(tabs.currentWidget(), output);
    EXPECT_EQ(tabs.tabPosition(), QTabWidget::South);
    tabs.Select(tabs.IndexOf("Dash"));
    EXPECT_EQ(tabs.currentWidget(), dash);
    EXPECT_EQ(tabs.windowTitle(), "Dash");
    EXPECT_EQ(tabs.IndexOf("Nope"), -1);
    delete dash;  // a destroyed page takes its tab along
    EXPECT_EQ(tabs.count(), 1);
}

TEST(Splash, ItemsWithTheSameIdReplaceEachOtherAndAreDrawn) {
    MMSplash splash(nullptr, MMSplash::DefaultPicture());
    EXPECT_EQ(splash.size(), QSize(420, 131));
    const QImage plain = splash.Render().toImage();
    splash.SetTextItem(0, "Build 1", QPoint(260, 111), std::nullopt, Qt::black);
    splash.SetTextItem(0, "Build 0.01.0000.00", QPoint(260, 111), std::nullopt, Qt::black);
    const QImage drawn = splash.Render().toImage();
    int changed = 0;
    for (int y = 105; y < 131; ++y) {
        for (int x = 255; x < 420; ++x) changed += plain.pixel(x, y) != drawn.pixel(x, y);
    }
    EXPECT_GT(changed, 30);
    splash.ShowFor(50);
    EXPECT_TRUE(splash.isVisible());
    ASSERT_TRUE(WaitUntil([&] { return !splash.isVisible(); }, 2000));
}
