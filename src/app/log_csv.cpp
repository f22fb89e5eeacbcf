#include "app/log_csv.h"

#include <cmath>
#include <cstdio>

#include "datalog/log_replay.h"
#include "definition/adx_bitmask.h"
#include "definition/adx_definition.h"
#include "definition/adx_value.h"
#include "evaluation/item_readout.h"

namespace korvit::app {
namespace {

/// Ids are Latin-1 in the definition; the CSV is UTF-8.
std::string Utf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

}  // namespace

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

LogCsv::LogCsv(definition::ADXDefinition& definition) : definition_(definition) {
    for (const auto& object : definition.objects()) {
        if (auto* value = definition::As<definition::ADXValue>(object.get())) {
            values_.push_back(value);
        }
        if (auto* mask = definition::As<definition::ADXBitmask>(object.get())) {
            bitmasks_.push_back(mask);
        }
    }
}

std::string LogCsv::Header() const {
    std::string header = "time";
    for (const auto* v : values_) (header += ',') += CsvField(Utf8(v->id()));
    for (const auto* b : bitmasks_) (header += ',') += CsvField(Utf8(b->id()));
    return header;
}

std::string LogCsv::Row(uint32_t time_ms, const evaluation::PacketSnapshot& packet) const {
    char number[64];
    std::snprintf(number, sizeof number, "%.3f", time_ms / 1000.0);
    std::string row = number;
    for (auto* v : values_) {
        // A value with no number (the square root of a negative reading, say) is an empty
        // cell, which spreadsheets read as missing.
        const double value = evaluation::ReadValue(*v, definition_, packet).value;
        if (!std::isfinite(value)) {
            row += ',';
            continue;
        }
        std::snprintf(number, sizeof number, ",%.10g", value);
        row += number;
    }
    for (auto* b : bitmasks_) {
        row += evaluation::ReadBitmask(*b, definition_, packet).state ? ",1" : ",0";
    }
    return row;
}

uint32_t ExportLogRange(definition::ADXDefinition& definition, const std::string& log_path,
                        uint32_t begin_ms, uint32_t end_ms,
                        const std::function<void(const std::string& row)>& row,
                        const std::atomic<bool>* cancel) {
    datalog::LogReplay replay(definition);
    const uint32_t opened = replay.Open(log_path);
    if (opened != datalog::kDataLogOk) return opened;
    const LogCsv csv(definition);
    datalog::ReplayedRecord record;
    for (uint32_t n = 0;; ++n) {
        if (cancel != nullptr && n % 4096 == 0 && cancel->load()) return datalog::kReplayCancelled;
        const uint32_t code = replay.Next(record);
        if (code == datalog::kDataLogEnd) return datalog::kDataLogOk;
        if (code != datalog::kDataLogOk) return code;
        // Only records that decoded a reply make a row, as in playback.
        if (record.command_hash == 0 || record.last == nullptr) continue;
        if (record.time_ms < begin_ms || record.time_ms > end_ms) continue;
        row(csv.Row(record.time_ms, *record.last));
    }
}

}  // namespace korvit::app
