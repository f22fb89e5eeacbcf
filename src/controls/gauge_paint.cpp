#include "controls/gauge_paint.h"

#include <QFontMetricsF>
#include <cmath>
#include <cstdio>

namespace korvit::controls {

QFont ArialFont(int height, int weight) {
    // The cell-to-em ratio of the face, measured once at a large size for precision.
    static const double cell_per_em = [] {
        QFont probe("Arial");
        probe.setPixelSize(1000);
        const QFontMetricsF metrics(probe);
        const double cell = metrics.ascent() + metrics.descent();
        return cell > 0.0 ? cell / 1000.0 : 1.0;
    }();
    QFont font("Arial");
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(height / cell_per_em))));
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QString DialValueText(float value, int digits) {
    char text[64];
    if (std::isfinite(value) && std::floor(value) == value && std::fabs(value) < 2147483647.0f) {
        std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    } else {
        std::snprintf(text, sizeof text, "%.*f", digits, static_cast<double>(value));
    }
    return QString::fromLatin1(text);
}

}  // namespace korvit::controls
