// The reply path (acquisition thread) and the displays (GUI thread) decode the same items at
// once. Run under the tsan preset to prove there is no data race; the checks below also catch
// torn packets and evaluations that mix each other's numbers.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "definition/definition.h"
#include "evaluation/item_readout.h"
#include "evaluation/last_packet.h"

using namespace korvit::definition;
using namespace korvit::evaluation;

TEST(Concurrency, ReplyPathAndDisplaysComputeTheSameItemsAtOnce) {
    constexpr uint32_t kCommand = 0x5150;
    constexpr int kReplies = 20000;

    ADXDefinition def;
    auto base = std::make_unique<ADXValue>();
    base->SetID("BASE");
    base->SetValueEquation("X+1");
    base->parentcmdidhash = kCommand;
    ADXValue& base_ref = *base;
    def.Insert(std::move(base));
    auto sum = std::make_unique<ADXValue>();
    sum->SetID("SUM");
    sum->SetValueEquation("X*2+Y");
    sum->parentcmdidhash = kCommand;
    sum->packetoffset = 299;
    sum->SetVar({ADXValueVar::kLink, 'Y', base_ref.idhash()});
    ADXValue& sum_ref = *sum;
    def.Insert(std::move(sum));
    auto mask = std::make_unique<ADXBitmask>();
    mask->parentcmdidhash = kCommand;
    mask->operand = 1;
    mask->result = 1;
    ADXBitmask& mask_ref = *mask;
    def.Insert(std::move(mask));
    auto hist = std::make_unique<ADXHistogram>();
    ADXHistogram& h = *hist;
    def.Insert(std::move(hist));
    h.SetXMin(0);
    h.SetXMax(255);
    h.SetYMin(0);
    h.SetYMax(255);
    h.SetRows(4);
    h.SetCols(4);
    h.SetX(&base_ref);
    h.SetY(&sum_ref);
    h.SetZ(&sum_ref);

    LastPacket last;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> wrong{0};
    std::atomic<int> reads{0};

    std::thread acquisition([&] {
        uint8_t reply[PacketSnapshot::kCapacity];
        for (int i = 0; i < kReplies; ++i) {
            const uint8_t k = static_cast<uint8_t>(i % 100);
            std::fill(std::begin(reply), std::end(reply), k);
            last.Store(reply, sizeof reply, kCommand);
            def.ExtractCommandItems(Packet{reply, sizeof reply}, kCommand);
            const PacketSnapshot snap = last.Load();
            h.AddHistogramSample(def, snap.packet(), kCommand);
            if (ReadValue(sum_ref, def, snap).value != 3.0 * k + 1) wrong.fetch_add(1);
        }
        done.store(true);
    });

    std::thread gui([&] {
        PacketSnapshot snap;
        char text[30];
        while (!done.load()) {
            last.LoadInto(snap);
            if (snap.ReplyCommandHash != kCommand) continue;
            const uint8_t k = snap.bytes[0];
            if (snap.bytes[299] != k || snap.length != PacketSnapshot::kCapacity) torn.fetch_add(1);
            const ValueReadout r = ReadValue(sum_ref, def, snap);
            if (r.value != 3.0 * k + 1) wrong.fetch_add(1);
            ReadBitmask(mask_ref, def, snap);
            h.GetStatistic(kRunningAverage, 0, 0, text, sizeof text);
            if (reads.fetch_add(1) % 1000 == 999) h.ClearHistogram();
        }
    });

    acquisition.join();
    gui.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(reads.load(), 0);
}
