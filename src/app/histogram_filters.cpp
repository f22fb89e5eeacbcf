#include "app/histogram_filters.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "definition/adx_definition.h"
#include "definition/adx_histogram.h"

namespace korvit::app {

std::optional<evaluation::HistogramFilter> HistogramFilters::Get(
    std::string_view histogram_id) const {
    const auto it = filters_.find(histogram_id);
    if (it == filters_.end()) return std::nullopt;
    return it->second;
}

void HistogramFilters::Set(const std::string& histogram_id,
                           const evaluation::HistogramFilter& filter) {
    filters_[histogram_id] = filter;
}

void HistogramFilters::Remove(std::string_view histogram_id) {
    const auto it = filters_.find(histogram_id);
    if (it != filters_.end()) filters_.erase(it);
}

std::vector<std::string> HistogramFilters::Apply(const definition::ADXDefinition& def) const {
    std::vector<std::string> problems;
    for (const auto& object : def.objects()) {
        auto* histogram = definition::As<definition::ADXHistogram>(object.get());
        if (histogram == nullptr) continue;
        const auto it = filters_.find(histogram->id());
        if (it == filters_.end()) {
            histogram->SetFilter(nullptr);
            continue;
        }
        std::string error;
        auto resolved = evaluation::ResolvedHistogramFilter::Resolve(it->second, def, &error);
        if (!resolved) {
            problems.push_back("Histogram " + it->first + ": filter " + it->second.Format() +
                               " not used: " + error);
        }
        histogram->SetFilter(resolved ? std::make_shared<const evaluation::ResolvedHistogramFilter>(
                                            std::move(*resolved))
                                      : nullptr);
    }
    return problems;
}

void HistogramFilters::Detach(const definition::ADXDefinition& def) {
    for (const auto& object : def.objects()) {
        if (auto* histogram = definition::As<definition::ADXHistogram>(object.get())) {
            histogram->SetFilter(nullptr);
        }
    }
}

void HistogramFilters::Parse(std::string_view text) {
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        const size_t eq = line.find('=');
        if (eq == 0 || eq == std::string_view::npos) continue;
        if (auto filter = evaluation::HistogramFilter::Parse(line.substr(eq + 1))) {
            filters_[std::string(line.substr(0, eq))] = std::move(*filter);
        }
    }
}

std::string HistogramFilters::Format() const {
    std::string out;
    for (const auto& [id, filter] : filters_) out += id + "=" + filter.Format() + "\n";
    return out;
}

int HistogramFilters::Read(const std::string& path) {
    if (path.empty()) return 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    std::stringstream text;
    text << in.rdbuf();
    Parse(text.str());
    return 1;
}

int HistogramFilters::Write(const std::string& path) const {
    if (path.empty()) return 0;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    // A new file put in place whole, so that a failed write never loses the filters there.
    const std::string part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        if (!out) return 0;
        out << Format();
        out.close();
        if (!out) {
            std::filesystem::remove(part, ec);
            return 0;
        }
    }
    std::filesystem::rename(part, path, ec);
    if (!ec) return 1;
    std::filesystem::remove(part, ec);
    return 0;
}

std::string HistogramFiltersPath(const std::string& settings_path) {
    if (settings_path.empty()) return {};
    const size_t slash = settings_path.find_last_of('/');
    return (slash == std::string::npos ? std::string() : settings_path.substr(0, slash + 1)) +
           "korvit-histograms.ini";
}

}  // namespace korvit::app
