#pragma once

#include <cstdint>
#include <cstdio>

#include "datalog/data_log.h"

namespace korvit::cli {

/// Prints an open datalog as `xdl` shows it: {"header": {...}, "commands": [...], "records":
/// [...]}, one record a line, streamed so that a log of millions of records is never held in
/// memory. Returns the code that ended the reading: kDataLogEnd when every record was read.
uint32_t PrintXdlJson(datalog::DataLog& log, std::FILE* out);

}  // namespace korvit::cli
