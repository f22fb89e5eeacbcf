#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace korvit::app {
class HistogramFilters;
}
namespace korvit::datalog {
class DataLog;
}
namespace korvit::definition {
class ADXDefinition;
}

namespace korvit::shell {

/// Keeps the histograms true to the log position: after a seek the histograms hold exactly the
/// records from the start of the log up to the position the displays show, as a straight play
/// would leave them. A worker replays the log into its own copy of the definition (with
/// checkpoints, so a seek anywhere costs at most one stretch of records), follows a playing
/// player until it is close behind, and then, while the player waits, catches up the last few
/// records and copies its samples into the live histograms.
class HistogramReview : public QObject {
    Q_OBJECT
  public:
    HistogramReview(definition::ADXDefinition& live, datalog::DataLog& datalog,
                    QObject* parent = nullptr);
    ~HistogramReview() override;

    /// Prepares rebuilds of the log with the definition as it is now and the filters. False
    /// when the definition cannot be copied. Any open log is closed first.
    bool Open(std::string log_path, const app::HistogramFilters& filters);
    /// Stops the worker; later requests do nothing until Open. The live histograms are not
    /// touched after it returns.
    void Close();
    bool open() const { return worker_.joinable(); }
    const std::string& log() const { return log_; }

    /// The histograms are to hold the records up to the position the displays show (and go on
    /// from there with the player); a newer request replaces one not yet served.
    void Rebuild();
    /// True from a request until its result is in the live histograms (or dropped).
    bool busy() const { return busy_; }
    /// Rebuilds whose results reached the live histograms.
    uint64_t applied() const { return applied_; }
    /// Records the worker may still replay while the player waits for the hand-over.
    static constexpr uint32_t kCatchUpRecords = 256;

  signals:
    /// The live histograms held the records up to `sample` when they were handed over.
    void rebuilt(uint32_t sample);

  private:
    void Run(std::string adx, std::string log,
             std::shared_ptr<const app::HistogramFilters> filters);

    definition::ADXDefinition& live_;
    datalog::DataLog& datalog_;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool request_ = false;
    bool stop_ = false;
    std::atomic<uint64_t> generation_{0};
    std::string log_;
    bool busy_ = false;
    uint64_t applied_ = 0;
};

}  // namespace korvit::shell
