#include "shell/log_bar.h"

#include <QPainter>
#include <QStyle>

namespace korvit::shell {
namespace {

constexpr int kMaxSliderWidth = 400;
constexpr int kMinSliderWidth = 120;

QIcon RecordIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(210, 0, 0));
    p.setPen(Qt::NoPen);
    p.drawEllipse(2, 2, 12, 12);
    return QIcon(pixmap);
}

}  // namespace

LogBar::LogBar(QWidget* parent) : QWidget(parent) {
    setObjectName("LogBar");
    tools_ = new QToolBar(this);
    tools_->setIconSize(QSize(16, 16));
    QStyle* s = style();
    auto add = [this](const QIcon& icon, const char* tip) {
        QAction* a = tools_->addAction(icon, "");
        a->setToolTip(tip);
        return a;
    };
    record_ = add(RecordIcon(), "Begin Recording");
    play_ = add(s->standardIcon(QStyle::SP_MediaPlay), "Play Current Log Session");
    pause_ = add(s->standardIcon(QStyle::SP_MediaPause), "Pause Playback of Log Session");
    stop_ = add(s->standardIcon(QStyle::SP_MediaStop), "Stop Playback of Current Log Session");
    select_ = add(s->standardIcon(QStyle::SP_DialogOpenButton), "Select a Log Session to Play");

    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setRange(0, 0);
    // Seek when the user lets go of the handle, or clicks or keys a step.
    connect(slider_, &QSlider::sliderReleased, this,
            [this] { emit seekRequested(slider_->sliderPosition()); });
    connect(slider_, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove && !slider_->isSliderDown()) {
            emit seekRequested(slider_->sliderPosition());
        }
    });
    tools_->adjustSize();
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize LogBar::sizeHint() const {
    return {tools_->sizeHint().width() + 2 + kMinSliderWidth + 2, tools_->sizeHint().height()};
}

void LogBar::resizeEvent(QResizeEvent*) {
    tools_->setGeometry(0, 0, tools_->sizeHint().width(), height());
    // The slider starts just right of the buttons and takes what is left, at most 400 pixels.
    const int left = tools_->geometry().right() + 2;
    const int width = std::min(kMaxSliderWidth, std::max(0, this->width() - left - 2));
    slider_->setGeometry(left, 0, width, height());
}

void LogBar::Apply(const datalog::LogBarButtons& b) {
    play_->setEnabled(b.play);
    record_->setEnabled(b.record);
    stop_->setEnabled(b.stop);
    pause_->setEnabled(b.pause);
    select_->setEnabled(b.select);
    slider_->setEnabled(b.slider);
}

datalog::LogBarButtons LogBar::enabled() const {
    return {play_->isEnabled(),  record_->isEnabled(), stop_->isEnabled(),
            pause_->isEnabled(), select_->isEnabled(), slider_->isEnabled()};
}

}  // namespace korvit::shell
