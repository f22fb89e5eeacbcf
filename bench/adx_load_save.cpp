// Load and Save of a large definition: 10,000 objects of mixed classes with resolved references.
// Load covers reading, building the objects and resolving references; Save writes the file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "definition/definition.h"

#ifdef KORVIT_HAVE_EXPAT
#include <expat.h>
#endif

namespace {

using namespace korvit::definition;

constexpr int kObjects = 10000;
// Objects per block: 30 values, 12 bitmasks, 2 lookup tables, 2 lists, a dashboard, a monitor,
// a histogram and the send command they all decode.
constexpr int kBlock = 50;

std::string Id(const char* stem, int block, int i) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%s%d_%d", stem, block, i);
    return buf;
}

template <typename T>
T& Add(ADXDefinition& def, const std::string& id, const std::string& title) {
    auto object = std::make_unique<T>();
    object->SetID(id);
    object->SetTitle(title.data(), title.size());
    T& ref = *object;
    def.Insert(std::move(object));
    return ref;
}

void AddBlock(ADXDefinition& def, int b) {
    auto& send = Add<ADXCSendCommand>(def, Id("cmd", b, 0), "Mode 1 data request");
    const uint8_t bytes[] = {0xF4, 0x57, 0x01, 0x00, 0xB4};
    send.SetBytes(bytes, sizeof bytes);
    send.replysize = 67;
    send.packetoffset = 3;
    send.packetsize = 63;
    ADXLookupTable* tables[2];
    for (int t = 0; t < 2; ++t) {
        auto& table = Add<ADXLookupTable>(def, Id("tab", b, t), "Thermistor");
        for (int e = 0; e < 16; ++e) table.AddEntry(e * 17.0f, 151.0f - e * 12.3f);
        tables[t] = &table;
    }
    ADXValue* values[30];
    for (int v = 0; v < 30; ++v) {
        auto& value = Add<ADXValue>(def, Id("val", b, v), "Coolant temperature");
        value.parentcmdidhash = send.idhash();
        value.packetoffset = static_cast<uint32_t>(v * 2);
        value.sizeinbits = v % 5 == 0 ? 16 : 8;
        value.SetUnits("degC", 4);
        value.range_low = -40.0f;
        value.range_high = 150.0f;
        value.alarm_high = 110.0f;
        value.SetDesc("Engine coolant temperature from the thermistor", 47);
        if (v % 3 == 0 && v > 0) {
            value.SetEquation("X*Y/1200");
            value.SetVar(ADXValueVar{ADXValueVar::kLink, 'Y', values[v - 1]->idhash()});
        } else {
            value.SetEquation("X*0.75-40");
        }
        if (v % 10 == 0) value.lookup = tables[v % 2];
        values[v] = &value;
    }
    ADXBitmask* masks[12];
    for (int m = 0; m < 12; ++m) {
        auto& mask = Add<ADXBitmask>(def, Id("bit", b, m), "Closed loop");
        mask.parentcmdidhash = send.idhash();
        mask.packetoffset = static_cast<uint32_t>(m);
        mask.operand = 1u << (m % 8);
        mask.result = mask.operand;
        mask.SetTrueString("Closed", 6);
        mask.SetFalseString("Open", 4);
        masks[m] = &mask;
    }
    for (int l = 0; l < 2; ++l) {
        auto& list = Add<ADXListView>(def, Id("lst", b, l), "Engine");
        list.Resize(20);
        for (size_t e = 0; e < 20; ++e) {
            ADXListViewEntry entry;
            entry.SetItem(e < 15 ? static_cast<ADXObject*>(values[e + l * 15])
                                 : static_cast<ADXObject*>(masks[e - 15]));
            list.SetEntry(e, entry);
        }
    }
    auto& dash = Add<ADXDashboard>(def, Id("dsh", b, 0), "Driving");
    for (int g = 0; g < 8; ++g) {
        ADXDashboardEntry entry;
        entry.gaugetype = g < 6 ? 0 : 2;
        entry.item = g < 6 ? static_cast<ADXObject*>(values[g]) : masks[g];
        entry.left = static_cast<uint16_t>((g % 4) * 25);
        entry.right = static_cast<uint16_t>(entry.left + 25);
        dash.Append(entry);
    }
    auto& monitor = Add<ADXMonitor>(def, Id("mon", b, 0), "Trace");
    for (int s = 0; s < 4; ++s) {
        ADXMonitorSeries series;
        series.item = values[s];
        series.linecolor = 0x0000FFu << (s * 4);
        monitor.Append(series);
    }
    auto& histogram = Add<ADXHistogram>(def, Id("hst", b, 0), "Fuel trim map");
    histogram.parentcmdidhash = send.idhash();
    histogram.SetRows(10);
    histogram.SetCols(13);
    histogram.SetXMax(6500.0f);
    histogram.SetYMax(100.0f);
    histogram.SetX(values[1]);
    histogram.SetY(values[2]);
    histogram.SetZ(values[4]);
}

// The generated definition, saved once per process.
const std::string& SampleFile() {
    static const std::string path = [] {
        ADXDefinition def;
        for (int b = 0; b < kObjects / kBlock; ++b) AddBlock(def, b);
        const std::string p = (std::filesystem::temp_directory_path() /
                               ("korvit-bench-" + std::to_string(::getpid()) + ".adx"))
                                  .string();
        def.Save(p);
        return p;
    }();
    return path;
}

void BM_Load(benchmark::State& state) {
    const std::string& path = SampleFile();
    ADXDefinition def;
    std::string error;
    for (auto _ : state) {
        if (def.Load(path, error) == 0) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(def.size());
    }
    state.counters["objects"] = static_cast<double>(def.size());
    state.counters["per_object"] = benchmark::Counter(
        static_cast<double>(def.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

void BM_Save(benchmark::State& state) {
    ADXDefinition def;
    std::string error;
    def.Load(SampleFile(), error);
    const std::string out = SampleFile() + ".out";
    for (auto _ : state) {
        if (def.Save(out) == 0) state.SkipWithError("cannot write");
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(std::filesystem::file_size(out)));
    state.counters["per_object"] = benchmark::Counter(
        static_cast<double>(def.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    std::remove(out.c_str());
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

#ifdef KORVIT_HAVE_EXPAT
// Baseline: expat tokenising the same file with empty handlers, no objects built.
void BM_ExpatParseOnly(benchmark::State& state) {
    std::ifstream in(SampleFile(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The written file has several top-level elements; wrap it so expat accepts it.
    const std::string doc = "<r>" + text.substr(text.find("<ADXHEADER>")) + "</r>";
    for (auto _ : state) {
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetElementHandler(
            parser, [](void*, const XML_Char*, const XML_Char**) {}, [](void*, const XML_Char*) {});
        const auto status = XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), XML_TRUE);
        if (status != XML_STATUS_OK) state.SkipWithError("expat refused the document");
        XML_ParserFree(parser);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_ExpatParseOnly)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(SampleFile().c_str());
    return 0;
}
