#include "app/app_settings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/file_io.h"
#include "platform/recording_location.h"

namespace korvit::app {
namespace {

constexpr size_t kLineBuffer = 512;

std::string Cut(std::string_view text, size_t limit) {
    return std::string(text.substr(0, std::min(text.size(), limit)));
}

// Leading blanks, an optional sign, then digits up to the first non-digit; none gives 0.
int32_t ToInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX) value = int64_t{INT32_MAX} + 1;  // saturate, keep reading digits
    }
    value = negative ? -value : value;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

void ApplyLine(AppSettings& s, std::string_view line) {
    // The key runs from the first character that is not "=" to the next "="; the value from
    // there to the line feed, and must not be empty.
    size_t start = line.find_first_not_of('=');
    if (start == std::string_view::npos) return;
    size_t eq = line.find('=', start);
    if (eq == std::string_view::npos) return;
    std::string_view key = line.substr(start, eq - start);
    std::string_view rest = line.substr(eq + 1);
    size_t vstart = rest.find_first_not_of('\n');
    if (vstart == std::string_view::npos) return;
    rest = rest.substr(vstart);
    std::string_view value = rest.substr(0, rest.find('\n'));

    if (key == "lastadxpath") {
        s.lastadxpath = Cut(value, AppSettings::kMaxPath);
    } else if (key == "lastxdlpath") {
        s.lastxdlpath = Cut(value, AppSettings::kMaxPath);
    } else if (key == "comport") {
        s.comport = Cut(value, AppSettings::kMaxPath);
    } else if (key == "loadlastdef") {
        s.loadlastdef = ToInt(value);
    } else if (key == "winposx") {
        s.winposx = ToInt(value);
    } else if (key == "winposy") {
        s.winposy = ToInt(value);
    } else if (key == "winsizex") {
        s.winsizex = ToInt(value);
    } else if (key == "winsizey") {
        s.winsizey = ToInt(value);
    }
}

}  // namespace

AppSettings AppSettings::Defaults(int32_t width, int32_t height) {
    AppSettings s;
    s.SetDefaultPlacement(width, height);
    return s;
}

void AppSettings::SetDefaultPlacement(int32_t width, int32_t height) {
    winsizex = static_cast<int32_t>(0.75 * width);
    winsizey = static_cast<int32_t>(0.55 * width);  // of the width: a fixed aspect
    winposx = width / 2 - static_cast<int32_t>(static_cast<uint32_t>(winsizex) / 2);
    winposy = height / 2 - static_cast<int32_t>(static_cast<uint32_t>(winsizey) / 2);
}

void ParseSettings(AppSettings& settings, std::string_view text) {
    // Text-mode reading: CR LF becomes LF. Lines longer than the buffer go on as new lines.
    std::string normal;
    normal.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        normal.push_back(text[i]);
    }
    std::string_view rest = normal;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        size_t take = end == std::string_view::npos ? rest.size() : end + 1;
        take = std::min(take, kLineBuffer - 1);
        ApplyLine(settings, rest.substr(0, take));
        rest.remove_prefix(take);
    }
}

std::string FormatSettings(const AppSettings& s) {
    std::ostringstream out;
    out << "lastadxpath=" << s.lastadxpath << "\r\n"
        << "comport=" << s.comport << "\r\n"
        << "loadlastdef=" << s.loadlastdef << "\r\n"
        << "lastxdlpath=" << s.lastxdlpath << "\r\n"
        << "winposx=" << s.winposx << "\r\n"
        << "winposy=" << s.winposy << "\r\n"
        << "winsizex=" << s.winsizex << "\r\n"
        << "winsizey=" << s.winsizey << "\r\n";
    return out.str();
}

int ReadSettings(AppSettings& settings, const std::string& path) {
    if (path.empty()) return 0;
    std::ifstream in(platform::NativePath(path), std::ios::binary);
    if (!in) return 0;
    std::ostringstream text;
    text << in.rdbuf();
    ParseSettings(settings, text.str());
    return 1;
}

int WriteSettings(const AppSettings& settings, const std::string& path) {
    if (path.empty()) return 0;
    std::error_code ec;
    auto parent = platform::NativePath(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    std::ofstream out(platform::NativePath(path), std::ios::binary | std::ios::trunc);
    if (!out) return 0;
    out << FormatSettings(settings);
    out.close();
    return out ? 1 : 0;
}

std::string AppFilePath(const std::string& program_dir, std::string_view name,
                        const char* xdg_variable, const char* xdg_default) {
    if (platform::DirectoryWritable(program_dir)) {
        return Cut(program_dir + std::string(name), AppSettings::kMaxPath);
    }
#ifdef _WIN32
    (void)xdg_variable;
    (void)xdg_default;
    const std::string folder = platform::UserDirectory(platform::UserFolder::kConfig);
    return folder.empty() ? std::string{} : folder + std::string(name);
#else
    std::string base;
    if (const char* xdg = std::getenv(xdg_variable); xdg && *xdg) {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/" + xdg_default;
    } else {
        return {};
    }
    return base + "/korvit/" + std::string(name);
#endif
}

std::string SettingsFilePath(const std::string& program_dir) {
    return AppFilePath(program_dir, "Settings.dat", "XDG_CONFIG_HOME", ".config");
}

}  // namespace korvit::app
