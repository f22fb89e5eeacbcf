// Drawing of the 3D chart: range box with grid and labels, the shaded surface far to near,
// markers, rubber band, texts and the information box.
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "controls/chart3d.h"

namespace korvit::controls {
namespace {

QFont ArialFont(int pixels, int weight) {
    QFont font("Arial");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

QPointF Unit(QPointF v) {
    const double length = std::hypot(v.x(), v.y());
    return length > 1e-6 ? v / length : QPointF(0, 1);
}

}  // namespace

void Chart3D::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), colors_[kBackground]);
    if (!redraw_) return;

    if ((style_ & kShaded) && color_mode_ == 0 && !points_.empty()) {
        color_low_ = data_[kValue].min;
        color_high_ = data_[kValue].max;
    } else if (color_mode_ == 1) {
        color_low_ = limits_[kValue].min;
        color_high_ = limits_[kValue].max;
    }

    PaintBox(p);
    std::vector<Projected> screen(points_.size());
    for (size_t i = 0; i < points_.size(); ++i) screen[i] = ProjectPoint(points_[i]);
    PaintSurface(p, screen);
    if (!(style_ & kNoMarkers)) PaintMarkers(p, screen);
    if (state_ & kRubberRunning) {
        p.setPen(QPen(colors_[kBoxLines], 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rubber_.normalized());
    }
    PaintTexts(p);
}

void Chart3D::PaintBox(QPainter& p) {
    std::array<float, 3> lo{};
    std::array<float, 3> hi{};
    for (int a = 0; a < 3; ++a) {
        lo[a] = Normalise(static_cast<Axis>(a), range_[a].min);
        hi[a] = Normalise(static_cast<Axis>(a), range_[a].max);
    }
    const auto at = [this](const std::array<float, 3>& c) {
        return ProjectCube(c[kX], c[kValue], c[kY]);
    };
    // For each axis, the face at the end that lies farther from the eye is a back face.
    std::array<float, 3> back{};
    for (int a = 0; a < 3; ++a) {
        std::array<float, 3> mid{(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
        mid[a] = lo[a];
        const float depth_lo = at(mid).depth;
        mid[a] = hi[a];
        back[a] = at(mid).depth > depth_lo ? hi[a] : lo[a];
    }

    const QPen solid(colors_[kBoxLines], 1);
    const QPen dotted(colors_[kBoxLines], 1, Qt::DotLine);
    const QFont label_font = ArialFont(11, 400);
    const QFont title_font = ArialFont(12, 400);
    p.setBrush(Qt::NoBrush);
    std::vector<QRectF> written;
    for (int a = 0; a < 3; ++a) {
        const int b = (a + 1) % 3;
        const int c = (a + 2) % 3;
        std::array<float, 3> k{};
        k[a] = back[a];
        QPolygonF face;
        for (auto [vb, vc] :
             {std::pair{lo[b], lo[c]}, {hi[b], lo[c]}, {hi[b], hi[c]}, {lo[b], hi[c]}}) {
            k[b] = vb;
            k[c] = vc;
            face << at(k).screen;
        }
        p.setPen(solid);
        p.drawPolygon(face);
        if (!(style_ & kBackGrid)) continue;

        // Grid lines across the face for the labels of both axes that span it; the labels of
        // x and y are written on the value axis' back face, the value labels on the x back face.
        for (int axis : {b, c}) {
            const int other = axis == b ? c : b;
            const bool write = (a == kValue && axis != kValue) || (a == kX && axis == kValue);
            QPointF outward;
            QPointF title_at;
            for (const Label& label : labels_[axis]) {
                const float v = Normalise(static_cast<Axis>(axis), label.value);
                if (v < std::min(lo[axis], hi[axis]) - 0.01f ||
                    v > std::max(lo[axis], hi[axis]) + 0.01f) {
                    continue;
                }
                k[axis] = v;
                k[other] = lo[other];
                const Projected e1 = at(k);
                k[other] = hi[other];
                const Projected e2 = at(k);
                p.setPen(dotted);
                p.drawLine(e1.screen, e2.screen);
                if (!write) continue;
                const Projected& near = e1.depth < e2.depth ? e1 : e2;
                const Projected& far = e1.depth < e2.depth ? e2 : e1;
                outward = Unit(near.screen - far.screen);
                p.setFont(label_font);
                const QString text = label.text;
                const QSizeF size = p.fontMetrics().size(Qt::TextSingleLine, text);
                const QPointF centre = near.screen + outward * (6 + size.width() / 2);
                const QRectF box(centre - QPointF(size.width() / 2, size.height() / 2), size);
                // A label that would overlap one already written (on its own edge or where two
                // edges meet at a corner) is skipped.
                if (std::any_of(written.begin(), written.end(),
                                [&box](const QRectF& r) { return r.intersects(box); })) {
                    continue;
                }
                p.setPen(colors_[kXLabelText + axis]);
                p.drawText(box, Qt::AlignCenter, text);
                written.push_back(box);
            }
            if (!write || axis_titles_[axis].isEmpty()) continue;
            k[axis] = (lo[axis] + hi[axis]) / 2;
            k[other] = lo[other];
            const Projected e1 = at(k);
            k[other] = hi[other];
            const Projected e2 = at(k);
            const Projected& near = e1.depth < e2.depth ? e1 : e2;
            const Projected& far = e1.depth < e2.depth ? e2 : e1;
            outward = Unit(near.screen - far.screen);
            p.setFont(title_font);
            const QSizeF size = p.fontMetrics().size(Qt::TextSingleLine, axis_titles_[axis]);
            title_at = near.screen + outward * (42 + size.width() / 2);
            p.setPen(colors_[kAxisTitleX + axis]);
            p.drawText(QRectF(title_at - QPointF(size.width() / 2, size.height() / 2), size),
                       Qt::AlignCenter, axis_titles_[axis]);
        }
    }
}

void Chart3D::PaintSurface(QPainter& p, const std::vector<Projected>& screen) {
    if (rows_ < 2 || columns_ < 2) return;
    struct Quad {
        float depth;
        int index;  // of its first corner
    };
    std::vector<Quad> quads;
    quads.reserve(static_cast<size_t>(rows_ - 1) * (columns_ - 1));
    for (int r = 0; r + 1 < rows_; ++r) {
        for (int c = 0; c + 1 < columns_; ++c) {
            const int i = r * columns_ + c;
            const float depth = screen[i].depth + screen[i + 1].depth + screen[i + columns_].depth +
                                screen[i + columns_ + 1].depth;
            quads.push_back({depth, i});
        }
    }
    // Far to near, so that nearer quadrilaterals cover the ones behind them.
    std::sort(quads.begin(), quads.end(),
              [](const Quad& a, const Quad& b) { return a.depth > b.depth; });
    p.setPen(QPen(colors_[kOutline], 1));
    const bool hollow = style_ & kWireFrame;
    const bool shaded = style_ & kShaded;
    if (hollow) p.setBrush(Qt::NoBrush);
    if (!hollow && !shaded) p.setBrush(colors_[kPlainFill]);
    QPointF corners[4];
    for (const Quad& q : quads) {
        const int i = q.index;
        const int idx[4] = {i, i + 1, i + columns_ + 1, i + columns_};
        float sum = 0.0f;
        for (int k = 0; k < 4; ++k) {
            corners[k] = screen[idx[k]].screen;
            sum += points_[idx[k]].value;
        }
        if (!hollow && shaded) p.setBrush(RampColor(sum / 4));
        p.drawConvexPolygon(corners, 4);
    }
}

void Chart3D::PaintMarkers(QPainter& p, const std::vector<Projected>& screen) {
    const bool ramp = (style_ & kWireFrame) && (style_ & kShaded);
    const double r = marker_radius_;
    for (size_t i = 0; i < points_.size(); ++i) {
        const bool selected = points_[i].flags & 1;
        if (!selected && !(style_ & kAllMarkers)) continue;
        const QColor fill = ramp       ? RampColor(points_[i].value)
                            : selected ? colors_[kSelectedMarker]
                                       : colors_[kMarker];
        p.setPen(QPen(colors_[kOutline], selected ? 2 : 1));
        p.setBrush(fill);
        p.drawEllipse(screen[i].screen, r, r);
    }
}

void Chart3D::PaintTexts(QPainter& p) {
    const int w = width();
    if (style_ & kSecondaryText) {
        p.setFont(ArialFont(12, 100));
        p.setPen(colors_[kSecondaryTextColor]);
        p.drawText(QRect(0, 2, w, 16), Qt::AlignHCenter | Qt::AlignTop, secondary_);
    }
    p.setFont(ArialFont(18, 700));
    p.setPen(colors_[kTitleText]);
    p.drawText(QRect(0, 16, w, 24), Qt::AlignHCenter | Qt::AlignTop,
               p.fontMetrics().elidedText(title_, Qt::ElideRight, std::max(0, w - 8)));

    if ((style_ & kInfoBox) && selected_ > 0) {
        QString text;
        bool own = false;
        if (callback_ && last_row_ >= 0 && last_column_ >= 0 && last_row_ < rows_ &&
            last_column_ < columns_) {
            const Point& last = At(last_row_, last_column_);
            own = callback_(this, last.x, last.y, last.value, last_row_, last_column_,
                            kSelectionText, text);
        }
        if (!own) {
            text =
                QString("%1 %2 Selected").arg(selected_).arg(selected_ == 1 ? "Point" : "Points");
        }
        p.setFont(ArialFont(14, 400));
        const int text_w = p.fontMetrics().horizontalAdvance(text) + 16;
        const QRect box(w - 20 - text_w, 15, text_w, 50);
        p.setPen(colors_[kBoxLines]);
        p.setBrush(colors_[kInfoBackground]);
        p.drawRect(box);
        p.setPen(colors_[kInfoText]);
        p.drawText(box, Qt::AlignCenter, text);
    }
}

}  // namespace korvit::controls
