#include "app/chart_feed.h"

#include <algorithm>
#include <utility>

#include "definition/adx_definition.h"
#include "definition/adx_value.h"

namespace korvit::app {

bool ChartFeed::Batch::empty() const {
    if (reset || cursor || !arrivals.empty()) return false;
    return std::all_of(lines.begin(), lines.end(), [](const auto& l) { return l.empty(); });
}

void ChartFeed::Watch(const definition::ADXDefinition* definition,
                      std::vector<definition::ADXValue*> values, bool keep_waiting) {
    std::lock_guard watch(watch_mutex_);
    std::lock_guard pending(pending_mutex_);
    if (!keep_waiting) {
        ClearPendingLocked(0);
        values_.clear();
    }
    // The waiting points of a value move to its new place; a reset mark moves with them.
    std::vector<std::vector<ChartPoint>> lines(values.size());
    std::vector<size_t> marks(values.size(), 0);
    for (size_t k = 0; k < values.size(); ++k) {
        const auto old = std::find(values_.begin(), values_.end(), values[k]);
        if (old == values_.end()) continue;
        const auto i = static_cast<size_t>(old - values_.begin());
        if (i < pending_.lines.size()) lines[k].swap(pending_.lines[i]);
        if (i < pending_.lines_before_reset.size()) marks[k] = pending_.lines_before_reset[i];
    }
    pending_.lines.swap(lines);
    pending_.lines_before_reset.swap(marks);
    definition_ = definition;
    values_ = std::move(values);
    computed_.assign(values_.size(), 0.0f);
    fed_.assign(values_.size(), 0);
}

void ChartFeed::Feed(float t, evaluation::Packet packet, uint32_t command_hash) {
    std::lock_guard watch(watch_mutex_);
    bool any = false;
    for (size_t k = 0; k < values_.size(); ++k) {
        definition::ADXValue* value = values_[k];
        fed_[k] = value->parentcmdidhash == 0 || value->parentcmdidhash == command_hash;
        if (!fed_[k]) continue;
        computed_[k] = static_cast<float>(value->ComputeValue(*definition_, packet));
        any = true;
    }
    std::lock_guard pending(pending_mutex_);
    if (any) {
        for (size_t k = 0; k < values_.size(); ++k) {
            if (fed_[k]) pending_.lines[k].push_back({t, computed_[k]});
        }
        pending_.arrivals.push_back({t, command_hash});
    }
    pending_.cursor = t;
    pending_.cursor_after_reset = pending_.reset;
}

void ChartFeed::Reset() {
    std::lock_guard pending(pending_mutex_);
    pending_.reset = true;
    pending_.cursor_after_reset = false;
    pending_.arrivals_before_reset = pending_.arrivals.size();
    pending_.lines_before_reset.resize(pending_.lines.size());
    for (size_t k = 0; k < pending_.lines.size(); ++k) {
        pending_.lines_before_reset[k] = pending_.lines[k].size();
    }
}

void ChartFeed::SetCursor(double seconds) {
    std::lock_guard pending(pending_mutex_);
    pending_.cursor = static_cast<float>(seconds);
    pending_.cursor_after_reset = pending_.reset;
}

void ChartFeed::Take(Batch& batch) {
    std::lock_guard pending(pending_mutex_);
    std::swap(pending_, batch);
    ClearPendingLocked(batch.lines.size());
}

void ChartFeed::ClearPendingLocked(size_t lines) {
    // The storage that came back from the last batch keeps its capacity.
    pending_.lines.resize(lines);
    for (auto& line : pending_.lines) line.clear();
    pending_.lines_before_reset.assign(lines, 0);
    pending_.arrivals.clear();
    pending_.arrivals_before_reset = 0;
    pending_.reset = false;
    pending_.cursor.reset();
    pending_.cursor_after_reset = false;
}

}  // namespace korvit::app
