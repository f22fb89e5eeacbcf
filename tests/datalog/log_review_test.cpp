// Reviewing a recorded drive: histograms and chart lines at a log position, whatever seeks led
// there, and the "Only when" filter.
#include <gtest/gtest.h>

#include <atomic>

#include "acquisition/dae_callback.h"
#include "app/chart_fill.h"
#include "app/histogram_csv.h"
#include "app/histogram_filters.h"
#include "app/output_log.h"
#include "app/views.h"
#include "datalog/log_replay.h"
#include "datalog/log_session.h"
#include "drive_log.h"
#include "evaluation/histogram_filter.h"
#include "xdl_test_support.h"

using namespace korvit;
using namespace korvit::datalog;
using namespace korvit::datalog::testing;
using definition::ADXHistogram;

namespace {

void LoadDemo(definition::ADXDefinition& def) {
    std::string error;
    ASSERT_EQ(def.Load(kDemoDefinition, error), 1) << error;
}

std::vector<ADXHistogram*> Histograms(const definition::ADXDefinition& def) {
    std::vector<ADXHistogram*> out;
    for (const auto& object : def.objects()) {
        if (auto* h = definition::As<ADXHistogram>(object.get())) out.push_back(h);
    }
    return out;
}

/// Every statistic of every cell of every histogram, and the sample counts, equal.
void ExpectSameHistograms(const definition::ADXDefinition& a, const definition::ADXDefinition& b,
                          const std::string& what) {
    const auto ha = Histograms(a), hb = Histograms(b);
    ASSERT_EQ(ha.size(), hb.size());
    ASSERT_FALSE(ha.empty());
    for (size_t n = 0; n < ha.size(); ++n) {
        SCOPED_TRACE(what + ", histogram " + std::string(ha[n]->id()));
        EXPECT_EQ(ha[n]->sample_count(), hb[n]->sample_count());
        for (const uint32_t code : app::HistogramViewStatistics()) {
            EXPECT_EQ(app::HistogramCsv(*ha[n], code), app::HistogramCsv(*hb[n], code))
                << definition::HistogramStatisticName(code);
        }
    }
}

class PlayerViews : public app::IViews {
  public:
    void PlaybackEnded() override { ended = true; }
    std::atomic<bool> ended{false};
};

/// A straight play of the whole log through the player and the application's reply path.
void PlayThrough(const definition::ADXDefinition& def, const std::string& path) {
    app::OutputLog log;
    acquisition::AcquisitionState state;
    DataLog datalog;
    acquisition::DAECallback callback(def, state, log);
    LogSession session(def, state, log, datalog);
    PlayerViews views;
    callback.set_views(&views);
    callback.set_datalog(&session);
    session.set_views(&views);
    session.set_last_xdl_path(path);
    datalog.SetSpeed(0.0f);
    ASSERT_EQ(session.Play(&callback), kDataLogOk);
    ASSERT_TRUE(Eventually([&] { return views.ended.load(); }));
    session.StopCommand();
}

class LogReview : public ::testing::Test {
  protected:
    void SetUp() override {
        LoadDemo(def_);
        log_ = dir_.File("drive.xdl");
        ASSERT_TRUE(WriteDriveLog(def_, log_, kRecords));
    }

    static constexpr uint32_t kRecords = 900;
    TempDir dir_;
    definition::ADXDefinition def_;
    std::string log_;
};

TEST_F(LogReview, RebuildAtAPositionEqualsPlayingTheLogUpToIt) {
    for (const uint32_t position : {1u, 227u, kRecords}) {
        SCOPED_TRACE(position);
        // The straight play: a log of the drive's first records, played by the player.
        definition::ADXDefinition played;
        LoadDemo(played);
        const std::string prefix = dir_.File("prefix.xdl");
        ASSERT_TRUE(WriteDriveLog(played, prefix, position));
        PlayThrough(played, prefix);

        LogReplay replay(def_);
        ASSERT_EQ(replay.Open(log_), kDataLogOk);
        ASSERT_EQ(RebuildHistograms(replay, position), kDataLogOk);
        EXPECT_EQ(replay.position(), position);
        ExpectSameHistograms(played, def_, "rebuilt");
    }
}

TEST_F(LogReview, SeeksBackAndForthGiveTheHistogramsOfAStraightPlay) {
    // The live definition's histograms are fed by playback and take the replay's after a seek.
    definition::ADXDefinition live, scratch, straight;
    LoadDemo(live);
    LoadDemo(scratch);
    LoadDemo(straight);
    LogReplay replay(scratch);
    ASSERT_EQ(replay.Open(log_), kDataLogOk);
    LogReplay straight_replay(straight);
    ASSERT_EQ(straight_replay.Open(log_), kDataLogOk);

    // Played to 500, back to 120, forward to 640, back to 300, forward past the end.
    for (const uint32_t target : {500u, 120u, 640u, 300u, 450u, kRecords + 50}) {
        SCOPED_TRACE(target);
        ASSERT_EQ(AdvanceHistograms(replay, target), kDataLogOk);
        ASSERT_EQ(CopyHistogramSamples(scratch, live), 2u);
        ASSERT_EQ(RebuildHistograms(straight_replay, target), kDataLogOk);
        ExpectSameHistograms(straight, live, "after the seek to " + std::to_string(target));
    }
    // Clear still empties them.
    for (ADXHistogram* h : Histograms(live)) h->ClearHistogram();
    for (ADXHistogram* h : Histograms(live)) {
        EXPECT_EQ(h->sample_count(), 0u);
        EXPECT_EQ(h->GetStatistic(definition::kRunningSampleCount, 0, 0, nullptr, 0), 0.0f);
    }
}

TEST_F(LogReview, SeeksFromCheckpointsGiveTheHistogramsOfAStraightPlay) {
    definition::ADXDefinition scratch, straight;
    LoadDemo(scratch);
    LoadDemo(straight);
    LogReplay replay(scratch), straight_replay(straight);
    ASSERT_EQ(replay.Open(log_), kDataLogOk);
    ASSERT_EQ(straight_replay.Open(log_), kDataLogOk);
    HistogramCheckpoints checkpoints(64);
    // A cursor dragged across the log: forward past checkpoints, back between and onto them.
    for (const uint32_t target : {700u, 650u, 130u, 128u, 64u, 0u, 500u, 70u, 899u, kRecords + 9}) {
        SCOPED_TRACE(target);
        ASSERT_EQ(checkpoints.SeekTo(replay, target), kDataLogOk);
        EXPECT_EQ(replay.position(), std::min(target, kRecords));
        ASSERT_EQ(RebuildHistograms(straight_replay, target), kDataLogOk);
        ExpectSameHistograms(straight, scratch, "at " + std::to_string(target));
    }
    EXPECT_EQ(checkpoints.size(), kRecords / 64);
}

TEST_F(LogReview, ARebuildReportsProgressAndStopsWhenCancelled) {
    LogReplay replay(def_);
    ASSERT_EQ(replay.Open(log_), kDataLogOk);
    std::vector<std::pair<uint32_t, uint32_t>> calls;
    const auto note = [&](uint32_t done, uint32_t total) {
        calls.emplace_back(done, total);
        return true;
    };
    ASSERT_EQ(RebuildHistograms(replay, kRecords, note), kDataLogOk);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.back(), std::make_pair(kRecords, kRecords));

    auto* vetable = definition::As<ADXHistogram>(def_.FindByID("vetable"));
    EXPECT_EQ(RebuildHistograms(replay, kRecords, [](uint32_t, uint32_t) { return false; }),
              kReplayCancelled);
    EXPECT_LT(replay.position(), kRecords);
    EXPECT_LT(vetable->sample_count(), kRecords);
}

// The filter's condition worked out from the packet bytes, apart from the decoding code.
bool BitSet(const definition::ADXBitmask& bitmask, const ReplayedRecord& record) {
    const uint32_t raw = record.packet.data[bitmask.packetoffset];
    return bitmask.bitop == definition::ADXBitmask::kAnd
               ? (bitmask.operand & raw) == bitmask.result
               : (bitmask.operand ^ raw) == bitmask.result;
}

TEST_F(LogReview, TheFilterCountsOnlyMatchingRecords) {
    auto* closedloop = definition::As<definition::ADXBitmask>(def_.FindByID("closedloop"));
    auto* rpm = definition::As<definition::ADXValue>(def_.FindByID("rpm"));
    ASSERT_NE(closedloop, nullptr);
    ASSERT_NE(rpm, nullptr);
    ASSERT_EQ(closedloop->sizeinbits, 8u);

    // What each filter should let through, counted record by record.
    uint32_t set = 0, clear = 0, in_range = 0;
    {
        definition::ADXDefinition counting;
        LoadDemo(counting);
        auto* rpm_copy = definition::As<definition::ADXValue>(counting.FindByID("rpm"));
        LogReplay replay(counting);
        ASSERT_EQ(replay.Open(log_), kDataLogOk);
        replay.RunTo(kRecords, [&](const ReplayedRecord& record) {
            (BitSet(*closedloop, record) ? set : clear)++;
            const double v = rpm_copy->ComputeValue(counting, record.packet);
            if (v >= 1200.0 && v <= 2400.0) ++in_range;
        });
    }
    ASSERT_GT(set, 0u);
    ASSERT_GT(clear, 0u);
    ASSERT_GT(in_range, 0u);
    ASSERT_LT(in_range, kRecords);

    struct Case {
        const char* text;
        uint32_t expected;
    };
    for (const Case& c : {Case{"closedloop=true", set}, Case{"closedloop=false", clear},
                          Case{"rpm=1200..2400", in_range}}) {
        SCOPED_TRACE(c.text);
        app::HistogramFilters filters;
        const auto filter = evaluation::HistogramFilter::Parse(c.text);
        ASSERT_TRUE(filter);
        filters.Set("vetable", *filter);
        EXPECT_TRUE(filters.Apply(def_).empty());
        LogReplay replay(def_);
        ASSERT_EQ(replay.Open(log_), kDataLogOk);
        ASSERT_EQ(RebuildHistograms(replay, kRecords), kDataLogOk);
        auto* vetable = definition::As<ADXHistogram>(def_.FindByID("vetable"));
        auto* sparktable = definition::As<ADXHistogram>(def_.FindByID("sparktable"));
        EXPECT_EQ(vetable->sample_count(), c.expected);
        EXPECT_EQ(sparktable->sample_count(), kRecords);  // no filter of its own
        // The running counts of the cells add up to the records that landed in the grid.
        uint32_t cells = 0;
        for (uint32_t i = 0; i < vetable->rows(); ++i) {
            for (uint32_t j = 0; j < vetable->cols(); ++j) {
                cells += static_cast<uint32_t>(
                    vetable->GetStatistic(definition::kRunningSampleCount, i, j, nullptr, 0));
            }
        }
        EXPECT_LE(cells, c.expected);
        EXPECT_GT(cells, 0u);
    }
    app::HistogramFilters::Detach(def_);
    LogReplay replay(def_);
    ASSERT_EQ(replay.Open(log_), kDataLogOk);
    ASSERT_EQ(RebuildHistograms(replay, kRecords), kDataLogOk);
    EXPECT_EQ(definition::As<ADXHistogram>(def_.FindByID("vetable"))->sample_count(), kRecords);
}

TEST_F(LogReview, ChartLinesHoldEachRecordOnceWhateverTheSeeks) {
    const uint32_t rpm = def_.FindByID("rpm")->idhash();
    const uint32_t map = def_.FindByID("map")->idhash();
    std::vector<std::vector<app::ChartPoint>> whole;
    {
        definition::ADXDefinition scratch;
        LoadDemo(scratch);
        LogReplay replay(scratch);
        ASSERT_EQ(replay.Open(log_), kDataLogOk);
        ASSERT_EQ(app::FillSeriesFromLog(replay, {rpm, map, 0x1234}, whole), kDataLogOk);
    }
    ASSERT_EQ(whole.size(), 3u);
    EXPECT_EQ(whole[0].size(), kRecords);
    EXPECT_EQ(whole[1].size(), kRecords);
    EXPECT_TRUE(whole[2].empty());  // no such value

    // Playback adds each played record's point; seeks move where the next record comes from.
    app::ChartPoints line;
    LogReplay replay(def_);
    ASSERT_EQ(replay.Open(log_), kDataLogOk);
    auto* value = definition::As<definition::ADXValue>(def_.FindByHash(rpm));
    const auto play = [&](uint32_t to) {
        replay.RunTo(to, [&](const ReplayedRecord& record) {
            line.Insert(static_cast<float>(record.time_ms / 1000.0),
                        static_cast<float>(value->ComputeValue(def_, record.packet)));
        });
    };
    const auto seek = [&](uint32_t to) {
        replay.Rewind();
        replay.RunTo(to, {});
    };
    play(300);
    seek(100);
    play(400);
    seek(700);  // the records from 400 to 700 are skipped
    play(800);
    seek(350);
    play(kRecords);
    ASSERT_EQ(line.size(), kRecords);
    for (size_t i = 0; i < kRecords; ++i) {
        ASSERT_EQ(line.at(i).x, whole[0][i].x) << i;
        ASSERT_EQ(line.at(i).y, whole[0][i].y) << i;
    }
    // Drawn, the line never goes back in time.
    std::vector<app::PixelPoint> pixels;
    line.Trace({0.0f, 100.0f, 0.0f, 8000.0f, 0, 0, 2000, 500}, pixels);
    ASSERT_GT(pixels.size(), 2u);
    for (size_t i = 1; i < pixels.size(); ++i) EXPECT_GE(pixels[i].x, pixels[i - 1].x) << i;
}

}  // namespace
