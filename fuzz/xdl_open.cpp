// Opens arbitrary bytes as a datalog, reads it record by record, seeks in it and plays it
// through the reply path: every outcome must be a code, never a crash or a hang.
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "acquisition/dae_callback.h"
#include "app/output_log.h"
#include "datalog/data_log.h"
#include "definition/adx_commands.h"
#include "definition/adx_definition.h"

using namespace korvit;

namespace {

const definition::ADXDefinition& Definition() {
    static definition::ADXDefinition* def = [] {
        auto* d = new definition::ADXDefinition;
        auto cmd = std::make_unique<definition::ADXCSendCommand>();
        cmd->SetID("Data");
        cmd->replysize = 8;
        cmd->packetsize = 8;
        cmd->flags = 1;
        d->Insert(std::move(cmd));
        return d;
    }();
    return *def;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = ::memfd_create("xdl", 0);
    if (fd < 0) return 0;
    if (size > 0 && ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        ::close(fd);
        return 0;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    datalog::DataLog log;
    if (log.Open(path) == datalog::kDataLogOk) {
        std::vector<uint8_t> buffer(log.LargestStoredSize() + 1);
        const datalog::DataLogCommand* command = nullptr;
        for (int i = 0; i < 10000; ++i) {
            const uint32_t code = log.ReadRecord(buffer.data(), buffer.size(), &command);
            if (code != datalog::kDataLogOk && code != datalog::kDataLogNoCommand) break;
        }
        log.Seek(3, datalog::kSeekRewind);
        log.Seek(50, datalog::kSeekRewind | datalog::kSeekByTime);
        log.Seek(0, datalog::kSeekRewind);

        app::OutputLog output;
        acquisition::AcquisitionState state;
        acquisition::DAECallback callback(Definition(), state, output);
        log.SetCallback(&callback);
        log.SetSpeed(0);
        if (log.StartPlayer() == datalog::kDataLogOk) {
            while (log.player_running()) std::this_thread::yield();
        }
        log.StopPlayer();
        log.Close();
    }
    ::close(fd);
    return 0;
}
