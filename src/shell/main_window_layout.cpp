// The main window's sizes: status parts as wide as their longest texts, and the smallest window
// that still shows the tool bars, the log bar and the status bar whole.
#include <QApplication>
#include <QFontMetrics>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>

#include "controls/mm_rich_static.h"
#include "controls/mm_tab_sheet.h"
#include "controls/mm_text_progress.h"
#include "shell/log_bar.h"
#include "shell/main_window.h"
#include "shell/refusals.h"
#include "shell/status_texts.h"

namespace korvit::shell {
namespace {

// The parts are never narrower than their classic 130 pixels (less the bar's spacing).
constexpr int kClassicPartWidth = 128;
// Room for the 1-pixel border and a few pixels of air on each side of the text.
constexpr int kTextPadding = 14;
// The tab area at the smallest window: the demo's quarter-high gauge rows stay over 60 pixels
// and three stacked charts keep their axes apart.
constexpr int kReadablePageHeight = 300;

int WidestText(const QFont& font, const QStringList& texts) {
    const QFontMetrics metrics(font);
    int widest = 0;
    for (const QString& text : texts) widest = std::max(widest, metrics.horizontalAdvance(text));
    return std::max(kClassicPartWidth, widest + kTextPadding);
}

// Every text the status line can show: each state's text, the error flashes and the refusals.
QStringList StatusLineTexts() {
    QStringList texts;
    for (int state = 0; state <= static_cast<int>(datalog::DataLogState::Stopping); ++state) {
        for (int status = 0; status <= static_cast<int>(acquisition::ConnectionStatus::LogPaused);
             ++status) {
            texts << StatusLineFor(static_cast<datalog::DataLogState>(state),
                                   static_cast<acquisition::ConnectionStatus>(status))
                         .text;
        }
    }
    texts << "Packet Error!"
          << "Data Byte Error!"
          << "ALDL Data Error!" << kStopScanningFirst << kStopLogFirst;
    return texts;
}

// The longest rate line texts: a four-digit rate with a five-digit error count, and the play
// time just before the hour number starts again.
QStringList RateLineTexts() {
    QStringList texts;
    for (const auto status :
         {acquisition::ConnectionStatus::Connected, acquisition::ConnectionStatus::NotConnected}) {
        if (auto text = RateLineFor(status, datalog::DataLogState::Playing, 9999.99f, 99999,
                                    59 * 3600000u + 59 * 60000u + 59 * 1000u + 999)) {
            texts << *text;
        }
    }
    return texts;
}

}  // namespace

void MainWindow::SizeStatusParts() {
    status_line_->setFixedWidth(WidestText(status_line_->textFont(), StatusLineTexts()));
    rate_line_->setFixedWidth(WidestText(rate_line_->textFont(), RateLineTexts()));
}

void MainWindow::ApplyMinimumSize() {
    // The tool bars sit on one line; the log bar's hint is its smallest width.
    int tools_width = 0;
    int tools_height = 0;
    for (QToolBar* bar : findChildren<QToolBar*>(QString(), Qt::FindDirectChildrenOnly)) {
        // The gap between bars comes on top of each hint.
        tools_width +=
            bar->sizeHint().width() + style()->pixelMetric(QStyle::PM_ToolBarSeparatorExtent);
        tools_height = std::max(tools_height, bar->sizeHint().height());
    }
    // Every page keeps its controls apart (the tab sheet asks each page), and the pages keep
    // enough height for gauges and charts to be read.
    const QSize pages = tabs_->minimumSizeHint();
    const int width = std::max({tools_width, statusBar()->minimumSizeHint().width(),
                                menuBar()->sizeHint().width(), pages.width()});
    const int height = menuBar()->sizeHint().height() + tools_height +
                       std::max(pages.height(), kReadablePageHeight) +
                       statusBar()->sizeHint().height();
    setMinimumSize(width, height);
}

}  // namespace korvit::shell
