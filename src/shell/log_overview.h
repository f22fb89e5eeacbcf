#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/chart_points.h"

namespace korvit::definition {
class ADXDefinition;
}

namespace korvit::shell {

/// Fills chart lines from a whole log in the background. The worker decodes into its own copy
/// of the definition (written to a scratch file here, read back there), so the definition the
/// pages and the player use is never touched off the GUI thread. Results come back through the
/// event loop; a newer request or Cancel drops an older one's result.
class LogOverview : public QObject {
    Q_OBJECT
  public:
    /// One line per hash, filled on the worker, to be swapped into the shown lines.
    using Lines = std::vector<std::unique_ptr<app::ChartPoints>>;
    /// Called on the GUI thread with the log, the value hashes asked for and one line per hash.
    using Done = std::function<void(const std::string& log_path,
                                    const std::vector<uint32_t>& hashes, Lines& lines)>;

    explicit LogOverview(QObject* parent = nullptr);
    ~LogOverview() override;

    /// Starts filling the lines of `hashes` from the log, dropping any fill still running.
    /// False (nothing started) when the definition cannot be copied.
    bool Start(const definition::ADXDefinition& definition, const std::string& log_path,
               std::vector<uint32_t> hashes, Done done);
    /// Drops the running fill, if any, and waits for its thread.
    void Cancel();
    /// True from Start until the result was handed over or dropped.
    bool busy() const { return busy_; }
    /// Fills started so far (each Start counts).
    uint64_t generation() const { return generation_; }

    /// The first record of the last log filled that decoded a reply (none: command 0).
    struct FirstRecord {
        uint32_t command_hash = 0;
        uint32_t time_ms = 0;
        std::vector<uint8_t> reply;
    };
    /// Set when a fill's result is handed over, before `done` is called.
    const FirstRecord& first() const { return first_; }

  private:
    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    uint64_t generation_ = 0;
    bool busy_ = false;
    FirstRecord first_;
};

}  // namespace korvit::shell
