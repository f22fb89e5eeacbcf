#include "controls/mm_data_chart.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <utility>

namespace korvit::controls {
namespace {

QFont ArialFont(int height, int weight) {
    QFont font("Arial");
    font.setPixelSize(height);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

/// The platform pen styles: solid, dash, dot, dash-dot, dash-dot-dot, none.
Qt::PenStyle PenStyle(int style) {
    switch (style) {
        case 1:
            return Qt::DashLine;
        case 2:
            return Qt::DotLine;
        case 3:
            return Qt::DashDotLine;
        case 4:
            return Qt::DashDotDotLine;
        case 5:
            return Qt::NoPen;
        default:
            return Qt::SolidLine;
    }
}

/// Digits before the point, a negative number counting one more.
int IntegerDigits(float v) {
    double magnitude = std::fabs(static_cast<double>(v));
    int digits = 1;
    while (magnitude >= 10.0 && digits < 40) {
        magnitude /= 10.0;
        ++digits;
    }
    return v < 0.0f ? digits + 1 : digits;
}

QString Number(float v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, static_cast<double>(v));
    return QString::fromLatin1(buf).left(29);
}

constexpr int kMaxTicks = 1000;

/// The widest solid line whose crowded stretches are drawn from a stamp.
constexpr int kMaxStampWidth = 8;

/// How a solid round-capped pen covers a vertical line, row by row, as the painter draws it:
/// the rows about each end, and one row of the middle, each a span of columns relative to the
/// line. Filling a crowded column's line from it gives the painter's pixels at a fraction of
/// the painter's cost.
struct RunStamp {
    using Span = std::pair<int, int>;  // empty when first > second
    int reach = 0;                     // rows beyond each end
    int margin = 0;                    // rows inside each end that the end parts cover
    std::vector<Span> top;             // rows -reach .. margin about the top end
    std::vector<Span> bottom;          // rows -margin .. reach about the bottom end
    Span body{0, -1};
};

/// The stamp of a pen width, drawn once by the painter on a scratch picture (GUI thread).
const RunStamp& StampFor(int width) {
    static std::map<int, RunStamp> stamps;
    auto [at, added] = stamps.try_emplace(width);
    RunStamp& s = at->second;
    if (!added) return s;
    s.reach = width + 2;
    s.margin = width + 1;
    const int cx = 2 * width + 4;
    const int y0 = s.reach + 2;
    const int y1 = y0 + 4 * width + 8;
    QImage scratch(2 * cx + 1, y1 + s.reach + 3, QImage::Format_RGB32);
    scratch.fill(Qt::white);
    {
        QPainter p(&scratch);
        p.setPen(QPen(Qt::black, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(cx, y0, cx, y1);
    }
    const auto span = [&](int row) {
        RunStamp::Span out{INT32_MAX, INT32_MIN};
        for (int x = 0; x < scratch.width(); ++x) {
            if (scratch.pixel(x, row) == QColor(Qt::white).rgb()) continue;
            out.first = std::min(out.first, x - cx);
            out.second = std::max(out.second, x - cx);
        }
        return out;
    };
    for (int r = -s.reach; r <= s.margin; ++r) s.top.push_back(span(y0 + r));
    for (int r = -s.margin; r <= s.reach; ++r) s.bottom.push_back(span(y1 + r));
    s.body = span((y0 + y1) / 2);
    return s;
}

/// Fills the ends of the vertical line from (x, y1) to (x, y2) as the stamp's pen draws them,
/// within `clip`, into a 32-bit picture at `bits` (the rows between are the body's, filled row
/// by row for all lines at once); false (nothing drawn) when the line is too short for the
/// stamp.
bool FillRunEnds(uchar* bits, qsizetype stride, const QRect& clip, const RunStamp& s, int x, int y1,
                 int y2, QRgb rgb) {
    if (y2 - y1 <= 2 * s.margin) return false;
    const auto fill = [&](int row, RunStamp::Span span) {
        if (row < clip.top() || row > clip.bottom()) return;
        const int from = std::max(x + span.first, clip.left());
        const int to = std::min(x + span.second, clip.right());
        auto* line = reinterpret_cast<QRgb*>(bits + row * stride);
        for (int c = from; c <= to; ++c) line[c] = rgb;
    };
    for (int r = -s.reach; r <= s.margin; ++r) fill(y1 + r, s.top[r + s.reach]);
    for (int r = -s.margin; r <= s.reach; ++r) fill(y2 + r, s.bottom[r + s.margin]);
    return true;
}

}  // namespace

// ---- Axis ------------------------------------------------------------------------------------

DataChartAxis::DataChartAxis(MMDataChart* chart)
    : chart_(chart), title_font_(ArialFont(12, 400)), label_font_(ArialFont(14, 400)) {
    data_ = {0.0f, 255.0f};
    view_ = {0.0f, 255.0f};
}

void DataChartAxis::SetFlag(uint32_t bits, bool on) {
    flags_ = on ? flags_ | bits : flags_ & ~bits;
}

void DataChartAxis::SetPosition(int position) {
    position_ = position;
    title_rotated_ = vertical();
    title_font_ = vertical() ? ArialFont(12, 400) : ArialFont(14, 400);
}

void DataChartAxis::SetDataRange(float min, float max) {
    data_ = {min, max};
}

void DataChartAxis::SetViewRange(float min, float max) {
    view_ = {min, max};
}

void DataChartAxis::SetCursor(float value) {
    cursor_ = value;
}

bool DataChartAxis::Follow(float v) {
    if (!(flags() & kAutoScroll)) return false;
    const float m = (view_.max - view_.min) * static_cast<float>(margin_) / 100.0f;
    if (v > view_.max) {
        const float shift = v - view_.max + m;
        view_ = {view_.min + shift, view_.max + shift};
        data_ = {data_.min, view_.max};
        return true;
    }
    if (v < view_.min) {
        const float shift = view_.min - v + m;
        view_ = {view_.min - shift, view_.max - shift};
        data_ = {view_.min, data_.max};
        return true;
    }
    return false;
}

void DataChartAxis::TickStep(float view_min, float view_max, int length, bool vertical, float* step,
                             int* decimals) {
    const float spacing = vertical ? 20.0f : 35.0f;
    const int n = std::max(1, static_cast<int>(std::fabs(static_cast<float>(length) / spacing)));
    const double raw = (static_cast<double>(view_max) - view_min) / n;
    if (!(raw > 0.0) || !std::isfinite(raw)) {
        *step = 0.0f;
        *decimals = 0;
        return;
    }
    const int e = static_cast<int>(std::floor(std::log10(raw)));
    const double p = std::pow(10.0, e);
    int dec = e < 0 ? -e : 0;
    double s = 10.0 * p;
    if (p >= raw) {
        s = p;
    } else if (2.0 * p >= raw) {
        s = 2.0 * p;
    } else if (5.0 * p >= raw) {
        s = 5.0 * p;
    } else if (dec > 0) {
        --dec;
    }
    *step = static_cast<float>(s);
    *decimals = dec;
}

QString DataChartAxis::Label(float value) {
    if ((flags() & kCallbackLabels) && callback_ != nullptr) {
        char buf[30] = {};
        int length = sizeof buf;
        callback_(chart_, this, value, buf, &length);
        buf[sizeof buf - 1] = '\0';
        return QString::fromLatin1(buf, std::clamp(length, 0, int{sizeof buf} - 1));
    }
    return Number(value, decimals_);
}

int DataChartAxis::Measure() {
    const QFontMetrics title(title_font_);
    int t = (title_.isEmpty() ? 0 : title.height() + 2) + 8;
    const QFontMetrics labels(label_font_);
    if (vertical()) {
        const float wider = IntegerDigits(shown_view_.max) >= IntegerDigits(shown_view_.min)
                                ? shown_view_.max
                                : shown_view_.min;
        t += labels.horizontalAdvance(Number(wider, decimals_)) + 2;
    } else {
        t += labels.size(0, "1790").height() + 3;
    }
    thickness_ = t;
    return t;
}

void DataChartAxis::Draw(QPainter& p) {
    const int length = vertical() ? plot_.height() : plot_.width();
    int dec = 0;
    TickStep(shown_view_.min, shown_view_.max, length, vertical(), &tick_step_, &dec);
    decimals_ = static_cast<uint8_t>(dec);
    const double step = tick_step_;
    double first = 0.0;
    if (step > 0.0) {
        const double base = (flags() & kTicksFromDataMin) ? shown_data_.min : 0.0;
        first = base + std::ceil((shown_view_.min - base) / step) * step;
    }
    first_tick_ = static_cast<float>(first);

    app::PlotMapping m;
    m.x_min = m.y_min = shown_view_.min;
    m.x_max = m.y_max = shown_view_.max;
    m.left = plot_.left;
    m.right = plot_.right;
    m.top = plot_.top;
    m.bottom = plot_.bottom;

    // The axis line, then each tick's mark and label outward from it.
    int line = 0;
    switch (position_) {
        case kLeft:
            line = plot_.left - 2 - offset_;
            break;
        case kRight:
            line = plot_.right + 1 + offset_;
            break;
        case kTop:
            line = plot_.top - 2 - offset_;
            break;
        default:
            line = plot_.bottom + 1 + offset_;
            break;
    }
    p.setPen(QPen(axis_color_, 1));
    if (vertical()) {
        p.drawLine(line, plot_.top, line, plot_.bottom - 1);
    } else {
        p.drawLine(plot_.left, line, plot_.right - 1, line);
    }
    p.setFont(label_font_);
    const QFontMetrics fm(label_font_);
    const int out = (position_ == kLeft || position_ == kTop) ? -1 : 1;
    int widest = 0;
    if (step > 0.0) {
        for (int i = 0; i < kMaxTicks; ++i) {
            const double v = first + i * step;
            if (v > shown_view_.max) break;
            const QString text = Label(static_cast<float>(v));
            widest = std::max(widest, fm.horizontalAdvance(text));
            p.setPen(QPen(axis_color_, 1));
            if (vertical()) {
                const int y = m.Y(static_cast<float>(v));
                p.drawLine(line, y, line + out * 5, y);
                p.setPen(label_color_);
                const int w = fm.horizontalAdvance(text);
                const int x = out < 0 ? line - 7 - w : line + 7;
                p.drawText(QRect(x, y - fm.height() / 2, w + 1, fm.height()),
                           Qt::AlignVCenter | Qt::AlignLeft, text);
            } else {
                const int x = m.X(static_cast<float>(v));
                p.drawLine(x, line, x, line + out * 5);
                p.setPen(label_color_);
                const int w = fm.horizontalAdvance(text);
                const int y = out < 0 ? line - 6 - fm.height() : line + 6;
                p.drawText(QRect(x - w / 2 - 1, y, w + 2, fm.height()), Qt::AlignCenter, text);
            }
        }
    }
    if (title_.isEmpty()) return;
    // The title sits at the outer edge of the axis' band, centred along the axis.
    p.setFont(title_font_);
    p.setPen(label_color_);
    const QFontMetrics tm(title_font_);
    const int outer = out < 0 ? line + 2 - thickness_ : line - 1 + thickness_;
    if (vertical()) {
        const int x = out < 0 ? outer : outer - tm.height();
        const int cy = (plot_.top + plot_.bottom) / 2;
        p.save();
        p.translate(x, cy);
        p.rotate(-90);
        p.drawText(QRect(-plot_.height() / 2, 0, plot_.height(), tm.height()), Qt::AlignCenter,
                   title_);
        p.restore();
    } else {
        const int y = out < 0 ? outer : outer - tm.height();
        p.drawText(QRect(plot_.left, y, plot_.width(), tm.height()), Qt::AlignCenter, title_);
    }
}

// ---- Series ----------------------------------------------------------------------------------

bool DataChartSeries::SetXAxis(DataChartAxis* axis) {
    if (axis == nullptr || axis->vertical()) return false;
    x_axis_ = axis;
    return true;
}

bool DataChartSeries::SetYAxis(DataChartAxis* axis) {
    if (axis == nullptr || !axis->vertical()) return false;
    y_axis_ = axis;
    return true;
}

void DataChartSeries::AppendPoint(float x, float y) {
    points_.Append(x, y);
    bool moved = false;
    if (x_axis_ != nullptr) moved |= x_axis_->Follow(x);
    if (y_axis_ != nullptr && std::isfinite(y)) moved |= y_axis_->Follow(y);
    chart_->RequestUpdate(moved);
}

void DataChartSeries::InsertPoint(float x, float y) {
    const bool added = points_.Insert(x, y);
    bool moved = false;
    if (x_axis_ != nullptr) moved |= x_axis_->Follow(x);
    if (added && y_axis_ != nullptr && std::isfinite(y)) moved |= y_axis_->Follow(y);
    chart_->RequestUpdate(moved);
}

void DataChartSeries::AddPoints(const app::ChartPoint* points, size_t n, bool insert) {
    if (n == 0) return;
    const bool follow = y_axis_ != nullptr && (y_axis_->flags() & DataChartAxis::kAutoScroll);
    bool moved = false;
    for (size_t i = 0; i < n; ++i) {
        const app::ChartPoint& p = points[i];
        bool added = true;
        if (insert) {
            added = points_.Insert(p.x, p.y);
        } else {
            points_.Append(p.x, p.y);
        }
        if (follow && added && std::isfinite(p.y)) moved |= y_axis_->Follow(p.y);
    }
    chart_->RequestUpdate(moved);
}

// ---- Chart -----------------------------------------------------------------------------------

MMDataChart::MMDataChart(QWidget* parent) : QWidget(parent), title_font_(ArialFont(14, 600)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(100, 100);
}

MMDataChart::~MMDataChart() = default;

DataChartSeries* MMDataChart::NewSeries() {
    series_.push_back(std::make_unique<DataChartSeries>(this));
    return series_.back().get();
}

DataChartSeries* MMDataChart::GetSeries(size_t index) const {
    return index < series_.size() ? series_[index].get() : nullptr;
}

int MMDataChart::DeleteSeries(size_t index) {
    if (index < series_.size()) series_.erase(series_.begin() + static_cast<ptrdiff_t>(index));
    return 1;
}

int MMDataChart::DeleteAllSeries() {
    series_.clear();
    return 1;
}

int MMDataChart::ClearData() {
    for (auto& s : series_) s->points().Clear();
    return 1;
}

DataChartAxis* MMDataChart::NewAxis() {
    axes_.push_back(std::make_unique<DataChartAxis>(this));
    return axes_.back().get();
}

DataChartAxis* MMDataChart::GetAxis(size_t index) const {
    return index < axes_.size() ? axes_[index].get() : nullptr;
}

int MMDataChart::DeleteAxis(size_t index) {
    if (index >= axes_.size()) return 1;
    const DataChartAxis* axis = axes_[index].get();
    for (const auto& s : series_) {
        if (s->xAxis() == axis || s->yAxis() == axis) return 0;
    }
    axes_.erase(axes_.begin() + static_cast<ptrdiff_t>(index));
    return 1;
}

int MMDataChart::DeleteAllAxes() {
    DeleteAllSeries();
    axes_.clear();
    return 1;
}

int MMDataChart::Recalc() {
    Render();
    Repaint();
    return 1;
}

int MMDataChart::Repaint() {
    if (!suspended_) repaint();
    return 1;
}

void MMDataChart::SetRedraw(bool on) {
    suspended_ = !on;
    if (on) update();
}

void MMDataChart::SetTitle(const QString& title) {
    title_ = title.size() > kMaxTitle ? QString() : title;
}

void MMDataChart::RequestUpdate(bool rerender) {
    rerender_ |= rerender;
    update();
}

void MMDataChart::Render() {
    const QSize size = this->size();
    picture_ = QImage(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    picture_.fill(Qt::white);
    QPainter p(&picture_);
    ChartRect plot{3, 3, size.width() - 3, size.height() - 3};
    if (!title_.isEmpty()) {
        p.setFont(title_font_);
        p.setPen(title_color_);
        const QFontMetrics fm(title_font_);
        p.drawText(QRect(0, 2, size.width(), fm.height()), Qt::AlignHCenter | Qt::AlignTop, title_);
        plot.top += fm.height() + 4;
    }
    rerender_ = false;
    for (auto& axis : axes_) {
        axis->shown_view_ = axis->view_;
        axis->shown_data_ = axis->data_;
    }
    // Each side stacks its axes outward in creation order: the first sits nearest the plot.
    int used[4] = {0, 0, 0, 0};
    std::vector<DataChartAxis*> stacked[4];
    for (auto& axis : axes_) {
        const int side = std::clamp(axis->position_, 0, 3);
        const int t = axis->Measure();
        axis->offset_ = used[side];
        axis->hidden_ = false;
        used[side] += t;
        stacked[side].push_back(axis.get());
    }
    // Axes that would squeeze the plot below its minimum are hidden, outermost first and from
    // the fuller side, so the plot never shrinks to nothing or turns inside out.
    const auto squeeze = [&](int a, int b, int room, double share) {
        const int least = static_cast<int>(room * share);
        while (room - used[a] - used[b] < least && (!stacked[a].empty() || !stacked[b].empty())) {
            const int side =
                stacked[b].empty() || (!stacked[a].empty() && used[a] >= used[b]) ? a : b;
            DataChartAxis* outer = stacked[side].back();
            stacked[side].pop_back();
            outer->hidden_ = true;
            used[side] -= outer->thickness_;
        }
    };
    squeeze(DataChartAxis::kLeft, DataChartAxis::kRight, plot.width(), kMinPlotWidthShare);
    squeeze(DataChartAxis::kTop, DataChartAxis::kBottom, plot.height(), kMinPlotHeightShare);
    plot.left += used[DataChartAxis::kLeft];
    plot.right -= used[DataChartAxis::kRight];
    plot.top += used[DataChartAxis::kTop];
    plot.bottom -= used[DataChartAxis::kBottom];
    plot_ = plot;
    int hidden[4] = {0, 0, 0, 0};
    for (auto& axis : axes_) {
        axis->plot_ = plot;
        if (axis->hidden_) {
            ++hidden[std::clamp(axis->position_, 0, 3)];
        } else {
            axis->Draw(p);
        }
    }
    // "+N" at the outer edge of a side says that N of its axes are not shown.
    p.setFont(ArialFont(11, 400));
    p.setPen(Qt::darkGray);
    const QFontMetrics marker(p.font());
    for (int side = 0; side < 4; ++side) {
        if (hidden[side] == 0) continue;
        const QString text = QString("+%1").arg(hidden[side]);
        const int w = marker.horizontalAdvance(text) + 2, h = marker.height();
        QRect at;
        switch (side) {
            case DataChartAxis::kLeft:
                at = QRect(1, plot.top, w, h);
                break;
            case DataChartAxis::kRight:
                at = QRect(size.width() - w - 1, plot.top, w, h);
                break;
            case DataChartAxis::kTop:
                at = QRect(plot.right - w, plot.top - h - 1, w, h);
                break;
            default:
                at = QRect(plot.right - w, size.height() - h - 1, w, h);
                break;
        }
        p.drawText(at, Qt::AlignCenter, text);
    }
    p.setPen(QPen(border_, 1));
    p.setBrush(fill_);
    if (plot.width() > 0 && plot.height() > 0) {
        p.drawRect(plot.left, plot.top, plot.width() - 1, plot.height() - 1);
    }
    p.end();
    if (const DataChartAxis* axis = timeAxis()) {
        const TimeSpan span{axis->shown_view_.min, axis->shown_view_.max};
        if (!(span == shown_span_)) {
            shown_span_ = span;
            emit visibleSpanChanged(span.begin, span.end);
        }
    }
}

DataChartAxis* MMDataChart::timeAxis() const {
    for (const auto& axis : axes_) {
        if (!axis->vertical()) return axis.get();
    }
    return nullptr;
}

void MMDataChart::SetVisibleSpan(double begin, double end) {
    if (!std::isfinite(begin) || !std::isfinite(end)) return;
    if (end < begin) std::swap(begin, end);
    if (end - begin < kMinSpan) {
        const double middle = begin + (end - begin) / 2.0;
        begin = middle - kMinSpan / 2.0;
        end = middle + kMinSpan / 2.0;
    }
    for (auto& axis : axes_) {
        if (!axis->vertical()) axis->view_ = {static_cast<float>(begin), static_cast<float>(end)};
    }
    Render();
    update();
}

MMDataChart::TimeSpan MMDataChart::VisibleSpan() const {
    const DataChartAxis* axis = timeAxis();
    if (axis == nullptr) return {};
    const DataChartAxis::Range view = axis->viewRange();
    return {view.min, view.max};
}

MMDataChart::TimeSpan MMDataChart::FullSpan() const {
    bool any = false;
    TimeSpan span;
    for (const auto& s : series_) {
        if (s->points().size() == 0) continue;
        const app::ChartExtent e = s->points().extent();
        span.begin = any ? std::min<double>(span.begin, e.min_x) : e.min_x;
        span.end = any ? std::max<double>(span.end, e.max_x) : e.max_x;
        any = true;
    }
    if (any) return span;
    const DataChartAxis* axis = timeAxis();
    if (axis == nullptr) return {};
    const DataChartAxis::Range data = axis->dataRange();
    return {data.min, data.max};
}

std::optional<float> MMDataChart::ValueAt(size_t index, double t) const {
    if (index >= series_.size()) return std::nullopt;
    return series_[index]->points().ValueAt(static_cast<float>(t));
}

int MMDataChart::hiddenAxisCount() const {
    return static_cast<int>(
        std::count_if(axes_.begin(), axes_.end(), [](const auto& a) { return a->hidden(); }));
}

const QImage& MMDataChart::Frame() {
    if (rerender_ || picture_.size() != size().expandedTo(QSize(1, 1))) Render();
    Compose(frame_, false);
    return frame_;
}

QImage MMDataChart::FrameEveryPoint() {
    if (rerender_ || picture_.size() != size().expandedTo(QSize(1, 1))) Render();
    QImage image;
    Compose(image, true);
    return image;
}

void MMDataChart::Compose(QImage& target, bool every_point) {
    if (target.size() != picture_.size() || target.format() != picture_.format()) {
        target = QImage(picture_.size(), picture_.format());
    }
    // What the lines depend on: the picture, each series' points, looks and view.
    std::vector<float> key;
    if (!every_point) {
        key.reserve(4 + series_.size() * 10);
        const auto push64 = [&](uint64_t v) {
            key.push_back(static_cast<float>(v & 0xFFFFFF));
            key.push_back(static_cast<float>((v >> 24) & 0xFFFFFF));
            key.push_back(static_cast<float>(v >> 48));
        };
        push64(picture_.cacheKey());
        for (const auto& s : series_) {
            push64(s->points().version());
            push64(reinterpret_cast<uintptr_t>(s.get()));
            key.push_back(static_cast<float>(s->lineColor().rgba() & 0xFFFFFF));
            key.push_back(static_cast<float>(s->lineWidth() * 16 + s->lineStyle()));
            const DataChartAxis* xa = s->xAxis();
            const DataChartAxis* ya = s->yAxis();
            if (xa == nullptr || ya == nullptr) continue;
            key.insert(key.end(), {xa->view_.min, xa->view_.max, ya->view_.min, ya->view_.max});
        }
    }
    const bool cached = !every_point && key == cache_key_ && lines_cache_.size() == target.size();
    const QImage& base = cached ? lines_cache_ : picture_;
    std::memcpy(target.bits(), base.constBits(), static_cast<size_t>(base.sizeInBytes()));
    QPainter p(&target);
    const ChartRect plot = plot_;
    p.setClipRect(QRect(plot.left + 1, plot.top + 1, plot.width() - 2, plot.height() - 2));
    if (!cached) DrawLines(p, target, every_point);
    if (!every_point && !cached) {
        p.end();
        lines_cache_ = target.copy();
        cache_key_ = std::move(key);
        p.begin(&target);
        p.setClipRect(QRect(plot.left + 1, plot.top + 1, plot.width() - 2, plot.height() - 2));
    }
    DrawCursors(p);
}

void MMDataChart::DrawLines(QPainter& p, QImage& target, bool every_point) {
    const ChartRect plot = plot_;
    const QRect clip(plot.left + 1, plot.top + 1, plot.width() - 2, plot.height() - 2);
    QVector<QPoint> line;
    QVector<QLine> segments;
    for (const auto& s : series_) {
        const DataChartAxis* xa = s->xAxis();
        const DataChartAxis* ya = s->yAxis();
        if (xa == nullptr || ya == nullptr) continue;
        app::PlotMapping m;
        m.x_min = xa->view_.min;
        m.x_max = xa->view_.max;
        m.y_min = ya->view_.min;
        m.y_max = ya->view_.max;
        m.left = plot.left;
        m.right = plot.right;
        m.top = plot.top;
        m.bottom = plot.bottom;
        if (every_point) {
            s->points().TraceEveryPoint(m, trace_);
        } else {
            s->points().Trace(m, trace_);
        }
        if (trace_.empty()) continue;
        QPen pen(s->lineColor(), s->lineWidth(), PenStyle(s->lineStyle()), Qt::RoundCap,
                 Qt::RoundJoin);
        p.setPen(pen);
        // A value that is not finite breaks the line: each stretch between breaks is drawn on
        // its own, a lone point as a dot.
        for (size_t begin = 0; begin < trace_.size();) {
            size_t end = begin;
            while (end < trace_.size() && !(trace_[end] == app::kLineBreak)) ++end;
            const auto n = static_cast<qsizetype>(end - begin);
            line.resize(n);
            for (qsizetype i = 0; i < n; ++i) {
                const app::PixelPoint& at = trace_[begin + static_cast<size_t>(i)];
                line[i] = QPoint(at.x, at.y);
            }
            begin = end + 1;
            if (n == 1) {
                p.drawPoint(line[0]);
            } else if (!every_point && pen.style() == Qt::SolidLine &&
                       s->lineWidth() <= kMaxStampWidth && line.size() > plot.width()) {
                DrawCrowded(p, target, clip, pen, line);
            } else if (s->lineWidth() > 1 && pen.style() == Qt::SolidLine &&
                       line.size() > plot.width()) {
                // A crowded wide line goes as separate round-capped segments: they cover the
                // same pixels as the joined polyline without filling one large self-crossing
                // outline.
                segments.resize(line.size() - 1);
                for (qsizetype i = 1; i < line.size(); ++i)
                    segments[i - 1] = QLine(line[i - 1], line[i]);
                p.drawLines(segments.constData(), static_cast<int>(segments.size()));
            } else if (n > 1) {
                p.drawPolyline(line.constData(), static_cast<int>(line.size()));
            }
        }
    }
}

void MMDataChart::DrawCrowded(QPainter& p, QImage& target, const QRect& clip, const QPen& pen,
                              const QVector<QPoint>& line) {
    // The points of one pixel column go straight into the picture as one vertical line from
    // the stamp, from their lowest to their highest pixel. A thin line's painter then draws
    // the polyline through each column's first and last point (the pixels of the whole
    // polyline, exactly); a wide one's draws the steps from column to column, where a step
    // between two such lines needs no round ends: the lines' own cover its joints.
    const RunStamp& stamp = StampFor(pen.width());
    const QRgb rgb = pen.color().rgb();
    uchar* bits = target.bits();
    const qsizetype stride = target.bytesPerLine();
    const bool thin = pen.width() <= 1;
    joined_.clear();
    between_.clear();
    ends_.clear();
    bodies_.clear();
    const qsizetype n = line.size();
    bool from_run = false;
    for (qsizetype i = 0; i < n;) {
        qsizetype j = i;
        int low = line[i].y(), high = line[i].y();
        while (j + 1 < n && line[j + 1].x() == line[i].x()) {
            ++j;
            low = std::min(low, line[j].y());
            high = std::max(high, line[j].y());
        }
        const bool run = j > i;
        const bool filled =
            run && FillRunEnds(bits, stride, clip, stamp, line[i].x(), low, high, rgb);
        if (filled) bodies_.push_back({line[i].x(), low + stamp.margin + 1, high - stamp.margin});
        if (thin) {
            ends_.push_back(line[i]);
            if (run) {
                // Unfilled, the column's line is drawn whole with the polyline.
                if (!filled) {
                    ends_.push_back(QPoint(line[i].x(), low));
                    ends_.push_back(QPoint(line[i].x(), high));
                }
                ends_.push_back(line[j]);
            }
        } else {
            if (run && !filled) joined_.push_back(QLine(line[i].x(), low, line[i].x(), high));
            if (i > 0) {
                const QLine step(line[i - 1], line[i]);
                (from_run && run ? between_ : joined_).push_back(step);
            }
        }
        from_run = run;
        i = j + 1;
    }
    // The bodies row by row: each row of the picture is written once, left to right.
    for (int row = clip.top(); row <= clip.bottom(); ++row) {
        auto* out = reinterpret_cast<QRgb*>(bits + row * stride);
        for (const Body& b : bodies_) {
            if (row < b.from || row >= b.to) continue;
            const int from = std::max(b.x + stamp.body.first, clip.left());
            const int to = std::min(b.x + stamp.body.second, clip.right());
            for (int c = from; c <= to; ++c) out[c] = rgb;
        }
    }
    p.setPen(pen);
    if (thin) {
        p.drawPolyline(ends_.constData(), static_cast<int>(ends_.size()));
        return;
    }
    p.drawLines(joined_.constData(), static_cast<int>(joined_.size()));
    if (!between_.isEmpty()) {
        QPen flat(pen);
        flat.setCapStyle(Qt::FlatCap);
        p.setPen(flat);
        p.drawLines(between_.constData(), static_cast<int>(between_.size()));
        p.setPen(pen);
    }
}

void MMDataChart::DrawCursors(QPainter& p) {
    const ChartRect plot = plot_;
    struct Cursor {
        bool vertical;
        int pixel;
    };
    std::vector<Cursor> cursors;
    for (const auto& axis : axes_) {
        if (!(axis->flags() & DataChartAxis::kCursorLine)) continue;
        const float c = axis->cursor_;
        if (c < axis->view_.min || c > axis->view_.max) continue;
        app::PlotMapping m;
        m.x_min = m.y_min = axis->view_.min;
        m.x_max = m.y_max = axis->view_.max;
        m.left = plot.left;
        m.right = plot.right;
        m.top = plot.top;
        m.bottom = plot.bottom;
        cursors.push_back({axis->vertical(), axis->vertical() ? m.Y(c) : m.X(c)});
    }
    // The cursor inverts what lies under it, so it shows on any line colour.
    p.setCompositionMode(QPainter::RasterOp_NotDestination);
    p.setPen(QPen(Qt::black, 1));
    for (const Cursor& c : cursors) {
        if (c.vertical) {
            p.drawLine(plot.left, c.pixel, plot.right - 1, c.pixel);
        } else {
            p.drawLine(c.pixel, plot.top, c.pixel, plot.bottom - 1);
        }
    }
}

void MMDataChart::paintEvent(QPaintEvent*) {
    if (suspended_) return;
    QPainter p(this);
    p.drawImage(0, 0, Frame());
}

void MMDataChart::resizeEvent(QResizeEvent*) {
    Render();
}

void MMDataChart::contextMenuEvent(QContextMenuEvent* event) {
    emit contextMenuRequested(id_, event->globalPos());
}

void TimeLabel(MMDataChart*, DataChartAxis*, float value, char* buf, int* length) {
    const int size = length != nullptr && *length > 0 ? *length : 30;
    const int n = app::FormatChartTime(value, buf, static_cast<size_t>(size));
    if (length != nullptr) *length = n;
}

}  // namespace korvit::controls
