#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korvit::definition {
class ADXHistogram;
}

namespace korvit::app {

/// The statistics the Histograms page offers, in its order; the first is what it shows first.
std::span<const uint32_t> HistogramViewStatistics();
/// The code of a statistic the page offers, by its name in any case (a dash or underscore may
/// stand for a space: "running-average") or by its number; none for anything else.
std::optional<uint32_t> HistogramStatisticByName(std::string_view text);
/// The label of an axis bin: a whole number as such, otherwise three decimals.
std::string HistogramAxisLabel(float value);

/// The grid as CSV: the first row holds the column labels (x bins) after an empty cell, each
/// further row its label (y bin) and the statistic of each cell, empty where it is undefined.
/// Lines end with "\n".
std::string HistogramCsv(definition::ADXHistogram& histogram, uint32_t statistic);

}  // namespace korvit::app
