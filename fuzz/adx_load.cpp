// Feeds arbitrary bytes to the ADX loader and, when they load, saves and reloads the result:
// no input may crash the parser, the reference resolution or the writer.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "definition/adx_definition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    korvit::definition::ADXDefinition def;
    std::string error;
    if (def.LoadBuffer(data, size, error) == 0) return 0;
    static const std::string path = "/tmp/korvit-fuzz-adx-" + std::to_string(::getpid()) + ".adx";
    if (def.Save(path) == 1) {
        korvit::definition::ADXDefinition again;
        again.Load(path, error);
    }
    return 0;
}
