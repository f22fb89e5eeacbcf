#pragma once

#include <QAction>
#include <QSlider>
#include <QToolBar>
#include <QWidget>

#include "datalog/log_bar.h"

namespace korvit::shell {

/// The log bar: Record, Play, Pause, Stop and Select buttons and the position slider.
class LogBar : public QWidget {
    Q_OBJECT
  public:
    explicit LogBar(QWidget* parent = nullptr);

    /// Enables the buttons and the slider as the table says.
    void Apply(const datalog::LogBarButtons& buttons);
    datalog::LogBarButtons enabled() const;

    QAction* record() const { return record_; }
    QAction* play() const { return play_; }
    QAction* pause() const { return pause_; }
    QAction* stop() const { return stop_; }
    QAction* select() const { return select_; }
    QSlider* slider() const { return slider_; }

    /// The buttons and a slider still wide enough to drag; the bar expands from there when its
    /// tool bar has room, the slider up to its widest.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  signals:
    /// The user moved the slider to this sample.
    void seekRequested(int sample);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QToolBar* tools_;
    QAction* record_;
    QAction* play_;
    QAction* pause_;
    QAction* stop_;
    QAction* select_;
    QSlider* slider_;
};

}  // namespace korvit::shell
