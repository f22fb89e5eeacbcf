#pragma once

#include <set>
#include <string>
#include <string_view>

#include "app/output_log.h"

namespace korvit::cli {

/// Passes on only the lines that report trouble, each text once: the per-reply trace (lines
/// that start with a time stamp) and the routine playback lines are dropped, so a command that
/// prints its own summary is not buried under the trace.
class TroubleSink : public app::IOutputSink {
  public:
    explicit TroubleSink(app::IOutputSink& next) : next_(next) {}

    void AppendLine(std::string_view line) override {
        if (Routine(line) || !seen_.emplace(line).second) return;
        next_.AppendLine(line);
    }
    void Clear() override {}

  private:
    static bool Routine(std::string_view line) {
        if (line.starts_with("Playing ") || line == "Playback stopped") return true;
        // "12.345: Command/Reply Success" and its kind.
        const size_t colon = line.find(": ");
        return colon != std::string_view::npos && colon > 0 &&
               line.substr(0, colon).find_first_not_of("0123456789.-") == std::string_view::npos;
    }

    app::IOutputSink& next_;
    std::set<std::string, std::less<>> seen_;
};

}  // namespace korvit::cli
