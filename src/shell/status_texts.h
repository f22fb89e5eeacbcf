#pragma once

#include <QColor>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "acquisition/connection_status.h"
#include "datalog/data_log.h"

namespace korvit::shell {

/// What the status line shows: text and its two colours.
struct StatusLook {
    QString text;
    QColor text_color;
    QColor background;
    bool operator==(const StatusLook&) const = default;
};

/// The status line for a datalog state and connection status; playing and recording win.
StatusLook StatusLineFor(datalog::DataLogState state, acquisition::ConnectionStatus status);

/// The rate line's text: rate and errors while connected, rate and play time while a datalog
/// plays or records, empty when not connected; no value keeps the text it has.
std::optional<QString> RateLineFor(acquisition::ConnectionStatus status,
                                   datalog::DataLogState state, float rate, uint32_t errors,
                                   uint32_t time_ms);

/// The last two components of a path (after the second-to-last separator), the file name when
/// there is one separator, the whole path when there is none.
QString PathTail(const std::string& path);

/// "Korvit - ADX: <def>  XDL: <log> (Speed: <percent>%)", at most 254 characters.
QString TitleFor(const std::string& adx_path, const std::string& xdl_path, float speed);

/// The build's version as "major.minor.patch.tweak" with 1, 2, 4 and 2 digits.
QString VersionText(int major, int minor, int patch, int tweak);
/// This build's version text.
QString BuildVersionText();

/// The playback speed presets in the menu's order, then "As fast as possible" and "Custom...";
/// which item carries the check mark: the preset equal to the speed, As fast as possible for 0,
/// or the last item (Custom) when none is.
inline constexpr float kSpeedPresets[] = {4.0f, 2.0f, 1.0f, 0.5f, 0.25f};
inline constexpr int kSpeedAsFastAsPossible = 5;
inline constexpr int kSpeedCustom = 6;
inline constexpr int kSpeedItems = 7;
int CheckedSpeedItem(float speed);
/// The largest speed Custom... takes, in percent.
inline constexpr int kMaxCustomSpeedPercent = 1000;

}  // namespace korvit::shell
