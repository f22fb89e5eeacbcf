#include "controls/chart_navigation.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "controls/mm_data_chart.h"

namespace korvit::controls {
namespace {

/// Moves `span` (kept at its width) inside `full` when it fits there, else centres it on `full`.
ChartSpan Within(ChartSpan span, ChartSpan full) {
    const double width = span.width();
    if (!(full.width() > 0.0)) return span;
    if (width >= full.width()) {
        const double middle = (full.begin + full.end) / 2.0;
        return {middle - width / 2.0, middle + width / 2.0};
    }
    if (span.begin < full.begin) return {full.begin, full.begin + width};
    if (span.end > full.end) return {full.end - width, full.end};
    return span;
}

/// Widest a view may be: the whole, or the narrowest view when the whole is narrower.
double WidestOf(ChartSpan full) {
    return std::max(kMinChartSpan, full.width());
}

}  // namespace

ChartSpan ZoomAbout(ChartSpan view, double at, double factor, ChartSpan full) {
    if (!(view.width() > 0.0) || !(factor > 0.0) || !std::isfinite(at)) return view;
    const double width = std::clamp(view.width() * factor, kMinChartSpan, WidestOf(full));
    const double share = std::clamp((at - view.begin) / view.width(), 0.0, 1.0);
    const double begin = at - share * width;
    return Within({begin, begin + width}, full);
}

ChartSpan PanBy(ChartSpan view, double share, ChartSpan full) {
    const double shift = view.width() * share;
    return Within({view.begin + shift, view.end + shift}, full);
}

ChartSpan SpanBetween(double a, double b, ChartSpan full) {
    double begin = std::min(a, b), end = std::max(a, b);
    if (end - begin < kMinChartSpan) {
        const double middle = (begin + end) / 2.0;
        begin = middle - kMinChartSpan / 2.0;
        end = middle + kMinChartSpan / 2.0;
    }
    return Within({begin, end}, full);
}

ChartSpan FitAll(ChartSpan full) {
    if (full.width() >= kMinChartSpan) return full;
    return {full.begin, full.begin + kMinChartSpan};
}

// ---- Overlay ---------------------------------------------------------------------------------

ChartOverlay::ChartOverlay(MMDataChart* chart) : QWidget(chart), chart_(chart) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
}

void ChartOverlay::SetSecondCursor(std::optional<int> x) {
    if (x == second_) return;
    second_ = x;
    setVisible(second_ || band_from_);
    update();
}

void ChartOverlay::SetBand(std::optional<int> from, std::optional<int> to) {
    band_from_ = from;
    band_to_ = to;
    setVisible(second_ || band_from_);
    update();
}

void ChartOverlay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const ChartRect plot = chart_->plotRect();
    if (band_from_ && band_to_) {
        const int a = std::min(*band_from_, *band_to_), b = std::max(*band_from_, *band_to_);
        p.fillRect(QRect(a, plot.top + 1, b - a + 1, plot.height() - 2), QColor(0, 90, 200, 60));
        p.setPen(QPen(QColor(0, 90, 200), 1));
        p.drawRect(QRect(a, plot.top + 1, b - a, plot.height() - 3));
    }
    if (second_ && *second_ > plot.left && *second_ < plot.right - 1) {
        p.setPen(QPen(QColor(200, 0, 0), 1, Qt::DashLine));
        p.drawLine(*second_, plot.top + 1, *second_, plot.bottom - 2);
    }
}

// ---- Input -----------------------------------------------------------------------------------

ChartInput::ChartInput(MMDataChart* chart, std::function<ChartSpan()> view,
                       std::function<ChartSpan()> full)
    : QObject(chart),
      chart_(chart),
      overlay_(new ChartOverlay(chart)),
      view_(std::move(view)),
      full_(std::move(full)) {
    chart->setFocusPolicy(Qt::ClickFocus);
    chart->installEventFilter(this);
}

double ChartInput::TimeAt(int x) const {
    const ChartRect plot = chart_->plotRect();
    const ChartSpan view = view_();
    if (plot.width() <= 0) return view.begin;
    const int clamped = std::clamp(x, plot.left, plot.right);
    return view.begin + view.width() * (clamped - plot.left) / plot.width();
}

int ChartInput::PixelAt(double t) const {
    const ChartRect plot = chart_->plotRect();
    const ChartSpan view = view_();
    app::PlotMapping m;
    m.x_min = static_cast<float>(view.begin);
    m.x_max = static_cast<float>(view.end);
    m.left = plot.left;
    m.right = plot.right;
    return m.X(static_cast<float>(t));
}

void ChartInput::Request(ChartSpan span) {
    if (!(span == view_())) emit spanRequested(span.begin, span.end);
}

bool ChartInput::eventFilter(QObject* watched, QEvent* event) {
    if (watched == chart_) {
        switch (event->type()) {
            case QEvent::Resize:
                overlay_->setGeometry(chart_->rect());
                break;
            case QEvent::MouseButtonPress: {
                auto* e = static_cast<QMouseEvent*>(event);
                if (e->button() != Qt::LeftButton) break;
                const int x = e->position().toPoint().x();
                if (e->modifiers() & Qt::ShiftModifier) {
                    emit secondCursorRequested(TimeAt(x));
                } else if (e->modifiers() & Qt::ControlModifier) {
                    drag_ = Drag::kBand;
                    band_from_ = x;
                    overlay_->SetBand(x, x);
                } else {
                    drag_ = Drag::kCursor;
                    emit cursorRequested(TimeAt(x));
                }
                return true;
            }
            case QEvent::MouseMove: {
                auto* e = static_cast<QMouseEvent*>(event);
                const int x = e->position().toPoint().x();
                if (drag_ == Drag::kCursor) emit cursorRequested(TimeAt(x));
                if (drag_ == Drag::kBand) overlay_->SetBand(band_from_, x);
                return drag_ != Drag::kNone;
            }
            case QEvent::MouseButtonRelease: {
                auto* e = static_cast<QMouseEvent*>(event);
                if (e->button() != Qt::LeftButton) break;
                if (drag_ == Drag::kBand) {
                    overlay_->SetBand(std::nullopt, std::nullopt);
                    const int x = e->position().toPoint().x();
                    // A band of a few pixels is a slip of the hand, not a zoom.
                    if (std::abs(x - band_from_) > 3) {
                        Request(SpanBetween(TimeAt(band_from_), TimeAt(x), full_()));
                    }
                }
                drag_ = Drag::kNone;
                return true;
            }
            case QEvent::MouseButtonDblClick: {
                auto* e = static_cast<QMouseEvent*>(event);
                if (e->button() != Qt::LeftButton) break;
                Request(FitAll(full_()));
                return true;
            }
            case QEvent::Wheel: {
                auto* e = static_cast<QWheelEvent*>(event);
                const int notches = e->angleDelta().y() / 120;
                if (notches == 0) return true;
                const ChartSpan view = view_();
                if (e->modifiers() & Qt::ControlModifier) {
                    Request(PanBy(view, -kPanStep * notches, full_()));
                } else {
                    const double at = TimeAt(e->position().toPoint().x());
                    Request(ZoomAbout(view, at, std::pow(kZoomStep, -notches), full_()));
                }
                return true;
            }
            case QEvent::KeyPress: {
                auto* e = static_cast<QKeyEvent*>(event);
                if (Key(e->key(), e->modifiers())) return true;
                break;
            }
            default:
                break;
        }
    }
    return QObject::eventFilter(watched, event);
}

bool ChartInput::Key(int key, Qt::KeyboardModifiers) {
    const ChartSpan view = view_();
    const double middle = (view.begin + view.end) / 2.0;
    switch (key) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            Request(ZoomAbout(view, middle, 1.0 / kZoomStep, full_()));
            return true;
        case Qt::Key_Minus:
            Request(ZoomAbout(view, middle, kZoomStep, full_()));
            return true;
        case Qt::Key_Left:
            Request(PanBy(view, -kPanStep, full_()));
            return true;
        case Qt::Key_Right:
            Request(PanBy(view, kPanStep, full_()));
            return true;
        case Qt::Key_Home:
            Request(FitAll(full_()));
            return true;
        case Qt::Key_Escape:
            emit secondCursorCleared();
            return true;
        default:
            return false;
    }
}

}  // namespace korvit::controls
