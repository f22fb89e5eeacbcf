#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace korvit::definition {
class ADXHistogram;
}

namespace korvit::app {

/// The histogram cells fed since the Histograms page last drew, so that it redraws only those.
/// The reply thread adds; the GUI thread takes. Past kMaxCells only an overflow mark is kept and
/// the page redraws the whole histogram; the cells' statistics themselves are never dropped.
class FedCells {
  public:
    using Cell = std::pair<const definition::ADXHistogram*, int32_t>;
    static constexpr size_t kMaxCells = 4096;

    /// A sample went into `cell` (column * 65536 + row) of the histogram.
    void Add(const definition::ADXHistogram* histogram, int32_t cell) {
        std::lock_guard lock(mutex_);
        if (cells_.size() < kMaxCells) {
            cells_.emplace_back(histogram, cell);
        } else {
            overflow_ = true;
        }
    }
    /// The cells since the last call, oldest first; `overflow` tells that some were not kept.
    std::vector<Cell> Take(bool* overflow) {
        std::lock_guard lock(mutex_);
        if (overflow != nullptr) *overflow = overflow_;
        overflow_ = false;
        return std::exchange(cells_, {});
    }

  private:
    std::mutex mutex_;
    std::vector<Cell> cells_;
    bool overflow_ = false;
};

}  // namespace korvit::app
