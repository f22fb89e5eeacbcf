#include <QApplication>
#include <QMetaObject>
#include <QSaveFile>
#include <QScrollArea>
#include <cmath>

#include "app/log_csv.h"
#include "datalog/data_log.h"
#include "datalog/log_replay.h"
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

void MainWindow::ShowLogPosition() {
    using datalog::DataLogState;
    const DataLogState state = app_.datalog.state();
    const bool open = state == DataLogState::Open || state == DataLogState::Playing ||
                      state == DataLogState::Stopping;
    // The charts take their cursor from the core's chart store when they draw.
    const auto move_cursor = [this](uint32_t time_ms) {
        app_.engine.state().charts.SetCursor(time_ms / 1000.0);
        views_->SetChartTime(time_ms / 1000.0);
    };
    if (open && app_.session.last_xdl_path() == overview_log_) {
        move_cursor(app_.datalog.currenttime());
        return;
    }
    const LogOverview::FirstRecord& first = overview_->first();
    move_cursor(first.time_ms);
    // A paused playback of another log keeps the displays: Play resumes it.
    if (open || app_.engine.running()) return;
    app_.engine.callback().ShowRecord(first.command_hash, first.reply.data(),
                                      static_cast<uint32_t>(first.reply.size()));
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
    // The selected log: the one the charts show.
    const std::string log_path = app_.settings.lastxdlpath;
    if (log_path.empty() || app_.settings.lastadxpath.empty()) {
        app_.log.Print("Export Visible Range as CSV needs a definition and a selected log");
        return;
    }
    if (exporting_) {
        app_.log.PrintLine("An export of the visible range is still running");
        return;
    }
    const std::string path = ChooseFile("Export Visible Range as CSV...",
                                        "CSV Files (*.csv);;All Files (*.*)", "csv", true);
    if (path.empty()) return;
    const controls::ChartSpan view = monitors_->review()->view();
    if (exporter_.joinable()) exporter_.join();
    exporting_ = true;
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    export_cancel_ = cancel;
    // The whole log is read to find the records in view, which takes a while for a long one:
    // a worker does it, and the file takes the rows only when all of them are written.
    exporter_ = std::thread([this, cancel, path, log_path, adx = app_.settings.lastadxpath,
                             begin = ToMs(view.begin), end = ToMs(view.end)] {
        std::string message;
        // The replay decodes into a definition of its own, so playback's stays untouched.
        definition::ADXDefinition definition;
        std::string error;
        QSaveFile file(QString::fromStdString(path));
        uint32_t rows = 0;
        if (definition.Load(adx, error) == 0) {
            message = "Could not export the visible range: " + error;
        } else if (!file.open(QIODevice::WriteOnly)) {
            message = "Could not export the visible range to " + path + ": " +
                      file.errorString().toStdString();
        } else {
            file.write(QByteArray::fromStdString(app::LogCsv(definition).Header()) + '\n');
            const uint32_t code = app::ExportLogRange(
                definition, log_path, begin, end,
                [&](const std::string& row) {
                    file.write(row.data(), static_cast<qint64>(row.size()));
                    file.write("\n", 1);
                    ++rows;
                },
                cancel.get());
            if (code == datalog::kReplayCancelled) {
                file.cancelWriting();
                return;  // the window is going: nothing to say
            }
            if (code != datalog::kDataLogOk) {
                file.cancelWriting();
                message = datalog::FormatOpenError(log_path, code) +
                          "; the visible range was not exported";
            } else if (!file.commit()) {
                message = "Could not export the visible range to " + path + ": " +
                          file.errorString().toStdString();
            } else {
                message = "Exported " + std::to_string(rows) + " records to " + path;
            }
        }
        QMetaObject::invokeMethod(
            this,
            [this, message] {
                if (exporter_.joinable()) exporter_.join();
                exporting_ = false;
                app_.log.PrintLine(message);
            },
            Qt::QueuedConnection);
    });
}

void MainWindow::CancelExport() {
    if (export_cancel_) export_cancel_->store(true);
    if (exporter_.joinable()) exporter_.join();
    exporting_ = false;
}

}  // namespace korvit::shell
