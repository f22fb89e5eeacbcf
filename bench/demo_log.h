#pragma once

// Generated datalogs of the demo definition for the playback benchmarks.

#include <cstdint>
#include <functional>
#include <string>

#include "definition/definition.h"
#include "support/generated_log.h"

namespace korvit::bench {

/// Writes a log of `count` records of the definition's send commands in turn, `gap(i)` ms
/// apart, to `path`. The table comes from a real (empty) recording; the records are laid out
/// after it, their bytes a simple function of the record number.
inline void GenerateLog(const definition::ADXDefinition& def, const std::string& path,
                        uint32_t count, const std::function<uint32_t(uint32_t)>& gap) {
    testing::WriteGeneratedLog(def, path, count, gap, [](uint32_t i, uint32_t k) {
        return static_cast<uint8_t>(i * 3 + k * 7 + (i >> 4));
    });
}

}  // namespace korvit::bench
