// Decoding throughput: a full reply of a demo-sized definition, histogram accumulation, and one
// equation evaluation. Global operator new is counted so that the decode benchmark can show it
// allocates nothing per reply.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "definition/definition.h"
#include "evaluation/item_readout.h"
#include "evaluation/last_packet.h"

namespace {
std::atomic<uint64_t> g_allocations{0};

// Out of line so that the compiler pairs operator new with operator delete, not with free.
[[gnu::noinline]] void* Acquire(std::size_t size) {
    return std::malloc(size == 0 ? 1 : size);
}
[[gnu::noinline]] void Release(void* p) {
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = Acquire(size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}

using namespace korvit::definition;
using namespace korvit::evaluation;

namespace {

/// samples/demo.adx, loaded once: its 63-byte mode-1 packet with every value, bitmask and
/// histogram of that command.
struct DemoDefinition {
    static constexpr size_t kReplySize = 67;
    ADXDefinition def;
    const ADXCSendCommand* command = nullptr;
    std::vector<ADXValue*> values;
    std::vector<ADXBitmask*> bitmasks;
    std::vector<ADXHistogram*> histograms;

    DemoDefinition() {
        const std::string path = std::string(KORVIT_SOURCE_DIR) + "/samples/demo.adx";
        std::string error;
        if (def.Load(path, error) != 1) {
            std::fprintf(stderr, "bench_evaluation: cannot load %s: %s\n", path.c_str(),
                         error.c_str());
            std::exit(1);
        }
        command = As<ADXCSendCommand>(def.NthOfType(ADXTYPE_SENDCOMMAND, 0));
        if (command == nullptr) {
            std::fprintf(stderr, "bench_evaluation: %s has no send command\n", path.c_str());
            std::exit(1);
        }
        for (const auto& object : def.objects()) {
            if (auto* v = As<ADXValue>(object.get())) values.push_back(v);
            if (auto* m = As<ADXBitmask>(object.get())) bitmasks.push_back(m);
            if (auto* h = As<ADXHistogram>(object.get())) histograms.push_back(h);
        }
    }

    uint32_t hash() const { return command->idhash(); }
    /// The packet part of a reply, as the reply path cuts it.
    Packet PacketOf(const uint8_t* reply) const {
        const size_t offset = std::min<size_t>(command->packetoffset, kReplySize);
        return Packet{reply + offset, std::min<size_t>(command->packetsize, kReplySize - offset)};
    }
};

/// Reply bytes that change from one reply to the next.
void FillReply(uint8_t* reply, uint64_t n) {
    for (size_t i = 0; i < DemoDefinition::kReplySize; ++i) {
        reply[i] = static_cast<uint8_t>(n * 7 + i * 13);
    }
}

void BM_DecodeReply(benchmark::State& state) {
    DemoDefinition demo;
    LastPacket last;
    PacketSnapshot snap;
    uint8_t reply[DemoDefinition::kReplySize];
    uint64_t n = 0;
    const uint64_t allocations_before = g_allocations.load();
    for (auto _ : state) {
        FillReply(reply, n++);
        // The reply path, then every value and bitmask as the item list shows it.
        const Packet packet = demo.PacketOf(reply);
        last.Store(packet.data, packet.size, demo.hash());
        demo.def.ExtractCommandItems(packet, demo.hash());
        last.LoadInto(snap);
        for (ADXValue* v : demo.values) benchmark::DoNotOptimize(ReadValue(*v, demo.def, snap));
        for (ADXBitmask* m : demo.bitmasks) {
            benchmark::DoNotOptimize(ReadBitmask(*m, demo.def, snap));
        }
    }
    const double allocations = static_cast<double>(g_allocations.load() - allocations_before);
    state.SetItemsProcessed(state.iterations());
    state.counters["allocs_per_reply"] =
        benchmark::Counter(allocations / static_cast<double>(state.iterations()));
    state.counters["items"] =
        benchmark::Counter(static_cast<double>(demo.values.size() + demo.bitmasks.size()));
}
BENCHMARK(BM_DecodeReply)->Unit(benchmark::kMicrosecond);

void BM_HistogramBinnedSample(benchmark::State& state) {
    ADXHistogram h;
    h.SetXMin(0);
    h.SetXMax(6000);
    h.SetYMin(0);
    h.SetYMax(100);
    h.SetRows(20);
    h.SetCols(20);
    uint32_t n = 0;
    for (auto _ : state) {
        ++n;
        benchmark::DoNotOptimize(h.AddBinnedSample(static_cast<float>(n * 37 % 6000),
                                                   static_cast<float>(n * 11 % 100),
                                                   static_cast<float>(n % 50)));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HistogramBinnedSample);

void BM_HistogramSampleFromReply(benchmark::State& state) {
    DemoDefinition demo;
    if (demo.histograms.empty()) {
        state.SkipWithError("the demo definition has no histogram");
        return;
    }
    uint8_t reply[DemoDefinition::kReplySize];
    uint64_t n = 0;
    for (auto _ : state) {
        FillReply(reply, n++);
        benchmark::DoNotOptimize(
            demo.histograms[0]->AddHistogramSample(demo.def, demo.PacketOf(reply), demo.hash()));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HistogramSampleFromReply);

void BM_EvaluateEquation(benchmark::State& state) {
    ADXEquation eq;
    eq.SetEquation("(X-40)*9/5+32");
    ADXEquation::Frame frame;
    double x = 0;
    for (auto _ : state) {
        eq.SetVariable(frame, 'X', x);
        x += 1.0;
        benchmark::DoNotOptimize(eq.Evaluate(frame));
    }
}
BENCHMARK(BM_EvaluateEquation)->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
