#include "watch_table.h"

#include <fcntl.h>
#include <unistd.h>
#ifndef _WIN32
#include <poll.h>
#include <sys/ioctl.h>
#endif

#include <algorithm>
#include <chrono>
#include <thread>

#include "definition/adx_bitmask.h"
#include "definition/adx_definition.h"
#include "definition/adx_value.h"
#include "definition_json.h"

namespace korvit::cli {
namespace {

using evaluation::Alarm;

// The item list's alarm colours (0x0000FF and 0x4080FF as red-lowest COLORREFs), in bold.
constexpr const char* kHighAlarm = "\x1b[1;38;2;255;0;0m";
constexpr const char* kLowAlarm = "\x1b[1;38;2;255;128;64m";
constexpr const char* kHeader = "\x1b[1;7m";
constexpr const char* kReset = "\x1b[0m";
constexpr const char* kDim = "\x1b[2m";

constexpr int kTerminalFrameMs = 100;
constexpr int kPlainFrameMs = 1000;
constexpr size_t kMessageLines = 3;

// The in-place table needs a terminal that takes escape sequences; a Windows console prints the
// plain lines.
bool IsTerminal(std::FILE* out) {
#ifdef _WIN32
    (void)out;
    return false;
#else
    return ::isatty(::fileno(out)) == 1;
#endif
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Terminal cells of a UTF-8 text: one per character (texts come from Latin-1, so none is wide).
size_t Cells(std::string_view utf8) {
    size_t n = 0;
    for (const char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// Bytes taken by the first `cells` characters of a UTF-8 text.
size_t PrefixBytes(std::string_view utf8, size_t cells) {
    size_t i = 0;
    for (size_t seen = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && seen++ == cells) break;
    }
    return i;
}

// Cuts or pads a UTF-8 text to exactly `width` cells; a text that does not fit ends in an
// ellipsis, so a cut number never passes for a whole one.
std::string Fit(std::string_view text, int width, bool right = false) {
    if (width <= 0) return "";
    const size_t w = static_cast<size_t>(width);
    const size_t cells = Cells(text);
    if (cells > w) return std::string(text.substr(0, PrefixBytes(text, w - 1))) + "\u2026";
    const std::string pad(w - cells, ' ');
    return right ? pad + std::string(text) : std::string(text) + pad;
}

// One finished line (UTF-8), wrapped in a colour when one is given.
std::string Paint(const std::string& utf8, const char* sgr, bool colour) {
    if (!colour || sgr == nullptr) return utf8;
    return sgr + utf8 + kReset;
}

const char* ToneColour(WatchStatus::Tone tone) {
    switch (tone) {
        case WatchStatus::Tone::kGood:
            return "\x1b[1;32m";
        case WatchStatus::Tone::kBusy:
            return "\x1b[1;33m";
        case WatchStatus::Tone::kBad:
            return "\x1b[1;31m";
    }
    return nullptr;
}

int MaxLength(const std::vector<WatchRow>& rows, std::string WatchRow::*field, int floor,
              int ceiling) {
    int longest = floor;
    for (const auto& row : rows) longest = std::max(longest, static_cast<int>((row.*field).size()));
    return std::min(longest, ceiling);
}

}  // namespace

std::vector<std::string> RenderWatchFrame(const std::vector<WatchRow>& rows,
                                          const WatchStatus& status, double rate,
                                          const char* rate_unit,
                                          const std::vector<std::string>& messages, int width,
                                          int height, bool terminal) {
    const bool colour = terminal;
    width = std::max(width, 10);
    height = std::max(height, 3);
    // Column widths from the content, then as many columns side by side as the width holds.
    const int value_w = MaxLength(rows, &WatchRow::text, 5, 14);
    const int units_w = MaxLength(rows, &WatchRow::units, 5, 10);
    int title_w = MaxLength(rows, &WatchRow::title, 5, 28);
    constexpr int kGap = 3;
    const int fixed = value_w + 1 + units_w + 1;
    title_w = std::max(1, std::min(title_w, width - fixed));
    const int cell_w = title_w + 1 + value_w + 1 + units_w;
    // Plain lines keep one item per line, for grep and for logs.
    const int columns = terminal ? std::max(1, (width + kGap) / (cell_w + kGap)) : 1;

    const size_t shown_messages = std::min(messages.size(), static_cast<size_t>(height - 3) / 3);
    const int body_rows = height - 2 - static_cast<int>(shown_messages);
    const size_t capacity = static_cast<size_t>(std::max(body_rows, 0) * columns);
    size_t shown = rows.size();
    std::string more;
    if (shown > capacity) {
        // The last cell says how many did not fit.
        shown = capacity > 0 ? capacity - 1 : 0;
        more = "+" + std::to_string(rows.size() - shown) + " more";
    }
    const int used_rows =
        static_cast<int>((std::min(rows.size(), capacity) + columns - 1) / columns);

    const int used_columns =
        used_rows > 0
            ? static_cast<int>((std::min(rows.size(), capacity) + used_rows - 1) / used_rows)
            : 1;
    std::vector<std::string> lines;
    std::string header;
    for (int c = 0; c < used_columns; ++c) {
        if (c > 0) header += std::string(kGap, ' ');
        header +=
            Fit("Title", title_w) + " " + Fit("Value", value_w, true) + " " + Fit("Units", units_w);
    }
    lines.push_back(Paint(Fit(header, width), kHeader, colour));

    for (int r = 0; r < used_rows; ++r) {
        std::string line;
        int cells = 0;
        for (int c = 0; c < columns; ++c) {
            const size_t i = static_cast<size_t>(c * used_rows + r);  // down, then across
            std::string cell;
            const char* sgr = nullptr;
            if (i < shown) {
                const WatchRow& row = rows[i];
                cell = Fit(Latin1ToUtf8(row.title), title_w) + " " +
                       Fit(Latin1ToUtf8(row.text), value_w, true) + " " +
                       Fit(Latin1ToUtf8(row.units), units_w);
                if (row.alarm == Alarm::kHigh) sgr = kHighAlarm;
                if (row.alarm == Alarm::kLow) sgr = kLowAlarm;
            } else if (i == shown && !more.empty()) {
                cell = Fit(more, cell_w);
                sgr = kDim;
            } else {
                continue;
            }
            const int start = cells * (cell_w + kGap);
            if (start >= width) break;
            if (cells > 0) line += std::string(kGap, ' ');
            line += Paint(Fit(cell, std::min(cell_w, width - start)), sgr, colour);
            ++cells;
        }
        lines.push_back(line);
    }
    // Keep the status line on the bottom row of a terminal.
    const int filler = body_rows - used_rows;
    for (int i = 0; colour && i < filler; ++i) lines.emplace_back();
    for (size_t i = messages.size() - shown_messages; i < messages.size(); ++i) {
        lines.push_back(Paint(Fit(Latin1ToUtf8(messages[i]), width), kDim, colour));
    }

    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%.2f %s", rate, rate_unit);
    const std::string tail = "  " + std::string(numbers) + "  " + status.detail;
    const int state_w = std::min(static_cast<int>(status.state.size()), width);
    lines.push_back(
        Paint(Latin1ToUtf8(status.state.substr(0, static_cast<size_t>(state_w))),
              ToneColour(status.tone), colour) +
        Paint(Latin1ToUtf8(tail.substr(0, static_cast<size_t>(width - state_w))), nullptr, colour));
    return lines;
}

std::vector<WatchRow> ReadWatchRows(const definition::ADXDefinition& definition,
                                    const evaluation::PacketSnapshot& packet) {
    std::vector<WatchRow> rows;
    for (const auto& object : definition.objects()) {
        if (auto* value = definition::As<definition::ADXValue>(object.get())) {
            const evaluation::ValueReadout r = evaluation::ReadValue(*value, definition, packet);
            rows.push_back({std::string(value->title().view()), r.text.data(),
                            std::string(value->units().view()), r.alarm});
        } else if (auto* bitmask = definition::As<definition::ADXBitmask>(object.get())) {
            const evaluation::BitmaskReadout r =
                evaluation::ReadBitmask(*bitmask, definition, packet);
            // The item list's bitmask alarm: flag bit 1 alarms when true, bit 2 when false.
            const bool alarm =
                ((bitmask->flags & definition::ADXBitmask::kAlarmWhenTrue) && r.state) ||
                ((bitmask->flags & definition::ADXBitmask::kAlarmWhenFalse) && !r.state);
            rows.push_back({std::string(bitmask->title().view()), r.text.data(), "",
                            alarm ? Alarm::kHigh : Alarm::kNone});
        }
    }
    return rows;
}

WatchView::WatchView(const definition::ADXDefinition& definition, std::FILE* out,
                     StatusSource status, const char* rate_unit)
    : definition_(definition),
      out_(out),
      status_(std::move(status)),
      rate_unit_(rate_unit),
      terminal_(IsTerminal(out)) {
    rate_mark_time_ = Now();
#ifndef _WIN32
    if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
    int pipe_fds[2];
    if (terminal_ && ::isatty(STDERR_FILENO) == 1 && ::pipe2(pipe_fds, O_CLOEXEC) == 0) {
        // Output lines written to the terminal would scroll the table: catch them instead.
        std::fflush(stderr);
        saved_stderr_ = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        ::dup2(pipe_fds[1], STDERR_FILENO);
        ::close(pipe_fds[1]);
        messages_fd_ = pipe_fds[0];
        ::fcntl(messages_fd_, F_SETFL, O_NONBLOCK);
    }
#endif
    rows_ = ReadWatchRows(definition_, evaluation::PacketSnapshot{});
    thread_ = std::thread([this] { Run(); });
}

WatchView::~WatchView() {
    Finish();
    for (int fd : wake_) {
        if (fd >= 0) ::close(fd);
    }
}

void WatchView::Update(const evaluation::PacketSnapshot& packet) {
    std::vector<WatchRow> rows = ReadWatchRows(definition_, packet);
    std::lock_guard lock(mutex_);
    rows_ = std::move(rows);
    ++updates_;
}

void WatchView::Finish() {
    if (finished_) return;
    finished_ = true;
    stop_ = true;
    if (wake_[1] >= 0) (void)::write(wake_[1], "x", 1);
    if (thread_.joinable()) thread_.join();
    std::fflush(stderr);
    TakeMessages(true);
    Draw(true);
    if (saved_stderr_ >= 0) {
        ::dup2(saved_stderr_, STDERR_FILENO);
        ::close(saved_stderr_);
        saved_stderr_ = -1;
    }
    if (messages_fd_ >= 0) ::close(messages_fd_);
    messages_fd_ = -1;
}

void WatchView::TakeMessages(bool drain) {
    if (messages_fd_ < 0) return;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(messages_fd_, buffer, sizeof buffer);
        if (n <= 0) break;
        partial_.append(buffer, static_cast<size_t>(n));
        if (!drain) break;
    }
    size_t start = 0;
    for (size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1) {
        messages_.push_back(partial_.substr(start, end - start));
    }
    partial_.erase(0, start);
    if (messages_.size() > kMessageLines) {
        messages_.erase(messages_.begin(), messages_.end() - kMessageLines);
    }
}

void WatchView::Run() {
    const int period_ms = terminal_ ? kTerminalFrameMs : kPlainFrameMs;
    auto next_frame = std::chrono::steady_clock::now();
    while (!stop_) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= next_frame) {
            Draw(false);
            next_frame = now + std::chrono::milliseconds(period_ms);
        }
        const int wait_ms = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(next_frame - now).count());
#ifdef _WIN32
        // No wake pipe: look at the stop flag often enough that Finish returns promptly.
        std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(wait_ms, 1, 20)));
#else
        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {messages_fd_, POLLIN, 0}};
        const int ready = ::poll(fds, messages_fd_ >= 0 ? 2 : 1, std::max(wait_ms, 1));
        if (ready > 0 && (fds[1].revents & POLLIN) != 0) TakeMessages(true);
#endif
    }
}

void WatchView::Draw(bool last) {
    std::vector<WatchRow> rows;
    uint64_t updates;
    {
        std::lock_guard lock(mutex_);
        rows = rows_;
        updates = updates_;
    }
    const double now = Now();
    // Over the last second or so; a run shorter than that is measured whole at its end.
    if (now - rate_mark_time_ >= 1.0 || (last && rate_mark_updates_ == 0 && updates > 0)) {
        rate_ = static_cast<double>(updates - rate_mark_updates_) / (now - rate_mark_time_);
        rate_mark_updates_ = updates;
        rate_mark_time_ = now;
    }
    const WatchStatus status = status_ ? status_() : WatchStatus{};
    // Plain output repeats a frame only when something new came, and always at the end.
    if (!terminal_ && !last && !first_frame_ && updates == drawn_updates_) return;
    drawn_updates_ = updates;

    std::string text;
    if (terminal_) {
        int width = 80;
        int height = 24;
#ifndef _WIN32
        winsize size{};
        if (::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
            width = size.ws_col;
            height = size.ws_row;
        }
#endif
        const auto lines =
            RenderWatchFrame(rows, status, rate_, rate_unit_, messages_, width, height, true);
        // Hide the cursor and start from a clean screen once; then overwrite in place.
        text = first_frame_ ? "\x1b[?25l\x1b[H\x1b[2J" : "\x1b[H";
        for (size_t i = 0; i < lines.size(); ++i) {
            text += lines[i] + "\x1b[K";
            if (i + 1 < lines.size()) text += "\r\n";
        }
        text += "\x1b[J";
        if (last) text += "\r\n\x1b[?25h";
    } else {
        const auto lines = RenderWatchFrame(rows, status, rate_, rate_unit_, {}, 80,
                                            static_cast<int>(rows.size()) + 3, false);
        for (const auto& line : lines) {
            text += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
        }
        text += "\n";
    }
    first_frame_ = false;
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
}

}  // namespace korvit::cli
