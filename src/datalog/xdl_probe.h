#pragma once

#include <cstdint>
#include <string>

#include "datalog/xdl_format.h"

namespace korvit::datalog {

/// What a quick read-only look at a datalog's header and command table found.
struct XdlProbe {
    uint32_t code = kDataLogOk;  ///< 0, or the code that playing the file would fail with
    DataLogHeader header;
    uint32_t commands = 0;
};

/// Reads the header and the command table of `path` without opening it for writing, so that a
/// file can be checked when it is chosen rather than when it is played.
XdlProbe ProbeXdl(const std::string& path);

}  // namespace korvit::datalog
