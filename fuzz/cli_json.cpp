// Runs korvit-cli's JSON writers on arbitrary bytes: as a datalog (`xdl`) and as a definition
// (`dump`, and `decode` of an empty packet). Whatever the file holds, the writers must produce
// JSON that reads back, never throw or crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "datalog/data_log.h"
#include "decode_json.h"
#include "definition/adx_definition.h"
#include "definition_json.h"
#include "json_text.h"
#include "xdl_json.h"

using namespace korvit;

namespace {

void MustRead(const std::string& text) {
    if (!nlohmann::json::accept(text)) {
        std::fprintf(stderr, "not JSON:\n%s\n", text.c_str());
        std::abort();
    }
}

void XdlWriter(const uint8_t* data, size_t size) {
    const int fd = ::memfd_create("xdl", 0);
    if (fd < 0) return;
    if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        ::close(fd);
        return;
    }
    datalog::DataLog log;
    if (log.Open("/proc/self/fd/" + std::to_string(fd)) == datalog::kDataLogOk) {
        char* text = nullptr;
        size_t length = 0;
        std::FILE* out = ::open_memstream(&text, &length);
        if (out != nullptr) {
            cli::PrintXdlJson(log, out);
            std::fclose(out);
            MustRead(std::string(text, length));
            std::free(text);
        }
        log.Close();
    }
    ::close(fd);
}

void DefinitionWriters(const uint8_t* data, size_t size) {
    definition::ADXDefinition def;
    std::string error;
    if (def.LoadBuffer(data, size, error) == 0) return;
    MustRead(cli::DumpJson(cli::DefinitionToJson(def), 2));
    MustRead(cli::DumpJson(cli::DecodedItemsToJson(def, evaluation::PacketSnapshot{})));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    XdlWriter(data, size);
    DefinitionWriters(data, size);
    return 0;
}
