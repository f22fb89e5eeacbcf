#include "shell/status_texts.h"

#include <cmath>
#include <cstdio>

namespace korvit::shell {

using acquisition::ConnectionStatus;
using datalog::DataLogState;

StatusLook StatusLineFor(DataLogState state, ConnectionStatus status) {
    const QColor white(255, 255, 255), black(0, 0, 0), blue(0, 0, 255);
    if (state == DataLogState::Playing) return {"Log Playing", white, blue};
    if (state == DataLogState::Recording) return {"Log Recording", white, QColor(120, 120, 120)};
    switch (status) {
        case ConnectionStatus::NotConnected:
            return {"ALDL: Not Connected", black, QColor(255, 255, 0)};
        case ConnectionStatus::Connecting:
            return {"ALDL: Connecting...", black, QColor(255, 170, 130)};
        case ConnectionStatus::Reconnecting:
            return {"ALDL: Reconnecting", black, QColor(255, 170, 130)};
        case ConnectionStatus::LogPaused:
            return {"Log Paused", black, QColor(255, 115, 40)};
        case ConnectionStatus::Connected:
            break;
    }
    return {"ALDL: Connected", white, blue};
}

std::optional<QString> RateLineFor(ConnectionStatus status, DataLogState state, float rate,
                                   uint32_t errors, uint32_t time_ms) {
    char text[50];
    if (status == ConnectionStatus::Connected) {
        std::snprintf(text, sizeof text, "%.2f Hz   Errors: %i", rate, static_cast<int>(errors));
        return QString::fromLatin1(text);
    }
    if (state == DataLogState::Playing || state == DataLogState::Recording) {
        const uint32_t t = time_ms;
        std::snprintf(text, sizeof text, "%.2f Hz  %i:%i:%.2i:%.3i", rate,
                      static_cast<int>((t / 3600000) % 60), static_cast<int>((t / 60000) % 60),
                      static_cast<int>((t / 1000) % 60), static_cast<int>(t % 1000));
        return QString::fromLatin1(text);
    }
    if (status == ConnectionStatus::NotConnected) return QString();
    return std::nullopt;
}

QString PathTail(const std::string& path) {
    size_t last = path.find_last_of("\\/");
    if (last == std::string::npos) return QString::fromStdString(path);
    size_t before = last == 0 ? std::string::npos : path.find_last_of("\\/", last - 1);
    if (before == std::string::npos) return QString::fromStdString(path.substr(last + 1));
    return QString::fromStdString(path.substr(before + 1));
}

QString TitleFor(const std::string& adx_path, const std::string& xdl_path, float speed) {
    QString title = QString("Korvit - ADX: %1  XDL: %2 (Speed: %3%)")
                        .arg(PathTail(adx_path), PathTail(xdl_path))
                        .arg(static_cast<int>(std::trunc(speed * 100.0f)));
    return title.left(254);
}

QString VersionText(int major, int minor, int patch, int tweak) {
    char text[64];
    std::snprintf(text, sizeof text, "%i.%.2i.%.4i.%.2i", major, minor, patch, tweak);
    return QString::fromLatin1(text);
}

QString BuildVersionText() {
    return VersionText(KORVIT_VERSION_MAJOR, KORVIT_VERSION_MINOR, KORVIT_VERSION_PATCH,
                       KORVIT_VERSION_TWEAK);
}

int CheckedSpeedItem(float speed) {
    // Tested in the order 100, 200, 400, 50, 25 percent; the first exact match wins.
    for (int index : {2, 1, 0, 3, 4}) {
        if (speed == kSpeedPresets[index]) return index;
    }
    return speed == 0.0f ? kSpeedAsFastAsPossible : kSpeedCustom;
}

}  // namespace korvit::shell
