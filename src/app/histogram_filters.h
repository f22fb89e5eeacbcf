#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "evaluation/histogram_filter.h"

namespace korvit::definition {
class ADXDefinition;
}

namespace korvit::app {

/// The "Only when" filter of each histogram, by histogram id, kept in "korvit-histograms.ini"
/// beside Settings.dat: one line "HISTOGRAM=ITEM=true", "HISTOGRAM=ITEM=false" or
/// "HISTOGRAM=ITEM=LOW..HIGH" per filtered histogram.
class HistogramFilters {
  public:
    std::optional<evaluation::HistogramFilter> Get(std::string_view histogram_id) const;
    void Set(const std::string& histogram_id, const evaluation::HistogramFilter& filter);
    /// The histogram takes every record again.
    void Remove(std::string_view histogram_id);
    const std::map<std::string, evaluation::HistogramFilter, std::less<>>& all() const {
        return filters_;
    }

    /// Sets on every histogram of `def` its filter, or none. A filter whose item the definition
    /// lacks (or is of the wrong kind) is not set and is kept for another definition; the
    /// returned lines say which.
    std::vector<std::string> Apply(const definition::ADXDefinition& def) const;
    /// Takes every filter off the histograms of `def` (a live scan accumulates every reply).
    static void Detach(const definition::ADXDefinition& def);

    /// Reads lines as written by Format; malformed lines are skipped.
    void Parse(std::string_view text);
    std::string Format() const;
    /// 1 when the file was read; a missing file leaves the filters as they are.
    int Read(const std::string& path);
    /// 1 when the file was written.
    int Write(const std::string& path) const;

  private:
    std::map<std::string, evaluation::HistogramFilter, std::less<>> filters_;
};

/// "korvit-histograms.ini" in the folder of `settings_path` (Settings.dat); empty when that is
/// empty.
std::string HistogramFiltersPath(const std::string& settings_path);

}  // namespace korvit::app
