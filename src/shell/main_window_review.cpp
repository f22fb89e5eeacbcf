#include <QApplication>
#include <QSaveFile>
#include <QScrollArea>
#include <cmath>

#include "app/log_csv.h"
#include "datalog/data_log.h"
#include "pages/display_page.h"
#include "pages/monitor_page.h"
#include "pages/monitor_review.h"
#include "shell/log_bar.h"
#include "shell/main_window.h"
#include "shell/view_bridge.h"

namespace korvit::shell {
namespace {

/// Seconds of chart time as the log's milliseconds, held inside what a stamp can be.
uint32_t ToMs(double seconds) {
    if (!(seconds > 0.0)) return 0;
    // Chart times are floats: a record's own stamp may come back a hair below it.
    const double ms = std::floor(seconds * 1000.0 + 0.5);
    return ms < 4294967295.0 ? static_cast<uint32_t>(ms) : 4294967295u;
}

}  // namespace

void MainWindow::SeekToChartTime(double seconds) {
    using datalog::DataLogState;
    const DataLogState state = app_.datalog.state();
    if (state != DataLogState::Open && state != DataLogState::Playing &&
        state != DataLogState::Stopping) {
        return;
    }
    app_.session.SeekToTime(ToMs(seconds));
    RebuildHistogramsAtPosition();
    if (!log_bar_->slider()->isSliderDown()) {
        log_bar_->slider()->setValue(static_cast<int>(app_.datalog.recordsread()));
    }
    views_->Mark(pages::kPositionChanged);
}

void MainWindow::ExportChartImage() {
    const std::string path =
        ChooseFile("Export Chart Image...", "PNG Images (*.png);;All Files (*.*)", "png", true);
    if (path.empty()) return;
    QWidget* sheet = monitors_->chartArea()->widget();
    const QImage image = sheet->grab().toImage();
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        app_.log.Print("Could not export the charts to %s: %s", path.c_str(),
                       file.errorString().toUtf8().constData());
        return;
    }
    app_.log.Print("Exported the charts to %s", path.c_str());
}

void MainWindow::ExportVisibleRangeCsv() {
    const std::string log_path = app_.session.last_xdl_path();
    if (log_path.empty() || app_.settings.lastadxpath.empty()) {
        app_.log.Print("Export Visible Range as CSV needs a definition and a selected log");
        return;
    }
    const std::string path = ChooseFile("Export Visible Range as CSV...",
                                        "CSV Files (*.csv);;All Files (*.*)", "csv", true);
    if (path.empty()) return;
    // The replay decodes into a definition of its own, so playback's stays untouched.
    definition::ADXDefinition definition;
    std::string error;
    if (definition.Load(app_.settings.lastadxpath, error) == 0) {
        app_.log.Print("Could not export the visible range: %s", error.c_str());
        return;
    }
    const controls::ChartSpan view = monitors_->review()->view();
    QByteArray text = QByteArray::fromStdString(app::LogCsv(definition).Header()) + '\n';
    uint32_t rows = 0;
    // The whole log is read to find the records in view: a long one takes a moment.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const uint32_t code = app::ExportLogRange(definition, log_path, ToMs(view.begin),
                                              ToMs(view.end), [&](const std::string& row) {
                                                  text += QByteArray::fromStdString(row);
                                                  text += '\n';
                                                  ++rows;
                                              });
    QApplication::restoreOverrideCursor();
    if (code != datalog::kDataLogOk) {
        app_.log.Print("%s", datalog::FormatOpenError(log_path, code).c_str());
        return;
    }
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        app_.log.Print("Could not export the visible range to %s: %s", path.c_str(),
                       file.errorString().toUtf8().constData());
        return;
    }
    app_.log.Print("Exported %u records to %s", rows, path.c_str());
}

}  // namespace korvit::shell
