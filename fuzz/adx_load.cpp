// Feeds arbitrary bytes to the ADX loader and, when they load, saves and reloads the result:
// no input may crash the parser, the reference resolution or the writer.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "definition/adx_definition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    korvit::definition::ADXDefinition def;
    std::string error;
    if (def.LoadBuffer(data, size, error) == 0) return 0;
    // One scratch file per process, removed when the process ends.
    static const struct Scratch {
        std::string path = "/tmp/korvit-fuzz-adx-" + std::to_string(::getpid()) + ".adx";
        ~Scratch() { std::remove(path.c_str()); }
    } scratch;
    const std::string& path = scratch.path;
    if (def.Save(path) == 1) {
        korvit::definition::ADXDefinition again;
        again.Load(path, error);
    }
    return 0;
}
