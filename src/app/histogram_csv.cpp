#include "app/histogram_csv.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "definition/adx_histogram.h"
#include "evaluation/numeric.h"

namespace korvit::app {
namespace {

constexpr uint32_t kViewStatistics[] = {
    definition::kMostRecentSample,   definition::kHistoryAverage, definition::kHistoryStdDeviation,
    definition::kHistorySampleCount, definition::kRunningAverage, definition::kRunningSampleCount,
    definition::kRunningMinimum,     definition::kRunningMaximum, definition::kRunningRange,
};

bool SameName(std::string_view text, std::string_view name) {
    if (text.size() != name.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '-' || c == '_') c = ' ';
        if (std::tolower(static_cast<unsigned char>(c)) !=
            std::tolower(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return true;
}

/// A field quoted when it holds a separator, a quote or a line break.
void AppendField(std::string& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace

std::span<const uint32_t> HistogramViewStatistics() {
    return kViewStatistics;
}

std::optional<uint32_t> HistogramStatisticByName(std::string_view text) {
    uint32_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    const bool numeric = !text.empty() && error == std::errc() && end == text.data() + text.size();
    for (const uint32_t code : kViewStatistics) {
        if (numeric ? number == code : SameName(text, definition::HistogramStatisticName(code))) {
            return code;
        }
    }
    return std::nullopt;
}

std::string HistogramAxisLabel(float value) {
    char text[64];
    if (value == std::trunc(value) && std::fabs(value) < 2147483648.0f) {
        std::snprintf(text, sizeof text, "%i", static_cast<int>(value));
        return text;
    }
    const size_t length = evaluation::FormatFixed(static_cast<double>(value), 3, text, sizeof text);
    return length == SIZE_MAX ? std::string() : std::string(text, length);
}

std::string HistogramCsv(definition::ADXHistogram& histogram, uint32_t statistic) {
    const uint32_t rows = histogram.rows();
    const uint32_t cols = histogram.cols();
    std::string out;
    for (uint32_t j = 0; j < cols; ++j) {
        out += ',';
        AppendField(out, HistogramAxisLabel(histogram.AxisBreakPoint(true, j)));
    }
    out += '\n';
    char text[64];
    for (uint32_t i = 0; i < rows; ++i) {
        AppendField(out, HistogramAxisLabel(histogram.AxisBreakPoint(false, i)));
        for (uint32_t j = 0; j < cols; ++j) {
            out += ',';
            histogram.GetStatistic(statistic, i, j, text, sizeof text);
            AppendField(out, text);
        }
        out += '\n';
    }
    return out;
}

}  // namespace korvit::app
