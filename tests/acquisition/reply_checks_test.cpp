// Reply checksum verification through a scan: which replies a unit's checksums keep from being
// decoded in each mode, and that a unit without checksums loses nothing by default.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/acquisition_engine.h"
#include "app/output_log.h"
#include "app/views.h"
#include "definition/definition.h"
#include "pty_peer.h"

namespace korvit::acquisition {
namespace {

using testing::Bytes;
using testing::Consume;
using testing::ScriptedPeer;

const Bytes kRequest{0xF4, 0x57, 0x01, 0x00, 0xB4};

/// Collects the "rpm" byte of every decoded packet.
class DecodedValues : public app::IViews {
  public:
    explicit DecodedValues(AcquisitionState& state) : state_(state) {}
    void ReplyDecoded(float, uint32_t) override {
        const auto packet = state_.last_packet.Load();
        std::lock_guard lock(mutex_);
        values_.push_back(packet.bytes[1]);
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        values_.clear();
    }
    std::vector<uint8_t> values() const {
        std::lock_guard lock(mutex_);
        return values_;
    }

  private:
    AcquisitionState& state_;
    mutable std::mutex mutex_;
    std::vector<uint8_t> values_;
};

class WholeOutput : public app::TextBufferSink {
  public:
    void Clear() override {}
};

template <typename Condition>
bool Eventually(Condition condition) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

/// A six-byte reply "F4 57 v w x s" whose packet is bytes 2..4 and whose rpm is byte 3; with a
/// checksum, s makes the bytes add up to 0, else s is one more than that.
Bytes Reply(uint8_t rpm, bool checksum) {
    Bytes reply{0xF4, 0x57, 0x11, rpm, 0x22, 0};
    uint8_t sum = 0;
    for (uint8_t b : reply) sum = static_cast<uint8_t>(sum + b);
    reply[5] = static_cast<uint8_t>(0x100 - sum + (checksum ? 0 : 1));
    return reply;
}

class ReplyChecksTest : public ::testing::Test {
  protected:
    ReplyChecksTest() {
        char parent[16];
        std::snprintf(parent, sizeof parent, "0x%08X", definition::IDHashOf("mode1"));
        const std::string xml =
            "<ADXFORMAT version=\"0.50\"/><ADXHEADER><monitorcmd>mode1</monitorcmd>"
            "</ADXHEADER><ADXCSENDCOMMAND id=\"mode1\" flags=\"1\"><bytestring size=\"5\">"
            "F4 57 01 00 B4</bytestring><replysize>6</replysize><packetoffset>2</packetoffset>"
            "<packetsize>3</packetsize></ADXCSENDCOMMAND><ADXVALUE id=\"rpm\"><parentcmdidhash>" +
            std::string(parent) +
            "</parentcmdidhash><packetoffset>1</packetoffset><MATH equation=\"X\"/></ADXVALUE>";
        std::string error;
        EXPECT_EQ(def.LoadBuffer(xml.data(), xml.size(), error), 1) << error;
        log.AddSink(&output);
        engine.set_views(&views);
    }
    ~ReplyChecksTest() override { engine.StopWork(AcquisitionEngine::kStopAcquisition); }

    /// Scans a unit that answers request i with `replies[i]` (the last one from then on) until
    /// `count` requests were answered.
    void Scan(ChecksumMode mode, std::vector<Bytes> replies, int count) {
        auto served = std::make_shared<std::atomic<int>>(0);
        peer = std::make_unique<ScriptedPeer>([replies, served](Bytes& pending) {
            Bytes out;
            while (!pending.empty()) {
                if (!Consume(pending, kRequest)) {
                    pending.erase(pending.begin());
                    continue;
                }
                const size_t i = static_cast<size_t>((*served)++);
                const Bytes& r = replies[std::min(i, replies.size() - 1)];
                out.insert(out.end(), r.begin(), r.end());
            }
            return out;
        });
        engine.set_options({mode, false, 60});
        ASSERT_TRUE(engine.StartAcquisition(peer->path()));
        ASSERT_TRUE(Eventually([&] { return *served >= count; }));
        engine.StopWork(AcquisitionEngine::kStopAcquisition);
    }

    size_t Lines(const std::string& what) const {
        const std::string text = output.Text();
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
            ++n;
        }
        return n;
    }

    definition::ADXDefinition def;
    app::OutputLog log;
    WholeOutput output;
    AcquisitionEngine engine{def, log};
    DecodedValues views{engine.state()};
    std::unique_ptr<ScriptedPeer> peer;
};

TEST_F(ReplyChecksTest, AutomaticVerifiesACommandOnceItsFirstThreeRepliesCarriedAChecksum) {
    // Three good replies, then one whose checksum is wrong (rpm 0x99), then good ones again.
    Scan(ChecksumMode::kAuto,
         {Reply(1, true), Reply(2, true), Reply(3, true), Reply(0x99, false), Reply(5, true)}, 8);
    const auto values = views.values();
    ASSERT_GE(values.size(), 5u);
    EXPECT_EQ(Bytes(values.begin(), values.begin() + 4), (Bytes{1, 2, 3, 5}));
    EXPECT_EQ(std::count(values.begin(), values.end(), 0x99), 0);
    EXPECT_EQ(Lines(": Reply checksum error"), 1u) << output.Text();
    EXPECT_EQ(Lines("Verifying the reply checksums of mode1 from now on"), 1u);
    // A stop may also catch a request after its write.
    EXPECT_GE(engine.errors(), 1u);
    EXPECT_LE(engine.errors(), 2u);
}

TEST_F(ReplyChecksTest, AutomaticNeverLosesAReplyOfAUnitWithoutChecksums) {
    // The third reply lacks the checksum: the unit has none, and later replies that happen to
    // add up to 0 or not are all taken.
    Scan(ChecksumMode::kAuto,
         {Reply(1, true), Reply(2, true), Reply(3, false), Reply(4, true), Reply(5, false)}, 8);
    const auto values = views.values();
    ASSERT_GE(values.size(), 7u);
    // Every reply is taken, in order (the stop may cut off one more request after the last).
    EXPECT_EQ(Bytes(values.begin(), values.begin() + 7), (Bytes{1, 2, 3, 4, 5, 5, 5}));
    EXPECT_EQ(Lines("Reply checksum error"), 0u);
    EXPECT_EQ(Lines("Verifying the reply checksums"), 0u);
}

TEST_F(ReplyChecksTest, OffTakesEveryReplyAndAlwaysFailsEveryBadOneFromTheFirst) {
    const std::vector<Bytes> replies{Reply(1, false), Reply(2, true), Reply(3, false),
                                     Reply(4, true)};
    Scan(ChecksumMode::kOff, replies, 6);
    auto values = views.values();
    ASSERT_GE(values.size(), 4u);
    EXPECT_EQ(Bytes(values.begin(), values.begin() + 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(Lines("Reply checksum error"), 0u);

    views.Clear();
    const size_t before = output.Text().size();
    Scan(ChecksumMode::kAlways, replies, 6);
    values = views.values();
    ASSERT_GE(values.size(), 2u);
    EXPECT_EQ(Bytes(values.begin(), values.begin() + 2), (Bytes{2, 4}));
    EXPECT_EQ(Lines("Reply checksum error"), 2u) << output.Text().substr(before);
    EXPECT_EQ(Lines("Verifying the reply checksums"), 0u);
}

TEST_F(ReplyChecksTest, BytesLeftOnTheLineAreWaitedOutBeforeTheNextRequest) {
    // A slow unit (25 ms before each reply) that says more than the reply holds: two extra
    // bytes right after it and two more 5 ms later, which a request sent at once would find
    // at the start of its reply.
    std::mutex mutex;
    std::vector<std::pair<std::chrono::steady_clock::time_point, Bytes>> due;
    std::atomic<bool> done{false};
    int served = 0;
    peer = std::make_unique<ScriptedPeer>([&](Bytes& pending) {
        std::lock_guard lock(mutex);
        const auto now = std::chrono::steady_clock::now();
        while (!pending.empty()) {
            if (!Consume(pending, kRequest)) {
                pending.erase(pending.begin());
                continue;
            }
            Bytes reply = Reply(static_cast<uint8_t>(++served), true);
            reply.insert(reply.end(), {0x66, 0x66});
            due.emplace_back(now + std::chrono::milliseconds(25), reply);
            due.emplace_back(now + std::chrono::milliseconds(30), Bytes{0x66, 0x66});
        }
        return Bytes{};
    });
    std::thread sender([&] {
        while (!done) {
            Bytes out;
            {
                std::lock_guard lock(mutex);
                const auto now = std::chrono::steady_clock::now();
                for (auto it = due.begin(); it != due.end();) {
                    if (it->first > now) break;
                    out.insert(out.end(), it->second.begin(), it->second.end());
                    it = due.erase(it);
                }
            }
            if (!out.empty()) peer->Send(out);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    engine.set_options({ChecksumMode::kOff, false, 60});
    ASSERT_TRUE(engine.StartAcquisition(peer->path()));
    EXPECT_TRUE(Eventually([&] { return views.values().size() >= 8; }));
    engine.StopWork(AcquisitionEngine::kStopAcquisition);
    done = true;
    sender.join();
    const auto values = views.values();
    EXPECT_EQ(std::count(values.begin(), values.end(), 0x66), 0) << output.Text();
    for (size_t i = 1; i < values.size(); ++i) EXPECT_GT(values[i], values[i - 1]);
}

}  // namespace
}  // namespace korvit::acquisition
