// A scan against a unit whose every fourth reply starts so late that it straddles the reply
// time-out: the late rest of a failed reply is never decoded as the next one, with or without
// checksum verification, and whether or not the replies carry a checksum.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/acquisition_engine.h"
#include "app/output_log.h"
#include "app/views.h"
#include "definition/adx_commands.h"
#include "definition/adx_definition.h"
#include "ecu_simulator.h"

namespace korvit::ecusim {
namespace {

using acquisition::AcquisitionEngine;
using acquisition::ChecksumMode;

const std::string kScanDef = KORVIT_SOURCE_DIR "/samples/scan-8192.adx";

/// Counts decoded packets and those that hold a byte the unit never sends as data: the
/// simulator's data bytes stay within 128 +/- 100, so a header or echo byte (F4, 01, 00) in the
/// packet means the reply was read from the wrong place.
class ShiftCounter : public app::IViews {
  public:
    explicit ShiftCounter(acquisition::AcquisitionState& state) : state_(state) {}
    void ReplyDecoded(float, uint32_t) override {
        const auto packet = state_.last_packet.Load();
        bool shifted = false;
        for (uint32_t i = 0; i < packet.length; ++i) {
            shifted = shifted || packet.bytes[i] < 28 || packet.bytes[i] > 228;
        }
        ++decoded;
        if (shifted) ++this->shifted;
    }
    std::atomic<int> decoded{0};
    std::atomic<int> shifted{0};

  private:
    acquisition::AcquisitionState& state_;
};

class Failures : public app::TextBufferSink {
  public:
    void Clear() override {}
};

bool Load(definition::ADXDefinition& def, bool checksum) {
    std::string error;
    if (def.Load(kScanDef, error) == 0) return false;
    // The simulator adds a checksum byte only when the request carries one.
    auto* mode1 = definition::As<definition::ADXCSendCommand>(def.FindByID("mode1"));
    if (mode1 == nullptr) return false;
    if (!checksum) {
        const uint8_t request[] = {0xF4, 0x57, 0x01, 0x00, 0xB5};
        mode1->SetBytes(request, sizeof request);
    }
    return true;
}

TEST(ReplyIntegrity, ALateReplyStraddlingTheTimeOutIsNeverReadAsTheNextOne) {
    for (const bool checksum : {false, true}) {
        for (const ChecksumMode mode : {ChecksumMode::kOff, ChecksumMode::kAuto}) {
            SCOPED_TRACE(std::string(checksum ? "checksums, " : "no checksums, ") +
                         acquisition::ChecksumModeName(mode));
            definition::ADXDefinition unit_def;
            definition::ADXDefinition def;
            ASSERT_TRUE(Load(unit_def, checksum) && Load(def, checksum));

            SimOptions options;
            options.late_every = 4;
            options.late_delay = std::chrono::milliseconds(190);  // the time-out is 200 ms
            EcuSimulator unit(unit_def, options);
            std::string error;
            ASSERT_TRUE(unit.Open(error)) << error;
            std::thread line([&] { unit.Run(); });

            app::OutputLog log;
            Failures output;
            log.AddSink(&output);
            AcquisitionEngine engine(def, log);
            ShiftCounter views(engine.state());
            engine.set_views(&views);
            engine.set_options({mode, false, 60});
            ASSERT_TRUE(engine.StartAcquisition(unit.path()));
            // Four late replies, each followed by three on time.
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (unit.commands_seen() < 17 && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            engine.StopWork(AcquisitionEngine::kStopAcquisition);
            unit.Stop();
            line.join();

            EXPECT_GE(unit.commands_seen(), 17u);
            EXPECT_GE(views.decoded, 10);
            EXPECT_EQ(views.shifted, 0) << output.Text();
            // The fault is real: the late replies failed.
            EXPECT_GE(engine.errors(), 3u) << output.Text();
            const bool verified =
                output.Text().find("Verifying the reply checksums of mode1") != std::string::npos;
            EXPECT_EQ(verified, checksum && mode == ChecksumMode::kAuto);
        }
    }
}

}  // namespace
}  // namespace korvit::ecusim
