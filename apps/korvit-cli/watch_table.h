#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "evaluation/item_readout.h"
#include "evaluation/last_packet.h"

namespace korvit::definition {
class ADXDefinition;
}

namespace korvit::cli {

/// One line of the table: an item's title, value text and units (Latin-1, as in the definition).
struct WatchRow {
    std::string title;
    std::string text;
    std::string units;
    evaluation::Alarm alarm = evaluation::Alarm::kNone;
};

/// The status line: the link's state, a count of failures and where the run stands.
struct WatchStatus {
    enum class Tone { kGood, kBusy, kBad };
    std::string state;  // "Connected", "Playing", ...
    Tone tone = Tone::kBusy;
    std::string detail;  // "0 errors", "sample 12 at 1.234 s"
};

/// The frame for a terminal of `width` x `height` cells: a header, the rows in as many columns as
/// fit, the last Output `messages`, and the status line on the bottom row; alarms, the header and
/// the state carry SGR colour codes. Not for a `terminal`: one item per line, no codes. Each line
/// is cut to the width.
std::vector<std::string> RenderWatchFrame(const std::vector<WatchRow>& rows,
                                          const WatchStatus& status, double rate,
                                          const char* rate_unit,
                                          const std::vector<std::string>& messages, int width,
                                          int height, bool terminal);

/// Every value and bitmask of the definition as the item list shows them for `packet`.
std::vector<WatchRow> ReadWatchRows(const definition::ADXDefinition& definition,
                                    const evaluation::PacketSnapshot& packet);

/// The live table of `--watch`. On a terminal it redraws in place about ten times a second and,
/// while it runs, catches standard error so that Output lines show under the table instead of
/// scrolling it away. Elsewhere (a pipe, a file) it prints the table as plain lines once a second.
/// The last frame stays on the screen when it finishes.
class WatchView {
  public:
    using StatusSource = std::function<WatchStatus()>;

    WatchView(const definition::ADXDefinition& definition, std::FILE* out, StatusSource status,
              const char* rate_unit);
    ~WatchView();
    WatchView(const WatchView&) = delete;
    WatchView& operator=(const WatchView&) = delete;

    /// A reply was decoded into `packet` (any thread).
    void Update(const evaluation::PacketSnapshot& packet);
    /// Draws the last frame and gives standard error back; the destructor calls it too.
    void Finish();

  private:
    void Run();
    void Draw(bool last);
    void TakeMessages(bool drain);

    const definition::ADXDefinition& definition_;
    std::FILE* out_;
    StatusSource status_;
    const char* rate_unit_;
    bool terminal_;

    std::mutex mutex_;
    std::vector<WatchRow> rows_;
    uint64_t updates_ = 0;
    uint64_t drawn_updates_ = 0;

    double rate_ = 0;
    uint64_t rate_mark_updates_ = 0;
    double rate_mark_time_ = 0;

    int saved_stderr_ = -1;
    int messages_fd_ = -1;
    int wake_[2] = {-1, -1};
    std::string partial_;
    std::vector<std::string> messages_;
    bool first_frame_ = true;
    std::atomic<bool> stop_{false};
    bool finished_ = false;
    std::thread thread_;
};

}  // namespace korvit::cli
