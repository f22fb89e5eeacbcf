#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "acquisition/acquisition_state.h"
#include "datalog/data_log.h"

namespace korvit::definition {
class ADXDefinition;
}

namespace korvit::cli {

/// One played record after the reply path decoded it (on the player thread).
struct PlayedReply {
    float t = 0;  // the record's time stamp in seconds
    uint32_t command_hash = 0;
    uint32_t sample = 0;
    uint32_t time_ms = 0;
    acquisition::AcquisitionState* state = nullptr;
};

/// Plays a datalog through the application's reply path at `speed` (0: unpaced) until its end
/// or Ctrl+C, calling `on_reply` for every decoded record. Output lines go to stderr. Returns
/// the exit code: 0 at the normal end, 1 when the log cannot be opened or is damaged, 3 when
/// no record matches a command of the definition (`def_path` names it). `quiet` keeps only the
/// lines that report trouble, for callers that print their own summary.
int PlayDatalog(const definition::ADXDefinition& definition, const std::string& log_path,
                float speed, const std::function<void(const PlayedReply&)>& on_reply,
                bool quiet = false, const std::string& def_path = {});

}  // namespace korvit::cli
