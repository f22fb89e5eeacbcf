#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "definition/adx_bitmask.h"
#include "definition/adx_definition.h"
#include "definition/adx_histogram.h"
#include "definition/adx_value.h"
#include "drive_cycle.h"
#include "drive_cycle_replies.h"
#include "ecu_signals.h"
#include "ecu_simulator.h"
#include "evaluation/item_readout.h"

namespace korvit::ecusim {
namespace {

using definition::ADXBitmask;
using definition::ADXCSendCommand;
using definition::ADXValue;

/// The demo definition with the drive-cycle replies, decoded through the core as a display would.
class DriveCycleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_EQ(demo.Load(KORVIT_SOURCE_DIR "/samples/demo.adx", error), 1) << error;
        command = definition::As<ADXCSendCommand>(demo.FindByID("mode1"));
        ASSERT_NE(command, nullptr);
        replies = DriveCycleReplies::For(demo);
        ASSERT_NE(replies, nullptr);
    }

    /// The packet of a reply at `seconds` since key-on.
    std::vector<uint8_t> PacketAt(double seconds) {
        const std::vector<uint8_t> reply = replies->Reply(*command, seconds);
        EXPECT_TRUE(EcuSignals::SumsToZero(reply));
        return {reply.begin() + command->packetoffset, reply.end()};
    }

    double Value(const std::vector<uint8_t>& packet, const char* id, uint32_t options = 0) {
        auto* value = definition::As<ADXValue>(demo.FindByID(id));
        EXPECT_NE(value, nullptr) << id;
        return value ? value->ComputeValue(demo, {packet.data(), packet.size()}, 0, options) : 0;
    }

    bool Flag(const std::vector<uint8_t>& packet, const char* id) {
        auto* bitmask = definition::As<ADXBitmask>(demo.FindByID(id));
        EXPECT_NE(bitmask, nullptr) << id;
        return bitmask && bitmask->EvaluateBitmask(demo, {packet.data(), packet.size()}) != 0;
    }

    definition::ADXDefinition demo;
    ADXCSendCommand* command = nullptr;
    std::unique_ptr<DriveCycleReplies> replies;
};

TEST_F(DriveCycleTest, OnlyTheDemoDefinitionGetsTheModel) {
    EcuSimulator demo_unit(demo, {});
    EXPECT_TRUE(demo_unit.drives_a_cycle());
    definition::ADXDefinition other;
    std::string error;
    ASSERT_EQ(other.Load(KORVIT_SOURCE_DIR "/samples/scan-8192.adx", error), 1) << error;
    EXPECT_EQ(DriveCycleReplies::For(other), nullptr);
    EcuSimulator other_unit(other, {});
    EXPECT_FALSE(other_unit.drives_a_cycle());
}

TEST_F(DriveCycleTest, PhasesOfTheCycleReadAsARealEngine) {
    const double cycle = DriveCycle::kCycleSeconds;
    // The first seconds: idling in park on a warm restart, still in open loop.
    std::vector<uint8_t> p = PacketAt(3.0);
    EXPECT_TRUE(Flag(p, "parkneutral"));
    EXPECT_FALSE(Flag(p, "closedloop"));
    EXPECT_EQ(Value(p, "gear", evaluation::kNoLookup), 0.0);

    // Idle in drive at a stop.
    p = PacketAt(cycle + 4.0);
    EXPECT_GE(Value(p, "rpm"), 700.0);
    EXPECT_LE(Value(p, "rpm"), 900.0);
    EXPECT_EQ(Value(p, "vss"), 0.0);
    EXPECT_LT(Value(p, "tps"), 2.0);
    EXPECT_GT(Value(p, "map"), 25.0);
    EXPECT_LT(Value(p, "map"), 45.0);
    EXPECT_EQ(Value(p, "gear", evaluation::kNoLookup), 1.0);
    EXPECT_FALSE(Flag(p, "parkneutral"));

    // Full power in second gear: open loop, rich, high manifold pressure.
    p = PacketAt(cycle + 14.5);
    EXPECT_TRUE(Flag(p, "powerenrich"));
    EXPECT_FALSE(Flag(p, "closedloop"));
    EXPECT_GT(Value(p, "map"), 75.0);
    EXPECT_NEAR(Value(p, "afr"), 12.5, 0.05);
    EXPECT_GT(Value(p, "o2"), 700.0);
    EXPECT_EQ(Value(p, "gear", evaluation::kNoLookup), 2.0);

    // Cruise: top gear, converter locked, closed loop, light load, lots of advance.
    p = PacketAt(cycle + 38.0);
    EXPECT_NEAR(Value(p, "vss"), 100.0, 2.0);
    EXPECT_EQ(Value(p, "gear", evaluation::kNoLookup), 4.0);
    EXPECT_TRUE(Flag(p, "tcclock"));
    EXPECT_TRUE(Flag(p, "closedloop"));
    EXPECT_GT(Value(p, "rpm"), 1900.0);
    EXPECT_LT(Value(p, "rpm"), 2500.0);
    EXPECT_LT(Value(p, "map"), 50.0);
    EXPECT_GT(Value(p, "spark"), 30.0);

    // Closed-throttle deceleration: fuel cut, lean sensor, no injection.
    p = PacketAt(cycle + 45.5);
    EXPECT_TRUE(Flag(p, "dfco"));
    EXPECT_FALSE(Flag(p, "tcclock"));
    EXPECT_EQ(Value(p, "injpw"), 0.0);
    EXPECT_LT(Value(p, "o2"), 150.0);
}

TEST_F(DriveCycleTest, GearsAndFlagsMoveTogetherOverACycle) {
    const double start = DriveCycle::kCycleSeconds * 2;
    int highest_gear = 0;
    int upshifts = 0;
    int downshifts = 0;
    int cut_offs = 0;
    int switches = 0;
    double previous_gear = 1;
    bool previous_rich = false;
    double previous_speed = 0;
    for (double t = start; t < start + DriveCycle::kCycleSeconds; t += 0.1) {
        const std::vector<uint8_t> p = PacketAt(t);
        const double speed = replies->model().state().vss;
        const double gear = Value(p, "gear", evaluation::kNoLookup);
        upshifts += gear > previous_gear;
        downshifts += gear < previous_gear;
        highest_gear = std::max(highest_gear, static_cast<int>(gear));
        previous_gear = gear;
        if (Flag(p, "dfco")) {
            ++cut_offs;
            // Only with the throttle closed and the car slowing down.
            EXPECT_LT(Value(p, "tps"), 2.0) << t;
            EXPECT_LT(speed, previous_speed) << t;
            EXPECT_FALSE(Flag(p, "closedloop")) << t;
        }
        if (Flag(p, "powerenrich")) {
            EXPECT_GT(Value(p, "tps"), 55.0) << t;
        }
        if (Flag(p, "tcclock")) {
            EXPECT_EQ(gear, 4.0) << t;
        }
        if (Flag(p, "closedloop")) {
            const bool rich = Flag(p, "rich");
            switches += rich != previous_rich;
            previous_rich = rich;
            // The sensor's 450 mV threshold, within one step of its 4.44 mV resolution.
            EXPECT_TRUE(rich ? Value(p, "o2") > 445.0 : Value(p, "o2") < 455.0) << t;
        }
        previous_speed = speed;
    }
    EXPECT_EQ(highest_gear, 4);
    EXPECT_EQ(upshifts, 3);
    EXPECT_EQ(downshifts, 3);
    EXPECT_GT(cut_offs, 20);
    // A closed-loop oxygen sensor switches about once a second.
    EXPECT_GT(switches, 30);
}

TEST_F(DriveCycleTest, TemperaturesWarmSlowlyAndSteadily) {
    double cts = -100;
    double iat = -100;
    double oil = -100;
    for (double t = 0; t <= 600; t += 1.0) {
        const std::vector<uint8_t> p = PacketAt(t);
        EXPECT_GE(Value(p, "cts"), cts) << t;
        EXPECT_GE(Value(p, "iat"), iat) << t;
        EXPECT_GE(Value(p, "oiltemp"), oil) << t;
        cts = Value(p, "cts");
        iat = Value(p, "iat");
        oil = Value(p, "oiltemp");
        if (t == 0) {
            EXPECT_LT(cts, 55.0);
        }
    }
    EXPECT_GT(cts, 85.0);
    EXPECT_LT(cts, 95.0);
    EXPECT_GT(iat, 30.0);
}

TEST_F(DriveCycleTest, EveryRawNumberIsTheBestTheDefinitionCanSay) {
    for (double t : {2.0, 70.0, 75.0, 95.0, 107.0, 300.0}) {
        const std::vector<uint8_t> p = PacketAt(t);
        for (const auto& object : demo.objects()) {
            auto* value = definition::As<ADXValue>(object.get());
            if (value == nullptr || value->parentcmdidhash == 0) continue;
            const auto target = replies->model().Quantity(value->id());
            ASSERT_TRUE(target) << value->id();
            const uint32_t options = value->id() == "gear" ? uint32_t{evaluation::kNoLookup} : 0u;
            const double got = Value(p, std::string(value->id()).c_str(), options);
            const uint32_t raw = value->ExtractRaw({p.data(), p.size()});
            // No neighbouring raw number decodes nearer to the model's quantity.
            for (int64_t step : {-1, 1}) {
                const int64_t other = static_cast<int64_t>(raw) + step;
                if (other < 0 || other >= (int64_t{1} << value->sizeinbits)) continue;
                std::vector<uint8_t> q = p;
                PutRaw(q, value->packetoffset, value->sizeinbits, static_cast<uint32_t>(other),
                       true);
                const double near = value->ComputeValue(demo, {q.data(), q.size()}, 0, options);
                EXPECT_LE(std::abs(got - *target), std::abs(near - *target) + 1e-9)
                    << value->id() << " at " << t;
            }
        }
        for (const auto& object : demo.objects()) {
            auto* bitmask = definition::As<ADXBitmask>(object.get());
            if (bitmask == nullptr) continue;
            const auto state = replies->model().Flag(bitmask->id());
            ASSERT_TRUE(state) << bitmask->id();
            EXPECT_EQ(Flag(p, std::string(bitmask->id()).c_str()), *state)
                << bitmask->id() << " at " << t;
        }
    }
}

TEST_F(DriveCycleTest, TheDriveFillsTheDemoHistogramsAcrossSpeedAndLoad) {
    std::vector<definition::ADXHistogram*> histograms;
    for (const auto& object : demo.objects()) {
        if (auto* h = definition::As<definition::ADXHistogram>(object.get()))
            histograms.push_back(h);
    }
    ASSERT_EQ(histograms.size(), 2u);
    // Two cycles at the demo's reply rate of about nine a second.
    for (double t = 60.0; t < 180.0; t += 0.11) {
        const std::vector<uint8_t> p = PacketAt(t);
        for (auto* h : histograms)
            h->AddHistogramSample(demo, {p.data(), p.size()}, command->idhash());
    }
    for (auto* h : histograms) {
        int filled = 0;
        std::set<uint32_t> rows, cols;
        for (uint32_t r = 0; r < h->rows(); ++r) {
            for (uint32_t c = 0; c < h->cols(); ++c) {
                if (h->GetStatistic(definition::kRunningSampleCount, r, c, nullptr, 0) < 5)
                    continue;
                ++filled;
                rows.insert(r);
                cols.insert(c);
            }
        }
        // Idle, launch, full power, cruise and deceleration land in different cells.
        EXPECT_GE(filled, 12) << h->id();
        EXPECT_GE(rows.size(), 5u) << h->id();
        EXPECT_GE(cols.size(), 5u) << h->id();
    }
}

// The block learn cells are a grid of engine speed rows and manifold pressure columns, four by
// four, with idle in a cell of its own: a faster engine is never in a lower row, a higher
// pressure never in a lower column.
TEST(DriveCycleCells, RowsFollowEngineSpeedAndColumnsFollowManifoldPressure) {
    DriveCycle drive;
    std::vector<std::pair<double, int>> by_rpm, by_map;
    // From half a second on: the state at key-on, before the first step, has no cell yet.
    for (double t = 0.5; t < 2 * DriveCycle::kCycleSeconds; t += 0.1) {
        const EngineState& s = drive.AdvanceTo(t);
        ASSERT_GE(s.trim_cell, 0);
        ASSERT_LE(s.trim_cell, 16);
        if (s.trim_cell == 16) continue;  // idle
        by_rpm.emplace_back(s.rpm, s.trim_cell / 4);
        by_map.emplace_back(s.map, s.trim_cell % 4);
    }
    for (auto* samples : {&by_rpm, &by_map}) {
        std::sort(samples->begin(), samples->end());
        std::set<int> seen;
        for (size_t i = 0; i < samples->size(); ++i) {
            seen.insert((*samples)[i].second);
            if (i > 0) {
                ASSERT_LE((*samples)[i - 1].second, (*samples)[i].second)
                    << (samples == &by_rpm ? "row at rpm " : "column at kPa ")
                    << (*samples)[i].first;
            }
        }
        EXPECT_GE(seen.size(), 3u) << "the drive crosses most rows and columns";
    }
}

TEST_F(DriveCycleTest, OnlyKnockRaisesAnAlarmOnAWarmEngine) {
    std::map<std::string, int> alarms;
    for (double t = 120.0; t < 360.0; t += 0.25) {
        const std::vector<uint8_t> p = PacketAt(t);
        const evaluation::PacketSnapshot snapshot = [&] {
            evaluation::PacketSnapshot s;
            std::copy(p.begin(), p.end(), s.bytes.begin());
            s.length = static_cast<uint32_t>(p.size());
            s.ReplyCommandHash = command->idhash();
            return s;
        }();
        for (const auto& object : demo.objects()) {
            if (auto* value = definition::As<ADXValue>(object.get())) {
                const auto readout = evaluation::ReadValue(*value, demo, snapshot);
                if (readout.alarm != evaluation::Alarm::kNone) ++alarms[std::string(value->id())];
            } else if (auto* bitmask = definition::As<ADXBitmask>(object.get())) {
                const bool state = evaluation::ReadBitmask(*bitmask, demo, snapshot).state;
                const bool alarm = ((bitmask->flags & ADXBitmask::kAlarmWhenTrue) && state) ||
                                   ((bitmask->flags & ADXBitmask::kAlarmWhenFalse) && !state);
                if (alarm) ++alarms[std::string(bitmask->id())];
            }
        }
    }
    // Knock is heard once a cycle during the full-power burst, briefly.
    ASSERT_EQ(alarms.size(), 1u) << (alarms.empty() ? "none" : alarms.begin()->first);
    EXPECT_EQ(alarms.begin()->first, "knockdet");
    EXPECT_GE(alarms["knockdet"], 4);
    EXPECT_LE(alarms["knockdet"], 4 * 3);
}

}  // namespace
}  // namespace korvit::ecusim
