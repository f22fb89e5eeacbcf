#pragma once

// Generated drives for the review tests: the demo definition's mode-1 replies with changing
// bytes, so that histogram cells, bitmask states and chart lines all vary.

#include <cstdio>
#include <string>

#include "definition/definition.h"
#include "support/generated_log.h"

namespace korvit::datalog::testing {

inline const std::string kDemoDefinition = KORVIT_SOURCE_DIR "/samples/demo.adx";

/// The byte k of record i: a mix that depends only on (i, k), so that a shorter drive is the
/// start of a longer one.
inline uint8_t DriveByte(uint32_t i, uint32_t k) {
    uint32_t h = i * 2654435761u ^ (k + 1) * 40503u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return static_cast<uint8_t>(h);
}

/// Writes `count` records of every send command of `def` in turn, about 100 ms apart (a few ms
/// of jitter); the table comes from a real recording.
inline bool WriteDriveLog(const definition::ADXDefinition& def, const std::string& path,
                          uint32_t count) {
    return korvit::testing::WriteGeneratedLog(
        def, path, count, [](uint32_t i) { return 97u + DriveByte(i, 999) % 7; }, DriveByte);
}

}  // namespace korvit::datalog::testing
