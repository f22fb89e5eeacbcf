#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "evaluation/last_packet.h"

namespace korvit::definition {
class ADXBitmask;
class ADXDefinition;
class ADXValue;
}  // namespace korvit::definition

namespace korvit::app {

/// The CSV of a datalog's records: time in seconds, then every value and every bitmask of the
/// definition in definition order (the ids head the columns, in UTF-8).
class LogCsv {
  public:
    explicit LogCsv(definition::ADXDefinition& definition);

    /// "time,ID,..." without the line end.
    std::string Header() const;
    /// One record: its time with three decimals, each value as "%.10g" (empty when it is not
    /// finite), each bitmask 1 or 0, without the line end.
    std::string Row(uint32_t time_ms, const evaluation::PacketSnapshot& packet) const;

    size_t valueCount() const { return values_.size(); }
    size_t bitmaskCount() const { return bitmasks_.size(); }

  private:
    definition::ADXDefinition& definition_;
    std::vector<definition::ADXValue*> values_;
    std::vector<definition::ADXBitmask*> bitmasks_;
};

/// A CSV field: quoted when it holds a separator, a quote or a line break.
std::string CsvField(std::string_view text);

/// Replays the log at `log_path` through `definition` (the caller's own copy: the replay
/// decodes into it) and calls `row` with the CSV line of every decoded record stamped from
/// `begin_ms` to `end_ms`. The code of LogReplay::Open or of the replay (kDataLogOk when done,
/// datalog::kReplayCancelled when `cancel` became true). May run on any thread.
uint32_t ExportLogRange(definition::ADXDefinition& definition, const std::string& log_path,
                        uint32_t begin_ms, uint32_t end_ms,
                        const std::function<void(const std::string& row)>& row,
                        const std::atomic<bool>* cancel = nullptr);

}  // namespace korvit::app
