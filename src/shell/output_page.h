#pragma once

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <mutex>
#include <string>
#include <vector>

#include "app/output_log.h"

namespace korvit::shell {

/// The Output page: the running log of what the program does. The user reads, selects and
/// copies it (its context menu adds Copy all and Save as text); typing does not change it.
class OutputPage : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit OutputPage(QWidget* parent = nullptr);

    /// Adds text at the end. The view follows it only while it shows the last line, so that a
    /// user who scrolled up to read stays where they are.
    void AppendText(const QString& text);

    QAction* copyAllAction() const { return copy_all_; }
    QAction* saveAsTextAction() const { return save_as_text_; }

  signals:
    /// "Save as text..." was chosen; the window asks for the file.
    void saveAsTextRequested();

  protected:
    /// The window's character keys (Scan, Play/Pause, the jumps) stay commands here too.
    bool event(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    QAction* copy_all_;
    QAction* save_as_text_;
};

/// Puts Output lines into the page from any thread. Lines and clears queue up in order and
/// reach the page in one batch on the GUI thread, so a worker thread never waits for it. The
/// first batch after a quiet spell goes in at once; later ones keep a frame's distance (longer
/// while the page is hidden, which catches up when shown), so a log played as fast as it reads
/// costs the page at most one update a frame, and no line is lost.
class OutputPageSink : public QObject, public app::IOutputSink {
    Q_OBJECT
  public:
    explicit OutputPageSink(OutputPage* page);

    void AppendLine(std::string_view line) override;
    void Clear() override;

    /// Applies what is queued now (the GUI thread does this by itself after each batch).
    void Flush();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    /// With the lock held: makes sure one flush is on its way.
    void PostLocked();
    void ScheduleFlush();

    OutputPage* page_;
    std::mutex mutex_;
    // What waits for the page: whether it is emptied first, then the lines joined by '\n'. The
    // text is kept between batches (swapped with `batch_`), so queueing a line allocates nothing.
    bool pending_clear_ = false;
    size_t pending_lines_ = 0;
    std::string pending_;
    std::string batch_;
    bool posted_ = false;
    QTimer timer_;
    QElapsedTimer last_flush_;
};

}  // namespace korvit::shell
