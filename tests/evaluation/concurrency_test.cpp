// The reply path (acquisition thread) and the displays (GUI thread) decode the same items at
// once. Run under the tsan preset to prove there is no data race; the checks below also catch
// torn packets and evaluations that mix each other's numbers.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "definition/definition.h"
#include "evaluation/item_readout.h"
#include "evaluation/last_packet.h"

using namespace korvit::definition;
using namespace korvit::evaluation;

TEST(Concurrency, ReplyPathAndDisplaysComputeTheSameItemsAtOnce) {
    constexpr uint32_t kCommand = 0x5150;
    constexpr int kReplies = 20000;

    // SUM = 2 * (its byte 299) + BASE, BASE = (byte 0) + 1; a histogram of BASE and SUM.
    auto hash = [](const char* id) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%08X", IDHashOf(id));
        return std::string(text);
    };
    const std::string parent = "<parentcmdidhash>0x5150</parentcmdidhash>";
    const std::string xml =
        "<ADXFORMAT version=\"0.50\"/><ADXVALUE id=\"BASE\">" + parent +
        "<MATH equation=\"X+1\"/></ADXVALUE><ADXVALUE id=\"SUM\">" + parent +
        "<packetoffset>0x12B</packetoffset><MATH equation=\"X*2+Y\"><VAR varID=\"Y\" "
        "type=\"link\" linkidhash=\"" +
        hash("BASE") +
        "\"/></MATH></ADXVALUE>"
        "<ADXBITMASK id=\"MASK\">" +
        parent +
        "<operand>1</operand><result>1</result>"
        "</ADXBITMASK><ADXHISTOGRAM id=\"H\"><rows>4</rows><cols>4</cols><xmin>0</xmin>"
        "<xmax>255</xmax><ymin>0</ymin><ymax>255</ymax><xidhash>" +
        hash("BASE") + "</xidhash><yidhash>" + hash("SUM") + "</yidhash><zidhash>" + hash("SUM") +
        "</zidhash></ADXHISTOGRAM>";
    ADXDefinition def;
    std::string error;
    ASSERT_EQ(def.LoadBuffer(xml.data(), xml.size(), error), 1) << error;
    ADXValue& sum_ref = *As<ADXValue>(def.FindByID("SUM"));
    ADXBitmask& mask_ref = *As<ADXBitmask>(def.FindByID("MASK"));
    ADXHistogram& h = *As<ADXHistogram>(def.FindByID("H"));
    ASSERT_EQ(h.z(), &sum_ref);

    LastPacket last;
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::atomic<int> wrong{0};
    std::atomic<int> reads{0};

    std::thread acquisition([&] {
        uint8_t reply[PacketSnapshot::kCapacity];
        // Keeps replying until the display thread has read at least once: on a loaded machine
        // (or under Wine) it may first run only after the replies are through.
        for (int i = 0; i < kReplies || reads.load() == 0; ++i) {
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
