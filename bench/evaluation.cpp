// Decoding throughput: a full reply of a demo-sized definition, histogram accumulation, and one
// equation evaluation. Global operator new is counted so that the decode benchmark can show it
// allocates nothing per reply.
#include <benchmark/benchmark.h>

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

constexpr uint32_t kCommand = 0x0A0B0C0D;
constexpr size_t kPacketSize = 64;

/// A definition of the size of a typical engine datastream: 40 values of 8 and 16 bits with
/// scaling equations (some through lookup tables, a few linked), 24 flag bitmasks, 2 histograms.
struct DemoDefinition {
    ADXDefinition def;
    std::vector<ADXValue*> values;
    std::vector<ADXBitmask*> bitmasks;
    std::vector<ADXHistogram*> histograms;

    DemoDefinition() {
        auto coolant = std::make_unique<ADXLookupTable>();
        coolant->SetID("CTS_TABLE");
        for (int i = 0; i <= 16; ++i) coolant->AddEntry(i * 16.0f, 150.0f - i * 12.5f);
        ADXLookupTable* coolant_table = coolant.get();
        def.Insert(std::move(coolant));
        auto modes = std::make_unique<ADXLookupTable>();
        modes->SetID("MODE_TABLE");
        modes->SetOutputType(ADXLookupTable::kTextOutput);
        const char* names[] = {"Open", "Closed", "Decel", "WOT", "Crank"};
        for (int i = 0; i < 5; ++i) modes->AddEntry(static_cast<float>(i), names[i], 5);
        ADXLookupTable* mode_table = modes.get();
        def.Insert(std::move(modes));

        const char* equations[] = {"X", "X*0.5-40", "X*25", "(X-128)*0.0078", "X/2.56", "X*0.4"};
        for (int i = 0; i < 40; ++i) {
            auto v = std::make_unique<ADXValue>();
            v->SetID("VAL" + std::to_string(i));
            v->parentcmdidhash = kCommand;
            v->sizeinbits = i % 4 == 0 ? 16 : 8;
            v->packetoffset = static_cast<uint32_t>(i % 60);
            v->SetValueEquation(equations[i % 6]);
            v->flags = i % 5 == 0 ? (ADXValue::kHighAlarm | ADXValue::kLowAlarm) : 0;
            v->outputtype = static_cast<uint32_t>(i % 4);
            if (i % 10 == 3) v->lookup = coolant_table;
            if (i % 10 == 7) v->lookup = mode_table;
            values.push_back(v.get());
            def.Insert(std::move(v));
        }
        for (int i = 0; i < 4; ++i) {
            auto v = std::make_unique<ADXValue>();
            v->SetID("CALC" + std::to_string(i));
            v->parentcmdidhash = kCommand;
            v->SetValueEquation("X*Y/100");
            v->SetVar({ADXValueVar::kLink, 'X', values[static_cast<size_t>(i)]->idhash()});
            v->SetVar({ADXValueVar::kLink, 'Y', values[static_cast<size_t>(i) + 1]->idhash()});
            values.push_back(v.get());
            def.Insert(std::move(v));
        }
        for (int i = 0; i < 24; ++i) {
            auto m = std::make_unique<ADXBitmask>();
            m->SetID("FLAG" + std::to_string(i));
            m->parentcmdidhash = kCommand;
            m->packetoffset = static_cast<uint32_t>(40 + i / 8);
            m->operand = 1u << (i % 8);
            m->result = m->operand;
            m->SetTrueString("Active", 6);
            m->SetFalseString("Inactive", 8);
            bitmasks.push_back(m.get());
            def.Insert(std::move(m));
        }
        for (int i = 0; i < 2; ++i) {
            auto h = std::make_unique<ADXHistogram>();
            h->SetID("HIST" + std::to_string(i));
            h->parentcmdidhash = kCommand;
            h->SetXMin(0);
            h->SetXMax(6375);
            h->SetYMin(0);
            h->SetYMax(100);
            h->SetRows(16);
            h->SetCols(16);
            h->SetX(values[2]);
            h->SetY(values[4]);
            h->SetZ(values[5]);
            histograms.push_back(h.get());
            def.Insert(std::move(h));
        }
    }
};

/// Reply bytes that change from one reply to the next.
void FillReply(uint8_t* reply, uint64_t n) {
    for (size_t i = 0; i < kPacketSize; ++i) reply[i] = static_cast<uint8_t>(n * 7 + i * 13);
}

void BM_DecodeReply(benchmark::State& state) {
    DemoDefinition demo;
    LastPacket last;
    PacketSnapshot snap;
    uint8_t reply[kPacketSize];
    uint64_t n = 0;
    const uint64_t allocations_before = g_allocations.load();
    for (auto _ : state) {
        FillReply(reply, n++);
        // The reply path, then every value and bitmask as the item list shows it.
        last.Store(reply, sizeof reply, kCommand);
        demo.def.ExtractCommandItems(Packet{reply, sizeof reply}, kCommand);
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
    uint8_t reply[kPacketSize];
    uint64_t n = 0;
    for (auto _ : state) {
        FillReply(reply, n++);
        benchmark::DoNotOptimize(
            demo.histograms[0]->AddHistogramSample(demo.def, Packet{reply, kPacketSize}, kCommand));
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
