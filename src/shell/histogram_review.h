#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace korvit::app {
class HistogramFilters;
}
namespace korvit::definition {
class ADXDefinition;
}

namespace korvit::shell {

/// Keeps the histograms true to the log position: after a seek the histograms hold exactly the
/// records from the start of the log up to the new position, as a straight play would leave
/// them. A worker replays the log into its own copy of the definition (with checkpoints, so a
/// seek anywhere costs at most one stretch of records) and hands over a snapshot; the GUI
/// thread copies the snapshot's samples into the live histograms.
class HistogramReview : public QObject {
    Q_OBJECT
  public:
    explicit HistogramReview(definition::ADXDefinition& live, QObject* parent = nullptr);
    ~HistogramReview() override;

    /// Prepares rebuilds of the log with the definition as it is now and the filters. False
    /// when the definition cannot be copied. Any open log is closed first.
    bool Open(std::string log_path, const app::HistogramFilters& filters);
    /// Stops the worker; later requests do nothing until Open.
    void Close();
    bool open() const { return worker_.joinable(); }
    const std::string& log() const { return log_; }

    /// The histograms are to hold records 1 to `sample`; a newer request replaces one not yet
    /// served. The live histograms change on the GUI thread when the rebuild is done.
    void RebuildTo(uint32_t sample);
    /// True from a request until its result is in the live histograms (or dropped).
    bool busy() const { return busy_; }
    /// Rebuilds whose results reached the live histograms.
    uint64_t applied() const { return applied_; }

  signals:
    /// The live histograms now hold the records up to `sample`.
    void rebuilt(uint32_t sample);

  private:
    void Run(std::string adx, std::string log,
             std::shared_ptr<const app::HistogramFilters> filters);

    definition::ADXDefinition& live_;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<uint32_t> request_;
    bool stop_ = false;
    std::atomic<uint64_t> generation_{0};
    std::string log_;
    bool busy_ = false;
    uint64_t applied_ = 0;
};

}  // namespace korvit::shell
