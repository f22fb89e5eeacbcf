#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>

namespace korvit::controls {

/// A Windows COLORREF (0x00BBGGRR, red in the lowest byte) as a QColor. Every gauge and the item
/// list convert definition and default colours here, so the byte order is decided once.
inline QColor FromColorRef(uint32_t colorref) {
    return QColor(static_cast<int>(colorref & 0xFF), static_cast<int>((colorref >> 8) & 0xFF),
                  static_cast<int>((colorref >> 16) & 0xFF));
}

/// "Arial" (resolved by fontconfig, usually to the metric-compatible Liberation Sans) whose
/// character cell (ascent plus descent) is `height` units high, as a Windows font height counts.
QFont ArialFont(int height, int weight = 400);

/// The text of a dial value: with `digits` decimals when it has a fractional part, otherwise as
/// an integer.
QString DialValueText(float value, int digits);

}  // namespace korvit::controls
