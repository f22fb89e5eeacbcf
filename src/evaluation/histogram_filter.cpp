#include "evaluation/histogram_filter.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "definition/adx_bitmask.h"
#include "definition/adx_definition.h"
#include "definition/adx_value.h"

namespace korvit::evaluation {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool ParseDouble(std::string_view text, double& out) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

/// Shortest text that reads back as the same double.
std::string FormatDouble(double v) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, v);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

bool Fail(std::string* error, std::string message) {
    if (error != nullptr) *error = std::move(message);
    return false;
}

// The text in double quotes, appended rather than prepended (GCC 12 warns falsely on a literal
// put in front of a temporary string).
std::string Quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    out.append(text);
    out += '"';
    return out;
}

}  // namespace

std::optional<HistogramFilter> HistogramFilter::Parse(std::string_view text, std::string* error) {
    text = Trim(text);
    const size_t eq = text.rfind('=');
    if (eq == std::string_view::npos || eq == 0) {
        Fail(error, Quoted(text) + " is not of the form ID=true, ID=false or ID=LOW..HIGH");
        return std::nullopt;
    }
    HistogramFilter filter;
    filter.item = std::string(Trim(text.substr(0, eq)));
    const std::string_view condition = Trim(text.substr(eq + 1));
    if (filter.item.empty()) {
        Fail(error, Quoted(text) + " names no item");
        return std::nullopt;
    }
    if (condition == "true" || condition == "false") {
        filter.kind = Kind::kBitmask;
        filter.state = condition == "true";
        return filter;
    }
    const size_t dots = condition.find("..");
    if (dots == std::string_view::npos || !ParseDouble(condition.substr(0, dots), filter.low) ||
        !ParseDouble(condition.substr(dots + 2), filter.high)) {
        Fail(error,
             Quoted(condition) + " is neither true, false nor a range LOW..HIGH of two numbers");
        return std::nullopt;
    }
    if (filter.low > filter.high) {
        Fail(error,
             std::string("the range ").append(Quoted(condition)).append(" ends below its start"));
        return std::nullopt;
    }
    filter.kind = Kind::kRange;
    return filter;
}

std::string HistogramFilter::Format() const {
    if (kind == Kind::kBitmask) return item + (state ? "=true" : "=false");
    return item + "=" + FormatDouble(low) + ".." + FormatDouble(high);
}

std::optional<ResolvedHistogramFilter> ResolvedHistogramFilter::Resolve(
    const HistogramFilter& filter, const definition::ADXDefinition& def, std::string* error) {
    definition::ADXObject* object = def.FindByID(std::string_view(filter.item));
    const bool bitmask = definition::As<definition::ADXBitmask>(object) != nullptr;
    const bool value = definition::As<definition::ADXValue>(object) != nullptr;
    if (object == nullptr) {
        Fail(error, "the definition has no item \"" + filter.item + "\"");
        return std::nullopt;
    }
    if (filter.kind == HistogramFilter::Kind::kBitmask && !bitmask) {
        Fail(error, "\"" + filter.item + "\" is not a bitmask: true or false needs one");
        return std::nullopt;
    }
    if (filter.kind == HistogramFilter::Kind::kRange && !value) {
        Fail(error, "\"" + filter.item + "\" is not a value: a range needs one");
        return std::nullopt;
    }
    ResolvedHistogramFilter resolved;
    resolved.filter_ = filter;
    resolved.object_ = object;
    return resolved;
}

bool ResolvedHistogramFilter::Accepts(const definition::ADXDefinition& def, Packet packet,
                                      uint32_t command_hash) const {
    const auto own = [&](uint32_t parent) {
        return parent == 0 || parent == command_hash ? packet : Packet::None();
    };
    if (auto* bitmask = definition::As<definition::ADXBitmask>(object_)) {
        const bool set = bitmask->EvaluateBitmask(def, own(bitmask->parentcmdidhash)) != 0;
        return set == filter_.state;
    }
    if (auto* value = definition::As<definition::ADXValue>(object_)) {
        const double v = value->ComputeValue(def, own(value->parentcmdidhash));
        return v >= filter_.low && v <= filter_.high;
    }
    return false;
}

}  // namespace korvit::evaluation
